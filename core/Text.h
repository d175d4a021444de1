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

// The one codec behind every conversion, one character at a time and without allocation.
// DecodeUtf8 reads the character at text[0, available) (available > 0): its value, or U+FFFD
// with valid false when it is not well-formed UTF-8 (shortest form, no surrogate, at most
// U+10FFFF); used is the bytes it took, a bad sequence's lead and its good continuations.
char32_t DecodeUtf8(const unsigned char* text, std::size_t available, std::size_t& used,
                    bool& valid);
// Reads the UTF-16 character at text[0, available) (available > 0), a surrogate pair as one; a
// lone surrogate gives U+FFFD with valid false.
char32_t ReadUtf16(const char16_t* text, std::size_t available, std::size_t& used, bool& valid);
// Writes value as UTF-8 at dest (room for 4 bytes); returns the bytes written.
std::size_t EncodeUtf8(char32_t value, char* dest);
// Writes value as UTF-16 at dest (room for 2 units); returns the units written.
std::size_t WriteUtf16(char32_t value, char16_t* dest);

// ASCII-only upper-casing of one unit, as the file walker compares names.
inline char16_t UpperAscii(char16_t unit) {
  return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - 0x20) : unit;
}

}  // namespace glos
