// The window's side of the solution converter.
#include "ui/DroppedSolution.h"

#include "resources/Resource.h"
#include "search/SolutionConverter.h"
#include "ui/Messages.h"
#include "ui/Pages.h"
#include "ui/RunOperation.h"
#include "ui/WindowState.h"

namespace glos {
namespace {

class MessageBoxPrompts final : public SolutionPrompts {
 public:
  bool AskYesNo(const char16_t* question) override {
    return ShowMessage(question, MB_YESNO | MB_ICONQUESTION) == IDYES;
  }
  void ShowError(const char16_t* text) override { ShowMessage(text, MB_OK | MB_ICONERROR); }
};

}  // namespace

void HandleDroppedSolution(const char16_t* path) {
  MessageBoxPrompts prompts;
  const SolutionRequest request = ConvertDroppedSolution(path, prompts);
  if (!request.run) return;
  HWND page = Window().currentPage;
  SetDlgItemTextW(page, IDC_FIND, Wide(request.find));
  SetDlgItemTextW(page, IDC_REPLACEMENT, Wide(request.replacement));
  SetOptionsAndBoxes(page, request.clearBefore, false);
  SetDlgItemTextW(page, IDC_PATH, Wide(request.path));
  RunOperation();
  SetOptionsAndBoxes(page, request.setAfter, true);
}

}  // namespace glos
