// The Terminator typed as text: the field on the write-back page, or --terminator.
#include "engine/TerminatorText.h"

#include "engine/Escape.h"

namespace glos {

bool TerminatorFromText(const Settings& settings, const char16_t* text, std::uint16_t& terminator) {
  std::size_t length = 0;
  while (length < kTerminatorTextUnits && text[length] != 0) ++length;
  if (length == 0) return false;
  // With NoLengthCheck the whole text is converted, so there must be room for all its units
  // although only the first becomes the Terminator.
  std::uint8_t units[2 * kTerminatorTextUnits] = {};
  UnescapeText(settings, units, text, length, 1, /*prefix=*/false);
  terminator = static_cast<std::uint16_t>(units[0] | (units[1] << 8));
  return true;
}

}  // namespace glos
