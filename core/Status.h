// Status codes, their log texts and the one channel that delivers them.
#pragma once

#include <cstdint>

#include "core/TextFormat.h"

namespace glos {

// Each code is also the id of its log text in the string table.
enum StatusCode : std::uint32_t {
  kStatusNone = 2,  // walker only: nothing handled yet at this level
  kStatusFound = 510,
  kStatusCancelled = 511,
  kStatusWrittenBack = 512,
  kStatusNoString = 513,
  kStatusExtracted = 514,
  kStatusSearchDone = 515,
  kStatusCutWide = 516,
  kStatusCutBytes = 517,
  kStatusNoFile = 518,
  kStatusLengthMismatch = 519,
  kStatusScanFailed = 520,
  kStatusNoMemory = 521,
  kStatusCannotOpen = 522,
  kStatusCannotMap = 523,
  kStatusCannotSave = 524,
  kStatusTooSmall = 525,
  kStatusOutsideFile = 526,
  kStatusNotPoolString = 530,
  kStatusPoolEncoding = 531,
  kStatusSpansOutside = 532,
  kStatusStaleSlot = 540,         // check: the unit after a slot is not the Terminator
  kStatusCheckSummary = 541,      // check: one translation file's counts
  kStatusChecked = 542,           // check: a target done
  kStatusUndone = 543,            // undo: the target holds its bytes from before write-back
  kStatusNoJournal = 544,         // undo: nothing to undo for the target
  kStatusJournalMismatch = 545,   // undo: the target's size or identity changed; nothing done
  kStatusJournalDamaged = 546,    // the journal cannot be read; nothing done
  kStatusJournalFailed = 547,     // the journal cannot be written; the target is unchanged
  kStatusJournalRestarted = 548,  // the old journal was of another file under that name
};

// The argument of one report: a UTF-16 text, an 8-bit text (517) or a number (519, 526, 530 to
// 532, 540); the check summary (541) takes a text and three counts.
struct StatusArgument {
  const char16_t* text = nullptr;
  const char* bytes = nullptr;
  std::uint32_t number = 0;
  std::uint32_t counts[3] = {};
};

// Receives every report of a run, in order. The window and the console each install one.
using StatusSink = void (*)(void* context, StatusCode code, const StatusArgument& argument);
void SetStatusSink(StatusSink sink, void* context);

void ReportStatus(StatusCode code, const char16_t* argument);
void ReportStatusBytes(StatusCode code, const char* argument);
void ReportStatusNumber(StatusCode code, std::uint32_t argument);
void ReportStatusCounts(StatusCode code, const char16_t* text, std::uint32_t first,
                        std::uint32_t second, std::uint32_t third);

// Formats the log line of a report into dest (kFormatCapacity units), as the window shows it:
// the code's text with its one argument, cut at kFormatCapacity units. Returns its length.
int FormatStatusLine(StatusCode code, const StatusArgument& argument, char16_t* dest);

// True for the codes whose text marks an error (the file was not handled).
bool IsErrorStatus(StatusCode code);

}  // namespace glos
