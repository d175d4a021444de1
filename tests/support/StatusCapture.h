// Captures the reports of a run for the tests, as (code, argument text) pairs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/Status.h"

namespace glos::test {

struct Report {
  StatusCode code;
  std::string text;  // UTF-8 form of a text argument, the bytes of an 8-bit one, or the number
  bool operator==(const Report&) const = default;
};

// Installs itself as the status sink for its lifetime. A run that goes on past kMostReports
// reports is taken for one that never ends: the test fails and the run stops at its next file.
class StatusCapture {
 public:
  static constexpr std::size_t kMostReports = 20000;
  StatusCapture();
  StatusCapture(const StatusCapture&) = delete;
  StatusCapture& operator=(const StatusCapture&) = delete;
  ~StatusCapture();
  const std::vector<Report>& reports() const { return reports_; }
  // The formatted log lines, UTF-8, as the window shows them.
  const std::vector<std::string>& lines() const { return lines_; }
  // The reports as "code:text".
  std::vector<std::string> tagged() const;
  // Called at each report once it is recorded, while the operation is still inside its work.
  std::function<void(StatusCode)> onReport;
  void clear() {
    reports_.clear();
    lines_.clear();
  }

 private:
  static void Sink(void* context, StatusCode code, const StatusArgument& argument);
  std::vector<Report> reports_;
  std::vector<std::string> lines_;
};

}  // namespace glos::test
