// The Extract operation: writes the strings of one file into its ".ttt" translation file.
#pragma once

#include "core/Walker.h"

namespace glos {

// Per-file operation of Mode 0. The outcomes 514 and 524 name the translation file (524 names
// the target when ".ttt" does not fit); all others name the target.
FileOutcome ExtractFile(const Settings& settings, const char16_t* path, void* context);

}  // namespace glos
