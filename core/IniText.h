// Keys of a private profile (INI) file held as text, read and set as the Win32 profile functions
// do. Used where the system has no such functions.
#pragma once

#include <string>
#include <string_view>

namespace glos {

// Finds key in section in INI text (UTF-8, with or without a byte-order mark, or any ASCII-based
// encoding; lines end in LF, CR LF or CR). Names compare without regard to ASCII case and to the
// blanks around them; lines whose first non-blank is ";" are comments, lines without "=" hold no
// key. Of several sections with the name, the first key found wins. On success value is the text
// after the "=", blanks around it trimmed and then one pair of matching surrounding quotes (" or ')
// removed; it points into text.
bool FindIniValue(std::string_view text, std::string_view section, std::string_view key,
                  std::string_view& value);

// Sets key in section to value and keeps every other line of text byte for byte. An existing
// key keeps its line up to and including the "="; a new key goes after the last non-blank line
// of the first section of that name; a new section goes at the end. Added lines end as the
// first line of text does (CR LF in a text without any). False, with text unchanged, when a
// name is empty or would not read back (the section holding "]", the key "=" or beginning with
// ";" or "["), when any of the three holds CR or LF, or when memory runs out.
bool SetIniValue(std::string& text, std::string_view section, std::string_view key,
                 std::string_view value);

}  // namespace glos
