// Message boxes: the one way the window shows a text to the user and asks a question.
#pragma once

#include "ui/Platform.h"

namespace glos {

// Shows text in a message box owned by the main window with the caption "Glosmorin" (string
// 560) and the given MB_ flags. Returns the id of the button pressed (IDOK, IDYES, ...), 0 when
// the box could not be shown.
int ShowMessage(const char16_t* text, UINT flags);

// Shows the string-table text with the given id as ShowMessage does.
int ShowStringMessage(unsigned textId, UINT flags);

}  // namespace glos
