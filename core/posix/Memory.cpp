// Filled buffers on POSIX: a large one is an anonymous mapping on huge pages, populated in one
// call.
#include "core/Memory.h"

#include <malloc.h>
#include <sys/mman.h>

#include <algorithm>
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

// A large buffer is placed on whole huge pages where the system has them: each page a process
// touches first costs a fault, and on a virtual machine with shadowed page tables several
// microseconds more, so a 4 MB buffer costs a thousand of those in small pages and two in huge
// ones. The rounding up wastes at most one huge page.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t MappedBytes(std::size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }

// glibc's heap, which the tuning below speaks to; not the sanitizers' own.
#if defined(__GLIBC__) && defined(M_MMAP_MAX) && defined(MADV_HUGEPAGE) && \
    defined(MADV_POPULATE_WRITE) && !defined(GLOS_BUFFERS_ON_HEAP)
#define GLOS_TUNABLE_HEAP 1
// glibc's defaults, for the end of a scope.
constexpr int kDefaultMmapMax = 65536;
constexpr int kDefaultTrimThreshold = 128 * 1024;
// The most a scope prepares: glibc's trim threshold is an int, and the block taken below must
// stay under it to stay in the heap.
constexpr std::size_t kLargestScope = std::size_t{1} << 30;
#endif

}  // namespace

void* AllocateFilledBuffer(std::size_t bytes) {
  if (bytes < kMappedBuffer) return std::malloc(bytes == 0 ? 1 : bytes);
#if defined(MAP_POPULATE)
  const std::size_t mapped = MappedBytes(bytes);
  if (mapped < bytes || mapped + kHugePage < mapped) return nullptr;
  void* whole = ::mmap(nullptr, mapped + kHugePage, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (whole == MAP_FAILED) return nullptr;
  // Keeps the huge-page-aligned part and gives back what lies before and after it.
  const auto start = reinterpret_cast<std::uintptr_t>(whole);
  const std::uintptr_t aligned = (start + kHugePage - 1) & ~std::uintptr_t{kHugePage - 1};
  if (aligned != start) ::munmap(whole, aligned - start);
  if (const std::size_t after = kHugePage - (aligned - start); after != 0) {
    ::munmap(reinterpret_cast<void*>(aligned + mapped), after);
  }
  auto* buffer = reinterpret_cast<void*>(aligned);
#if defined(MADV_HUGEPAGE)
  ::madvise(buffer, mapped, MADV_HUGEPAGE);
#endif
#if defined(MADV_POPULATE_WRITE)
  ::madvise(buffer, mapped, MADV_POPULATE_WRITE);
#endif
  return buffer;
#else
  return nullptr;
#endif
}

void FreeFilledBuffer(void* buffer, std::size_t bytes) {
  if (buffer == nullptr) return;
  if (bytes < kMappedBuffer) {
    std::free(buffer);
  } else {
    ::munmap(buffer, MappedBytes(bytes));
  }
}

// glibc gives a large block a mapping of its own, whose pages the system backs one by one, and
// gives memory freed at the heap's top back at once. For the scope, every block comes from the
// heap, and a block of the scope's size is taken, its pages advised as large ones, and freed:
// it stays the heap's top, which the work's allocations are then carved from, from its start
// on. Putting pages in place for writing changes no content, so it may run beside the work.
LargeHeapScope::LargeHeapScope(std::size_t reserve, std::size_t prefault) {
#if defined(GLOS_TUNABLE_HEAP)
  if (reserve > kLargestScope) reserve = kLargestScope;
  if (reserve < 2 * kHugePage) return;
  active_ = ::mallopt(M_MMAP_MAX, 0) == 1 && ::mallopt(M_TRIM_THRESHOLD, INT_MAX) == 1;
  void* block = active_ ? std::malloc(reserve) : nullptr;
  if (block == nullptr) return;
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t first = (start + kHugePage - 1) & ~std::uintptr_t{kHugePage - 1};
  const std::uintptr_t last = (start + reserve) & ~std::uintptr_t{kHugePage - 1};
  std::free(block);
  if (last <= first) return;
  ::madvise(reinterpret_cast<void*>(first), static_cast<std::size_t>(last - first), MADV_HUGEPAGE);
  const std::uintptr_t end = std::min(last, first + (prefault & ~std::uintptr_t{kHugePage - 1}));
  if (end <= first || std::thread::hardware_concurrency() < 2) return;
  try {
    prefaulter_ = std::thread([this, first, end] {
      constexpr std::uintptr_t kStep = 2 * kHugePage;
      for (std::uintptr_t at = first; at < end && !stop_.load(std::memory_order_relaxed);
           at += kStep) {
        if (::madvise(reinterpret_cast<void*>(at), std::min(kStep, end - at),
                      MADV_POPULATE_WRITE) != 0) {
          return;
        }
      }
    });
  } catch (...) {
  }
#else
  static_cast<void>(reserve);
  static_cast<void>(prefault);
#endif
}

LargeHeapScope::~LargeHeapScope() {
  stop_.store(true, std::memory_order_relaxed);
  if (prefaulter_.joinable()) prefaulter_.join();
#if defined(GLOS_TUNABLE_HEAP)
  if (!active_) return;
  ::mallopt(M_MMAP_MAX, kDefaultMmapMax);
  ::mallopt(M_TRIM_THRESHOLD, kDefaultTrimThreshold);
  ::malloc_trim(0);
#endif
}

}  // namespace glos
