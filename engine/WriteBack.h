// The Write back operation: patches the translation files of one file into it, in place.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Settings.h"
#include "core/Status.h"
#include "core/Walker.h"

namespace glos {

// Per-file operation of Mode 1. Applies every file named like the target followed by ".tt?" in
// search order. Returns 512 (the last translation file was applied; named), 518 (none; names
// the pattern, or the target when ".tt?" does not fit), 522 (the last translation file could
// not be read; named) or 523 (the target could not be mapped, or failed underneath; names the
// target). Earlier translation files are reported here.
FileOutcome WriteBackFile(const Settings& settings, const char16_t* path, void* context);

// Applies every entry of one translation text (its encoding told by its fourth byte) to the
// target's bytes. An entry that would write any unit outside [target, target + size) is skipped
// whole and reported with 526. Reports 516/517 for cut texts and 519 for prefix mismatches.
void ApplyTranslation(const Settings& settings, std::uint8_t* target, std::uint64_t size,
                      const std::uint8_t* text, std::size_t textSize);

}  // namespace glos
