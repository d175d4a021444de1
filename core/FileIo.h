// Whole-file reads and writes through ordinary buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

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

// A file that takes the place of path only once it is complete. Its content goes into a new file
// in the same directory, unnamed where the file system allows it (so a process killed midway
// leaves nothing behind) and under a temporary name elsewhere; commit() puts it in place. Until
// then, and whenever opening, writing or committing fails, whatever path names stays untouched,
// and a new file that was not committed is removed when the object goes.
class ReplacementFile {
 public:
  ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  ~ReplacementFile();

  // Starts the new file. False when none can be created there, or when path names something
  // that may not be replaced: a directory, a read-only file, a file another program has open.
  bool open(const char16_t* path);
  // Appends length bytes. False when they could not all be written.
  bool write(const void* data, std::size_t length);
  // Moves the complete file over path. False, with path untouched, when that fails.
  bool commit(Flush flush);

 private:
  struct State;  // one per platform
  std::unique_ptr<State> state_;
};

// Replaces the file at path with exactly these bytes through a ReplacementFile. Flushed to
// disk, the new name is on disk too when this returns. Returns length on success, 0 on failure.
std::uint64_t ReplaceWholeFile(const char16_t* path, const void* data, std::uint64_t length,
                               Flush flush);

// True for the name of a temporary file that ReplaceWholeFile makes beside its target: "~glos"
// (".~glos" on POSIX), hexadecimal digits, "-", hexadecimal digits, ".tmp". An interrupted run
// can leave one behind; no run takes it for a target.
inline bool IsTemporaryName(std::u16string_view name) {
  if (name.starts_with(u'.')) name.remove_prefix(1);
  if (!name.starts_with(u"~glos") || !name.ends_with(u".tmp")) return false;
  name = name.substr(5, name.size() - 9);
  const auto hexDigits = [&name] {
    std::size_t n = 0;
    while (n < name.size() &&
           ((name[n] >= u'0' && name[n] <= u'9') || (name[n] >= u'a' && name[n] <= u'f'))) {
      ++n;
    }
    name.remove_prefix(n);
    return n > 0;
  };
  if (!hexDigits() || !name.starts_with(u'-')) return false;
  name.remove_prefix(1);
  return hexDigits() && name.empty();
}

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
