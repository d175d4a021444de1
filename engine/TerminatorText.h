// The Terminator typed as text (the write-back page's field, labelled end character, or the
// console's --terminator) to its unit.
#pragma once

#include "core/Settings.h"

namespace glos {

// At most this many units of a Terminator text are taken.
inline constexpr std::size_t kTerminatorTextUnits = 3;

// Unescapes the first kTerminatorTextUnits units of text with a capacity of one unit, under the
// options of settings, and puts the first unit in terminator. An empty text gives false and
// leaves terminator as it was. A text yielding more than one unit is reported (516) unless
// NoLengthCheck is set.
bool TerminatorFromText(const Settings& settings, const char16_t* text, std::uint16_t& terminator);

}  // namespace glos
