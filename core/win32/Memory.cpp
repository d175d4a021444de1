// Filled buffers on Windows: the heap, which takes large blocks from VirtualAlloc itself.
#include "core/Memory.h"

#include <cstdlib>

namespace glos {

void* AllocateFilledBuffer(std::size_t bytes) { return std::malloc(bytes == 0 ? 1 : bytes); }

void FreeFilledBuffer(void* buffer, std::size_t /*bytes*/) { std::free(buffer); }

// The heap takes large blocks from VirtualAlloc as they come: nothing to prepare.
LargeHeapScope::LargeHeapScope(std::size_t /*reserve*/, std::size_t /*prefault*/) {}

LargeHeapScope::~LargeHeapScope() {}

}  // namespace glos
