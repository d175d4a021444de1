// Drives a running glosmorin.exe from outside, as a user would, and prints what its window shows.
//
//   glosmorin-driver wait   waits for the window; prints its rectangle, path, OK state and caption
//   glosmorin-driver run    presses OK; prints the rectangle and the log area's text
//   glosmorin-driver exit   presses Exit
//
// Output is UTF-8, one "name: value" line each. Exit status 0, or 1 when there is no window.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr int kPath = 300;
constexpr int kLog = 316;

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

// WM_GETTEXT works across processes, where GetWindowText reads only the caption of a window.
std::wstring TextOf(HWND window) {
  const auto length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(std::wcslen(text.c_str()));
  return text;
}

void Print(const char* name, const std::string& value) {
  std::printf("%s: %s\n", name, value.c_str());
  std::fflush(stdout);
}

void PrintRect(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  char text[64];
  std::snprintf(text, sizeof text, "%ld %ld %ld %ld", rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top);
  Print("window", text);
}

HWND FindMainWindow(int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    HWND window = FindWindowW(L"#32770", L"Glosmorin");
    if (window != nullptr && IsWindowVisible(window)) return window;
    Sleep(100);
  }
  return nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  const std::wstring command = argc > 1 ? argv[1] : L"";
  HWND window = FindMainWindow(30);
  if (window == nullptr) {
    std::fprintf(stderr, "no Glosmorin window\n");
    return 1;
  }
  HWND page = FindWindowExW(window, nullptr, L"#32770", nullptr);
  if (command == L"wait") {
    Sleep(500);  // the window draws itself once it is idle
    PrintRect(window);
    Print("path", Utf8(TextOf(GetDlgItem(page, kPath))));
    Print("ok", IsWindowEnabled(GetDlgItem(window, IDOK)) ? "enabled" : "disabled");
    Print("caption", Utf8(TextOf(GetDlgItem(window, IDOK))));
  } else if (command == L"run") {
    SendMessageW(GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
    Sleep(500);
    PrintRect(window);
    Print("log", Utf8(TextOf(GetDlgItem(window, kLog))));
  } else if (command == L"exit") {
    PostMessageW(GetDlgItem(window, IDCANCEL), BM_CLICK, 0, 0);
  } else {
    std::fprintf(stderr, "usage: glosmorin-driver wait|run|exit\n");
    return 2;
  }
  return 0;
}
