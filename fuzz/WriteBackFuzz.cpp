// libFuzzer target: ApplyTranslation on an exact-size target: nothing written outside the slots of
// entries that lie inside.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  glos::fuzz::RequireHolds(glos::fuzz::CheckApplyTranslation(data, size));
  return 0;
}
