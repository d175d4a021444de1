// Message boxes owned by the main window, with their texts from the string table.
#include "ui/Messages.h"

#include "core/TextFormat.h"
#include "resources/TextIds.h"
#include "ui/WindowState.h"

namespace glos {

int ShowMessage(const char16_t* text, UINT flags) {
  char16_t caption[80] = {};
  LoadText(IDS_CAPTION, caption, 80);
  return MessageBoxW(Window().mainWindow, Wide(text), Wide(caption), flags);
}

int ShowStringMessage(unsigned textId, UINT flags) {
  char16_t text[kFormatCapacity] = {};
  LoadText(textId, text, static_cast<int>(kFormatCapacity));
  return ShowMessage(text, flags);
}

}  // namespace glos
