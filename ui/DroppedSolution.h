// A file dropped on the Search page, handed to the solution converter.
#pragma once

namespace glos {

// Runs ConvertDroppedSolution for path with the window's message boxes and, when it asks for a
// run, puts its texts and options on the current page and runs it as the OK button does.
void HandleDroppedSolution(const char16_t* path);

}  // namespace glos
