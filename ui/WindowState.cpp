// The process-wide window state and settings.
#include "ui/WindowState.h"

namespace glos {

WindowState& Window() {
  static WindowState state;
  return state;
}

Settings& ProgramSettings() {
  static Settings settings;
  return settings;
}

}  // namespace glos
