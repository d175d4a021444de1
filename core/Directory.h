// Directory enumeration with the wildcards "*" and "?" in the last path element.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace glos {

// The platform's path separator, as the walker builds paths.
extern const char16_t kPathSeparator;

// Position of a path's name part: just after its last separator, or 0 when it has none.
inline std::size_t NamePosition(const char16_t* path) {
  std::size_t position = 0;
  for (std::size_t i = 0; path[i] != 0; ++i) {
    if (path[i] == kPathSeparator) position = i + 1;
  }
  return position;
}

// True when two names name the same file in one directory: on POSIX when they are equal unit
// for unit, on Windows also when they differ only in case.
bool SameName(std::u16string_view a, std::u16string_view b);

// Which directory a path names, links followed: equal identities are the same directory.
struct DirectoryId {
  std::uint64_t volume;
  std::uint64_t file;
  bool operator==(const DirectoryId&) const = default;
};

// The identity of the directory at path. False when it cannot be had.
bool GetDirectoryId(const char16_t* path, DirectoryId& id);

struct DirectoryEntry {
  char16_t name[260];  // the entry's name, without its directory
  bool isDirectory;
};

// Scoped enumeration of the entries matching a pattern (a path whose last element may hold
// wildcards). Entries come in a deterministic order: on POSIX sorted by their upper-cased UTF-16
// units, on Windows as the file system yields them. "." and ".." are entries like any other.
// The search is closed by the destructor on every path.
class DirectorySearch {
 public:
  explicit DirectorySearch(const char16_t* pattern);
  DirectorySearch(const DirectorySearch&) = delete;
  DirectorySearch& operator=(const DirectorySearch&) = delete;
  ~DirectorySearch();

  // Fills entry with the next match; false when there is none (or the search failed to start).
  bool next(DirectoryEntry& entry);

 private:
  struct State;
  State* state_ = nullptr;
};

}  // namespace glos
