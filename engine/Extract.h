// The Extract operation: writes the strings of one file into its ".ttt" translation file.
#pragma once

#include "core/Settings.h"
#include "core/Status.h"

namespace glos {

// Per-file operation of Mode 0. On 514 and 524 the path buffer names the translation file
// (or is left as it was when ".ttt" does not fit, which gives 524).
StatusCode ExtractFile(const Settings& settings, char16_t* path, void* context);

}  // namespace glos
