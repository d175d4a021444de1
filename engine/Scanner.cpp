// The string scanner: plain and length-prefixed strings, both unit widths from one template.
//
// Units are classified 64 at a time into bit masks (Terminator, printable, ASCII letter), with
// the widest vectors the processor has (SSE2, AVX2 or AVX-512, one compiled variant of the whole
// scan each, picked at run time) and the class table for a short last block. The plain scan then
// applies its rules to whole masks: a run qualifies where MinChars letters in a row end, the
// qualified part of each run is filled in with one addition, and each string costs one bit scan.
// The length-prefixed scan tests the unit at p + L + 1 first and asks a cursor that only moves
// forward for the next unit that breaks a string, so every position costs constant work.
#include "engine/Scanner.h"

#include <bit>

#include "core/Cpu.h"
#include "engine/TranslationFile.h"
#include "engine/UnitAccess.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define GLOS_X86 1
// The variants beyond SSE2: every function of a variant's scan is compiled for its instructions.
#define GLOS_AVX2 __attribute__((target("avx2,bmi,bmi2,lzcnt,popcnt")))
#define GLOS_AVX512 __attribute__((target("avx512f,avx512bw,avx2,bmi,bmi2,lzcnt,popcnt")))
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
  bool lengthPrefixed;
};

void BuildOptions(const Settings& settings, ScanOptions& options) {
  options.terminator = Terminator(settings);
  options.minChars = MinChars(settings);
  options.englishOnly = HasOption(settings, kEnglishOnly);
  options.lengthPrefixed = HasOption(settings, kLengthPrefixed);
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

// The class masks of a block before the Terminator is taken out of the other two, and after.
inline Masks FinishMasks(Masks masks, std::uint64_t canEnd) {
  masks.terminator &= canEnd;
  masks.printable &= ~masks.terminator;
  masks.letter &= ~masks.terminator;
  return masks;
}

#if defined(GLOS_X86)

// SSE2 compares signed lanes, so each range is moved to start at -128 first; TAB and CR are the
// two bytes that OR 4 turns into CR. Lanes of all ones where a byte is printable (TAB, LF, CR,
// 0x20 to 0x7E), and where it is a letter.
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

// 64 units at p with SSE2, sixteen at a time.
template <typename Unit>
Masks BlockSse2(std::uint16_t terminator, const std::uint8_t* p) {
  Masks masks{0, 0, 0};
  for (unsigned part = 0; part < 4; ++part) {
    __m128i ends;
    __m128i printable;
    __m128i letter;
    if constexpr (sizeof(Unit) == 1) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part));
      ClassifyBytes(v, printable, letter);
      ends = _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(terminator & 0xFF)));
    } else {
      const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32 * part));
      const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32 * part + 16));
      const __m128i term = _mm_set1_epi16(static_cast<short>(terminator));
      __m128i printableLow;
      __m128i letterLow;
      ClassifyWide(low, printableLow, letterLow);
      ClassifyWide(high, printable, letter);
      // Lanes are all ones or all zeros, so packing them with saturation keeps them so.
      ends = _mm_packs_epi16(_mm_cmpeq_epi16(low, term), _mm_cmpeq_epi16(high, term));
      printable = _mm_packs_epi16(printableLow, printable);
      letter = _mm_packs_epi16(letterLow, letter);
    }
    const unsigned shift = 16 * part;
    masks.terminator |= std::uint64_t(unsigned(_mm_movemask_epi8(ends))) << shift;
    masks.printable |= std::uint64_t(unsigned(_mm_movemask_epi8(printable))) << shift;
    masks.letter |= std::uint64_t(unsigned(_mm_movemask_epi8(letter))) << shift;
  }
  return masks;
}

// Lanes of all ones where a unit is printable, and where it is a letter, as in ClassifyBytes and
// ClassifyWide. AVX2 has only the greater-than compare of signed lanes.
template <typename Unit>
GLOS_AVX2 inline void ClassifyAvx2(__m256i v, __m256i& printable, __m256i& letter) {
  if constexpr (sizeof(Unit) == 1) {
    const __m256i visible = _mm256_cmpgt_epi8(_mm256_set1_epi8(-128 + 0x5F),
                                              _mm256_add_epi8(v, _mm256_set1_epi8(0x60)));
    const __m256i controls = _mm256_or_si256(
        _mm256_cmpeq_epi8(_mm256_or_si256(v, _mm256_set1_epi8(4)), _mm256_set1_epi8(13)),
        _mm256_cmpeq_epi8(v, _mm256_set1_epi8(10)));
    printable = _mm256_or_si256(visible, controls);
    const __m256i folded = _mm256_or_si256(v, _mm256_set1_epi8(0x20));
    letter = _mm256_cmpgt_epi8(_mm256_set1_epi8(-128 + 26),
                               _mm256_add_epi8(folded, _mm256_set1_epi8(0x1F)));
  } else {
    const __m256i visible = _mm256_cmpgt_epi16(
        _mm256_set1_epi16(-0x8000 + 0x5F), _mm256_add_epi16(v, _mm256_set1_epi16(0x8000 - 0x20)));
    const __m256i controls = _mm256_or_si256(
        _mm256_cmpeq_epi16(_mm256_or_si256(v, _mm256_set1_epi16(4)), _mm256_set1_epi16(13)),
        _mm256_cmpeq_epi16(v, _mm256_set1_epi16(10)));
    printable = _mm256_or_si256(visible, controls);
    const __m256i folded = _mm256_or_si256(v, _mm256_set1_epi16(0x20));
    letter = _mm256_cmpgt_epi16(_mm256_set1_epi16(-0x8000 + 26),
                                _mm256_add_epi16(folded, _mm256_set1_epi16(0x8000 - 0x61)));
  }
}

// Packs two vectors of 16-bit lanes that are all ones or all zeros into bytes, in order: packing
// works within each 128-bit half, and the permutation puts the quarters back in order.
GLOS_AVX2 inline __m256i PackAvx2(__m256i a, __m256i b) {
  return _mm256_permute4x64_epi64(_mm256_packs_epi16(a, b), 0xD8);
}

// 64 units at p with AVX2, 32 at a time.
template <typename Unit>
GLOS_AVX2 Masks BlockAvx2(std::uint16_t terminator, const std::uint8_t* p) {
  Masks masks{0, 0, 0};
  for (unsigned part = 0; part < 2; ++part) {
    __m256i ends;
    __m256i printable;
    __m256i letter;
    if constexpr (sizeof(Unit) == 1) {
      const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * part));
      ClassifyAvx2<Unit>(v, printable, letter);
      ends = _mm256_cmpeq_epi8(v, _mm256_set1_epi8(static_cast<char>(terminator & 0xFF)));
    } else {
      const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 64 * part));
      const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 64 * part + 32));
      const __m256i term = _mm256_set1_epi16(static_cast<short>(terminator));
      __m256i printableLow;
      __m256i letterLow;
      ClassifyAvx2<Unit>(low, printableLow, letterLow);
      ClassifyAvx2<Unit>(high, printable, letter);
      ends = PackAvx2(_mm256_cmpeq_epi16(low, term), _mm256_cmpeq_epi16(high, term));
      printable = PackAvx2(printableLow, printable);
      letter = PackAvx2(letterLow, letter);
    }
    const unsigned shift = 32 * part;
    masks.terminator |= std::uint64_t(unsigned(_mm256_movemask_epi8(ends))) << shift;
    masks.printable |= std::uint64_t(unsigned(_mm256_movemask_epi8(printable))) << shift;
    masks.letter |= std::uint64_t(unsigned(_mm256_movemask_epi8(letter))) << shift;
  }
  return masks;
}

// 64 units at p with AVX-512, whose compares give the bit masks themselves.
template <typename Unit>
GLOS_AVX512 Masks BlockAvx512(std::uint16_t terminator, const std::uint8_t* p) {
  if constexpr (sizeof(Unit) == 1) {
    const __m512i v = _mm512_loadu_si512(p);
    const std::uint64_t visible =
        _mm512_cmplt_epu8_mask(_mm512_sub_epi8(v, _mm512_set1_epi8(0x20)), _mm512_set1_epi8(0x5F));
    const std::uint64_t controls =
        _mm512_cmpeq_epi8_mask(_mm512_or_si512(v, _mm512_set1_epi8(4)), _mm512_set1_epi8(13)) |
        _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(10));
    const std::uint64_t letter = _mm512_cmplt_epu8_mask(
        _mm512_sub_epi8(_mm512_or_si512(v, _mm512_set1_epi8(0x20)), _mm512_set1_epi8(0x61)),
        _mm512_set1_epi8(26));
    const std::uint64_t ends =
        _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(static_cast<char>(terminator & 0xFF)));
    return {ends, visible | controls, letter};
  } else {
    Masks masks{0, 0, 0};
    for (unsigned part = 0; part < 2; ++part) {
      const __m512i v = _mm512_loadu_si512(p + 64 * part);
      const std::uint64_t visible = _mm512_cmplt_epu16_mask(
          _mm512_sub_epi16(v, _mm512_set1_epi16(0x20)), _mm512_set1_epi16(0x5F));
      const std::uint64_t controls =
          _mm512_cmpeq_epi16_mask(_mm512_or_si512(v, _mm512_set1_epi16(4)), _mm512_set1_epi16(13)) |
          _mm512_cmpeq_epi16_mask(v, _mm512_set1_epi16(10));
      const std::uint64_t letter = _mm512_cmplt_epu16_mask(
          _mm512_sub_epi16(_mm512_or_si512(v, _mm512_set1_epi16(0x20)), _mm512_set1_epi16(0x61)),
          _mm512_set1_epi16(26));
      const std::uint64_t ends =
          _mm512_cmpeq_epi16_mask(v, _mm512_set1_epi16(static_cast<short>(terminator)));
      const unsigned shift = 32 * part;
      masks.terminator |= ends << shift;
      masks.printable |= (visible | controls) << shift;
      masks.letter |= letter << shift;
    }
    return masks;
  }
}

#endif

// Classifies blocks of 64 units with the vectors of Level, and shorter ones unit by unit.
template <typename Unit, VectorLevel Level>
struct Classifier {
  const ScanOptions* options;
  std::uint64_t canEnd;  // all ones unless no unit of this width can equal the Terminator

  explicit Classifier(const ScanOptions& scanOptions)
      : options(&scanOptions),
        canEnd(sizeof(Unit) == 2 || scanOptions.terminator < 0x80 ? ~std::uint64_t{0} : 0) {}

  // The 64 units at p.
  Masks Block(const std::uint8_t* p) const {
#if defined(GLOS_X86)
    if constexpr (Level == VectorLevel::Avx512) {
      return FinishMasks(BlockAvx512<Unit>(options->terminator, p), canEnd);
    } else if constexpr (Level == VectorLevel::Avx2) {
      return FinishMasks(BlockAvx2<Unit>(options->terminator, p), canEnd);
    } else {
      return FinishMasks(BlockSse2<Unit>(options->terminator, p), canEnd);
    }
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

template <typename Unit, VectorLevel Level>
bool ScanPlain(const ScanOptions& options, OutputBuffer& out, const std::uint8_t* file,
               std::uint64_t rangeStart, std::uint64_t rangeSize) {
  constexpr std::uint64_t kWidth = sizeof(Unit);
  const std::uint64_t units = rangeSize / kWidth;
  const std::uint8_t* base = file + rangeStart;
  const Classifier<Unit, Level> classifier(options);
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
template <typename Unit, VectorLevel Level>
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
  const Classifier<Unit, Level> classifier(options);
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

// One variant of the whole scan for each vector level; each is compiled for its instructions
// with everything it calls in this file inlined into it.
template <typename Unit, VectorLevel Level>
bool ScanWith(const ScanOptions& options, OutputBuffer& out, const std::uint8_t* file,
              std::uint64_t fileSize, std::uint64_t rangeStart, std::uint64_t rangeSize) {
  if (options.lengthPrefixed) {
    return ScanPrefixed<Unit, Level>(options, out, file, fileSize, rangeStart, rangeSize);
  }
  return ScanPlain<Unit, Level>(options, out, file, rangeStart, rangeSize);
}

template <typename Unit>
__attribute__((flatten)) bool ScanSse2(const ScanOptions& options, OutputBuffer& out,
                                       const std::uint8_t* file, std::uint64_t fileSize,
                                       std::uint64_t rangeStart, std::uint64_t rangeSize) {
  return ScanWith<Unit, VectorLevel::Sse2>(options, out, file, fileSize, rangeStart, rangeSize);
}

#if defined(GLOS_X86)
template <typename Unit>
GLOS_AVX2 __attribute__((flatten)) bool ScanAvx2(const ScanOptions& options, OutputBuffer& out,
                                                 const std::uint8_t* file, std::uint64_t fileSize,
                                                 std::uint64_t rangeStart,
                                                 std::uint64_t rangeSize) {
  return ScanWith<Unit, VectorLevel::Avx2>(options, out, file, fileSize, rangeStart, rangeSize);
}

template <typename Unit>
GLOS_AVX512 __attribute__((flatten)) bool ScanAvx512(const ScanOptions& options, OutputBuffer& out,
                                                     const std::uint8_t* file,
                                                     std::uint64_t fileSize,
                                                     std::uint64_t rangeStart,
                                                     std::uint64_t rangeSize) {
  return ScanWith<Unit, VectorLevel::Avx512>(options, out, file, fileSize, rangeStart, rangeSize);
}
#endif

template <typename Unit>
bool Scan(const Settings& settings, OutputBuffer& out, const std::uint8_t* file,
          std::uint64_t fileSize, std::uint64_t rangeStart, std::uint64_t rangeSize) {
  if (rangeStart >= fileSize) return true;
  if (rangeSize > fileSize - rangeStart) rangeSize = fileSize - rangeStart;
  ScanOptions options;
  BuildOptions(settings, options);
#if defined(GLOS_X86)
  switch (ActiveVectorLevel()) {
    case VectorLevel::Avx512:
      return ScanAvx512<Unit>(options, out, file, fileSize, rangeStart, rangeSize);
    case VectorLevel::Avx2:
      return ScanAvx2<Unit>(options, out, file, fileSize, rangeStart, rangeSize);
    case VectorLevel::Sse2:
      break;
  }
#endif
  return ScanSse2<Unit>(options, out, file, fileSize, rangeStart, rangeSize);
}

template <typename Unit>
bool FindCutIn(const ScanOptions& options, const std::uint8_t* file, std::uint64_t from,
               std::uint64_t limit, std::uint64_t& cut) {
  constexpr std::uint64_t kWidth = sizeof(Unit);
  const std::uint64_t units = limit > from ? (limit - from) / kWidth : 0;
  const Classifier<Unit, VectorLevel::Sse2> classifier(options);
  for (std::uint64_t k = 0; k < units; k += kBlockUnits) {
    const std::uint64_t count = units - k < kBlockUnits ? units - k : kBlockUnits;
    const Masks masks = classifier.Units(file + from + k * kWidth, count);
    const std::uint64_t breaks =
        options.englishOnly ? LowBits(count) & ~masks.printable : masks.terminator;
    if (breaks == 0) continue;
    const std::uint64_t at =
        from + (k + static_cast<std::uint64_t>(std::countr_zero(breaks))) * kWidth;
    cut = options.lengthPrefixed ? at : at + kWidth;
    return true;
  }
  return false;
}

}  // namespace

bool FindCut(const Settings& settings, const std::uint8_t* file, std::uint64_t from,
             std::uint64_t limit, std::uint64_t& cut) {
  ScanOptions options;
  BuildOptions(settings, options);
  if (HasOption(settings, kUnicodeMode)) {
    return FindCutIn<std::uint16_t>(options, file, from, limit, cut);
  }
  return FindCutIn<std::uint8_t>(options, file, from, limit, cut);
}

bool ScanBytes(const Settings& settings, OutputBuffer& out, const std::uint8_t* file,
               std::uint64_t fileSize, std::uint64_t rangeStart, std::uint64_t rangeSize) {
  return Scan<std::uint8_t>(settings, out, file, fileSize, rangeStart, rangeSize);
}

bool ScanWide(const Settings& settings, OutputBuffer& out, const std::uint8_t* file,
              std::uint64_t fileSize, std::uint64_t rangeStart, std::uint64_t rangeSize) {
  return Scan<std::uint16_t>(settings, out, file, fileSize, rangeStart, rangeSize);
}

}  // namespace glos
