// The translation file: its header, its entry lines as written, and the reader of its entries.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/OutputBuffer.h"

namespace glos {

inline constexpr char kTranslationHeader[] = "[Glosmorin]";  // 11 bytes, no terminator written
inline constexpr std::size_t kWideHeaderBytes = 24;          // FF FE and the header in UTF-16LE

// Appends the header of the chosen width. False when memory runs out.
bool AppendTranslationHeader(OutputBuffer& out, bool wide);
// Appends CR LF in the chosen width.
bool AppendLineEnd(OutputBuffer& out, bool wide);

// Appends one entry: "\r\n0x%08X,%04d=" and the escaped units, in the width of the units.
// units points at the string's bytes in the file (UTF-16 units may be unaligned).
bool AppendEntry(OutputBuffer& out, std::uint32_t offset, std::uint32_t length,
                 const std::uint8_t* units, bool wide);
// The same with a text of count units for a slot of length units (a translation shorter than
// its string).
bool AppendEntry(OutputBuffer& out, std::uint32_t offset, std::uint32_t length,
                 const std::uint8_t* units, std::uint32_t count, bool wide);

// One entry line as the reader finds it. text points into the translation text: textLength
// units (bytes for an 8-bit file, 16-bit units for a UTF-16 file), not zero-terminated. In a
// UTF-16 text it lies an even number of bytes after the text's start, so it is aligned for
// char16_t when the text is.
struct TranslationEntry {
  std::uint32_t offset;  // taken as unsigned: 0xFFFFFFF0 is a large offset
  std::uint32_t length;
  const void* text;
  std::size_t textLength;
};

// True when a translation text is UTF-16: its fourth byte (index 3) is zero.
bool IsWideTranslation(const std::uint8_t* data, std::size_t size);

// Calls visit for every entry of a translation text in file order: the text ends at its first
// zero unit or its end; lines are cut at every run of CR and LF; only lines followed by a break
// and beginning with "0" that hold a "," and after it a "=" are entries. Reads nothing outside
// [data, data + size). A UTF-16 text's odd last byte takes no part.
using EntryVisitor = void (*)(void* context, const TranslationEntry& entry);
void ReadTranslationEntries(const std::uint8_t* data, std::size_t size, EntryVisitor visit,
                            void* context);

}  // namespace glos
