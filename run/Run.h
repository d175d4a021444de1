// The run driver shared by the window and the console: one path, one operation, one walk.
#pragma once

#include "core/Settings.h"
#include "core/Status.h"
#include "core/Walker.h"
#include "search/Search.h"

namespace glos {

// The per-file operation of the current Mode: 0 ExtractFile, 1 WriteBackFile, any other
// SearchFile.
FileOperation OperationForMode(const Settings& settings);

// Runs the operation of the current Mode on every file path names. In Mode 2 the find and
// replacement texts (zero-terminated, either may be null for empty; cut to 259 units) are first
// built into the run's pattern, in buffers owned by this call; in the other modes they are
// ignored. The run's own context, with the front end's questions, goes to every operation call.
// Reports go through ReportStatus as the walk proceeds; a front end that empties its log does so
// before calling. Returns the walk's result (511 when the user cancelled).
StatusCode RunPattern(const Settings& settings, const char16_t* path, const char16_t* findText,
                      const char16_t* replacementText, const SearchQuestions& questions);

}  // namespace glos
