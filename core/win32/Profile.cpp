// The program's path and private profile files on Win32.
//
// Windows platform layer, profile access. Only GetModuleFileNameW and the private profile calls
// (GetPrivateProfileIntW, GetPrivateProfileStringW, WritePrivateProfileStringW) live here; the
// system reads and writes the INI file, keeps its other lines and parses the numbers.
#include "core/Profile.h"

#include "core/win32/Handle.h"

namespace glos {

using win32::Wide;

bool GetProgramPath(char16_t* dest, int capacity) {
  if (capacity <= 0) return false;
  const DWORD length = GetModuleFileNameW(nullptr, Wide(dest), static_cast<DWORD>(capacity));
  // A path that filled the whole buffer was cut, and older systems leave it unterminated.
  if (length == 0 || length >= static_cast<DWORD>(capacity)) {
    dest[0] = 0;
    return false;
  }
  return true;
}

std::uint32_t ReadProfileInt(const char16_t* file, const char16_t* section, const char16_t* key,
                             std::uint32_t defaultValue) {
  return GetPrivateProfileIntW(Wide(section), Wide(key), static_cast<INT>(defaultValue),
                               Wide(file));
}

int ReadProfileText(const char16_t* file, const char16_t* section, const char16_t* key,
                    const char16_t* defaultValue, char16_t* dest, int capacity) {
  if (capacity <= 0) return 0;
  return static_cast<int>(GetPrivateProfileStringW(Wide(section), Wide(key), Wide(defaultValue),
                                                   Wide(dest), static_cast<DWORD>(capacity),
                                                   Wide(file)));
}

bool WriteProfileText(const char16_t* file, const char16_t* section, const char16_t* key,
                      const char16_t* value) {
  return WritePrivateProfileStringW(Wide(section), Wide(key), Wide(value), Wide(file)) != FALSE;
}

}  // namespace glos
