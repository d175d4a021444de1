// The main window: tabs, the page of the selected tab, the folding log area, drops and About.
#pragma once

#include "ui/Platform.h"

namespace glos {

// The message by which a status report reaches the main window: wParam is the StatusCode,
// lParam points to its StatusArgument. Sent synchronously.
inline constexpr UINT kStatusMessage = 0x180;

// Dialog procedure of template 200. The creation parameter is the command-line text (may be
// null), which becomes the first page's path.
INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Destroys the current page (keeping its path text), sets Mode from the selected tab and shows
// that tab's page with the path, or with initialText (null for none) when no page existed.
void ShowPage(const char16_t* initialText);

// Returns text without one pair of surrounding quote units: a leading quote is dropped, and a
// trailing one too when present (it is overwritten with zero, in place).
char16_t* StripQuotes(char16_t* text, char16_t quote);

// Gives the main window its full height or folds it to end 2 pixels above the log area, at the
// position it had when first measured.
void FoldWindow(bool full);

}  // namespace glos
