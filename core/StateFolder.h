// Where the program keeps what must outlive a run: per user, away from the files it works on.
#pragma once

#include <string>

namespace glos {

// The folder called name inside the program's state folder: on POSIX $XDG_STATE_HOME/glosmorin
// ($HOME/.local/state when XDG_STATE_HOME is unset or not absolute), on Windows
// %LOCALAPPDATA%\Glosmorin. With create, the folders that are missing are made (for this user
// only where the platform has modes) and their names are on disk when this returns. False when
// the location is unknown or cannot be made.
bool GetStateFolder(const char16_t* name, bool create, std::u16string& folder);

// A text that names the existing file at path and no other file: its full path, links resolved
// where the platform has them, in one letter case where the platform ignores case. False when the
// file cannot be found.
bool GetFileKey(const char16_t* path, std::u16string& key);

}  // namespace glos
