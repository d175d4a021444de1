// Matching of file names against the wildcards "*" and "?" where the system has no wildcards of
// its own.
#pragma once

#include <string_view>

namespace glos {

// True when name matches pattern. "*" stands for any run of units, none included; "?" for
// exactly one unit; every other unit must be equal, letters in the same case, as names compare
// on a case-sensitive file system. As on Win32, a pattern ending in ".*" also matches the names
// that match it without those two units, so "*.*" matches every name and "readme.*" matches
// "readme".
bool MatchWildcard(std::u16string_view pattern, std::u16string_view name);

}  // namespace glos
