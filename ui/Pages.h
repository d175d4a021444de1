// The operation pages (templates 201 to 203): the path field and the options of one operation.
#pragma once

#include "core/Settings.h"
#include "ui/Platform.h"

namespace glos {

// Dialog procedure of the three pages. Every option control writes its field of the
// OptionWord as it changes; the page also keeps the main window's OK button enabled only when a
// run can start and, on the Search page, its caption naming the action.
INT_PTR CALLBACK PageDialogProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// Sets or clears the single-bit options of bits together with their check boxes on page (where
// it has them).
void SetOptionsAndBoxes(HWND page, std::uint32_t bits, bool on);

}  // namespace glos
