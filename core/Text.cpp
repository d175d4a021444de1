// UTF-16 text helpers and the UTF-8 conversions used at the system boundary.
#include "core/Text.h"

namespace glos {

std::size_t TextLength(const char16_t* text) {
  std::size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

bool CopyText(char16_t* dest, std::size_t capacity, std::u16string_view source) {
  const std::size_t n = source.size() < capacity ? source.size() : capacity - 1;
  source.copy(dest, n);
  dest[n] = 0;
  return n == source.size();
}

bool AppendText(char16_t* dest, std::size_t capacity, std::u16string_view source) {
  const std::size_t used = TextLength(dest);
  if (used + source.size() + 1 > capacity) return false;
  source.copy(dest + used, source.size());
  dest[used + source.size()] = 0;
  return true;
}

char32_t DecodeUtf8(const unsigned char* text, std::size_t available, std::size_t& used,
                    bool& valid) {
  constexpr char32_t kReplacement = 0xFFFD;
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

char32_t ReadUtf16(const char16_t* text, std::size_t available, std::size_t& used, bool& valid) {
  const char32_t unit = text[0];
  used = 1;
  valid = true;
  if (unit >= 0xD800 && unit <= 0xDBFF && available > 1 && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
    used = 2;
    return 0x10000 + ((unit - 0xD800) << 10) + (text[1] - 0xDC00);
  }
  if (unit >= 0xD800 && unit <= 0xDFFF) {
    valid = false;
    return 0xFFFD;
  }
  return unit;
}

std::size_t EncodeUtf8(char32_t value, char* dest) {
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

std::size_t WriteUtf16(char32_t value, char16_t* dest) {
  if (value < 0x10000) {
    dest[0] = static_cast<char16_t>(value);
    return 1;
  }
  value -= 0x10000;
  dest[0] = static_cast<char16_t>(0xD800 + (value >> 10));
  dest[1] = static_cast<char16_t>(0xDC00 + (value & 0x3FF));
  return 2;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t used = 0;
    bool valid = false;
    char16_t units[2];
    out.append(units, WriteUtf16(DecodeUtf8(bytes + i, utf8.size() - i, used, valid), units));
    i += used;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size();) {
    std::size_t used = 0;
    bool valid = false;
    char bytes[4];
    out.append(bytes,
               EncodeUtf8(ReadUtf16(utf16.data() + i, utf16.size() - i, used, valid), bytes));
    i += used;
  }
  return out;
}

}  // namespace glos
