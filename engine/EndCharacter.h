// The end-character text (as typed in the window or given to the console) to the Terminator.
#pragma once

#include "core/Settings.h"

namespace glos {

// At most this many units of an end-character text are taken.
inline constexpr std::size_t kEndCharacterUnits = 3;

// Unescapes the first kEndCharacterUnits units of text with a capacity of one unit and takes
// the first unit as the Terminator; no other option changes. An empty text leaves the Terminator
// as it was. A text yielding more than one unit is reported (516) unless NoLengthCheck is set.
void SetTerminatorFromText(Settings& settings, const char16_t* text);

}  // namespace glos
