// The file walker: expands a path pattern and runs one operation on every matching file.
#pragma once

#include "core/Settings.h"
#include "core/Status.h"

namespace glos {

// What a per-file operation gives the walker to report: its code and the path the line names,
// the file itself or one the operation wrote or read.
struct FileOutcome {
  StatusCode code = kStatusNone;
  char16_t path[kPathCapacity] = {};
};

// The outcome code naming path (cut to kPathCapacity - 1 units).
FileOutcome Outcome(StatusCode code, std::u16string_view path);

// A per-file operation: takes one file's full path (at most 259 units) and returns what is to
// be reported for it. Names it derives from the path are built in its own buffers.
using FileOperation = FileOutcome (*)(const Settings& settings, const char16_t* path,
                                      void* context);

// Walks pattern (its last element may hold "*" and "?"): every matching file first, then, with
// Recursive set, every sub-directory not beginning with ".", depth first. Reports each result
// and 518 for a level without a matching file. Returns the result of the last file handled at
// this level, kStatusNone when none was, or 511 when the run was cancelled anywhere below.
StatusCode WalkPattern(const Settings& settings, const char16_t* pattern, FileOperation operation,
                       void* context);

}  // namespace glos
