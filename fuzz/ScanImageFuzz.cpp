// libFuzzer target: ScanImage over an executable image or a whole file: entries inside the file,
// read back to the reference's.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  glos::fuzz::RequireHolds(glos::fuzz::CheckScanImage(data, size));
  return 0;
}
