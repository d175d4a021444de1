// libFuzzer target: EscapeText, UnescapeText and ParseNumber against their references, in
// exact-size buffers.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  glos::fuzz::RequireHolds(glos::fuzz::CheckEscape(data, size));
  return 0;
}
