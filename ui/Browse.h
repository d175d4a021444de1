// The open-file dialog behind the pages' "..." button, with its file types kept in the profile.
#pragma once

#include "ui/Platform.h"

namespace glos {

// Shows the open-file dialog (the save-file dialog when save is true) starting from the text of
// field fieldId of owner, offering the file types of profile key "Filter<filterId>" (written
// there from string filterId when missing or empty), and on success puts the chosen full path
// into the field. Returns non-zero when a file was chosen, 0 when cancelled or failed.
BOOL BrowseForPath(HWND owner, int fieldId, unsigned filterId, bool save);

// Replaces every unit a of the zero-terminated text by b, in place, up to the text's original
// end (a zero just written does not end the walk). Returns text.
char16_t* ReplaceUnit(char16_t* text, char16_t a, char16_t b);

}  // namespace glos
