// The Write back operation: patches the translation files of one file into it, in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/MappedFile.h"
#include "core/Settings.h"
#include "core/Status.h"
#include "core/Walker.h"
#include "engine/AndroidPool.h"
#include "engine/TranslationFile.h"
#include "engine/UndoJournal.h"

namespace glos {

// Per-file operation of Mode 1. Reads every file named like the target followed by ".tt?", keeps
// the bytes they will overwrite in the undo journal unless settings.undoJournal is clear, then
// applies them in search order. Returns 512 (the last translation file was applied; named), 518
// (none; names the pattern, or the target when ".tt?" does not fit), 522 (the last translation
// file could not be read; named), 523 (the target could not be mapped, or failed underneath;
// names the target) or 546/547 (the journal could not be read or written; the target is
// unchanged and named). Earlier translation files are reported here. With settings.android the
// entries go into the target's string pool (the journal keeps the pool's whole string data):
// 520 (names the target) when it holds none that fits the file, 521 when memory runs out.
FileOutcome WriteBackFile(const Settings& settings, const char16_t* path, void* context);

// The window write-back applies entries through, a copy of the target's bytes around them: its
// size, how far it reads on ahead, the widest gap it reads through rather than starting anew, and
// the gap up to which two written runs go back to the file as one (less than a page leaves no
// page that neither writes). Small ones let a test move it often; a span larger than the window
// gets a window of its own.
struct WindowSizes {
  std::uint64_t bytes = 1024 * 1024;
  std::uint64_t readAhead = 64 * 1024;
  std::uint64_t readThrough = 16 * 1024;
  std::uint64_t joinGap = 4095;
};

// Applies every entry of one translation text (its encoding told by its fourth byte) to the
// target's bytes. An entry that would write any unit outside [target, target + size) is skipped
// whole and reported with 526. Reports 516/517 for cut texts and 519 for prefix mismatches.
void ApplyTranslation(const Settings& settings, std::uint8_t* target, std::uint64_t size,
                      const std::uint8_t* text, std::size_t textSize, WindowSizes sizes = {});

// The bytes one entry of a translation file of the given width writes in a target of size
// bytes: [first, end) covers the length prefix (with LengthPrefixed), the slot, and a run-on text
// under NoLengthCheck. False when any of them would lie outside the target.
struct EntrySpan {
  std::uint64_t first;
  std::uint64_t end;
};
bool FindEntrySpan(const Settings& settings, bool wide, std::uint64_t size,
                   const TranslationEntry& entry, EntrySpan& span);

// Writes one entry at slot, the target's bytes at the entry's offset, whose span the caller has
// found inside the target. Reports 516/517 for a cut text; returns false when it reported 519
// (the length prefix was not in step and is left as it was).
bool WriteEntry(const Settings& settings, bool wide, std::uint8_t* slot,
                const TranslationEntry& entry);

// Appends the span of every entry of a translation text that lies inside a target of size bytes
// to ranges (through AppendRange).
void AppendWriteRanges(const Settings& settings, std::uint64_t size, const std::uint8_t* text,
                       std::size_t textSize, std::vector<ByteRange>& ranges);

// Puts the pattern of the translation files of the target at path (its path followed by ".tt?")
// into pattern (kPathCapacity units) and appends the names, without their folder, of the files
// that match it and are not directories, in search order. False when ".tt?" does not fit.
bool FindTranslationFiles(const char16_t* path, char16_t* pattern,
                          std::vector<std::u16string>& names);

// A target as write-back and its check take it: its translation files, its view and, with
// --android, the index of its string pool.
struct TargetFiles {
  char16_t translation[kPathCapacity];  // the ".tt?" pattern, then each translation file's path
  std::size_t name = 0;                 // where the file's own name starts in translation
  std::vector<std::u16string> names;    // the translation files' names, in search order
  MappedFile view;
  PoolIndexOwner pool;

  // Puts the path of translation file i into translation; false when it does not fit.
  bool select(std::size_t i);
};

// Finds the translation files of the target at path, maps the target (read-only or read-write)
// and indexes its string pool with settings.android. Returns kStatusNone when all that was done,
// else what to report: 518 (naming the pattern, or the target when ".tt?" does not fit), 523 or
// the pool's failure (naming the target).
FileOutcome OpenTarget(const Settings& settings, const char16_t* path, bool readOnly,
                       TargetFiles& files);

}  // namespace glos
