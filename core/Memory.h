// Buffers that are filled at once to their full size, such as a whole file read into memory.
#pragma once

#include <cstddef>

namespace glos {

// A new buffer of bytes, its content undefined; null when memory cannot be had. A large one
// comes with all its pages already in place, which costs one call instead of a fault for every
// page as it is first filled.
void* AllocateFilledBuffer(std::size_t bytes);

// Frees a buffer from AllocateFilledBuffer; bytes is the size it was allocated with.
void FreeFilledBuffer(void* buffer, std::size_t bytes);

// Frees such a buffer when its owner goes.
struct FilledBufferDeleter {
  std::size_t bytes = 0;
  void operator()(void* buffer) const { FreeFilledBuffer(buffer, bytes); }
};

}  // namespace glos
