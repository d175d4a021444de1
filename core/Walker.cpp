// The file walker: files of a level first, then its sub-directories, depth first.
#include "core/Walker.h"

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

}  // namespace

StatusCode WalkPattern(const Settings& settings, const char16_t* pattern, FileOperation operation,
                       void* context) {
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
      result = operation(settings, buffer, context);
      ReportStatus(result, buffer);
      if (result == kStatusCancelled) return kStatusCancelled;
    }
  }
  if (result == kStatusNone) {
    // Files were never written into the buffer, so it still holds the pattern.
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
    name.copy(buffer + n, name.size());
    buffer[n + name.size()] = kPathSeparator;
    PutName(buffer, n + name.size() + 1, rest);
    if (WalkPattern(settings, buffer, operation, context) == kStatusCancelled) {
      return kStatusCancelled;
    }
  }
  return result;
}

}  // namespace glos
