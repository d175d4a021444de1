// The file walker: files of a level first, then its sub-directories, depth first.
#include "core/Walker.h"

#include <iterator>

#include "core/Directory.h"

namespace glos {
namespace {

// Puts name at position n of buffer; false (buffer unchanged) when it would not fit.
bool PutName(char16_t* buffer, std::size_t n, std::u16string_view name) {
  if (n + name.size() + 1 > kPathCapacity) return false;
  name.copy(buffer + n, name.size());
  buffer[n + name.size()] = 0;
  return true;
}

// The directories a walk is inside, outermost first. A path of 260 units holds at most 130
// levels ("a/" each), so the chain never runs out of room.
struct Ancestors {
  DirectoryId ids[kPathCapacity / 2 + 1];
  std::size_t count = 0;
  bool contains(const DirectoryId& id) const {
    for (std::size_t i = 0; i < count; ++i) {
      if (ids[i] == id) return true;
    }
    return false;
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
                void* context, Ancestors& ancestors) {
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
      // A name that cannot stand in the buffer names no file the platform could open.
      if (entry.isDirectory || !PutName(buffer, n, entry.name)) continue;
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
    // A link back to a directory the walk is already inside would repeat it without end.
    DirectoryId id;
    const bool known = GetDirectoryId(buffer, id);
    if (known && ancestors.contains(id)) continue;
    buffer[n + name.size()] = kPathSeparator;
    PutName(buffer, n + name.size() + 1, rest);
    const bool pushed = known && ancestors.count < std::size(ancestors.ids);
    if (pushed) ancestors.ids[ancestors.count++] = id;
    const StatusCode below = Walk(settings, buffer, operation, context, ancestors);
    if (pushed) --ancestors.count;
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
  Ancestors ancestors;
  DirectoryId id;
  if (HasOption(settings, kRecursive) && LevelId(pattern, NamePosition(pattern), id)) {
    ancestors.ids[ancestors.count++] = id;
  }
  return Walk(settings, pattern, operation, context, ancestors);
}

}  // namespace glos
