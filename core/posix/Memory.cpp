// Filled buffers on POSIX: a large one is an anonymous mapping populated in one call.
#include "core/Memory.h"

#include <sys/mman.h>

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

}  // namespace glos
