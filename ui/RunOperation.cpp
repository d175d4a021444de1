// The run driver of the window.
#include "ui/RunOperation.h"

#include "resources/Resource.h"
#include "run/Run.h"
#include "ui/Messages.h"
#include "ui/WindowState.h"

namespace glos {
namespace {

Answer AskAtMatch(void*, const char16_t* question, bool withReplacement) {
  const UINT buttons = withReplacement ? MB_YESNOCANCEL : MB_OKCANCEL;
  switch (ShowMessage(question, buttons | MB_ICONQUESTION)) {
    case IDYES:
    case IDOK:
      return Answer::Yes;
    case IDNO:
      return Answer::No;
    default:
      return Answer::Cancel;
  }
}

}  // namespace

void RunOperation() {
  const WindowState& state = Window();
  const Settings& settings = ProgramSettings();
  wchar_t path[kPathCapacity] = {};
  wchar_t find[kSearchTextCapacity] = {};
  wchar_t replacement[kSearchTextCapacity] = {};
  GetDlgItemTextW(state.currentPage, IDC_PATH, path, kPathCapacity);
  const bool searching = GetMode(settings) == Mode::Search;
  if (searching) {
    GetDlgItemTextW(state.currentPage, IDC_FIND, find, kSearchTextCapacity);
    GetDlgItemTextW(state.currentPage, IDC_REPLACEMENT, replacement, kSearchTextCapacity);
  }

  HWND log = GetDlgItem(state.mainWindow, IDC_LOG);
  SetFocus(log);
  SetWindowTextW(log, L"");

  wchar_t actionWord[kActionWordCapacity] = {};
  GetDlgItemTextW(state.mainWindow, IDOK, actionWord, kActionWordCapacity);
  SearchQuestions questions;
  questions.actionWord = Units(actionWord);
  questions.ask = AskAtMatch;
  RunPattern(settings, Units(path), searching ? Units(find) : nullptr,
             searching ? Units(replacement) : nullptr, questions);
}

}  // namespace glos
