// The vector instructions the engine's scanners may use, chosen once from what the processor has.
#pragma once

namespace glos {

// Each level includes the ones before it.
enum class VectorLevel { Sse2, Avx2, Avx512 };

// The widest level this processor and its system support.
VectorLevel SupportedVectorLevel();

// The level the scanners use: the supported one, unless lowered by SetVectorLevel or, for the
// console's first use, by the environment variable GLOS_VECTOR (sse2, avx2 or avx512).
VectorLevel ActiveVectorLevel();

// Uses level from now on, or the supported level where level is above it. For tests and
// measurements that compare the variants; not to be called while a scan runs.
void SetVectorLevel(VectorLevel level);

}  // namespace glos
