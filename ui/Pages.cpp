// The operation pages' dialog procedure and its handlers.
#include "ui/Pages.h"

#include <algorithm>
#include <iterator>

#include "core/Text.h"
#include "engine/Escape.h"
#include "engine/TerminatorText.h"
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

// The Terminators offered in the combo's list, shown in their escaped form.
constexpr char16_t kListedTerminators[] = {0, u'\r', u'\n', u'\t'};

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

void InitTerminator(HWND combo) {
  const char16_t terminator = Terminator(ProgramSettings());
  char16_t text[3] = {};
  EscapeText(text, &terminator, 1);
  SetWindowTextW(combo, Wide(text));
  SendMessageW(combo, CB_LIMITTEXT, 2, 0);
  for (char16_t unit : kListedTerminators) {
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
  if (HWND combo = GetDlgItem(page, IDC_TERMINATOR)) InitTerminator(combo);
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

void TakeTerminator() {
  char16_t text[kTerminatorTextUnits + 1] = {};
  GetDlgItemTextW(Window().currentPage, IDC_TERMINATOR, Wide(text), kTerminatorTextUnits + 1);
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
    case IDC_TERMINATOR:
      TakeTerminator();
      break;
    case IDC_REPLACEMENT:
      if (code == EN_CHANGE) ShowOkCaption(page);
      break;
    default:
      if (const OptionBox* box = FindOptionBox(id)) TakeOptionBox(page, *box);
      break;
  }
}

// What the icon and the buttons are answered: the hollow brush's stock-object index itself, not
// its handle, as the pages have always answered.
constexpr INT_PTR kHollowBrushIndex = NULL_BRUSH;

// An icon or a check box: their type values are the same, each under its class's type mask.
bool IsIconOrCheckBox(LONG style) {
  static_assert(SS_ICON == BS_AUTOCHECKBOX);
  return (style & SS_TYPEMASK) == SS_ICON || (style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
}

// The icon and the check boxes get kHollowBrushIndex; the texts and the line the hollow brush.
// Either way the text is drawn without a background.
INT_PTR ColorStatic(HDC dc, HWND control) {
  SetBkMode(dc, TRANSPARENT);
  if (IsIconOrCheckBox(GetWindowLongW(control, GWL_STYLE))) return kHollowBrushIndex;
  return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
}

INT_PTR ColorButton(HDC dc) {
  SetBkMode(dc, TRANSPARENT);
  return kHollowBrushIndex;
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
