// The status channel: delivers each report to the installed sink and formats log lines.
#include "core/Status.h"

#include <atomic>

namespace glos {
namespace {

StatusSink gSink = nullptr;
void* gSinkContext = nullptr;
std::atomic<bool> gStopRequested{false};

void Deliver(StatusCode code, const StatusArgument& argument) {
  if (gSink != nullptr) gSink(gSinkContext, code, argument);
}

}  // namespace

void SetStatusSink(StatusSink sink, void* context) {
  gSink = sink;
  gSinkContext = context;
  gStopRequested = false;
}

void StopRunAtNextFile() { gStopRequested = true; }

bool RunStopRequested() { return gStopRequested; }

void ReportStatus(StatusCode code, const char16_t* argument) {
  StatusArgument a;
  a.text = argument;
  Deliver(code, a);
}

void ReportStatusBytes(StatusCode code, const char* argument) {
  StatusArgument a;
  a.bytes = argument;
  Deliver(code, a);
}

void ReportStatusNumber(StatusCode code, std::uint32_t argument) {
  StatusArgument a;
  a.number = argument;
  Deliver(code, a);
}

void ReportStatusCounts(StatusCode code, const char16_t* text, std::uint32_t first,
                        std::uint32_t second, std::uint32_t third) {
  StatusArgument a;
  a.text = text;
  a.counts[0] = first;
  a.counts[1] = second;
  a.counts[2] = third;
  Deliver(code, a);
}

int FormatStatusLine(StatusCode code, const StatusArgument& argument, char16_t* dest) {
  char16_t format[260];
  if (LoadText(code, format, 260) == 0) {
    dest[0] = 0;
    return 0;
  }
  switch (code) {
    case kStatusCutBytes:
      return FormatText(dest, format, argument.bytes != nullptr ? argument.bytes : "");
    case kStatusLengthMismatch:
    case kStatusOutsideFile:
    case kStatusNotPoolString:
    case kStatusPoolEncoding:
    case kStatusSpansOutside:
    case kStatusStaleSlot:
      return FormatText(dest, format, static_cast<unsigned>(argument.number));
    case kStatusCheckSummary:
      return FormatText(dest, format, argument.text != nullptr ? argument.text : u"",
                        static_cast<unsigned>(argument.counts[0]),
                        static_cast<unsigned>(argument.counts[1]),
                        static_cast<unsigned>(argument.counts[2]));
    default:
      return FormatText(dest, format, argument.text != nullptr ? argument.text : u"");
  }
}

bool IsErrorStatus(StatusCode code) {
  return (code >= kStatusScanFailed && code <= kStatusTooSmall) || code == kStatusJournalMismatch ||
         code == kStatusJournalDamaged || code == kStatusJournalFailed ||
         code == kStatusExchangeUnreadable;
}

}  // namespace glos
