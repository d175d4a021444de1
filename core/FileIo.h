// Whole-file reads and writes through ordinary buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/Memory.h"

namespace glos {

using FileBuffer = std::unique_ptr<std::uint8_t[], FilledBufferDeleter>;

// Zero bytes after a whole file's content, which end it both as 8-bit and as UTF-16 text.
inline constexpr std::size_t kWholeFileZeros = 2;

struct WholeFile {
  FileBuffer data;         // the file's bytes followed by kWholeFileZeros zeros; null on failure
  std::uint64_t size = 0;  // bytes of the file (without the zeros)
};

// Reads the whole file. The result's data is null when the file cannot be opened, is 4 GiB or
// larger, or memory runs out. Other programs may read the file meanwhile, not write it.
WholeFile ReadWholeFile(const char16_t* path);

// Writes length bytes to path: created or truncated, or with append the data goes after the
// existing content. Returns the number of bytes written, 0 on failure.
std::uint64_t WriteWholeFile(const char16_t* path, const void* data, std::uint64_t length,
                             bool append);

// Whether a replacement waits until its content is on disk before the name points at it.
// Flushing guards a file that exists nowhere else against a crash; a file that can be made
// again from its sources (a translation file from its target) need not pay for it.
enum class Flush { ToDisk, Lazily };

// Replaces the file at path with exactly these bytes, or leaves whatever was there untouched:
// the data goes into a new file in the same directory that is moved over path only once it is
// complete. Flushed to disk, the new name is on disk too when this returns. Returns length on
// success, 0 on failure.
std::uint64_t ReplaceWholeFile(const char16_t* path, const void* data, std::uint64_t length,
                               Flush flush);

// Keeps the first keep bytes of the existing file at path, cuts away anything after them, appends
// length bytes of data and returns only once all of it, the new size included, is on disk. Other
// programs may read the file meanwhile, not write it. False on failure; the file may then hold
// any part of the data after its first keep bytes.
bool AppendDurably(const char16_t* path, std::uint64_t keep, const void* data,
                   std::uint64_t length);

// Removes the file at path. True when no file is left there, also when there was none.
bool RemoveFile(const char16_t* path);

// Lets the system drop the cached pages of the file at path, which is about to be replaced.
// They are then free for its successor, where fresh memory can cost far more (a virtual machine
// that hands free memory back to its host). The file itself is not changed; nothing happens
// when it is missing or not a regular file.
void ReleaseFileCache(const char16_t* path);

}  // namespace glos
