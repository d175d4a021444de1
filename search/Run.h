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
// built into settings.searchPattern from buffers owned by this call, and the pattern is cleared
// again before it returns; in the other modes they are ignored. context goes to every operation
// call. Reports go through ReportStatus as the walk proceeds; a front end that empties its log
// does so before calling. Returns the walk's result (511 when the user cancelled).
StatusCode RunPattern(Settings& settings, const char16_t* path, const char16_t* findText,
                      const char16_t* replacementText, SearchContext& context);

}  // namespace glos
