// Status texts, the wsprintfW formatter and the ANSI code page on Win32.
//
// Windows platform layer, text services. Only the user32 formatter (wvsprintfW), string-table
// lookups (LoadStringW on the program's own module) and the ANSI code-page conversions
// (WideCharToMultiByte / MultiByteToWideChar with CP_ACP) live here.
#include "core/TextFormat.h"

#include <cstdarg>
#include <memory>

#include "core/Memory.h"
#include "core/win32/Handle.h"

namespace glos {

using win32::Wide;

int FormatText(char16_t* dest, const char16_t* format, ...) {
  // wvsprintfW stops at kFormatCapacity units but does not promise a terminating zero there, so
  // it writes into a roomier zeroed buffer and the result is cut to fit dest.
  wchar_t line[2 * kFormatCapacity] = {};
  va_list args;
  va_start(args, format);
  wvsprintfW(line, Wide(format), args);
  va_end(args);
  std::size_t length = 0;
  while (length < kFormatCapacity - 1 && line[length] != 0) ++length;
  for (std::size_t i = 0; i < length; ++i) dest[i] = static_cast<char16_t>(line[i]);
  dest[length] = 0;
  return static_cast<int>(length);
}

int LoadText(unsigned id, char16_t* dest, int capacity) {
  // A capacity of 0 would ask LoadStringW for a pointer to the resource instead of a copy.
  if (capacity <= 0) return 0;
  const int length = LoadStringW(GetModuleHandleW(nullptr), id, Wide(dest), capacity);
  if (length <= 0) dest[0] = 0;
  return length > 0 ? length : 0;
}

int ConvertToCodePage(char* dest, int capacity, const char16_t* text) {
  if (capacity <= 0) return 0;
  dest[0] = 0;
  const auto bytesFor = [text](int units) {
    return units == 0
               ? 0
               : WideCharToMultiByte(CP_ACP, 0, Wide(text), units, nullptr, 0, nullptr, nullptr);
  };
  int units = 0;
  while (text[units] != 0) ++units;
  // The longest prefix whose bytes fit: byte counts grow with the prefix, so a binary search over
  // prefix lengths finds it without ever splitting a multi-byte character.
  if (bytesFor(units) > capacity - 1) {
    int fits = 0;
    int tooLong = units;
    while (tooLong - fits > 1) {
      const int middle = fits + (tooLong - fits) / 2;
      (bytesFor(middle) <= capacity - 1 ? fits : tooLong) = middle;
    }
    units = fits;
    if (units > 0 && text[units - 1] >= 0xD800 && text[units - 1] <= 0xDBFF) --units;
  }
  const int length = units == 0 ? 0
                                : WideCharToMultiByte(CP_ACP, 0, Wide(text), units, dest,
                                                      capacity - 1, nullptr, nullptr);
  dest[length] = 0;
  return length;
}

int ConvertFromCodePage(char16_t* dest, int capacity, const char* text) {
  if (capacity <= 0) return 0;
  dest[0] = 0;
  if (text[0] == 0) return 0;
  const int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (needed <= 0) return 0;
  if (needed <= capacity) {
    const int written = MultiByteToWideChar(CP_ACP, 0, text, -1, Wide(dest), capacity);
    if (written <= 0) dest[0] = 0;
    return written > 0 ? written - 1 : 0;
  }
  // Too long: convert all of it, then keep what fits without splitting a surrogate pair.
  const std::size_t bytes = static_cast<std::size_t>(needed) * sizeof(char16_t);
  std::unique_ptr<char16_t[], FilledBufferDeleter> all(
      static_cast<char16_t*>(AllocateFilledBuffer(bytes)), FilledBufferDeleter{bytes});
  if (!all || MultiByteToWideChar(CP_ACP, 0, text, -1, Wide(all.get()), needed) <= 0) return 0;
  int length = capacity - 1;
  if (length > 0 && all[length - 1] >= 0xD800 && all[length - 1] <= 0xDBFF) --length;
  for (int i = 0; i < length; ++i) dest[i] = all[i];
  dest[length] = 0;
  return length;
}

}  // namespace glos
