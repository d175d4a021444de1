// Captures status reports for the tests.
#include "tests/support/StatusCapture.h"

#include <gtest/gtest.h>

#include "core/Text.h"

namespace glos::test {

StatusCapture::StatusCapture() { SetStatusSink(&StatusCapture::Sink, this); }
StatusCapture::~StatusCapture() { SetStatusSink(nullptr, nullptr); }

void StatusCapture::Sink(void* context, StatusCode code, const StatusArgument& argument) {
  auto* self = static_cast<StatusCapture*>(context);
  std::string text;
  if (argument.text != nullptr) {
    text = Utf16ToUtf8(argument.text);
  } else if (argument.bytes != nullptr) {
    text = argument.bytes;
  } else {
    text = std::to_string(argument.number);
  }
  self->reports_.push_back({code, text});
  if (self->reports_.size() == kMostReports) {
    ADD_FAILURE() << "the run goes on past " << kMostReports << " reports";
    StopRunAtNextFile();
  }
  char16_t line[kFormatCapacity];
  const int length = FormatStatusLine(code, argument, line);
  self->lines_.push_back(Utf16ToUtf8(std::u16string_view(line, static_cast<std::size_t>(length))));
  if (self->onReport) self->onReport(code);
}

std::vector<std::string> StatusCapture::tagged() const {
  std::vector<std::string> tagged;
  for (const Report& r : reports_) tagged.push_back(std::to_string(r.code) + ":" + r.text);
  return tagged;
}

}  // namespace glos::test
