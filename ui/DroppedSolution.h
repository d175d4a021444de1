// A file dropped on the Search page, handed to the solution converter.
#pragma once

namespace glos {

// Runs ConvertDroppedSolution for path over the current page: its message boxes are the
// window's, its fields and check boxes those of the Search page, its run RunOperation.
void HandleDroppedSolution(const char16_t* path);

}  // namespace glos
