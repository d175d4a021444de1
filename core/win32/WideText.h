// The bridge between the engine's UTF-16 units and the Win32 API's: the same units under two
// names. Windows platform layer and window code only.
#pragma once

namespace glos::win32 {

inline const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const char16_t* Units(const wchar_t* text) {
  return reinterpret_cast<const char16_t*>(text);
}
inline char16_t* Units(wchar_t* text) { return reinterpret_cast<char16_t*>(text); }

}  // namespace glos::win32
