// Code-page conversions on Windows through MultiByteToWideChar and WideCharToMultiByte.
//
// Windows platform layer, code pages. The system's own tables, with invalid input failing the
// call and best-fit substitutes counted as failures; what counts as undecodable is decided by the
// caller.
#include "core/CodePage.h"

#include <windows.h>

#include <climits>

namespace glos {
namespace {

bool IsListed(unsigned codePage) {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950 ||
         (codePage >= 1250 && codePage <= 1258) || codePage == kCodePageUtf8;
}

}  // namespace

bool IsCodePageSupported(unsigned codePage) {
  CPINFO info;
  return IsListed(codePage) && GetCPInfo(codePage, &info) != 0;
}

unsigned DefaultCodePage() { return GetACP(); }

bool DecodeCodePage(unsigned codePage, const std::uint8_t* bytes, std::size_t count,
                    std::u16string& out) {
  out.clear();
  if (count == 0) return true;
  if (count > INT_MAX / 2 || !IsListed(codePage)) return false;
  const auto* source = reinterpret_cast<const char*>(bytes);
  const int units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, source,
                                        static_cast<int>(count), nullptr, 0);
  if (units <= 0) return false;
  out.resize(static_cast<std::size_t>(units));
  return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, source, static_cast<int>(count),
                             reinterpret_cast<wchar_t*>(out.data()), units) == units;
}

bool EncodeCodePage(unsigned codePage, const char16_t* text, std::size_t count, std::string& out) {
  out.clear();
  if (count == 0) return true;
  if (count > INT_MAX / 4 || !IsListed(codePage)) return false;
  const auto* source = reinterpret_cast<const wchar_t*>(text);
  // UTF-8 takes no default character; lone surrogates fail the call instead.
  const bool utf8 = codePage == kCodePageUtf8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* used = utf8 ? nullptr : &usedDefault;
  const int bytes = WideCharToMultiByte(codePage, flags, source, static_cast<int>(count), nullptr,
                                        0, nullptr, used);
  if (bytes <= 0 || usedDefault) return false;
  out.resize(static_cast<std::size_t>(bytes));
  return WideCharToMultiByte(codePage, flags, source, static_cast<int>(count), out.data(), bytes,
                             nullptr, used) == bytes &&
         !usedDefault;
}

}  // namespace glos
