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

namespace glos {

inline const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const char16_t* Units(const wchar_t* text) {
  return reinterpret_cast<const char16_t*>(text);
}
inline char16_t* Units(wchar_t* text) { return reinterpret_cast<char16_t*>(text); }

}  // namespace glos
