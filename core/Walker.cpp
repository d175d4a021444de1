// The file walker: files of a level first, then its sub-directories, depth first.
#include "core/Walker.h"

#include <set>
#include <utility>

#include "core/Directory.h"
#include "core/FileIo.h"

namespace glos {
namespace {

// Puts name at position n of buffer; false (buffer unchanged) when it would not fit.
bool PutName(char16_t* buffer, std::size_t n, std::u16string_view name) {
  if (n + name.size() + 1 > kPathCapacity) return false;
  name.copy(buffer + n, name.size());
  buffer[n + name.size()] = 0;
  return true;
}

// The directories a run has entered. A directory reached again, through a link or a loop of
// links, is not walked again, so every file is handled at most once and a lattice of links
// costs one visit per directory.
struct Visited {
  std::set<std::pair<std::uint64_t, std::uint64_t>> ids;
  // True when id is new to the run (and now remembered). Without memory to remember it the
  // directory is not entered, as it might be one already walked.
  bool add(const DirectoryId& id) {
    try {
      return ids.emplace(id.volume, id.file).second;
    } catch (...) {
      return false;
    }
  }
};

// The identity of the directory holding the name part at n of path ("." when there is none).
bool LevelId(const char16_t* path, std::size_t n, DirectoryId& id) {
  char16_t directory[kPathCapacity + 1];
  std::u16string_view(path, n).copy(directory, n);
  directory[n] = u'.';
  directory[n + 1] = 0;
  return GetDirectoryId(directory, id);
}

StatusCode Walk(const Settings& settings, const char16_t* pattern, FileOperation operation,
                void* context, Visited& visited) {
  char16_t buffer[kPathCapacity];
  CopyText(buffer, kPathCapacity, pattern);
  const std::size_t n = NamePosition(buffer);
  char16_t namePart[kPathCapacity];
  CopyText(namePart, kPathCapacity, buffer + n);

  StatusCode result = kStatusNone;
  DirectoryEntry entry;
  {
    DirectorySearch files(buffer);
    while (files.next(entry)) {
      // A name that cannot stand in the buffer names no file the platform could open. Our own
      // temporary files, left by an interrupted run, are nobody's target.
      if (entry.isDirectory || IsTemporaryName(entry.name) || !PutName(buffer, n, entry.name)) {
        continue;
      }
      if (RunStopRequested()) return kStatusCancelled;
      const FileOutcome outcome = operation(settings, buffer, context);
      result = outcome.code;
      ReportStatus(result, outcome.path);
      if (result == kStatusCancelled) return kStatusCancelled;
    }
  }
  if (result == kStatusNone) {
    // No file name was put into the buffer, so it still holds the pattern.
    ReportStatus(kStatusNoFile, buffer);
  }
  if (!HasOption(settings, kRecursive) || !PutName(buffer, n, u"*")) return result;

  DirectorySearch directories(buffer);
  while (directories.next(entry)) {
    if (!entry.isDirectory || entry.name[0] == u'.') continue;
    const std::u16string_view name(entry.name);
    const std::u16string_view rest(namePart);
    // A sub-directory whose pattern would not fit in the buffer is skipped.
    if (n + name.size() + 1 + rest.size() + 1 > kPathCapacity) continue;
    PutName(buffer, n, name);
    if (RunStopRequested()) return kStatusCancelled;
    DirectoryId id;
    if (GetDirectoryId(buffer, id) && !visited.add(id)) continue;
    buffer[n + name.size()] = kPathSeparator;
    PutName(buffer, n + name.size() + 1, rest);
    const StatusCode below = Walk(settings, buffer, operation, context, visited);
    if (below == kStatusCancelled) return kStatusCancelled;
  }
  return result;
}

}  // namespace

FileOutcome Outcome(StatusCode code, std::u16string_view path) {
  FileOutcome outcome;
  outcome.code = code;
  CopyText(outcome.path, kPathCapacity, path);
  return outcome;
}

StatusCode WalkPattern(const Settings& settings, const char16_t* pattern, FileOperation operation,
                       void* context) {
  Visited visited;
  DirectoryId id;
  if (HasOption(settings, kRecursive) && LevelId(pattern, NamePosition(pattern), id)) {
    visited.add(id);
  }
  return Walk(settings, pattern, operation, context, visited);
}

}  // namespace glos
