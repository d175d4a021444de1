// The string scanner: finds plain and length-prefixed strings in a byte range of a file.
//
// What counts as a string. A unit is a byte, or with UnicodeMode a 16-bit little-endian unit
// read in steps of two from the range's first byte. Printable units are TAB, LF, CR and 0x20 to
// 0x7E; ASCII letters are A-Z and a-z. A byte equals the Terminator only as a signed byte: bytes
// from 0x80 up equal no Terminator. The Terminator test comes first, so a printable Terminator
// still ends a string.
//
// Plain (LengthPrefixed clear): a run opens at a printable unit and counts ASCII letters in a
// row; a printable non-letter resets the count until it reaches MinChars, after which nothing
// resets it. A unit that is neither printable nor the Terminator closes the run, unless
// EnglishOnly is clear and the run has qualified, in which case it joins the run. Only the
// Terminator ends a qualified run with an entry: its units from the run's start, the Terminator
// not counted. A run open at the end of the range gives nothing, and nothing carries over from
// one range to the next.
//
// Length-prefixed (LengthPrefixed set): at p a unit L of at least MinChars, then L units none of
// which is the Terminator (nor, with EnglishOnly, unprintable), then the Terminator at p + L + 1
// inside the file: the entry is the L units; the scan goes on at p + L + 1, so that Terminator is
// looked at again as a length unit. Otherwise the scan goes on at p + 1.
//
// Entries name the string's first unit by its byte offset from the file's start, in a UTF-16
// scan rounded down to an even number, and its length in units.
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
