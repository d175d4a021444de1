// Unit-level helpers shared by the engine's conversions: unaligned little-endian loads and
// stores, the escape writer and the number reader, each over either unit width.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace glos {

// Files hold little-endian units; the engine reads them with plain copies.
static_assert(std::endian::native == std::endian::little,
              "the engine assumes a little-endian host");

// The unit at p, which may be unaligned.
template <typename Unit>
inline Unit LoadUnit(const std::uint8_t* p) {
  Unit unit;
  std::memcpy(&unit, p, sizeof(Unit));
  return unit;
}

// Stores unit at p, which may be unaligned.
template <typename Unit>
inline void StoreUnit(std::uint8_t* p, Unit unit) {
  std::memcpy(p, &unit, sizeof(Unit));
}

// The two-unit escape letter of a unit, or 0 when the unit is written as it is.
inline char EscapeLetter(std::uint32_t unit) {
  switch (unit) {
    case 0:
      return '0';
    case 9:
      return 't';
    case 10:
      return 'n';
    case 13:
      return 'r';
    case 92:
      return '\\';
    default:
      return 0;
  }
}

// Writes the escaped form of count units from source to dest, both possibly unaligned, and no
// closing zero. dest must hold 2 * count units. Returns the units written.
template <typename Unit>
std::size_t EscapeUnits(std::uint8_t* dest, const std::uint8_t* source, std::size_t count) {
  std::size_t written = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const Unit unit = LoadUnit<Unit>(source + i * sizeof(Unit));
    const char letter = EscapeLetter(unit);
    if (letter == 0) {
      StoreUnit<Unit>(dest + written * sizeof(Unit), unit);
      ++written;
      continue;
    }
    StoreUnit<Unit>(dest + written * sizeof(Unit), static_cast<Unit>('\\'));
    StoreUnit<Unit>(dest + (written + 1) * sizeof(Unit), static_cast<Unit>(letter));
    written += 2;
  }
  return written;
}

// The value of a hexadecimal digit, or -1.
inline int HexDigitValue(std::uint32_t unit) {
  if (unit - '0' <= 9) return static_cast<int>(unit - '0');
  // Folding to lower case leaves every other unit outside the letters a to f.
  const std::uint32_t folded = (unit | 0x20) - 'a';
  return folded <= 5 ? static_cast<int>(folded + 10) : -1;
}

// The number at the start of count units at text (possibly unaligned): "0x"/"0X" and hexadecimal
// digits, else an optional "-" and decimal digits. Wraps in 32 bits; no number gives 0.
template <typename Unit>
std::int32_t ParseUnits(const std::uint8_t* text, std::size_t count) {
  auto at = [&](std::size_t i) -> std::uint32_t {
    return i < count ? LoadUnit<Unit>(text + i * sizeof(Unit)) : 0u;
  };
  std::uint32_t value = 0;
  if (at(0) == '0' && (at(1) == 'x' || at(1) == 'X')) {
    for (std::size_t i = 2; i < count; ++i) {
      const int digit = HexDigitValue(at(i));
      if (digit < 0) break;
      value = value * 16u + static_cast<std::uint32_t>(digit);
    }
    return static_cast<std::int32_t>(value);
  }
  const bool negative = at(0) == '-';
  for (std::size_t i = negative ? 1 : 0; i < count; ++i) {
    const std::uint32_t unit = at(i);
    if (unit < '0' || unit > '9') break;
    value = value * 10u + (unit - '0');
  }
  return static_cast<std::int32_t>(negative ? 0u - value : value);
}

}  // namespace glos
