// libFuzzer target: exchange text round trips, and the PO and XLIFF readers on any bytes.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  glos::fuzz::RequireHolds(glos::fuzz::CheckExchange(data, size));
  return 0;
}
