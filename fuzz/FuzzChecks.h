// The properties the fuzz targets check, as plain functions over one input of arbitrary bytes:
// the libFuzzer targets call them, and the replay test runs them over the seed corpora in every
// build. Each decodes its own input layout and compares the engine against a reference written
// straight from the rules, with every buffer the engine reads or writes allocated at its exact
// size, so that a sanitizer sees any access past it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace glos::fuzz {

// Each check returns an empty string when every property holds, else what went wrong first.

// ScanImage over an image or a whole file. Input: option byte (bit 0 LengthPrefixed, bit 1
// UnicodeMode, bit 2 EnglishOnly, bit 3 Terminator from the input rather than 0, bits 4-5 the
// exclude list: default, empty, from the input, one without "|"), MinChars, the Terminator
// (2 bytes, little-endian), for an exclude list from the input its length and its bytes, then
// the file. Every entry lies inside the file, the written text reads back to exactly the
// entries of the reference scan, and the scan fails exactly where the reference's does.
std::string CheckScanImage(const std::uint8_t* data, std::size_t size);

// ApplyTranslation on a target in memory. Input: option byte (bit 0 LengthPrefixed, bit 1
// NoLengthCheck, bit 2 Terminator from the input, bit 3 target bytes counting up rather than
// all equal), the Terminator (2 bytes), the target's size in units of 4 bytes, its fill byte,
// then the translation text. The target afterwards equals the reference's, every changed byte
// lies in the slot or prefix of an entry that lies inside, and the reports match.
std::string CheckApplyTranslation(const std::uint8_t* data, std::size_t size);

// EscapeText, UnescapeText, UnescapedLength and ParseNumber. Input: option byte (bit 0 UTF-16,
// bit 1 prefix, bit 2 NoLengthCheck), the capacity (2 bytes, below 1024), the Terminator
// (2 bytes), then the units. Escaping round-trips; unescaping with any capacity writes what the
// reference writes and nothing past the room it is given; numbers read as the reference reads
// them.
std::string CheckEscape(const std::uint8_t* data, std::size_t size);

// ScanMatches. Input: the find length less one (low 6 bits), option byte (bit 0 replace, bit 1
// find bytes taken from the file, bit 2 cancel at a match, bit 3 decline every second match),
// the match that cancels, the position of find bytes taken from the file (in steps of 16),
// then the find bytes and the replacement unless taken from the file, then the file. Matches,
// their order and the bytes afterwards equal a naive reference's.
// With bit 7 of the option byte set, BuildSearchPattern instead, on the "file" as the typed find
// text and the find bytes as the typed replacement (bit 4 UnicodeMode, bit 5 LengthPrefixed,
// bit 6 typed units from byte pairs rather than single bytes, the position byte the
// Terminator): the byte forms stay in their buffers and equal the reference's.
std::string CheckSearch(const std::uint8_t* data, std::size_t size);

// The Android string pool reader, extraction and write-back. Input: the file's size (2 bytes),
// the file, then a translation text. Extraction and the write-back index accept the same files;
// every entry lies inside the file, one per string; checking the extracted translation, and the
// input's, changes nothing, and applying them changes nothing outside the pool's string data and
// reports only write-back notices.
std::string CheckAndroidPool(const std::uint8_t* data, std::size_t size);

// ParseJournal on any bytes (an undo journal, whole, torn or damaged). It reads nothing outside
// them; the records it accepts follow each other from the header on, lie inside the bytes up to
// where it stopped and inside the recorded target size; the same bytes cut where it stopped
// read as the same journal.
std::string CheckParseJournal(const std::uint8_t* data, std::size_t size);
// Exchange text and the PO and XLIFF readers. Input: option byte (bit 0 UTF-16, the rest picks
// a code page), then the raw units. The units come back from their exchange text byte for
// byte and through a written PO file; the whole input read as PO and as XLIFF gives units
// whose locations lie in their catalog, or is refused.
std::string CheckExchange(const std::uint8_t* data, std::size_t size);

// ---- References written straight from the rules, shared with the tests ------------------

using Units = std::vector<std::uint32_t>;

// The strings the rules find in [start, start + size) of file (fileSize bytes) under the options
// of optionWord, in order.
struct ReferenceString {
  std::uint64_t at;  // the byte offset of its first unit, not rounded
  std::uint32_t length;
};
std::vector<ReferenceString> ReferenceScan(std::uint32_t optionWord, const std::uint8_t* file,
                                           std::uint64_t fileSize, std::uint64_t start,
                                           std::uint64_t size);

// One entry line as Extract writes it: CR LF, "0x" and eight hexadecimal digits, ",", the
// length in at least four decimal digits, "=", then the units with 0, TAB, LF, CR and "\"
// escaped; every unit in width bytes, little-endian.
std::vector<std::uint8_t> ReferenceEntryLine(std::uint32_t offset, std::uint32_t length,
                                             const Units& units, unsigned width);

// What unescaping text into a slot of capacity units writes: the prefix unit when asked for,
// the units the text stands for, cut to the room unless noLengthCheck, then fill up to the
// capacity. bytes hold every unit written or filled, from the slot's start.
struct ReferenceSlot {
  std::vector<std::uint8_t> bytes;
  std::uint32_t written;  // units before the fill, the prefix unit included
  bool cut;
};
ReferenceSlot ReferenceUnescapeSlot(const Units& text, unsigned width, std::size_t capacity,
                                    bool prefix, bool noLengthCheck, std::uint32_t fill);

// The entries of a translation text: UTF-16 when its fourth byte is zero, cut at its first zero
// unit, split into lines at every CR and LF; a line that a break ends, begins with "0" and holds
// "," and then "=" is an entry.
struct ReferenceEntry {
  std::uint32_t offset;
  std::uint32_t length;
  Units text;
};
std::vector<ReferenceEntry> ReferenceRead(const std::vector<std::uint8_t>& bytes);

// The matches of find (not empty) in data: every start offset in turn below data.size() -
// find.size(), the next candidate after a match at P being P + find.size(). take is called at
// each match; it may change data there and returns false to end the scan. Returns false when
// take ended it.
bool ReferenceMatches(std::vector<std::uint8_t>& data, const std::vector<std::uint8_t>& find,
                      const std::function<bool(std::size_t)>& take);

using Check = std::string (*)(const std::uint8_t* data, std::size_t size);

// The fuzz targets, by the name of their executable and of their seed corpus directory.
struct FuzzTarget {
  const char* name;
  Check check;
};
inline constexpr FuzzTarget kFuzzTargets[] = {
    {"ScanImageFuzz", CheckScanImage},     {"WriteBackFuzz", CheckApplyTranslation},
    {"EscapeFuzz", CheckEscape},           {"SearchFuzz", CheckSearch},
    {"AndroidPoolFuzz", CheckAndroidPool}, {"JournalFuzz", CheckParseJournal},
    {"ExchangeFuzz", CheckExchange},
};

// Ends the process with the failure on standard error when there is one; for the fuzz targets,
// which treat an abort as a finding.
void RequireHolds(const std::string& failure);

}  // namespace glos::fuzz
