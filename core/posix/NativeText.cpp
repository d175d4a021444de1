// UTF-8 conversions at the POSIX system boundary, without allocation.
//
// POSIX platform layer, text conversion. Only the UTF-8 <-> UTF-16 steps that the POSIX
// platform files need live here; the codec itself is core/Text's.
#include "core/posix/NativeText.h"

#include <cstdint>

#include "core/Text.h"

namespace glos::posix {
namespace {

std::size_t UnitsOf(char32_t value) { return value >= 0x10000 ? 2 : 1; }

// The character at text[i] of a zero-terminated text: the unit after a non-zero one can always
// be read, so a surrogate pair is looked for within two units.
char32_t ReadOne(const char16_t* text, std::size_t i, std::size_t& used, bool& valid) {
  return ReadUtf16(text + i, 2, used, valid);
}

}  // namespace

NativePath ToNativePath(const char16_t* path) {
  NativePath result;
  result.bytes[0] = 0;
  if (path == nullptr || path[0] == 0) return result;
  std::size_t length = 0;
  for (std::size_t i = 0; path[i] != 0;) {
    std::size_t used = 0;
    bool valid = false;
    const char32_t value = ReadOne(path, i, used, valid);
    // Four bytes is the most one character takes; the zero needs one more.
    if (!valid || length + 4 + 1 > kNativePathCapacity) return result;
    length += EncodeUtf8(value, result.bytes + length);
    i += used;
  }
  result.bytes[length] = 0;
  result.length = length;
  result.ok = true;
  return result;
}

int DecodeNativeName(const char* name, std::size_t length, char16_t* dest, std::size_t capacity) {
  if (capacity == 0) return -1;
  const auto* bytes = reinterpret_cast<const unsigned char*>(name);
  std::size_t units = 0;
  for (std::size_t i = 0; i < length;) {
    std::size_t used = 0;
    bool valid = false;
    const char32_t value = DecodeUtf8(bytes + i, length - i, used, valid);
    if (!valid || value == 0 || units + UnitsOf(value) + 1 > capacity) return -1;
    units += WriteUtf16(value, dest + units);
    i += used;
  }
  dest[units] = 0;
  return static_cast<int>(units);
}

std::size_t DecodeUtf8Text(const char* text, char16_t* dest, std::size_t capacity) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  std::size_t available = 0;
  while (bytes[available] != 0) ++available;
  std::size_t units = 0;
  for (std::size_t i = 0; i < available;) {
    std::size_t used = 0;
    bool valid = false;
    const char32_t value = DecodeUtf8(bytes + i, available - i, used, valid);
    if (units + UnitsOf(value) + 1 > capacity) break;
    units += WriteUtf16(value, dest + units);
    i += used;
  }
  dest[units] = 0;
  return units;
}

std::size_t EncodeUtf8Text(const char16_t* text, char* dest, std::size_t capacity) {
  std::size_t length = 0;
  for (std::size_t i = 0; text[i] != 0;) {
    std::size_t used = 0;
    bool valid = false;
    const char32_t value = ReadOne(text, i, used, valid);
    char encoded[4];
    const std::size_t size = EncodeUtf8(value, encoded);
    if (length + size + 1 > capacity) break;
    for (std::size_t k = 0; k < size; ++k) dest[length + k] = encoded[k];
    length += size;
    i += used;
  }
  dest[length] = 0;
  return length;
}

}  // namespace glos::posix
