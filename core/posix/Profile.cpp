// The program's path and private profile files on POSIX.
//
// POSIX platform layer, profile access. Only the program's path from /proc/self/exe and the
// reading and writing of a whole INI file live here; the keys themselves are found and set by
// IniText, with the behaviour of the Win32 profile functions. The file is UTF-8; a write replaces
// it all at once, so a failed write leaves the old profile as it was.
#include "core/Profile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "core/FileIo.h"
#include "core/IniText.h"
#include "core/Text.h"
#include "core/posix/NativeText.h"

namespace glos {
namespace {

// The UTF-8 form of a name, as the file holds it.
std::string ToUtf8(const char16_t* text) {
  return Utf16ToUtf8(std::u16string_view(text, TextLength(text)));
}

std::string_view FileText(const WholeFile& file) {
  return std::string_view(reinterpret_cast<const char*>(file.data.get()),
                          static_cast<std::size_t>(file.size));
}

// Copies text into dest (capacity > 0), cut as GetPrivateProfileStringW cuts. Returns its length.
int CopyValue(std::u16string_view text, char16_t* dest, int capacity) {
  CopyText(dest, static_cast<std::size_t>(capacity), text);
  return static_cast<int>(TextLength(dest));
}

}  // namespace

bool GetProgramPath(char16_t* dest, int capacity) {
  if (capacity <= 0) return false;
  dest[0] = 0;
  char target[posix::kNativePathCapacity];
  const ssize_t length = ::readlink("/proc/self/exe", target, sizeof target);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) return false;
  if (posix::DecodeNativeName(target, static_cast<std::size_t>(length), dest,
                              static_cast<std::size_t>(capacity)) < 0) {
    dest[0] = 0;
    return false;
  }
  return true;
}

std::uint32_t ReadProfileInt(const char16_t* file, const char16_t* section, const char16_t* key,
                             std::uint32_t defaultValue) {
  char16_t text[kPathCapacity];
  if (ReadProfileText(file, section, key, u"", text, static_cast<int>(kPathCapacity)) == 0) {
    return defaultValue;
  }
  std::size_t i = 0;
  const bool negative = text[i] == u'-';
  if (text[i] == u'-' || text[i] == u'+') ++i;
  // Unsigned arithmetic wraps in 32 bits, so every word written with "%d" reads back the same.
  std::uint32_t value = 0;
  for (; text[i] >= u'0' && text[i] <= u'9'; ++i) value = value * 10u + (text[i] - u'0');
  return negative ? 0u - value : value;
}

int ReadProfileText(const char16_t* file, const char16_t* section, const char16_t* key,
                    const char16_t* defaultValue, char16_t* dest, int capacity) {
  if (capacity <= 0) return 0;
  const std::u16string_view fallback(defaultValue != nullptr ? defaultValue : u"");
  try {
    const WholeFile profile = ReadWholeFile(file);
    std::string_view value;
    if (profile.data != nullptr &&
        FindIniValue(FileText(profile), ToUtf8(section), ToUtf8(key), value)) {
      return CopyValue(Utf8ToUtf16(value), dest, capacity);
    }
  } catch (...) {
    // Out of memory reads as a missing key.
  }
  // As on Win32, the default comes back without its trailing blanks.
  const std::size_t end = fallback.find_last_not_of(u' ');
  return CopyValue(fallback.substr(0, end == std::u16string_view::npos ? 0 : end + 1), dest,
                   capacity);
}

bool WriteProfileText(const char16_t* file, const char16_t* section, const char16_t* key,
                      const char16_t* value) {
  if (value == nullptr) return false;
  try {
    std::string text;
    const WholeFile profile = ReadWholeFile(file);
    if (profile.data != nullptr) {
      text.assign(FileText(profile));
    } else {
      // Only a missing profile starts empty; one that exists but cannot be read is kept.
      const posix::NativePath native = posix::ToNativePath(file);
      struct stat info;
      if (!native.ok || ::stat(native.bytes, &info) == 0 || errno != ENOENT) return false;
    }
    if (!SetIniValue(text, ToUtf8(section), ToUtf8(key), ToUtf8(value))) return false;
    return ReplaceWholeFile(file, text.data(), text.size(), Flush::ToDisk) == text.size();
  } catch (...) {
    return false;
  }
}

}  // namespace glos
