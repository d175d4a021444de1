// The state folder and file keys on Win32.
//
// Windows platform layer, state folder. Only the LOCALAPPDATA location, CreateDirectoryW of the
// missing levels, and GetFullPathNameW with CharUpperBuffW for file keys live here. NTFS keeps
// its directory entries in its own journal, so a folder made is on disk without a flush.
#include "core/StateFolder.h"

#include "core/win32/Handle.h"

namespace glos {

using win32::Wide;

namespace {

std::u16string Environment(const wchar_t* name) {
  wchar_t value[1024];
  const DWORD length = GetEnvironmentVariableW(name, value, 1024);
  if (length == 0 || length >= 1024) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(value), length);
}

bool MakeDirectories(const std::u16string& path) {
  for (std::size_t end = 3; end <= path.size(); ++end) {
    if (end < path.size() && path[end] != u'\\') continue;
    const std::u16string level = path.substr(0, end);
    if (CreateDirectoryW(Wide(level.c_str()), nullptr)) continue;
    const DWORD attributes = GetFileAttributesW(Wide(level.c_str()));
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool GetStateFolder(const char16_t* name, bool create, std::u16string& folder) {
  std::u16string base = Environment(L"LOCALAPPDATA");
  if (base.empty()) {
    base = Environment(L"USERPROFILE");
    if (base.empty()) return false;
    base += u"\\AppData\\Local";
  }
  while (!base.empty() && (base.back() == u'\\' || base.back() == u'/')) base.pop_back();
  folder = base + u"\\Glosmorin\\" + name;
  return !create || MakeDirectories(folder);
}

bool GetFileKey(const char16_t* path, std::u16string& key) {
  if (GetFileAttributesW(Wide(path)) == INVALID_FILE_ATTRIBUTES) return false;
  wchar_t full[1024];
  const DWORD length = GetFullPathNameW(Wide(path), 1024, full, nullptr);
  if (length == 0 || length >= 1024) return false;
  // Names differ only in letter case on Windows, so one file has one key.
  CharUpperBuffW(full, length);
  key.assign(reinterpret_cast<const char16_t*>(full), length);
  return true;
}

}  // namespace glos
