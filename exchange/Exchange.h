// Translation exchange: a target's translation file as PO or XLIFF for translation tools, and
// back.
#pragma once

#include "core/Settings.h"
#include "core/Status.h"
#include "core/Walker.h"

namespace glos {

enum class ExchangeFormat { Po, Xliff };

// The context the walker hands to ExportFile and ImportFile; none means the defaults.
struct ExchangeOptions {
  ExchangeFormat format = ExchangeFormat::Po;
  unsigned codePage = 0;  // of 8-bit strings; 0: the file's own on import, else the default
};

// ".po" or ".xlf".
const char16_t* ExchangeExtension(ExchangeFormat format);

// Per-file operation: writes the exchange file of the target at path from its ".ttt" and its
// current bytes. One unit per distinct source text (what the target holds in the slot now) with
// every location, its room (the smallest slot, in bytes) and its translation (the ".ttt" text
// where that differs from the source). Returns 540 with the exchange file's path, 518 with the
// ".ttt" path when there is none, 522 when it cannot be read, 523 when the target cannot be
// mapped (with the target's path), 524 when the exchange file cannot be written. Entries
// outside the target are skipped
// and reported with 526.
FileOutcome ExportFile(const Settings& settings, const char16_t* path, void* context);

// Per-file operation: writes the target's ".ttt" whole from its exchange file: every location of
// every unit, translated units with their translation, the others with their source. A unit
// whose translation is longer than its room (542), cannot be encoded (543) or whose source no
// longer matches the target at one of its locations (544) is reported and keeps its source;
// a stale location keeps what the target holds there. Returns 541 with the ".ttt" path, 518 with
// the exchange file's path when there is none, 545 when it cannot be read, 523 when the target
// cannot be mapped, 524 when the ".ttt" cannot be written.
FileOutcome ImportFile(const Settings& settings, const char16_t* path, void* context);

// True for the reports that ask the user to look at a unit (542 to 544).
bool IsExchangeProblem(StatusCode code);

}  // namespace glos
