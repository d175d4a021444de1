// Growth and release of the extraction output buffer.
#include "engine/OutputBuffer.h"

#include <cstdlib>

namespace glos {

namespace {
constexpr std::size_t kMinimumCapacity = 256;
}  // namespace

bool ReserveOutput(OutputBuffer& out, std::size_t extra) {
  if (out.failed) return false;
  if (out.capacity - out.size >= extra) return true;
  if (extra > kLargestOutput - out.size) {
    out.failed = true;
    return false;
  }
  const std::size_t needed = out.size + extra;
  std::size_t capacity = out.capacity < kMinimumCapacity ? kMinimumCapacity : out.capacity;
  while (capacity < needed) capacity *= 2;
  if (capacity > kLargestOutput) capacity = kLargestOutput;
  void* grown = std::realloc(out.data, capacity);
  if (grown == nullptr) {
    out.failed = true;
    return false;
  }
  out.data = static_cast<std::uint8_t*>(grown);
  out.capacity = capacity;
  return true;
}

OutputOwner::~OutputOwner() { std::free(buffer_.data); }

}  // namespace glos
