// Strict conversions between Windows code pages and UTF-16: no best fit, failures reported.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace glos {

inline constexpr unsigned kCodePageUtf8 = 65001;

// True when this build can convert with codePage (Windows code page numbers: 936, 950, 932,
// 949, 1250 to 1258 and 65001 at least).
bool IsCodePageSupported(unsigned codePage);

// The code page 8-bit strings are taken to be in when none is named: the ANSI code page on
// Windows, UTF-8 elsewhere.
unsigned DefaultCodePage();

// Decodes count bytes into out (replacing its content). False, with out unspecified, when any
// byte sequence is not a character of the code page or the code page is not supported.
bool DecodeCodePage(unsigned codePage, const std::uint8_t* bytes, std::size_t count,
                    std::u16string& out);

// Encodes count UTF-16 units into out (replacing its content). False when any character has
// no exact mapping (a best-fit substitute counts as none), a surrogate is unpaired, or the code
// page is not supported.
bool EncodeCodePage(unsigned codePage, const char16_t* text, std::size_t count, std::string& out);

}  // namespace glos
