// Status codes, their log texts and the one channel that delivers them.
#pragma once

#include <cstdint>

#include "core/TextFormat.h"

namespace glos {

// Each code is also the id of its log text in the string table; both come from the status
// lines (GLOS_STATUS) of the one text table, which names them.
enum StatusCode : std::uint32_t {
  kStatusNone = 2,  // walker only: nothing handled yet at this level
#define GLOS_TEXT(name, id, text)
#define GLOS_STATUS(name, id, text) name = id,
#include "resources/Texts.inc"
#undef GLOS_STATUS
#undef GLOS_TEXT
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
