// The string scanner: finds plain and length-prefixed strings in a byte range of a file.
#pragma once

#include <cstdint>

#include "core/Settings.h"
#include "engine/OutputBuffer.h"

namespace glos {

// Scan [rangeStart, rangeStart + rangeSize) of file (fileSize bytes, below 4 GiB) and append one
// entry per string found. The part of the range outside the file is not examined. A
// length-prefixed string's text and Terminator may lie after the range but never outside the
// file. Offsets count bytes from the file's start. Returns false only when the output could not
// grow.
bool ScanBytes(const Settings& settings, OutputBuffer& out, const std::uint8_t* file,
               std::uint64_t fileSize, std::uint64_t rangeStart, std::uint64_t rangeSize);
bool ScanWide(const Settings& settings, OutputBuffer& out, const std::uint8_t* file,
              std::uint64_t fileSize, std::uint64_t rangeStart, std::uint64_t rangeSize);

// Finds where a range may be cut so that its two pieces, scanned as ranges of their own, give
// exactly the entries of the whole: a unit that ends every run (the Terminator, and with
// EnglishOnly every unit that is not printable) resets the plain scan, so the cut goes after it;
// the length-prefixed scan's strings never reach across one, so the cut goes at it. Looks at the
// units of [from, limit), byte offsets from the file's start, from a unit boundary of the range.
// True with cut set when there is such a unit there.
bool FindCut(const Settings& settings, const std::uint8_t* file, std::uint64_t from,
             std::uint64_t limit, std::uint64_t& cut);

inline bool IsPrintable(std::uint16_t unit) {
  return unit == 0x09 || unit == 0x0A || unit == 0x0D || (unit >= 0x20 && unit <= 0x7E);
}
// Whether a unit ends a string: a UTF-16 unit equal to the Terminator, or a byte below 0x80 equal
// to it (bytes are widened as signed values, so those from 0x80 up equal no Terminator).
inline bool IsTerminatorUnit(std::uint16_t unit, std::uint16_t terminator, bool wide) {
  return unit == terminator && (wide || unit < 0x80);
}
inline bool IsAsciiLetter(std::uint16_t unit) {
  return (unit >= 0x41 && unit <= 0x5A) || (unit >= 0x61 && unit <= 0x7A);
}

}  // namespace glos
