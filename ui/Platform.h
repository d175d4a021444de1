// The Win32 headers of the window code and the bridge between two names for UTF-16 units.
#pragma once

// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
// clang-format on

// <windows.h> maps this name to WriteProfileStringW, which would rename the engine's function.
#undef WriteProfileString

#include "core/win32/WideText.h"

namespace glos {

using win32::Units;
using win32::Wide;

}  // namespace glos
