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

// One large piece of work on this thread, such as reading or writing a translation file of
// millions of entries: while it lives, the heap hands out about the next bytes from one region
// that the system backs with 2 MiB pages where it can, so that memory touched for the first
// time costs one fault per 2 MiB instead of one per 4 KiB page (on a virtual machine, each of
// those costs the host's work too). When it ends, what the heap holds free goes back to the
// system. Only advice: where the system or the heap cannot do it, nothing changes. Create it
// before the work's first allocation, so that it ends after the work's memory is freed.
class LargeHeapScope {
 public:
  explicit LargeHeapScope(std::size_t bytes);
  LargeHeapScope(const LargeHeapScope&) = delete;
  LargeHeapScope& operator=(const LargeHeapScope&) = delete;
  ~LargeHeapScope();

 private:
  bool active_ = false;
};

}  // namespace glos
