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
  // Translation exchange (PO and XLIFF).
  kStatusExported = 540,
  kStatusImported = 541,
  kStatusTooLong = 542,
  kStatusUnencodable = 543,
  kStatusStale = 544,
  kStatusExchangeUnreadable = 545,
};

// The argument of one report: a UTF-16 text, an 8-bit text (517) or a number (519, 526).
struct StatusArgument {
  const char16_t* text = nullptr;
  const char* bytes = nullptr;
  std::uint32_t number = 0;
};

// Receives every report of a run, in order. The window and the console each install one.
using StatusSink = void (*)(void* context, StatusCode code, const StatusArgument& argument);
void SetStatusSink(StatusSink sink, void* context);

void ReportStatus(StatusCode code, const char16_t* argument);
void ReportStatusBytes(StatusCode code, const char* argument);
void ReportStatusNumber(StatusCode code, std::uint32_t argument);

// Formats the log line of a report into dest (kFormatCapacity units), as the window shows it:
// the code's text with its one argument, cut at kFormatCapacity units. Returns its length.
int FormatStatusLine(StatusCode code, const StatusArgument& argument, char16_t* dest);

// True for the codes whose text marks an error (the file was not handled).
bool IsErrorStatus(StatusCode code);

}  // namespace glos
