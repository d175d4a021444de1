// Window test helpers.
#include "tests/ui/WindowTesting.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>

#include "core/Status.h"
#include "core/Text.h"
#include "resources/Resource.h"
#include "ui/MainWindow.h"
#include "ui/WindowState.h"

namespace glos::test {
namespace {

ModalAnswerer* gAnswerer = nullptr;

std::u16string ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return Units(name);
}

BOOL CALLBACK CollectChild(HWND child, LPARAM context) {
  auto& seen = *reinterpret_cast<SeenBox*>(context);
  const std::u16string type = ClassOf(child);
  const LONG style = GetWindowLongW(child, GWL_STYLE);
  if (type == u"Button" && IsWindowVisible(child)) {
    seen.buttons.push_back(GetDlgCtrlID(child));
  } else if (type == u"Static" && (style & SS_TYPEMASK) == SS_ICON) {
    seen.icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
  } else if (type == u"Static" && seen.text.empty()) {
    seen.text = TextOf(child);
  }
  return TRUE;
}

}  // namespace

std::u16string TextOf(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
  GetWindowTextW(window, Wide(text.data()), length + 1);
  text.resize(TextLength(text.c_str()));
  return text;
}

void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void WindowTest::SetUp() {
  wchar_t display[64] = {};
  if (GetEnvironmentVariableW(L"DISPLAY", display, 64) == 0) {
    GTEST_SKIP() << "no display for windows (run through scripts/xvfb-wine-test.sh)";
  }
  static const bool initialised = [] {
    InitCommonControls();
    return true;
  }();
  (void)initialised;
  ProgramSettings() = Settings{};
  CopyText(ProgramSettings().profilePath, kPathCapacity, dir_.file(u"glosmorin.ini"));
  Window().instance = GetModuleHandleW(nullptr);
}

void WindowTest::TearDown() {
  if (Window().mainWindow != nullptr) DestroyWindow(Window().mainWindow);
  PumpMessages();
  // The window's state goes with it, so that the next window measures itself afresh.
  EXPECT_EQ(Window().mainWindow, nullptr);
  EXPECT_EQ(Window().titleFont.get(), nullptr);
  SetStatusSink(nullptr, nullptr);
}

void WindowTest::Open(const char16_t* commandLine) {
  HWND window = CreateDialogParamW(Window().instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                   MainDialogProc, reinterpret_cast<LPARAM>(commandLine));
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(Window().mainWindow, window);
  PumpMessages();
}

HWND WindowTest::Main() const { return Window().mainWindow; }
HWND WindowTest::Page() const { return Window().currentPage; }
HWND WindowTest::PageControl(int id) const { return GetDlgItem(Page(), id); }
HWND WindowTest::MainControl(int id) const { return GetDlgItem(Main(), id); }

void WindowTest::SetText(int id, const std::u16string& text) {
  SetWindowTextW(PageControl(id), Wide(text.c_str()));
}

void WindowTest::Type(HWND control, const std::u16string& text) {
  for (char16_t unit : text) SendMessageW(control, WM_CHAR, unit, 1);
}

void WindowTest::Click(int id) { SendMessageW(PageControl(id), BM_CLICK, 0, 0); }

void WindowTest::SelectTab(int index) {
  HWND tabs = MainControl(IDC_TABS);
  SendMessageW(tabs, TCM_SETCURSEL, index, 0);
  NMHDR header = {tabs, IDC_TABS, static_cast<UINT>(TCN_SELCHANGE)};
  SendMessageW(Main(), WM_NOTIFY, IDC_TABS, reinterpret_cast<LPARAM>(&header));
}

void WindowTest::Drop(const std::vector<std::u16string>& paths) {
  std::u16string list;
  for (const std::u16string& path : paths) list += path + u'\0';
  list += u'\0';
  const std::size_t listBytes = list.size() * sizeof(char16_t);
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + listBytes);
  auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
  files->pFiles = sizeof(DROPFILES);
  files->fWide = TRUE;
  std::memcpy(files + 1, list.data(), listBytes);
  GlobalUnlock(memory);
  SendMessageW(Main(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
}

std::u16string WindowTest::LogText() const { return TextOf(MainControl(IDC_LOG)); }
bool WindowTest::OkEnabled() const { return IsWindowEnabled(MainControl(IDOK)) != FALSE; }
std::u16string WindowTest::OkCaption() const { return TextOf(MainControl(IDOK)); }
bool WindowTest::Checked(int id) const { return IsDlgButtonChecked(Page(), id) == BST_CHECKED; }

std::u16string WindowTest::MakeFile(const std::u16string& name, const std::string& bytes) {
  const std::u16string path = dir_.file(name);
  WriteFile(path, ToBytes(bytes));
  return path;
}

ModalAnswerer::ModalAnswerer(Respond respond) : respond_(std::move(respond)) {
  gAnswerer = this;
  timer_ = SetTimer(nullptr, 0, 20, OnTimer);
}

ModalAnswerer::ModalAnswerer(int id) : ModalAnswerer([id](HWND, const SeenBox&) { return id; }) {}

ModalAnswerer::~ModalAnswerer() {
  KillTimer(nullptr, timer_);
  gAnswerer = nullptr;
}

void CALLBACK ModalAnswerer::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (gAnswerer == nullptr) return;
  // A closed box's handle may come back for the next one.
  std::erase_if(gAnswerer->answered_, [](HWND window) { return !IsWindow(window); });
  EnumThreadWindows(GetCurrentThreadId(), CheckWindow, 0);
}

BOOL CALLBACK ModalAnswerer::CheckWindow(HWND window, LPARAM) {
  ModalAnswerer& self = *gAnswerer;
  if (ClassOf(window) != u"#32770" || !IsWindowVisible(window) ||
      GetWindow(window, GW_OWNER) != Window().mainWindow ||
      std::find(self.answered_.begin(), self.answered_.end(), window) != self.answered_.end()) {
    return TRUE;
  }
  self.answered_.push_back(window);
  SeenBox seen;
  seen.caption = TextOf(window);
  EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&seen));
  self.seen.push_back(seen);
  const int id = self.respond_(window, seen);
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
  return TRUE;
}

}  // namespace glos::test
