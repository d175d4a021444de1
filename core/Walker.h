// The file walker: expands a path pattern and runs one operation on every matching file.
#pragma once

#include "core/Settings.h"
#include "core/Status.h"

namespace glos {

// A per-file operation: takes the walker's writable 260-unit path buffer holding one file's full
// path and returns a status code. It may change the buffer; the walker reports the code with the
// buffer as the operation left it.
using FileOperation = StatusCode (*)(const Settings& settings, char16_t* path, void* context);

// Walks pattern (its last element may hold "*" and "?"): every matching file first, then, with
// Recursive set, every sub-directory not beginning with ".", depth first. Reports each result
// and 518 for a level without a matching file. Returns the result of the last file handled at
// this level, kStatusNone when none was, or 511 when the run was cancelled anywhere below or a
// stop was requested (RunStopRequested), which is checked before each file and sub-directory.
StatusCode WalkPattern(const Settings& settings, const char16_t* pattern, FileOperation operation,
                       void* context);

}  // namespace glos
