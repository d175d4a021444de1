// The string scanner: plain and length-prefixed strings, both unit widths from one template.
//
// Units are classified 64 at a time into bit masks (Terminator, printable, ASCII letter), with
// SSE2 where the build has it and the class table otherwise. The plain scan then applies its
// rules to whole masks: a run qualifies where MinChars letters in a row end, the qualified part
// of each run is filled in with one addition, and each string costs one bit scan. The
// length-prefixed scan tests the unit at p + L + 1 first and asks a cursor that only moves
// forward for the next unit that breaks a string, so every position costs constant work.
#include "engine/Scanner.h"

#include <bit>

#include "engine/TranslationFile.h"
#include "engine/UnitAccess.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace glos {

namespace {

enum UnitClass : std::uint8_t { kOther, kPrintable, kLetter, kTerminator };

constexpr std::uint64_t kBlockUnits = 64;

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
    if (IsTerminatorUnit(static_cast<std::uint16_t>(unit), options.terminator, false)) {
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

// The bits [0, count) set, for count from 0 to 64.
inline std::uint64_t LowBits(std::uint64_t count) {
  return count >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
}

inline unsigned HighestBit(std::uint64_t bits) {
  return 63u - static_cast<unsigned>(std::countl_zero(bits));
}

// One block of units as bit masks: bit i stands for the block's unit i. A printable or letter
// unit that equals the Terminator counts only as the Terminator.
struct Masks {
  std::uint64_t terminator;
  std::uint64_t printable;  // letters included
  std::uint64_t letter;
};

// The masks of count units (at most 64) at p, by the class table.
template <typename Unit>
Masks ClassifyUnits(const ScanOptions& options, const std::uint8_t* p, std::uint64_t count) {
  Masks masks{0, 0, 0};
  for (std::uint64_t i = 0; i < count; ++i) {
    const UnitClass unitClass = ClassOf(options, LoadUnit<Unit>(p + i * sizeof(Unit)));
    const std::uint64_t bit = std::uint64_t{1} << i;
    if (unitClass == kTerminator) masks.terminator |= bit;
    if (unitClass == kPrintable || unitClass == kLetter) masks.printable |= bit;
    if (unitClass == kLetter) masks.letter |= bit;
  }
  return masks;
}

#if defined(__SSE2__)

// The Terminator in every lane, for the block classification.
struct VectorConstants {
  __m128i terminator;
};

VectorConstants MakeVectorConstants(const ScanOptions& options, bool wide) {
  if (wide) return {_mm_set1_epi16(static_cast<short>(options.terminator))};
  return {_mm_set1_epi8(static_cast<char>(options.terminator & 0xFF))};
}

// Lanes of all ones where a byte is printable (TAB, LF, CR, 0x20 to 0x7E), and where it is a
// letter. SSE2 compares signed lanes, so each range is moved to start at -128 first; TAB and CR
// are the two bytes that OR 4 turns into CR.
inline void ClassifyBytes(__m128i v, __m128i& printable, __m128i& letter) {
  const __m128i visible =
      _mm_cmplt_epi8(_mm_add_epi8(v, _mm_set1_epi8(0x60)), _mm_set1_epi8(-128 + 0x5F));
  const __m128i controls =
      _mm_or_si128(_mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(4)), _mm_set1_epi8(13)),
                   _mm_cmpeq_epi8(v, _mm_set1_epi8(10)));
  printable = _mm_or_si128(visible, controls);
  const __m128i folded = _mm_or_si128(v, _mm_set1_epi8(0x20));
  letter = _mm_cmplt_epi8(_mm_add_epi8(folded, _mm_set1_epi8(0x1F)), _mm_set1_epi8(-128 + 26));
}

// The same for eight UTF-16 units, in 16-bit lanes.
inline void ClassifyWide(__m128i v, __m128i& printable, __m128i& letter) {
  const __m128i visible = _mm_cmplt_epi16(_mm_add_epi16(v, _mm_set1_epi16(0x8000 - 0x20)),
                                          _mm_set1_epi16(-0x8000 + 0x5F));
  const __m128i controls =
      _mm_or_si128(_mm_cmpeq_epi16(_mm_or_si128(v, _mm_set1_epi16(4)), _mm_set1_epi16(13)),
                   _mm_cmpeq_epi16(v, _mm_set1_epi16(10)));
  printable = _mm_or_si128(visible, controls);
  const __m128i folded = _mm_or_si128(v, _mm_set1_epi16(0x20));
  letter = _mm_cmplt_epi16(_mm_add_epi16(folded, _mm_set1_epi16(0x8000 - 0x61)),
                           _mm_set1_epi16(-0x8000 + 26));
}

// Sixteen units at p as three 16-bit masks, placed at bit shift of masks; the Terminator is not
// yet taken out of the other two.
inline void ClassifySixteenBytes(const VectorConstants& constants, const std::uint8_t* p,
                                 unsigned shift, Masks& masks) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i printable;
  __m128i letter;
  ClassifyBytes(v, printable, letter);
  const __m128i ends = _mm_cmpeq_epi8(v, constants.terminator);
  masks.terminator |= std::uint64_t(unsigned(_mm_movemask_epi8(ends))) << shift;
  masks.printable |= std::uint64_t(unsigned(_mm_movemask_epi8(printable))) << shift;
  masks.letter |= std::uint64_t(unsigned(_mm_movemask_epi8(letter))) << shift;
}

inline void ClassifySixteenWide(const VectorConstants& constants, const std::uint8_t* p,
                                unsigned shift, Masks& masks) {
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  __m128i printableLow;
  __m128i letterLow;
  __m128i printableHigh;
  __m128i letterHigh;
  ClassifyWide(low, printableLow, letterLow);
  ClassifyWide(high, printableHigh, letterHigh);
  // Lanes are all ones or all zeros, so packing them with saturation keeps them so.
  const __m128i ends = _mm_packs_epi16(_mm_cmpeq_epi16(low, constants.terminator),
                                       _mm_cmpeq_epi16(high, constants.terminator));
  const __m128i printable = _mm_packs_epi16(printableLow, printableHigh);
  const __m128i letter = _mm_packs_epi16(letterLow, letterHigh);
  masks.terminator |= std::uint64_t(unsigned(_mm_movemask_epi8(ends))) << shift;
  masks.printable |= std::uint64_t(unsigned(_mm_movemask_epi8(printable))) << shift;
  masks.letter |= std::uint64_t(unsigned(_mm_movemask_epi8(letter))) << shift;
}

#else

// Without SSE2 the class table does the whole work.
struct VectorConstants {};

VectorConstants MakeVectorConstants(const ScanOptions&, bool) { return {}; }

#endif

// Classifies blocks of 64 units with vectors, and shorter ones unit by unit.
template <typename Unit>
struct Classifier {
  const ScanOptions* options;
  VectorConstants constants;
  std::uint64_t canEnd;  // all ones unless no unit of this width can equal the Terminator

  explicit Classifier(const ScanOptions& scanOptions)
      : options(&scanOptions),
        constants(MakeVectorConstants(scanOptions, sizeof(Unit) == 2)),
        canEnd(sizeof(Unit) == 2 || scanOptions.terminator < 0x80 ? ~std::uint64_t{0} : 0) {}

  // The 64 units at p.
  Masks Block(const std::uint8_t* p) const {
#if defined(__SSE2__)
    Masks masks{0, 0, 0};
    constexpr std::uint64_t kBytes = 16 * sizeof(Unit);
    for (unsigned part = 0; part < 4; ++part) {
      if constexpr (sizeof(Unit) == 1) {
        ClassifySixteenBytes(constants, p + part * kBytes, 16 * part, masks);
      } else {
        ClassifySixteenWide(constants, p + part * kBytes, 16 * part, masks);
      }
    }
    masks.terminator &= canEnd;
    masks.printable &= ~masks.terminator;
    masks.letter &= ~masks.terminator;
    return masks;
#else
    return ClassifyUnits<Unit>(*options, p, kBlockUnits);
#endif
  }

  // The count units at p, count from 0 to 64; no unit after them is read.
  Masks Units(const std::uint8_t* p, std::uint64_t count) const {
    if (count == kBlockUnits) return Block(p);
    return ClassifyUnits<Unit>(*options, p, count);
  }
};

template <typename Unit>
bool Emit(OutputBuffer& out, const std::uint8_t* file, std::uint64_t at, std::uint64_t length) {
  std::uint64_t offset = at;
  // A UTF-16 string found in a range that starts at an odd offset is recorded at the even
  // offset below it.
  if (sizeof(Unit) == 2) offset &= ~std::uint64_t{1};
  return AppendEntry(out, static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length),
                     file + at, sizeof(Unit) == 2);
}

// What the plain scan carries from one block into the next. The single-bit fields hold the
// previous block's last bit of the mask they are named after, as bit 0.
struct PlainCarry {
  std::uint64_t printable = 0;
  std::uint64_t open = 0;            // the unit could belong to a run (see ScanPlain)
  std::uint64_t waiting = 0;         // open, but its run has not qualified yet
  std::uint64_t qualified = 0;       // open, and its run has qualified
  std::uint32_t letters = 0;         // letters in a row up to the block, at most minChars
  std::uint64_t segmentStart = 0;    // unit index of the latest start of a printable stretch
  std::uint64_t qualifiedStart = 0;  // run start of the qualified run that reaches the block
};

// The units where minChars (1 to 255) letters in a row end, carried letters included.
inline std::uint64_t QualifyingEnds(std::uint64_t letters, std::uint32_t minChars,
                                    std::uint32_t carried) {
  std::uint64_t ends = 0;
  if (minChars <= kBlockUnits) {
    // ends holds the units ending `have` letters in a row; doubling `have` costs a shift each.
    ends = letters;
    for (std::uint32_t have = 1; have < minChars;) {
      const std::uint32_t step = have < minChars - have ? have : minChars - have;
      ends &= ends << step;
      have += step;
    }
  }
  if (carried != 0) {
    // Letters in a row before the block lengthen its first run of letters.
    const std::uint64_t first = static_cast<std::uint64_t>(std::countr_one(letters));
    const std::uint64_t needed = carried >= minChars - 1 ? 0 : minChars - 1 - carried;
    ends |= LowBits(first) & ~LowBits(needed);
  }
  return ends;
}

// The plain scanning rules over the masks of one block of count units at unit index first of
// the range. Within the rules a run is open from its first printable unit; it qualifies at the
// unit that ends minChars letters in a row (the letter count of the rules is exactly the number
// of letters in a row, since every unit that resets it without closing the run is a printable
// non-letter); unqualified, it closes at any unit that is not printable; qualified, at the
// Terminator, with an entry, or with EnglishOnly at any other unit that is not printable. So
// with EnglishOnly a run is a stretch of printable units, and without it a qualified run takes
// in everything up to the next Terminator.
template <typename Unit, bool kEnglishOnly>
bool ScanBlock(const ScanOptions& options, const Masks& masks, std::uint64_t first,
               std::uint64_t count, PlainCarry& carry, OutputBuffer& out, const std::uint8_t* file,
               std::uint64_t rangeStart) {
  const std::uint64_t valid = LowBits(count);
  const std::uint64_t printable = masks.printable;
  const std::uint64_t ends = options.minChars == 0
                                 ? printable
                                 : QualifyingEnds(masks.letter, options.minChars, carry.letters);
  // A unit that starts a stretch of printable units starts the run, if a run starts there.
  const std::uint64_t segmentStarts = printable & ~((printable << 1) | carry.printable);
  // open: units a run can span once it has begun; between two of its stretches no run lives.
  const std::uint64_t open = kEnglishOnly ? printable : valid & ~masks.terminator;
  const std::uint64_t openStarts = open & ~((open << 1) | carry.open);
  // waiting: from the start of each open stretch up to its first qualifying unit, found by
  // letting an addition carry through the stretch from its start.
  const std::uint64_t unqualified = open & ~ends;
  const std::uint64_t seeds = (openStarts | carry.waiting) & unqualified;
  const std::uint64_t waiting = ((unqualified + seeds) ^ unqualified) & unqualified;
  const std::uint64_t qualified = open & ~waiting;
  const std::uint64_t emits = masks.terminator & ((qualified << 1) | carry.qualified);

  // The start of the run whose qualified part ends just before unit at: its first qualified
  // unit's stretch of printable units starts it.
  auto runStart = [&](unsigned at) -> std::uint64_t {
    if constexpr (kEnglishOnly) {
      // The run is the stretch of printable units that ends just before at.
      const std::uint64_t starts = segmentStarts & LowBits(at);
      return starts != 0 ? first + HighestBit(starts) : carry.segmentStart;
    }
    const std::uint64_t gaps = ~qualified & LowBits(at);
    if (gaps == 0 && carry.qualified != 0) return carry.qualifiedStart;
    const unsigned firstQualified = gaps == 0 ? 0 : HighestBit(gaps) + 1;
    const std::uint64_t starts = segmentStarts & LowBits(firstQualified + 1);
    return starts != 0 ? first + HighestBit(starts) : carry.segmentStart;
  };

  constexpr std::uint64_t kWidth = sizeof(Unit);
  for (std::uint64_t pending = emits; pending != 0; pending &= pending - 1) {
    const auto at = static_cast<unsigned>(std::countr_zero(pending));
    const std::uint64_t start = runStart(at);
    if (!Emit<Unit>(out, file, rangeStart + start * kWidth, first + at - start)) return false;
  }

  const std::uint64_t top = count - 1;
  if ((qualified >> top) & 1) carry.qualifiedStart = runStart(static_cast<unsigned>(count));
  if (segmentStarts != 0) carry.segmentStart = first + HighestBit(segmentStarts);
  carry.printable = (printable >> top) & 1;
  carry.open = (open >> top) & 1;
  carry.waiting = (waiting >> top) & 1;
  carry.qualified = (qualified >> top) & 1;
  const std::uint64_t lettersAtEnd =
      masks.letter == valid
          ? carry.letters + count
          : static_cast<std::uint64_t>(std::countl_one(masks.letter << (63 - top)));
  carry.letters =
      static_cast<std::uint32_t>(lettersAtEnd < options.minChars ? lettersAtEnd : options.minChars);
  return true;
}

template <typename Unit>
bool ScanPlain(const ScanOptions& options, OutputBuffer& out, const std::uint8_t* file,
               std::uint64_t rangeStart, std::uint64_t rangeSize) {
  constexpr std::uint64_t kWidth = sizeof(Unit);
  const std::uint64_t units = rangeSize / kWidth;
  const std::uint8_t* base = file + rangeStart;
  const Classifier<Unit> classifier(options);
  PlainCarry carry;
  for (std::uint64_t k = 0; k < units; k += kBlockUnits) {
    const std::uint64_t count = units - k < kBlockUnits ? units - k : kBlockUnits;
    const Masks masks = classifier.Units(base + k * kWidth, count);
    const bool complete =
        options.englishOnly
            ? ScanBlock<Unit, true>(options, masks, k, count, carry, out, file, rangeStart)
            : ScanBlock<Unit, false>(options, masks, k, count, carry, out, file, rangeStart);
    if (!complete) return false;
  }
  return true;
}

// The length-prefixed scan, driven by the units that break a string: the Terminator, and with
// EnglishOnly every other unit that is not printable. The length unit at p names a string
// exactly when the first break after p lies L + 1 units on and is the Terminator. So every
// position p belongs to one break b, the first after it, and only the positions whose break is
// a Terminator need their length unit read: the smallest p of that group with p + L + 1 = b is
// the string the rules find there, and the scan, which then goes on at b, leaves the rest of
// the group behind. Breaks come from the block masks, so a position costs constant work
// whatever its length unit says.
template <typename Unit>
bool ScanPrefixed(const ScanOptions& options, OutputBuffer& out, const std::uint8_t* file,
                  std::uint64_t fileSize, std::uint64_t rangeStart, std::uint64_t rangeSize) {
  constexpr std::uint64_t kWidth = sizeof(Unit);
  constexpr std::uint64_t kMaxLength = sizeof(Unit) == 1 ? 0xFF : 0xFFFF;
  // Indices count units from rangeStart; the length units are [0, units). A Terminator may lie
  // up to kMaxLength + 1 units after the last length unit, but never outside the file.
  const std::uint64_t units = rangeSize / kWidth;
  if (units == 0) return true;
  const std::uint64_t fileUnits = (fileSize - rangeStart) / kWidth;
  const std::uint64_t last =
      fileUnits - 1 < units + kMaxLength ? fileUnits - 1 : units + kMaxLength;
  const std::uint8_t* base = file + rangeStart;
  const Classifier<Unit> classifier(options);
  const std::uint32_t minChars = options.minChars;
  std::uint64_t groupStart = 0;  // the latest break, or the first length unit while none
  std::uint32_t clear = 0;       // units without a break up to the block, at most minChars
  std::uint64_t clearEnough = minChars == 0 ? 1 : 0;  // the unit before the block ends minChars
  for (std::uint64_t first = 1; first <= last; first += kBlockUnits) {
    const std::uint64_t count = last + 1 - first < kBlockUnits ? last + 1 - first : kBlockUnits;
    const Masks masks = classifier.Units(base + first * kWidth, count);
    const std::uint64_t breaks =
        options.englishOnly ? LowBits(count) & ~masks.printable : masks.terminator;
    // A Terminator can end a string only after minChars units without a break; in files that
    // are not text this leaves few to look at.
    const std::uint64_t clearUnits = LowBits(count) & ~breaks;
    const std::uint64_t clearRuns =
        minChars == 0 ? ~std::uint64_t{0} : QualifyingEnds(clearUnits, minChars, clear);
    const std::uint64_t ends = masks.terminator & ((clearRuns << 1) | clearEnough);
    for (std::uint64_t pending = ends; pending != 0; pending &= pending - 1) {
      const auto bit = static_cast<unsigned>(std::countr_zero(pending));
      const std::uint64_t end = first + bit;
      const std::uint64_t before = breaks & LowBits(bit);
      const std::uint64_t from = before != 0 ? first + HighestBit(before) : groupStart;
      const std::uint64_t nearest = end > kMaxLength + 1 ? end - 1 - kMaxLength : 0;
      const std::uint64_t low = from > nearest ? from : nearest;
      const std::uint64_t longest = end - 1 - minChars;
      const std::uint64_t high = longest < units - 1 ? longest : units - 1;
      for (std::uint64_t p = low; p <= high; ++p) {
        const std::uint64_t length = LoadUnit<Unit>(base + p * kWidth);
        if (p + length + 1 != end) continue;
        if (!Emit<Unit>(out, file, rangeStart + (p + 1) * kWidth, length)) return false;
        break;
      }
    }
    const std::uint64_t top = count - 1;
    clearEnough = (clearRuns >> top) & 1;
    const std::uint64_t clearAtEnd =
        clearUnits == LowBits(count)
            ? clear + count
            : static_cast<std::uint64_t>(std::countl_one(clearUnits << (63 - top)));
    clear = static_cast<std::uint32_t>(clearAtEnd < minChars ? clearAtEnd : minChars);
    if (breaks != 0) groupStart = first + HighestBit(breaks);
    // Every later group starts at or after this break, past the last length unit.
    if (groupStart >= units) break;
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
