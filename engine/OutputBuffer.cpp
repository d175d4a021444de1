// Growth and release of the extraction output buffer.
#include "engine/OutputBuffer.h"

#include <cstdlib>

namespace glos {

namespace {
constexpr std::size_t kMinimumCapacity = 256;
}  // namespace

void FlushOutput(OutputBuffer& out) {
  if (out.sink == nullptr || out.size == 0 || out.failed) return;
  // Write-back reads translation files below 4 GiB only: a larger output is a failed one.
  if (out.size > kLargestOutput - out.flushed) {
    out.failed = true;
    return;
  }
  out.sink(out.sinkContext, out.data, out.size);
  out.flushed += out.size;
  out.size = 0;
}

bool AppendOutputBuffer(OutputBuffer& out, const OutputBuffer& part) {
  if (out.failed) return false;
  if (out.sink == nullptr || part.size < out.capacity)
    return AppendOutput(out, part.data, part.size);
  FlushOutput(out);
  if (out.failed || part.size > kLargestOutput - out.flushed) {
    out.failed = true;
    return false;
  }
  out.sink(out.sinkContext, part.data, part.size);
  out.flushed += part.size;
  return true;
}

bool ReserveOutput(OutputBuffer& out, std::size_t extra) {
  if (out.failed) return false;
  if (out.capacity - out.size >= extra) return true;
  if (out.flushed + out.size > kLargestOutput || extra > kLargestOutput - out.flushed - out.size) {
    out.failed = true;
    return false;
  }
  FlushOutput(out);
  if (out.capacity - out.size >= extra) return true;
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

void FileSink::Take(void* context, const std::uint8_t* data, std::size_t size) {
  auto& sink = *static_cast<FileSink*>(context);
  if (sink.failed) return;
  if (!sink.opened) {
    sink.opened = true;
    if (sink.path == nullptr || !sink.file.open(sink.path)) {
      sink.failed = true;
      return;
    }
  }
  if (!sink.file.write(data, size)) sink.failed = true;
}

OutputOwner::~OutputOwner() { std::free(buffer_.data); }

}  // namespace glos
