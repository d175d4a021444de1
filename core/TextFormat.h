// Platform text services: status texts, the printf-style formatter, the 8-bit code page.
#pragma once

#include <cstddef>
#include <cstdint>

namespace glos {

// Formatted lines never exceed this many units, zero included (the Win32 wsprintfW limit).
inline constexpr std::size_t kFormatCapacity = 1024;

// Formats like Win32 wsprintfW into dest (kFormatCapacity units), cut at that length and always
// zero-terminated. Conversions: %s and %ls (const char16_t*), %hs (const char* in the 8-bit code
// page), %c (int, one unit), %d (int), %u, %X and %x with flags '#' and '0' and a width (unsigned).
// Returns the number of units written, not counting the zero.
int FormatText(char16_t* dest, const char16_t* format, ...);

// Loads the text with the given id from the one string table into dest (capacity units,
// zero-terminated). Returns its length, 0 when there is no such text.
int LoadText(unsigned id, char16_t* dest, int capacity);

// Converts zero-terminated UTF-16 text to the 8-bit code page (Windows: the ANSI code page,
// elsewhere UTF-8) into dest of capacity bytes. Cut at a character boundary when it does not fit;
// dest is always zero-terminated. Returns the byte count without the zero.
int ConvertToCodePage(char* dest, int capacity, const char16_t* text);

// Converts zero-terminated 8-bit text from the code page to UTF-16, as %hs does.
int ConvertFromCodePage(char16_t* dest, int capacity, const char* text);

}  // namespace glos
