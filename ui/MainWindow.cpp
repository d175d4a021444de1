// The main window's dialog procedure and its handlers.
#include "ui/MainWindow.h"

#include <algorithm>

#include "core/Status.h"
#include "core/Text.h"
#include "resources/Resource.h"
#include "resources/TextIds.h"
#include "ui/DroppedSolution.h"
#include "ui/Messages.h"
#include "ui/Pages.h"
#include "ui/RunOperation.h"
#include "ui/WindowState.h"

namespace glos {
namespace {

void SendStatusToMainWindow(void*, StatusCode code, const StatusArgument& argument) {
  if (Window().mainWindow == nullptr) return;
  SendMessageW(Window().mainWindow, kStatusMessage, code, reinterpret_cast<LPARAM>(&argument));
}

void InsertTabs(HWND tabs) {
  for (int i = 0;; ++i) {
    wchar_t name[80] = {};
    if (LoadStringW(Window().instance, IDS_EXTRACT + i, name, 80) <= 0) return;
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = name;
    SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
}

void MakeTitleFont(HWND window) {
  const auto dialogFont = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
  if (dialogFont == nullptr) return;
  LOGFONTW font = {};
  if (GetObjectW(dialogFont, sizeof font, &font) == 0) return;
  font.lfHeight *= 2;
  font.lfItalic = TRUE;
  Window().titleFont.reset(CreateFontIndirectW(&font));
  SendDlgItemMessageW(window, IDC_TITLE, WM_SETFONT,
                      reinterpret_cast<WPARAM>(Window().titleFont.get()), FALSE);
}

void HandleMainCommand(HWND window, int id, int code);

BOOL InitMainWindow(HWND window, const char16_t* commandLine) {
  Window().mainWindow = window;
  SetStatusSink(SendStatusToMainWindow, nullptr);
  HandleMainCommand(window, IDC_LOG, EN_KILLFOCUS);
  SetClassLongPtrW(
      window, GCLP_HICON,
      reinterpret_cast<LONG_PTR>(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP))));
  HWND tabs = GetDlgItem(window, IDC_TABS);
  if (tabs == nullptr) return TRUE;
  InsertTabs(tabs);
  // Mode 3 names no tab; the last tab (Search) stands in for it, so Mode becomes 2.
  const auto count = static_cast<unsigned>(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
  const unsigned mode = static_cast<unsigned>(GetMode(ProgramSettings()));
  SendMessageW(tabs, TCM_SETCURSEL, count == 0 ? mode : std::min(mode, count - 1), 0);
  ShowPage(commandLine);
  MakeTitleFont(window);
  return TRUE;
}

void ForgetMainWindow() {
  WindowState& state = Window();
  state.mainWindow = nullptr;
  state.currentPage = nullptr;
  state.geometry = WindowGeometry{};
  state.titleFont.reset();
}

void ShowAbout() { ShowStringMessage(IDS_ABOUT, MB_OK | MB_ICONINFORMATION); }

void HandleMainCommand(HWND window, int id, int code) {
  switch (id) {
    case IDOK:
      RunOperation();
      break;
    case IDCANCEL:
      EndDialog(window, 0);
      break;
    case IDC_ABOUT:
      ShowAbout();
      break;
    case IDC_LOG:
      if (code == EN_SETFOCUS) FoldWindow(true);
      if (code == EN_KILLFOCUS) FoldWindow(false);
      break;
    default:
      break;
  }
}

void TakeDroppedFile(HDROP drop) {
  wchar_t path[kPathCapacity] = {};
  {
    ScopedDrop owner(drop);
    DragQueryFileW(owner.get(), 0, path, kPathCapacity);
  }
  HWND page = Window().currentPage;
  if (page == nullptr) return;
  SetDlgItemTextW(page, IDC_PATH, path);
  if (GetMode(ProgramSettings()) == Mode::Search) HandleDroppedSolution(Units(path));
}

void AppendStatusLine(HWND window, StatusCode code, const StatusArgument& argument) {
  char16_t line[kFormatCapacity] = {};
  FormatStatusLine(code, argument, line);
  HWND log = GetDlgItem(window, IDC_LOG);
  // The line goes in at the caret, after collapsing any selection there.
  SendMessageW(log, EM_SETSEL, static_cast<WPARAM>(-1), 0);
  SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line));
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    switch (message) {
      case WM_INITDIALOG:
        return InitMainWindow(window, reinterpret_cast<const char16_t*>(lParam));
      case WM_COMMAND:
        HandleMainCommand(window, LOWORD(wParam), HIWORD(wParam));
        return 0;
      case WM_NOTIFY:
        if (reinterpret_cast<const NMHDR*>(lParam)->code == TCN_SELCHANGE) ShowPage(nullptr);
        return 0;
      case WM_DROPFILES:
        TakeDroppedFile(reinterpret_cast<HDROP>(wParam));
        return 0;
      case kStatusMessage:
        AppendStatusLine(window, static_cast<StatusCode>(wParam),
                         *reinterpret_cast<const StatusArgument*>(lParam));
        return 0;
      case WM_NCDESTROY:
        ForgetMainWindow();
        return FALSE;
      default:
        return FALSE;
    }
  } catch (...) {
    return FALSE;
  }
}

void ShowPage(const char16_t* initialText) {
  WindowState& state = Window();
  HWND window = state.mainWindow;
  char16_t path[kPathCapacity] = {};
  if (state.currentPage != nullptr) {
    GetDlgItemTextW(state.currentPage, IDC_PATH, Wide(path), kPathCapacity);
    DestroyWindow(state.currentPage);
    state.currentPage = nullptr;
  } else if (initialText != nullptr) {
    CopyText(path, kPathCapacity, initialText);
  }

  HWND tabs = GetDlgItem(window, IDC_TABS);
  Settings& settings = ProgramSettings();
  // The tabs stand in the order of the modes.
  SetMode(settings, static_cast<Mode>(SendMessageW(tabs, TCM_GETCURSEL, 0, 0) & 3));
  const int mode = static_cast<int>(GetMode(settings));
  HWND page = CreateDialogParamW(state.instance, MAKEINTRESOURCEW(IDD_EXTRACT + mode), window,
                                 PageDialogProc, 0);
  if (page == nullptr) return;
  state.currentPage = page;

  RECT area = {};
  GetClientRect(tabs, &area);
  SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  MapWindowPoints(tabs, window, reinterpret_cast<POINT*>(&area), 2);
  SetWindowPos(page, HWND_TOP, area.left, area.top, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);

  if (path[0] != 0) SetDlgItemTextW(page, IDC_PATH, Wide(StripQuotes(path, u'"')));
  wchar_t caption[kPathCapacity] = {};
  if (LoadStringW(state.instance, IDS_EXTRACT + mode, caption, kPathCapacity) > 0) {
    SetDlgItemTextW(window, IDOK, caption);
  }
}

char16_t* StripQuotes(char16_t* text, char16_t quote) {
  if (text[0] != quote) return text;
  const std::size_t length = TextLength(text);
  if (text[length - 1] == quote) text[length - 1] = 0;
  return text + 1;
}

void FoldWindow(bool full) {
  WindowState& state = Window();
  WindowGeometry& geometry = state.geometry;
  if (geometry.foldedHeight == 0) {
    RECT log = {};
    RECT window = {};
    GetWindowRect(GetDlgItem(state.mainWindow, IDC_LOG), &log);
    GetWindowRect(state.mainWindow, &window);
    geometry.left = window.left;
    geometry.top = window.top;
    geometry.width = window.right - window.left;
    geometry.fullHeight = window.bottom - window.top;
    geometry.foldedHeight = log.top - window.top - 2;
  }
  MoveWindow(state.mainWindow, geometry.left, geometry.top, geometry.width,
             full ? geometry.fullHeight : geometry.foldedHeight, TRUE);
}

}  // namespace glos
