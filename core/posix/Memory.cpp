// Filled buffers on POSIX: a large one is an anonymous mapping populated in one call.
#include "core/Memory.h"

#include <malloc.h>
#include <sys/mman.h>

#include <climits>
#include <cstdint>
#include <cstdlib>

namespace glos {
namespace {

// The address sanitizer (named differently by gcc and clang) checks the bounds of heap blocks
// only, so under it every buffer comes from there.
#if defined(__SANITIZE_ADDRESS__)
#define GLOS_BUFFERS_ON_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GLOS_BUFFERS_ON_HEAP 1
#endif
#endif

#if defined(GLOS_BUFFERS_ON_HEAP) || !defined(MAP_POPULATE)
constexpr std::size_t kMappedBuffer = ~std::size_t{0};
#else
constexpr std::size_t kMappedBuffer = std::size_t{1} << 20;
#endif

// The large pages of x86-64 and of most other systems' transparent huge pages.
constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;

// glibc's heap, which the tuning below speaks to; not the sanitizers' own.
#if defined(__GLIBC__) && defined(M_MMAP_MAX) && defined(MADV_HUGEPAGE) && \
    !defined(GLOS_BUFFERS_ON_HEAP)
constexpr bool kTunableHeap = true;
// glibc's defaults, for the end of a scope.
constexpr int kDefaultMmapMax = 65536;
constexpr int kDefaultTrimThreshold = 128 * 1024;
// The most a scope prepares: glibc's trim threshold is an int, and the block taken below must
// stay under it to stay in the heap.
constexpr std::size_t kLargestScope = std::size_t{1} << 30;
#else
constexpr bool kTunableHeap = false;
#endif

}  // namespace

void* AllocateFilledBuffer(std::size_t bytes) {
  if (bytes < kMappedBuffer) return std::malloc(bytes == 0 ? 1 : bytes);
#if defined(MAP_POPULATE)
  void* buffer = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  return buffer == MAP_FAILED ? nullptr : buffer;
#else
  return nullptr;
#endif
}

void FreeFilledBuffer(void* buffer, std::size_t bytes) {
  if (buffer == nullptr) return;
  if (bytes < kMappedBuffer) {
    std::free(buffer);
  } else {
    ::munmap(buffer, bytes);
  }
}

// glibc gives a large block a mapping of its own, whose pages the system backs one by one, and
// gives memory freed at the heap's top back at once. For the scope, every block comes from the
// heap, and a block of the scope's size is taken, its pages advised as large ones, and freed:
// it stays the heap's top, which the work's allocations are then carved from.
LargeHeapScope::LargeHeapScope(std::size_t bytes) {
  if constexpr (kTunableHeap) {
    if (bytes > kLargestScope) bytes = kLargestScope;
    if (bytes < 2 * kLargePage) return;
    active_ = ::mallopt(M_MMAP_MAX, 0) == 1 && ::mallopt(M_TRIM_THRESHOLD, INT_MAX) == 1;
    void* block = active_ ? std::malloc(bytes) : nullptr;
    if (block == nullptr) return;
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (start + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t last = (start + bytes) & ~(kLargePage - 1);
    if (last > first) {
      ::madvise(reinterpret_cast<void*>(first), static_cast<std::size_t>(last - first),
                MADV_HUGEPAGE);
    }
    std::free(block);
  }
}

LargeHeapScope::~LargeHeapScope() {
  if constexpr (kTunableHeap) {
    if (!active_) return;
    ::mallopt(M_MMAP_MAX, kDefaultMmapMax);
    ::mallopt(M_TRIM_THRESHOLD, kDefaultTrimThreshold);
    ::malloc_trim(0);
  }
}

}  // namespace glos
