// UTF-16 text helpers shared by the engine: bounded copies, lengths, conversions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace glos {

// Paths and text fields hold at most this many UTF-16 units, the terminating zero included.
inline constexpr std::size_t kPathCapacity = 260;

// Length of a zero-terminated UTF-16 string.
std::size_t TextLength(const char16_t* text);

// Copies source into dest, cut so that it and its zero fit in capacity units (capacity > 0).
// Returns false when the source had to be cut.
bool CopyText(char16_t* dest, std::size_t capacity, std::u16string_view source);

// Appends source to the zero-terminated text in dest. Fails, leaving dest unchanged, when the
// result and its zero would not fit in capacity units.
bool AppendText(char16_t* dest, std::size_t capacity, std::u16string_view source);

// UTF-8 <-> UTF-16. Invalid input units become U+FFFD; nothing is dropped silently.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
// Appends the UTF-8 form of one code point (below 0x110000).
void AppendUtf8(std::string& out, char32_t cp);

// ASCII-only upper-casing of one unit, as the file walker compares names.
inline char16_t UpperAscii(char16_t unit) {
  return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - 0x20) : unit;
}

}  // namespace glos
