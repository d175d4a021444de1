// The process-wide state of the window: handles, geometry, title font and the one Settings object.
#pragma once

#include "core/Settings.h"
#include "ui/Handles.h"

namespace glos {

// Screen position and the two heights of the main window; foldedHeight 0 means not measured.
struct WindowGeometry {
  int left = 0;
  int top = 0;
  int width = 0;
  int fullHeight = 0;
  int foldedHeight = 0;
};

struct WindowState {
  HINSTANCE instance = nullptr;  // every string, icon and template is loaded from it
  HWND mainWindow = nullptr;     // set first thing at WM_INITDIALOG, cleared when destroyed
  HWND currentPage = nullptr;    // the operation page shown, null until the first one exists
  WindowGeometry geometry;
  ScopedGdiObject titleFont;  // label 312's font, made at WM_INITDIALOG
};

// The one window state of the process.
WindowState& Window();

// The one Settings object of the process, read and edited by every page and every run.
Settings& ProgramSettings();

}  // namespace glos
