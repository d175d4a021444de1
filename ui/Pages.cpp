// The operation pages' dialog procedure and its handlers.
#include "ui/Pages.h"

#include <algorithm>
#include <iterator>

#include "core/Text.h"
#include "engine/EndCharacter.h"
#include "engine/Escape.h"
#include "resources/Resource.h"
#include "resources/TextIds.h"
#include "ui/Browse.h"
#include "ui/WindowState.h"

namespace glos {
namespace {

struct OptionBox {
  int id;
  OptionBit bit;
};

// In the order in which a new page sets their marks.
constexpr OptionBox kOptionBoxes[] = {
    {IDC_ENGLISH_ONLY, kEnglishOnly}, {IDC_LENGTH_PREFIXED, kLengthPrefixed},
    {IDC_UNICODE_MODE, kUnicodeMode}, {IDC_NO_LENGTH_CHECK, kNoLengthCheck},
    {IDC_ASK_EACH, kAskEach},         {IDC_RECURSIVE, kRecursive},
};

constexpr unsigned kLeastMinChars = 2;
constexpr unsigned kMostMinChars = 255;

// The end characters offered in the combo's list, shown in their escaped form.
constexpr char16_t kListedEndCharacters[] = {0, u'\r', u'\n', u'\t'};

const OptionBox* FindOptionBox(int id) {
  const auto* box = std::find_if(std::begin(kOptionBoxes), std::end(kOptionBoxes),
                                 [id](const OptionBox& b) { return b.id == id; });
  return box == std::end(kOptionBoxes) ? nullptr : box;
}

void InitMinChars(HWND page, HWND field) {
  SendMessageW(field, EM_LIMITTEXT, 3, 0);
  SetDlgItemInt(page, IDC_MIN_CHARS, MinChars(ProgramSettings()), FALSE);
  SendDlgItemMessageW(page, IDC_MIN_CHARS_SPIN, UDM_SETRANGE32, kLeastMinChars, kMostMinChars);
}

void InitEndCharacter(HWND combo) {
  const char16_t terminator = Terminator(ProgramSettings());
  char16_t text[3] = {};
  EscapeText(text, &terminator, 1);
  SetWindowTextW(combo, Wide(text));
  SendMessageW(combo, CB_LIMITTEXT, 2, 0);
  for (char16_t unit : kListedEndCharacters) {
    char16_t item[3] = {};
    EscapeText(item, &unit, 1);
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  }
}

BOOL InitPage(HWND page) {
  const Settings& settings = ProgramSettings();
  for (const OptionBox& box : kOptionBoxes) {
    if (HasOption(settings, box.bit)) CheckDlgButton(page, box.id, BST_CHECKED);
  }
  if (HWND field = GetDlgItem(page, IDC_MIN_CHARS)) InitMinChars(page, field);
  if (HWND combo = GetDlgItem(page, IDC_END_CHARACTER)) InitEndCharacter(combo);
  return TRUE;
}

void DecideOkEnabled(HWND page) {
  bool ready = GetWindowTextLengthW(GetDlgItem(page, IDC_PATH)) > 0;
  if (GetMode(ProgramSettings()) == Mode::Search) {
    ready = ready && GetWindowTextLengthW(GetDlgItem(page, IDC_FIND)) > 0;
  }
  EnableWindow(GetDlgItem(Window().mainWindow, IDOK), ready);
}

void TakeMinChars(HWND page) {
  BOOL readable = FALSE;
  const UINT value = GetDlgItemInt(page, IDC_MIN_CHARS, &readable, FALSE);
  Settings& settings = ProgramSettings();
  if (readable && value >= kLeastMinChars && value <= kMostMinChars) {
    SetMinChars(settings, value);
    return;
  }
  // A MinChars out of range (from a hand-edited profile) would put itself back for ever, so
  // the nearest valid value is restored and kept instead.
  const unsigned restored = std::clamp(MinChars(settings), kLeastMinChars, kMostMinChars);
  SetMinChars(settings, restored);
  SetDlgItemInt(page, IDC_MIN_CHARS, restored, FALSE);
}

void TakeEndCharacter() {
  char16_t text[kEndCharacterUnits + 1] = {};
  GetDlgItemTextW(Window().currentPage, IDC_END_CHARACTER, Wide(text), kEndCharacterUnits + 1);
  std::uint16_t terminator = 0;
  if (TerminatorFromText(ProgramSettings(), text, terminator)) {
    SetTerminator(ProgramSettings(), terminator);
  }
}

void ShowOkCaption(HWND page) {
  const bool replacing = GetWindowTextLengthW(GetDlgItem(page, IDC_REPLACEMENT)) > 0;
  wchar_t caption[kPathCapacity] = {};
  LoadStringW(Window().instance, replacing ? IDS_REPLACE : IDS_SEARCH, caption, kPathCapacity);
  SetDlgItemTextW(Window().mainWindow, IDOK, caption);
}

void TakeOptionBox(HWND page, const OptionBox& box) {
  SetOption(ProgramSettings(), box.bit, (IsDlgButtonChecked(page, box.id) & 1) != 0);
}

void HandlePageCommand(HWND page, int id, int code) {
  switch (id) {
    case IDC_PATH:
    case IDC_FIND:
      if (code == EN_CHANGE) DecideOkEnabled(page);
      break;
    case IDC_MIN_CHARS:
      if (code == EN_CHANGE) TakeMinChars(page);
      break;
    case IDC_BROWSE:
      BrowseForPath(page, IDC_PATH, IDS_FILTER, false);
      break;
    case IDC_END_CHARACTER:
      TakeEndCharacter();
      break;
    case IDC_REPLACEMENT:
      if (code == EN_CHANGE) ShowOkCaption(page);
      break;
    default:
      if (const OptionBox* box = FindOptionBox(id)) TakeOptionBox(page, *box);
      break;
  }
}

// The icon and the check boxes (SS_ICON and BS_AUTOCHECKBOX are both 3) get the answer 5; the
// texts and the line the hollow brush. Either way the text is drawn without a background.
INT_PTR ColorStatic(HDC dc, HWND control) {
  SetBkMode(dc, TRANSPARENT);
  if ((GetWindowLongW(control, GWL_STYLE) & 0xF) == 3) return 5;
  return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
}

INT_PTR ColorButton(HDC dc) {
  SetBkMode(dc, TRANSPARENT);
  return 5;
}

}  // namespace

INT_PTR CALLBACK PageDialogProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    switch (message) {
      case WM_INITDIALOG:
        return InitPage(page);
      case WM_COMMAND:
        HandlePageCommand(page, LOWORD(wParam), HIWORD(wParam));
        return 0;
      case WM_ERASEBKGND:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return TRUE;
      case WM_CTLCOLORSTATIC:
        return ColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
      case WM_CTLCOLORBTN:
        return ColorButton(reinterpret_cast<HDC>(wParam));
      default:
        return FALSE;
    }
  } catch (...) {
    return FALSE;
  }
}

void SetOptionsAndBoxes(HWND page, std::uint32_t bits, bool on) {
  Settings& settings = ProgramSettings();
  settings.optionWord = on ? (settings.optionWord | bits) : (settings.optionWord & ~bits);
  for (const OptionBox& box : kOptionBoxes) {
    if ((box.bit & bits) != 0) CheckDlgButton(page, box.id, on ? BST_CHECKED : BST_UNCHECKED);
  }
}

}  // namespace glos
