// The open-file dialog and the filter kept in the profile.
#include "ui/Browse.h"

#include "core/Text.h"
#include "core/TextFormat.h"
#include "ui/WindowState.h"

namespace glos {
namespace {

// Reads the filter of filterId from the profile into filter (kPathCapacity units); when the key
// is missing or empty, loads the default from the string table and stores it there.
void ReadFilter(unsigned filterId, char16_t* filter) {
  const Settings& settings = ProgramSettings();
  char16_t key[kFormatCapacity] = {};
  FormatText(key, u"Filter%d", static_cast<int>(filterId));
  if (ReadProfileString(settings, key, filter, static_cast<int>(kPathCapacity)) > 0) return;
  LoadText(filterId, filter, static_cast<int>(kPathCapacity));
  WriteProfileString(settings, key, filter);
}

}  // namespace

BOOL BrowseForPath(HWND owner, int fieldId, unsigned filterId, bool save) {
  wchar_t file[kPathCapacity] = {};
  GetDlgItemTextW(owner, fieldId, file, kPathCapacity);
  // One unit more than is read, so that the list ends in two zeros even without a final bar.
  char16_t filter[kPathCapacity + 1] = {};
  ReadFilter(filterId, filter);
  ReplaceUnit(filter, u'|', 0);

  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.hInstance = Window().instance;
  dialog.lpstrFilter = Wide(filter);
  dialog.lpstrFile = file;
  dialog.nMaxFile = kPathCapacity;
  BOOL chosen = FALSE;
  if (save) {
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_ENABLESIZING;
    chosen = GetSaveFileNameW(&dialog);
  } else {
    dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_ENABLESIZING;
    chosen = GetOpenFileNameW(&dialog);
  }
  if (chosen) SetDlgItemTextW(owner, fieldId, file);
  return chosen;
}

char16_t* ReplaceUnit(char16_t* text, char16_t a, char16_t b) {
  const std::size_t length = TextLength(text);
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] == a) text[i] = b;
  }
  return text;
}

}  // namespace glos
