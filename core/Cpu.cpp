// Vector level detection: the one place that asks the processor what it has.
#include "core/Cpu.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace glos {
namespace {

VectorLevel Detect() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  // The compiler's checks include the system's consent to the wider registers (XCR0).
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("bmi2")) {
    return VectorLevel::Avx512;
  }
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2")) return VectorLevel::Avx2;
#endif
  return VectorLevel::Sse2;
}

VectorLevel Lowest(VectorLevel a, VectorLevel b) { return a < b ? a : b; }

VectorLevel FromEnvironment(VectorLevel supported) {
  const char* wanted = std::getenv("GLOS_VECTOR");
  if (wanted == nullptr) return supported;
  if (std::strcmp(wanted, "sse2") == 0) return VectorLevel::Sse2;
  if (std::strcmp(wanted, "avx2") == 0) return Lowest(VectorLevel::Avx2, supported);
  return supported;
}

// -1 until the first use decides.
std::atomic<int> gActive{-1};

}  // namespace

VectorLevel SupportedVectorLevel() {
  static const VectorLevel supported = Detect();
  return supported;
}

VectorLevel ActiveVectorLevel() {
  int level = gActive.load(std::memory_order_relaxed);
  if (level < 0) {
    level = static_cast<int>(FromEnvironment(SupportedVectorLevel()));
    gActive.store(level, std::memory_order_relaxed);
  }
  return static_cast<VectorLevel>(level);
}

void SetVectorLevel(VectorLevel level) {
  gActive.store(static_cast<int>(Lowest(level, SupportedVectorLevel())), std::memory_order_relaxed);
}

}  // namespace glos
