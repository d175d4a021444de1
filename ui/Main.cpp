// Entry function of glosmorin.exe: the settings, then the main window as a modal dialog.
#include <cstdlib>

#include "resources/Resource.h"
#include "ui/MainWindow.h"
#include "ui/WindowState.h"

namespace {

void SaveProgramSettings() { glos::SaveSettings(glos::ProgramSettings()); }

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  glos::LoadSettings(glos::ProgramSettings());
  std::atexit(SaveProgramSettings);
  glos::Window().instance = instance;
  InitCommonControls();
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, glos::MainDialogProc,
                  reinterpret_cast<LPARAM>(commandLine));
  return 0;
}
