// The text of a string as translation tools see it: UTF-8, with whatever cannot stand there as
// itself written as the translation file's own escapes, so that every unit comes back exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace glos {

// Exchange text of count raw units: bytes in codePage, or UTF-16LE units when wide. Characters
// that translation tools can hold stand as themselves (TAB and LF included). A zero unit is
// "\0"; other control characters (CR among them, which gettext warns about), bytes that do not
// decode (or decode only to a C1 control, which the platforms' tables disagree on) and lone
// surrogates are "\x" with 2 (8-bit) or 4 (UTF-16) hexadecimal digits. A backslash is doubled only
// where an escape could follow it: before a backslash, "0" or "x", and before an escape.
std::string ToExchangeText(const std::uint8_t* raw, std::size_t count, bool wide,
                           unsigned codePage);

// True when the exchange text of count 8-bit units is those bytes themselves: printable ASCII
// without a backslash. No other units have that text, as every other text holds a backslash, a
// TAB or LF, or a character beyond ASCII.
bool IsPlainExchangeText(const std::uint8_t* raw, std::size_t count);

// The raw units (bytes, or UTF-16LE bytes when wide) that exchange text stands for: "\\" is a
// backslash, "\0" a zero unit, "\x" with exactly 2 (8-bit) or 4 (UTF-16) hexadecimal digits that
// unit; any other backslash stands for itself. False when the text is not UTF-8 or a character
// has no exact form in the code page.
bool FromExchangeText(std::string_view text, bool wide, unsigned codePage, std::string& raw);

}  // namespace glos
