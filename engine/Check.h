// Check: what write-back would do to a target, told entry by entry, with the target unchanged.
#pragma once

#include <cstdint>
#include <vector>

#include "core/Settings.h"
#include "core/Status.h"
#include "core/Walker.h"
#include "engine/TranslationFile.h"

namespace glos {

// What one entry would do to the target.
struct EntryCheck {
  bool reported = false;  // a line was reported for it
  bool outside = false;   // it would be skipped: some of its bytes lie outside the target
  bool changes = false;   // it would change the target's bytes
};

// Looks at one entry of a translation text of the given width as write-back would apply it to
// target[0, size), which is only read, and reports what write-back would report for it: 526 when
// it lies outside the target (nothing else is then looked at), 516/517 when its text would be
// cut, 519 when its length prefix is not in step; and 540 when the unit after its slot is missing
// or is not the Terminator, where every string the scanner finds ends: the translation file then
// probably belongs to another version of the target. Each entry is compared with the target as
// it is, not as earlier entries would leave it. scratch is working room kept between calls.
EntryCheck CheckEntry(const Settings& settings, const std::uint8_t* target, std::uint64_t size,
                      bool wide, const TranslationEntry& entry, std::vector<std::uint8_t>& scratch);

// Per-file operation of the console's check: reads the target (read-only) and its translation
// files as write-back would, reports every entry by CheckEntry and, per translation file, 541 with
// its path and three counts: entries that would change the target, entries already in place,
// entries reported. A translation file that cannot be read is reported with 522. Returns 542 when
// done, 518 when there is no translation file (naming the pattern, as write-back does) and 523
// when the target cannot be mapped or fails underneath; the others name the target.
FileOutcome CheckFile(const Settings& settings, const char16_t* path, void* context);

}  // namespace glos
