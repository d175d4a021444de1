// UTF-8 conversions at the POSIX system boundary, without allocation.
//
// POSIX platform layer, text conversion. Only the UTF-8 <-> UTF-16 steps that the POSIX
// platform files need live here.
#include "core/posix/NativeText.h"

#include <cstdint>

namespace glos::posix {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one character at text[0..available). Sets used to the bytes it took and valid to
// whether they formed a well-formed UTF-8 character (shortest form, no surrogate, <= U+10FFFF).
char32_t DecodeOne(const unsigned char* text, std::size_t available, std::size_t& used,
                   bool& valid) {
  const unsigned char lead = text[0];
  used = 1;
  valid = false;
  unsigned need = 0;
  char32_t value = 0;
  if (lead < 0x80) {
    valid = true;
    return lead;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1, value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2, value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3, value = lead & 0x07;
  } else {
    return kReplacement;
  }
  for (unsigned i = 1; i <= need; ++i) {
    if (i >= available || (text[i] & 0xC0) != 0x80) return kReplacement;
    value = (value << 6) | (text[i] & 0x3F);
    used = i + 1;
  }
  const bool overlong = (need == 2 && value < 0x800) || (need == 3 && value < 0x10000);
  if (overlong || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return kReplacement;
  valid = true;
  return value;
}

// The lone surrogate that stands for a byte outside valid UTF-8, and back.
char32_t EscapeByte(unsigned char byte) { return 0xDC00 + byte; }
bool IsEscapedByte(char32_t unit) { return unit >= 0xDC80 && unit <= 0xDCFF; }

// Decodes one character at text[0..available), or escapes its first byte when the bytes there
// are not valid UTF-8; used is the count of bytes taken.
char32_t DecodeLossless(const unsigned char* text, std::size_t available, std::size_t& used) {
  bool valid = false;
  const char32_t value = DecodeOne(text, available, used, valid);
  if (valid) return value;
  used = 1;
  return EscapeByte(text[0]);
}

// Reads one character of UTF-16 at text[i], a surrogate pair as one. Sets used to the units it
// took; a lone surrogate gives U+FFFD with valid false.
char32_t ReadOne(const char16_t* text, std::size_t i, std::size_t& used, bool& valid) {
  const char32_t unit = text[i];
  used = 1;
  valid = true;
  if (unit >= 0xD800 && unit <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
    used = 2;
    return 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00);
  }
  if (unit >= 0xD800 && unit <= 0xDFFF) {
    valid = false;
    return kReplacement;
  }
  return unit;
}

// Writes value as UTF-8 at dest; returns the byte count (1 to 4).
std::size_t EncodeOne(char32_t value, char* dest) {
  auto* out = reinterpret_cast<unsigned char*>(dest);
  if (value < 0x80) {
    out[0] = static_cast<unsigned char>(value);
    return 1;
  }
  if (value < 0x800) {
    out[0] = static_cast<unsigned char>(0xC0 | (value >> 6));
    out[1] = static_cast<unsigned char>(0x80 | (value & 0x3F));
    return 2;
  }
  if (value < 0x10000) {
    out[0] = static_cast<unsigned char>(0xE0 | (value >> 12));
    out[1] = static_cast<unsigned char>(0x80 | ((value >> 6) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (value & 0x3F));
    return 3;
  }
  out[0] = static_cast<unsigned char>(0xF0 | (value >> 18));
  out[1] = static_cast<unsigned char>(0x80 | ((value >> 12) & 0x3F));
  out[2] = static_cast<unsigned char>(0x80 | ((value >> 6) & 0x3F));
  out[3] = static_cast<unsigned char>(0x80 | (value & 0x3F));
  return 4;
}

std::size_t UnitsOf(char32_t value) { return value >= 0x10000 ? 2 : 1; }

void PutUnits(char32_t value, char16_t* dest) {
  if (value >= 0x10000) {
    value -= 0x10000;
    dest[0] = static_cast<char16_t>(0xD800 + (value >> 10));
    dest[1] = static_cast<char16_t>(0xDC00 + (value & 0x3FF));
  } else {
    dest[0] = static_cast<char16_t>(value);
  }
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
    if ((!valid && !IsEscapedByte(path[i])) || length + 4 + 1 > kNativePathCapacity) return result;
    if (valid) {
      length += EncodeOne(value, result.bytes + length);
    } else {
      result.bytes[length++] = static_cast<char>(path[i] & 0xFF);
    }
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
    const char32_t value = DecodeLossless(bytes + i, length - i, used);
    if (value == 0 || units + UnitsOf(value) + 1 > capacity) return -1;
    PutUnits(value, dest + units);
    units += UnitsOf(value);
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
    const char32_t value = DecodeLossless(bytes + i, available - i, used);
    if (units + UnitsOf(value) + 1 > capacity) break;
    PutUnits(value, dest + units);
    units += UnitsOf(value);
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
    std::size_t size = 1;
    if (!valid && IsEscapedByte(text[i])) {
      encoded[0] = static_cast<char>(text[i] & 0xFF);
    } else {
      size = EncodeOne(value, encoded);
    }
    if (length + size + 1 > capacity) break;
    for (std::size_t k = 0; k < size; ++k) dest[length + k] = encoded[k];
    length += size;
    i += used;
  }
  dest[length] = 0;
  return length;
}

}  // namespace glos::posix
