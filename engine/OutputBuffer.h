// The growable byte buffer an extraction builds its translation file in.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/FileIo.h"

namespace glos {

// Takes the bytes of a full buffer, in order, so that the buffer can be reused. Failures are
// the sink's own business: the buffer goes on as if the bytes had been taken.
using OutputSink = void (*)(void* context, const std::uint8_t* data, std::size_t size);

// A plain record, so that the guarded scan can be abandoned at any point without leaking or
// running destructors: the owner (OutputOwner) frees it. Once a growth fails, failed stays set
// and nothing more is appended. With a sink the buffer streams: whenever the next bytes would
// not fit, what it holds goes to the sink first, and it grows only for a single piece larger
// than itself.
struct OutputBuffer {
  std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t capacity = 0;
  bool failed = false;
  OutputSink sink = nullptr;
  void* sinkContext = nullptr;
  std::uint64_t flushed = 0;  // bytes handed to the sink so far
};

// The output never reaches 4 GiB: write-back reads translation files below that size only.
inline constexpr std::uint64_t kLargestOutput = 0xFFFFFFFFu;

// Hands what the buffer holds to its sink, if it has one.
void FlushOutput(OutputBuffer& out);

// Appends what part holds: straight to out's sink, after what out holds, when it has one.
bool AppendOutputBuffer(OutputBuffer& out, const OutputBuffer& part);

// Makes room for extra more bytes. False (and failed set) when memory cannot be had, or when
// the output, with what was handed to the sink, would grow past kLargestOutput.
bool ReserveOutput(OutputBuffer& out, std::size_t extra);

// Appends count bytes. False (nothing appended) once the buffer has failed.
inline bool AppendOutput(OutputBuffer& out, const void* bytes, std::size_t count);

// An output streams through a buffer of this size into its file.
inline constexpr std::size_t kStreamBuffer = std::size_t{256} << 10;

// Where an output goes: a new file at path, created when the first bytes come (so that an
// output that is abandoned before never touches the disk), put in place by file.commit(). After
// a failure the rest is dropped; the producer still runs to the end, as its own outcome comes
// first.
struct FileSink {
  const char16_t* path;  // null when the file's name does not fit
  ReplacementFile file;
  bool opened = false;
  bool failed = false;

  static void Take(void* context, const std::uint8_t* data, std::size_t size);
};

// Owns an OutputBuffer's memory for the length of one operation.
class OutputOwner {
 public:
  OutputOwner() = default;
  OutputOwner(const OutputOwner&) = delete;
  OutputOwner& operator=(const OutputOwner&) = delete;
  ~OutputOwner();
  OutputBuffer& buffer() { return buffer_; }

 private:
  OutputBuffer buffer_;
};

}  // namespace glos

#include <cstring>

namespace glos {
inline bool AppendOutput(OutputBuffer& out, const void* bytes, std::size_t count) {
  if (out.failed) return false;
  if (out.capacity - out.size < count && !ReserveOutput(out, count)) return false;
  if (count != 0) std::memcpy(out.data + out.size, bytes, count);
  out.size += count;
  return true;
}
}  // namespace glos
