// The escapes of translation-file text, both unit widths from one template each.
#include "engine/Escape.h"

#include <cstdlib>
#include <cstring>

#include "core/Status.h"
#include "engine/UnitAccess.h"

namespace glos {

namespace {

// Reads one item (a character or an escape) of text at index i, advancing i past it, and
// returns the unit it stands for.
template <typename Char>
std::uint32_t ReadItem(const Char* text, std::size_t textLength, std::size_t& i) {
  const std::uint32_t unit = text[i++];
  if (unit != '\\') return unit;
  // A backslash that ends the text still produces a unit.
  if (i == textLength) return 0;
  const std::uint32_t letter = text[i++];
  switch (letter) {
    case '0':
      return 0;
    case 'n':
      return 10;
    case 'r':
      return 13;
    case 't':
      return 9;
    case 'x': {
      // A fixed number of characters is taken, whether or not they are all digits.
      constexpr std::size_t kDigits = 2 * sizeof(Char);
      const std::size_t taken = textLength - i < kDigits ? textLength - i : kDigits;
      std::uint32_t value = 0;
      for (std::size_t j = 0; j < taken; ++j) {
        const int digit = HexDigitValue(text[i + j]);
        if (digit < 0) break;
        value = value * 16u + static_cast<std::uint32_t>(digit);
      }
      i += taken;
      return value;
    }
    default:
      return letter;
  }
}

// The index of the first backslash in text[from, to), or to.
std::size_t FindBackslash(const std::uint8_t* text, std::size_t from, std::size_t to) {
  if (from >= to) return to;
  const void* found = std::memchr(text + from, '\\', to - from);
  return found == nullptr
             ? to
             : static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - text);
}

std::size_t FindBackslash(const char16_t* text, std::size_t from, std::size_t to) {
  while (from < to && text[from] != u'\\') ++from;
  return from;
}

}  // namespace

// The report needs the text with a zero after it, which the entry text has not. The copy is made
// with malloc and freed at once, not kept in a string: write-back runs this inside its fault
// guard, where nothing on the stack may need a destructor (a fault abandons the frames).
void ReportCut(const std::uint8_t* text, std::size_t textLength) {
  char* copy = static_cast<char*>(std::malloc(textLength + 1));
  if (copy == nullptr) {
    ReportStatusBytes(kStatusCutBytes, "");
    return;
  }
  if (textLength != 0) std::memcpy(copy, text, textLength);
  copy[textLength] = 0;
  ReportStatusBytes(kStatusCutBytes, copy);
  std::free(copy);
}

void ReportCut(const char16_t* text, std::size_t textLength) {
  char16_t* copy = static_cast<char16_t*>(std::malloc((textLength + 1) * sizeof(char16_t)));
  if (copy == nullptr) {
    ReportStatus(kStatusCutWide, u"");
    return;
  }
  if (textLength != 0) std::memcpy(copy, text, textLength * sizeof(char16_t));
  copy[textLength] = 0;
  ReportStatus(kStatusCutWide, copy);
  std::free(copy);
}

namespace {

template <typename Char>
std::uint32_t Unescape(const Settings& settings, std::uint8_t* dest, const Char* text,
                       std::size_t textLength, std::size_t capacity, bool prefix) {
  const bool noLengthCheck = HasOption(settings, kNoLengthCheck);
  // Without room even for the prefix unit nothing may be written at all.
  if (prefix && capacity == 0 && !noLengthCheck) {
    if (textLength != 0) ReportCut(text, textLength);
    return 0;
  }
  std::size_t written = prefix ? 1 : 0;
  std::size_t i = 0;
  while (i < textLength) {
    if (written >= capacity && !noLengthCheck) {
      ReportCut(text, textLength);
      break;
    }
    if (text[i] != '\\') {
      // A stretch without escapes, as far as the room goes, is copied as it is.
      const std::size_t room = noLengthCheck ? textLength - i : capacity - written;
      const std::size_t limit = textLength - i < room ? textLength : i + room;
      const std::size_t end = FindBackslash(text, i + 1, limit);
      std::memcpy(dest + written * sizeof(Char), text + i, (end - i) * sizeof(Char));
      written += end - i;
      i = end;
      continue;
    }
    const std::uint32_t unit = ReadItem(text, textLength, i);
    StoreUnit<Char>(dest + written * sizeof(Char), static_cast<Char>(unit));
    ++written;
  }
  if (prefix) StoreUnit<Char>(dest, static_cast<Char>(written - 1));
  const Char fill = static_cast<Char>(Terminator(settings));
  for (std::size_t at = written; at < capacity; ++at)
    StoreUnit<Char>(dest + at * sizeof(Char), fill);
  return static_cast<std::uint32_t>(written);
}

template <typename Char>
std::size_t CountItems(const Char* text, std::size_t textLength) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < textLength; ++count) ReadItem(text, textLength, i);
  return count;
}

}  // namespace

std::size_t EscapeText(std::uint8_t* dest, const std::uint8_t* source, std::size_t count) {
  const std::size_t written = EscapeUnits<std::uint8_t>(dest, source, count);
  dest[written] = 0;
  return written;
}

std::size_t EscapeText(char16_t* dest, const char16_t* source, std::size_t count) {
  const std::size_t written = EscapeUnits<char16_t>(
      reinterpret_cast<std::uint8_t*>(dest), reinterpret_cast<const std::uint8_t*>(source), count);
  dest[written] = 0;
  return written;
}

std::uint32_t UnescapeText(const Settings& settings, std::uint8_t* dest, const std::uint8_t* text,
                           std::size_t textLength, std::size_t capacity, bool prefix) {
  return Unescape(settings, dest, text, textLength, capacity, prefix);
}

std::uint32_t UnescapeText(const Settings& settings, std::uint8_t* dest, const char16_t* text,
                           std::size_t textLength, std::size_t capacity, bool prefix) {
  return Unescape(settings, dest, text, textLength, capacity, prefix);
}

std::size_t UnescapedLength(const std::uint8_t* text, std::size_t textLength) {
  return CountItems(text, textLength);
}

std::size_t UnescapedLength(const char16_t* text, std::size_t textLength) {
  return CountItems(text, textLength);
}

std::int32_t ParseNumber(const std::uint8_t* text, const std::uint8_t* end) {
  if (text == nullptr || end <= text) return 0;
  return ParseUnits<std::uint8_t>(text, static_cast<std::size_t>(end - text));
}

std::int32_t ParseNumber(const char16_t* text, const char16_t* end) {
  if (text == nullptr || end <= text) return 0;
  return ParseUnits<char16_t>(reinterpret_cast<const std::uint8_t*>(text),
                              static_cast<std::size_t>(end - text));
}

}  // namespace glos
