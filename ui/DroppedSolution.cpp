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

class SearchPageFrontEnd final : public SolutionFrontEnd {
 public:
  bool AskYesNo(const char16_t* question) override {
    return ShowMessage(question, MB_YESNO | MB_ICONQUESTION) == IDYES;
  }
  void ShowError(const char16_t* text) override { ShowMessage(text, MB_OK | MB_ICONERROR); }
  void SetPageOption(OptionBit bit, bool on) override {
    SetOptionAndBox(Window().currentPage, bit, on);
  }
  void SetSearchTexts(const char16_t* find, const char16_t* replacement) override {
    SetDlgItemTextW(Window().currentPage, IDC_FIND, Wide(find));
    SetDlgItemTextW(Window().currentPage, IDC_REPLACEMENT, Wide(replacement));
  }
  void SetPath(const char16_t* path) override {
    SetDlgItemTextW(Window().currentPage, IDC_PATH, Wide(path));
  }
  void RunOperation() override { glos::RunOperation(); }
};

}  // namespace

void HandleDroppedSolution(const char16_t* path) {
  SearchPageFrontEnd frontEnd;
  ConvertDroppedSolution(path, frontEnd);
}

}  // namespace glos
