// The solution converter: flips a Visual Studio 2005/2008 solution file to the other version and
// converts the project files beside it with a Search run.
#pragma once

#include <cstdint>

#include "core/Settings.h"

namespace glos {

// The converter's two message boxes, which the window shows.
class SolutionPrompts {
 public:
  virtual ~SolutionPrompts() = default;
  // Asks the conversion question in a Yes/No box with the question icon; true for Yes.
  virtual bool AskYesNo(const char16_t* question) = 0;
  // Shows a failure in an OK box with the error icon.
  virtual void ShowError(const char16_t* text) = 0;
};

// The Search run that converts the project files of a converted solution, for the window to put
// on its Search page and run as the OK button does.
struct SolutionRequest {
  bool run = false;                   // false: nothing was converted, nothing is to be done
  const char16_t* find = u"";         // typed texts for the find and replacement fields
  const char16_t* replacement = u"";  //
  char16_t path[kPathCapacity] = {};  // the *.vcproj pattern of the solution's directory
  std::uint32_t clearBefore = 0;      // OptionWord bits to clear before the run
  std::uint32_t setAfter = 0;         // OptionWord bits to set once it has ended
};

// When path names a 2005 or 2008 solution (".sln", case-sensitive, with the solution header and
// format version 9 or 10) and the user agrees, rewrites its format version and year digit in
// place, keeping its size, and returns the new year digit: '8' (now 2008) or '5' (now 2005).
// Returns 0 when nothing was converted: not a solution, not writable, answered No, or no
// "Visual Studio 200" after the header (which is shown as an error, text 513).
char ConvertSolution(const char16_t* path, SolutionPrompts& prompts);

// After a file was dropped on the Search page: converts the solution at path and, when that
// happened, asks for a run with the project version texts over the *.vcproj pattern of the
// solution's directory, with UnicodeMode and LengthPrefixed cleared before it and Recursive set
// after it.
SolutionRequest ConvertDroppedSolution(const char16_t* path, SolutionPrompts& prompts);

}  // namespace glos
