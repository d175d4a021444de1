// The escapes of translation-file text and the number reader of its entry heads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Settings.h"

namespace glos {

// Writes the escaped form of count units (0 -> \0, TAB -> \t, LF -> \n, CR -> \r, \ -> \\, every
// other unit as it is) and one zero unit. dest must hold 2 * count + 1 units. Returns the units
// written, without the zero.
std::size_t EscapeText(std::uint8_t* dest, const std::uint8_t* source, std::size_t count);
std::size_t EscapeText(char16_t* dest, const char16_t* source, std::size_t count);

// Converts textLength units of escaped text into raw units at dest, little-endian and byte by
// byte (dest may be unaligned). With prefix set the first unit is a length unit holding the text
// units written. The rest of the capacity is filled with the Terminator. An over-long text is
// cut at the capacity and reported once (517 for 8-bit, 516 for UTF-16), unless NoLengthCheck is
// set, in which case it is written whole past the capacity: the caller must then provide room
// for UnescapedLength() units and the prefix unit. With prefix set and capacity 0 nothing is
// written unless NoLengthCheck is set. Returns the units written before the fill, the prefix
// included.
std::uint32_t UnescapeText(const Settings& settings, std::uint8_t* dest, const std::uint8_t* text,
                           std::size_t textLength, std::size_t capacity, bool prefix);
std::uint32_t UnescapeText(const Settings& settings, std::uint8_t* dest, const char16_t* text,
                           std::size_t textLength, std::size_t capacity, bool prefix);

// Reports an over-long text as UnescapeText does: 517 with the 8-bit text, 516 with the UTF-16
// one (textLength units, not zero-terminated).
void ReportCut(const std::uint8_t* text, std::size_t textLength);
void ReportCut(const char16_t* text, std::size_t textLength);

// The number of units UnescapeText produces for the whole text (no cut, no prefix, no fill).
std::size_t UnescapedLength(const std::uint8_t* text, std::size_t textLength);
std::size_t UnescapedLength(const char16_t* text, std::size_t textLength);

// Reads the number at the start of [text, end) as Win32 StrToIntEx with STIF_SUPPORT_HEX does:
// "0x"/"0X" and hexadecimal digits, else decimal digits (leading zeros stay decimal), an optional
// leading "-" for decimal, stopping at the first unit that cannot continue the number. No number
// gives 0. The value wraps in 32 bits; it never overflows.
std::int32_t ParseNumber(const std::uint8_t* text, const std::uint8_t* end);
std::int32_t ParseNumber(const char16_t* text, const char16_t* end);

}  // namespace glos
