// Buffers that are filled at once to their full size, such as a whole file read into memory.
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>

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
// millions of entries: while it lives, the heap hands out about the next reserve bytes from one
// region that the system backs with 2 MiB pages where it can, so that memory touched for the
// first time costs one fault per 2 MiB instead of one per 4 KiB page (on a virtual machine, each
// of those costs the host's work too). The first prefault bytes of the region are put in place
// ahead of the work on a thread of their own, where there is a core for it, so that the work
// finds them there. When it ends, what the heap holds free goes back to the system. Only
// advice: where the system or the heap cannot do it, nothing changes. Create it before the
// work's first allocation, so that it ends after the work's memory is freed.
class LargeHeapScope {
 public:
  LargeHeapScope(std::size_t reserve, std::size_t prefault);
  LargeHeapScope(const LargeHeapScope&) = delete;
  LargeHeapScope& operator=(const LargeHeapScope&) = delete;
  ~LargeHeapScope();

 private:
  bool active_ = false;
  std::atomic<bool> stop_{false};
  std::thread prefaulter_;
};

}  // namespace glos
