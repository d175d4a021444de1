// The part of ReadWholeFile both platforms share, over the platform's read call.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/FileIo.h"

namespace glos {

// Reads a file of size bytes, its size as taken when it was opened, into a buffer with
// kWholeFileZeros zeros after the content. read(into, bytes) reads at most bytes (never more
// than 1 GiB) and gives how many it read, 0 when the file ended early, or -1 on failure.
template <typename Read>
WholeFile ReadOpenedFile(std::uint64_t size, Read read) {
  WholeFile result;
  if (size >= (std::uint64_t{1} << 32)) return result;
  const auto bytes = static_cast<std::size_t>(size + kWholeFileZeros);
  FileBuffer buffer(static_cast<std::uint8_t*>(AllocateFilledBuffer(bytes)),
                    FilledBufferDeleter{bytes});
  if (!buffer) return result;
  constexpr std::uint64_t kChunk = std::uint64_t{1} << 30;
  std::uint64_t done = 0;
  while (done < size) {
    const std::uint64_t rest = size - done;
    const std::int64_t got =
        read(buffer.get() + done, static_cast<std::uint32_t>(rest < kChunk ? rest : kChunk));
    if (got < 0) return result;
    if (got == 0) break;  // the file shrank since its size was taken
    done += static_cast<std::uint64_t>(got);
  }
  // Zeros after the content end it both as 8-bit and as UTF-16 text.
  std::memset(buffer.get() + done, 0, static_cast<std::size_t>(size + kWholeFileZeros - done));
  result.data = std::move(buffer);
  result.size = done;
  return result;
}

}  // namespace glos
