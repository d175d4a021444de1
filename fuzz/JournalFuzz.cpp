// libFuzzer target: ParseJournal on any bytes: nothing read outside them, and the records it
// accepts are whole and in order.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  glos::fuzz::RequireHolds(glos::fuzz::CheckParseJournal(data, size));
  return 0;
}
