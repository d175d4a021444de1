// libFuzzer target: the Android string pool reader, extraction and write-back on arbitrary files:
// nothing read or written outside the file, nothing changed outside the pool's string data.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  glos::fuzz::RequireHolds(glos::fuzz::CheckAndroidPool(data, size));
  return 0;
}
