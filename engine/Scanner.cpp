// The string scanner: plain and length-prefixed strings, both unit widths from one template.
#include "engine/Scanner.h"

#include "engine/TranslationFile.h"
#include "engine/UnitAccess.h"

namespace glos {

namespace {

enum UnitClass : std::uint8_t { kOther, kPrintable, kLetter, kTerminator };

// The options of one scan call and the class of every unit below 256.
struct ScanOptions {
  UnitClass classes[256];
  std::uint16_t terminator;
  std::uint32_t minChars;
  bool englishOnly;
};

void BuildOptions(const Settings& settings, ScanOptions& options) {
  options.terminator = Terminator(settings);
  options.minChars = MinChars(settings);
  options.englishOnly = HasOption(settings, kEnglishOnly);
  for (unsigned unit = 0; unit < 256; ++unit) {
    // A byte is widened as a signed value before the comparison, so bytes from 0x80 up never
    // equal the Terminator; a UTF-16 unit in that span is handled by ClassOf below.
    if (unit < 0x80 && unit == options.terminator) {
      options.classes[unit] = kTerminator;
    } else if (IsAsciiLetter(static_cast<std::uint16_t>(unit))) {
      options.classes[unit] = kLetter;
    } else if (IsPrintable(static_cast<std::uint16_t>(unit))) {
      options.classes[unit] = kPrintable;
    } else {
      options.classes[unit] = kOther;
    }
  }
}

inline UnitClass ClassOf(const ScanOptions& options, std::uint8_t unit) {
  return options.classes[unit];
}

inline UnitClass ClassOf(const ScanOptions& options, std::uint16_t unit) {
  if (unit < 0x80) return options.classes[unit];
  return unit == options.terminator ? kTerminator : kOther;
}

template <typename Unit>
bool Emit(OutputBuffer& out, const std::uint8_t* file, std::uint64_t at, std::uint64_t length) {
  std::uint64_t offset = at;
  // A UTF-16 string found in a range that starts at an odd offset is recorded at the even
  // offset below it.
  if (sizeof(Unit) == 2) offset &= ~std::uint64_t{1};
  return AppendEntry(out, static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length),
                     file + at, sizeof(Unit) == 2);
}

template <typename Unit>
bool ScanPlain(const ScanOptions& options, OutputBuffer& out, const std::uint8_t* file,
               std::uint64_t rangeStart, std::uint64_t rangeSize) {
  constexpr std::uint64_t kWidth = sizeof(Unit);
  const std::uint64_t units = rangeSize / kWidth;
  const std::uint8_t* base = file + rangeStart;
  const std::uint32_t minChars = options.minChars;
  // Counting stops at minChars: beyond it only "at least minChars" matters, and nothing wraps.
  std::uint32_t letters = 0;
  bool open = false;
  std::uint64_t runStart = 0;
  for (std::uint64_t k = 0; k < units; ++k) {
    switch (ClassOf(options, LoadUnit<Unit>(base + k * kWidth))) {
      case kTerminator:
        if (open && letters >= minChars &&
            !Emit<Unit>(out, file, rangeStart + runStart * kWidth, k - runStart)) {
          return false;
        }
        letters = 0;
        open = false;
        break;
      case kLetter:
        if (!open) {
          open = true;
          runStart = k;
        }
        if (letters < minChars) ++letters;
        break;
      case kPrintable:
        if (!open) {
          open = true;
          runStart = k;
        }
        if (letters < minChars) letters = 0;
        break;
      case kOther:
        if (options.englishOnly || letters < minChars) {
          letters = 0;
          open = false;
        }
        break;
    }
  }
  return true;
}

// True when a length-prefixed string has its length unit at byte at; its length goes to length.
template <typename Unit>
bool IsPrefixedString(const ScanOptions& options, const std::uint8_t* file, std::uint64_t fileSize,
                      std::uint64_t at, std::uint32_t& length) {
  constexpr std::uint64_t kWidth = sizeof(Unit);
  const std::uint32_t units = LoadUnit<Unit>(file + at);
  if (units < options.minChars) return false;
  const std::uint64_t terminatorAt = at + (std::uint64_t{units} + 1) * kWidth;
  if (terminatorAt > fileSize || fileSize - terminatorAt < kWidth) return false;
  for (std::uint64_t j = 1; j <= units; ++j) {
    const UnitClass unitClass = ClassOf(options, LoadUnit<Unit>(file + at + j * kWidth));
    if (unitClass == kTerminator) return false;
    if (options.englishOnly && unitClass == kOther) return false;
  }
  if (ClassOf(options, LoadUnit<Unit>(file + terminatorAt)) != kTerminator) return false;
  length = units;
  return true;
}

template <typename Unit>
bool ScanPrefixed(const ScanOptions& options, OutputBuffer& out, const std::uint8_t* file,
                  std::uint64_t fileSize, std::uint64_t rangeStart, std::uint64_t rangeSize) {
  constexpr std::uint64_t kWidth = sizeof(Unit);
  const std::uint64_t units = rangeSize / kWidth;
  std::uint64_t k = 0;
  while (k < units) {
    const std::uint64_t at = rangeStart + k * kWidth;
    std::uint32_t length = 0;
    if (!IsPrefixedString<Unit>(options, file, fileSize, at, length)) {
      ++k;
      continue;
    }
    if (!Emit<Unit>(out, file, at + kWidth, length)) return false;
    // The Terminator of this string is examined again, as a possible length unit.
    k += std::uint64_t{length} + 1;
  }
  return true;
}

template <typename Unit>
bool Scan(const Settings& settings, OutputBuffer& out, const std::uint8_t* file,
          std::uint64_t fileSize, std::uint64_t rangeStart, std::uint64_t rangeSize) {
  if (rangeStart >= fileSize) return true;
  if (rangeSize > fileSize - rangeStart) rangeSize = fileSize - rangeStart;
  ScanOptions options;
  BuildOptions(settings, options);
  if (HasOption(settings, kLengthPrefixed)) {
    return ScanPrefixed<Unit>(options, out, file, fileSize, rangeStart, rangeSize);
  }
  return ScanPlain<Unit>(options, out, file, rangeStart, rangeSize);
}

}  // namespace

bool ScanBytes(const Settings& settings, OutputBuffer& out, const std::uint8_t* file,
               std::uint64_t fileSize, std::uint64_t rangeStart, std::uint64_t rangeSize) {
  return Scan<std::uint8_t>(settings, out, file, fileSize, rangeStart, rangeSize);
}

bool ScanWide(const Settings& settings, OutputBuffer& out, const std::uint8_t* file,
              std::uint64_t fileSize, std::uint64_t rangeStart, std::uint64_t rangeSize) {
  return Scan<std::uint16_t>(settings, out, file, fileSize, rangeStart, rangeSize);
}

}  // namespace glos
