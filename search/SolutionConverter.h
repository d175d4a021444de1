// The solution converter: flips a Visual Studio 2005/2008 solution file to the other version and
// converts the project files beside it with a Search run.
#pragma once

#include "core/Settings.h"

namespace glos {

// What the converter needs from the window: its message boxes and the Search page.
class SolutionFrontEnd {
 public:
  virtual ~SolutionFrontEnd() = default;
  // Asks the conversion question in a Yes/No box with the question icon; true for Yes.
  virtual bool AskYesNo(const char16_t* question) = 0;
  // Shows a failure in an OK box with the error icon.
  virtual void ShowError(const char16_t* text) = 0;
  // Sets or clears one option in the OptionWord together with its check box on the page.
  virtual void SetPageOption(OptionBit bit, bool on) = 0;
  // Puts the texts into the page's find and replacement fields.
  virtual void SetSearchTexts(const char16_t* find, const char16_t* replacement) = 0;
  // Puts the text into the page's path field.
  virtual void SetPath(const char16_t* path) = 0;
  // Runs the Search operation over the page's fields, as the OK button does.
  virtual void RunOperation() = 0;
};

// When path names a 2005 or 2008 solution (".sln", case-sensitive, with the solution header and
// format version 9 or 10) and the user agrees, rewrites its format version and year digit in
// place, keeping its size, and returns the new year digit: '8' (now 2008) or '5' (now 2005).
// Returns 0 when nothing was converted: not a solution, not writable, answered No, or no
// "Visual Studio 200" after the header (which is shown as an error, text 513).
char ConvertSolution(const char16_t* path, SolutionFrontEnd& frontEnd);

// The sequence after a file was dropped on the Search page: converts the solution at path and,
// when that happened, fills the page with the project version texts and the *.vcproj pattern of
// the solution's directory, clears UnicodeMode and LengthPrefixed, runs the Search, and sets
// Recursive afterwards.
void ConvertDroppedSolution(const char16_t* path, SolutionFrontEnd& frontEnd);

}  // namespace glos
