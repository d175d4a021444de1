// The translation file's header and entry lines as written, and the reader of its entries.
#include "engine/TranslationFile.h"

#include <bit>
#include <cstring>
#include <limits>

#include "engine/UnitAccess.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace glos {

namespace {

// "\r\n0x", 8 hexadecimal digits, ",", at most 10 decimal digits, "=".
constexpr std::size_t kMaxHeadUnits = 4 + 8 + 1 + 10 + 1;

// Each byte as two upper-case hexadecimal digits, and each number below 100 as two decimal ones.
struct DigitPairs {
  char hex[256][2];
  char decimal[100][2];
};

constexpr DigitPairs MakeDigitPairs() {
  constexpr char kHex[] = "0123456789ABCDEF";
  DigitPairs pairs{};
  for (int i = 0; i < 256; ++i) {
    pairs.hex[i][0] = kHex[i >> 4];
    pairs.hex[i][1] = kHex[i & 0xF];
  }
  for (int i = 0; i < 100; ++i) {
    pairs.decimal[i][0] = static_cast<char>('0' + i / 10);
    pairs.decimal[i][1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}

constexpr DigitPairs kDigitPairs = MakeDigitPairs();

// Formats "\r\n0x%08X,%04d=" (the length taken as unsigned) at head; returns its length.
std::size_t FormatEntryHead(char* head, std::uint32_t offset, std::uint32_t length) {
  std::memcpy(head, "\r\n0x", 4);
  for (int i = 0; i < 4; ++i) {
    std::memcpy(head + 4 + 2 * i, kDigitPairs.hex[(offset >> (24 - 8 * i)) & 0xFFu], 2);
  }
  head[12] = ',';
  std::size_t n = 13;
  if (length < 10000) {
    std::memcpy(head + n, kDigitPairs.decimal[length / 100], 2);
    std::memcpy(head + n + 2, kDigitPairs.decimal[length % 100], 2);
    n += 4;
  } else {
    char digits[10];
    std::size_t count = 0;
    do {
      digits[count++] = static_cast<char>('0' + length % 10);
      length /= 10;
    } while (length != 0);
    while (count != 0) head[n++] = digits[--count];
  }
  head[n++] = '=';
  return n;
}

template <typename Unit>
bool AppendUnits(OutputBuffer& out, const char* ascii, std::size_t count) {
  if (!ReserveOutput(out, count * sizeof(Unit))) return false;
  for (std::size_t i = 0; i < count; ++i) {
    StoreUnit<Unit>(out.data + out.size + i * sizeof(Unit), static_cast<Unit>(ascii[i]));
  }
  out.size += count * sizeof(Unit);
  return true;
}

// value in every lane of a 64-bit word of units.
template <typename Unit>
constexpr std::uint64_t Lanes(std::uint64_t value) {
  return value * (sizeof(Unit) == 1 ? 0x0101010101010101u : 0x0001000100010001u);
}

// True when a unit packed in word (a 32- or 64-bit word of whole units) is written as an
// escape. The zero-lane test is exact as a whole: a borrow only ever starts at a zero lane.
template <typename Unit, typename Word>
bool WordNeedsEscape(Word word) {
  constexpr Word kOnes = static_cast<Word>(Lanes<Unit>(1));
  constexpr Word kHighs = static_cast<Word>(Lanes<Unit>(sizeof(Unit) == 1 ? 0x80 : 0x8000));
  auto zeroLane = [](Word v) -> Word { return (v - kOnes) & ~v & kHighs; };
  return (zeroLane(word) | zeroLane(word ^ static_cast<Word>(Lanes<Unit>(9))) |
          zeroLane(word ^ static_cast<Word>(Lanes<Unit>(10))) |
          zeroLane(word ^ static_cast<Word>(Lanes<Unit>(13))) |
          zeroLane(word ^ static_cast<Word>(Lanes<Unit>(92)))) != 0;
}

// Copies bytes bytes (two words of Word, overlapping) when none of their units needs an escape,
// for bytes from sizeof(Word) to 2 * sizeof(Word). False, with nothing written, otherwise.
template <typename Unit, typename Word>
bool CopyPlainWords(std::uint8_t* dest, const std::uint8_t* source, std::size_t bytes) {
  const Word first = LoadUnit<Word>(source);
  const Word last = LoadUnit<Word>(source + bytes - sizeof(Word));
  if (WordNeedsEscape<Unit>(first) || WordNeedsEscape<Unit>(last)) return false;
  StoreUnit<Word>(dest, first);
  StoreUnit<Word>(dest + bytes - sizeof(Word), last);
  return true;
}

#if defined(__SSE2__)
// The lanes of v, bytes or 16-bit units, that equal value: all ones there, zeros elsewhere.
template <typename Unit>
__m128i EqualUnits(__m128i v, std::uint32_t value) {
  if constexpr (sizeof(Unit) == 1)
    return _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(value)));
  return _mm_cmpeq_epi16(v, _mm_set1_epi16(static_cast<short>(value)));
}

// One bit per byte of the 16 bytes at p that belong to a unit written as an escape.
template <typename Unit>
unsigned EscapeBits(const std::uint8_t* p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i hits =
      _mm_or_si128(_mm_or_si128(_mm_or_si128(EqualUnits<Unit>(v, 0), EqualUnits<Unit>(v, 9)),
                                _mm_or_si128(EqualUnits<Unit>(v, 10), EqualUnits<Unit>(v, 13))),
                   EqualUnits<Unit>(v, 92));
  return static_cast<unsigned>(_mm_movemask_epi8(hits));
}
#endif

// EscapeUnits with the same result, taking whole words or vectors of units that need no escape
// at once. Reads only the count units at source; dest must hold 2 * count units.
template <typename Unit>
std::size_t EscapeFast(std::uint8_t* dest, const std::uint8_t* source, std::size_t count) {
  constexpr std::size_t kWidth = sizeof(Unit);
  const std::size_t bytes = count * kWidth;
  if (bytes >= 4 && bytes < 8) {
    if (CopyPlainWords<Unit, std::uint32_t>(dest, source, bytes)) return count;
    return EscapeUnits<Unit>(dest, source, count);
  }
  if (bytes >= 8 && bytes < 16) {
    if (CopyPlainWords<Unit, std::uint64_t>(dest, source, bytes)) return count;
    return EscapeUnits<Unit>(dest, source, count);
  }
  std::size_t done = 0;
  std::size_t written = 0;
#if defined(__SSE2__)
  while (bytes - done * kWidth >= 16) {
    const unsigned hits = EscapeBits<Unit>(source + done * kWidth);
    if (hits == 0) {
      std::memcpy(dest + written * kWidth, source + done * kWidth, 16);
      done += 16 / kWidth;
      written += 16 / kWidth;
      continue;
    }
    // Up to and including the first unit that needs an escape, unit by unit.
    const std::size_t units = static_cast<std::size_t>(std::countr_zero(hits)) / kWidth + 1;
    written += EscapeUnits<Unit>(dest + written * kWidth, source + done * kWidth, units);
    done += units;
  }
  if (done < count && bytes >= 16) {
    // The last 16 bytes overlap units already written. When none of them needs an escape, those
    // units were copied one for one, so writing all 16 again puts the rest right behind them.
    const std::size_t rest = count - done;
    if (EscapeBits<Unit>(source + bytes - 16) == 0) {
      std::memcpy(dest + (written + rest) * kWidth - 16, source + bytes - 16, 16);
      return written + rest;
    }
  }
#endif
  return written + EscapeUnits<Unit>(dest + written * kWidth, source + done * kWidth, count - done);
}

template <typename Unit>
bool AppendEntryUnits(OutputBuffer& out, std::uint32_t offset, std::uint32_t length,
                      const std::uint8_t* units, std::uint32_t count) {
  // Both terms are far below 2^64, so the worst case cannot wrap; it may still exceed size_t.
  const std::uint64_t worst =
      (kMaxHeadUnits + 2 * static_cast<std::uint64_t>(count)) * sizeof(Unit);
  if (worst > std::numeric_limits<std::size_t>::max() || out.failed) {
    out.failed = true;
    return false;
  }
  if (out.capacity - out.size < worst && !ReserveOutput(out, static_cast<std::size_t>(worst))) {
    return false;
  }
  std::uint8_t* at = out.data + out.size;
  std::size_t headUnits;
  if constexpr (sizeof(Unit) == 1) {
    headUnits = FormatEntryHead(reinterpret_cast<char*>(at), offset, length);
  } else {
    char head[kMaxHeadUnits];
    headUnits = FormatEntryHead(head, offset, length);
    for (std::size_t i = 0; i < headUnits; ++i) {
      StoreUnit<Unit>(at + i * sizeof(Unit), static_cast<Unit>(head[i]));
    }
  }
  at += headUnits * sizeof(Unit);
  const std::size_t textUnits = EscapeFast<Unit>(at, units, count);
  out.size += (headUnits + textUnits) * sizeof(Unit);
  return true;
}

// Index of the first unit equal to wanted in [from, to), or to.
template <typename Unit>
std::size_t FindUnit(const std::uint8_t* text, std::size_t from, std::size_t to,
                     std::uint32_t wanted) {
  constexpr std::size_t kWidth = sizeof(Unit);
#if defined(__SSE2__)
  while ((to - from) * kWidth >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + from * kWidth));
    const auto bits = static_cast<unsigned>(_mm_movemask_epi8(EqualUnits<Unit>(v, wanted)));
    if (bits != 0) return from + static_cast<std::size_t>(std::countr_zero(bits)) / kWidth;
    from += 16 / kWidth;
  }
#endif
  for (; from < to; ++from) {
    if (LoadUnit<Unit>(text + from * kWidth) == wanted) break;
  }
  return from;
}

constexpr std::uint64_t kEveryByte = 0x0101010101010101u;

// The high bit of each byte of word (every byte below 0x80) that lies in [low, high].
template <typename Word>
Word BytesInRange(Word word, std::uint8_t low, std::uint8_t high) {
  constexpr auto kOnes = static_cast<Word>(kEveryByte);
  return (word + kOnes * (0x80 - low)) & ~(word + kOnes * (0x7F - high)) & (kOnes * 0x80);
}

// The 8-bit digits of a head, eight bytes at a time instead of a branch per digit.
bool EightHexDigits(const std::uint8_t* digits, std::uint32_t& value) {
  const std::uint64_t word = LoadUnit<std::uint64_t>(digits);
  if ((word & kEveryByte * 0x80) != 0) return false;
  const std::uint64_t letters = BytesInRange<std::uint64_t>(word | kEveryByte * 0x20, 'a', 'f');
  if ((BytesInRange<std::uint64_t>(word, '0', '9') | letters) != kEveryByte * 0x80) return false;
  // Each byte's digit value; the first digit is the lowest byte and the highest nibble.
  const std::uint64_t nibbles = (word & kEveryByte * 0x0F) + (letters >> 7) * 9;
  std::uint64_t pairs =
      ((nibbles & 0x000F000F000F000Fu) << 4) | ((nibbles >> 8) & 0x000F000F000F000Fu);
  pairs = (pairs | (pairs >> 8)) & 0x0000FFFF0000FFFFu;
  pairs = (pairs | (pairs >> 16)) & 0xFFFFFFFFu;
  value = __builtin_bswap32(static_cast<std::uint32_t>(pairs));
  return true;
}

bool FourDecimalDigits(const std::uint8_t* digits, std::uint32_t& value) {
  const std::uint32_t word = LoadUnit<std::uint32_t>(digits);
  if ((word & 0x80808080u) != 0 || BytesInRange<std::uint32_t>(word, '0', '9') != 0x80808080u) {
    return false;
  }
  const std::uint32_t d = word - 0x30303030u;
  value = (d & 0xFF) * 1000 + ((d >> 8) & 0xFF) * 100 + ((d >> 16) & 0xFF) * 10 + (d >> 24);
  return true;
}

// The head of a line as Extract writes it: "0x", eight hexadecimal digits, ",", four decimal
// digits and "=". Such a line is read in one go; the general rules give the same numbers, so
// any other line is left to them.
template <typename Unit>
bool ReadWrittenHead(const std::uint8_t* line, std::size_t units, TranslationEntry& entry) {
  constexpr std::size_t kHeadUnits = 16;
  if (units < kHeadUnits) return false;
  auto at = [line](std::size_t i) -> std::uint32_t {
    return LoadUnit<Unit>(line + i * sizeof(Unit));
  };
  if (at(1) != 'x' || at(10) != ',' || at(15) != '=') return false;
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
  if constexpr (sizeof(Unit) == 1) {
    if (!EightHexDigits(line + 2, offset) || !FourDecimalDigits(line + 11, length)) return false;
  } else {
    for (std::size_t i = 2; i < 10; ++i) {
      const int digit = HexDigitValue(at(i));
      if (digit < 0) return false;
      offset = offset * 16u + static_cast<std::uint32_t>(digit);
    }
    for (std::size_t i = 11; i < 15; ++i) {
      const std::uint32_t digit = at(i) - '0';
      if (digit > 9) return false;
      length = length * 10u + digit;
    }
  }
  entry.offset = offset;
  entry.length = length;
  entry.text = line + kHeadUnits * sizeof(Unit);
  entry.textLength = units - kHeadUnits;
  return true;
}

// Hands the line [start, end) of text to visit when it is an entry.
template <typename Unit>
void ReadLine(const std::uint8_t* text, std::size_t start, std::size_t end, EntryVisitor visit,
              void* context) {
  constexpr std::size_t kWidth = sizeof(Unit);
  if (LoadUnit<Unit>(text + start * kWidth) != '0') return;
  TranslationEntry written;
  if (ReadWrittenHead<Unit>(text + start * kWidth, end - start, written)) {
    visit(context, written);
    return;
  }
  const std::size_t comma = FindUnit<Unit>(text, start, end, ',');
  if (comma == end) return;
  const std::size_t equals = FindUnit<Unit>(text, comma + 1, end, '=');
  if (equals == end) return;
  TranslationEntry entry;
  entry.offset = static_cast<std::uint32_t>(ParseUnits<Unit>(text + start * kWidth, end - start));
  entry.length =
      static_cast<std::uint32_t>(ParseUnits<Unit>(text + (comma + 1) * kWidth, end - comma - 1));
  entry.text = text + (equals + 1) * kWidth;
  entry.textLength = end - equals - 1;
  visit(context, entry);
}

// The line breaks (CR or LF) and zero units among count units at text (count at most 64), as
// bit masks: bit i stands for unit i.
struct LineMasks {
  std::uint64_t breaks;
  std::uint64_t zeros;
};

template <typename Unit>
LineMasks LineUnits(const std::uint8_t* text, std::size_t count) {
  LineMasks masks{0, 0};
#if defined(__SSE2__)
  if (count == 64) {
    constexpr std::size_t kLanes = 16 / sizeof(Unit);
    for (std::size_t at = 0; at < 64; at += kLanes) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at * sizeof(Unit)));
      __m128i breaks = _mm_or_si128(EqualUnits<Unit>(v, '\r'), EqualUnits<Unit>(v, '\n'));
      __m128i zeros = EqualUnits<Unit>(v, 0);
      if constexpr (sizeof(Unit) == 2) {
        // 16-bit lanes packed to bytes; all ones or all zeros stay so under saturation.
        breaks = _mm_packs_epi16(breaks, _mm_setzero_si128());
        zeros = _mm_packs_epi16(zeros, _mm_setzero_si128());
      }
      masks.breaks |= std::uint64_t(unsigned(_mm_movemask_epi8(breaks))) << at;
      masks.zeros |= std::uint64_t(unsigned(_mm_movemask_epi8(zeros))) << at;
    }
    return masks;
  }
#endif
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t unit = LoadUnit<Unit>(text + i * sizeof(Unit));
    if (unit == '\r' || unit == '\n') masks.breaks |= std::uint64_t{1} << i;
    if (unit == 0) masks.zeros |= std::uint64_t{1} << i;
  }
  return masks;
}

// Every line that a break ends, up to the first zero unit, 64 units at a time; a line break
// costs one bit scan.
template <typename Unit>
void ReadLines(const std::uint8_t* data, std::size_t size, EntryVisitor visit, void* context) {
  const std::size_t units = size / sizeof(Unit);
  std::size_t lineStart = 0;
  for (std::size_t block = 0; block < units; block += 64) {
    const std::size_t count = units - block < 64 ? units - block : 64;
    LineMasks masks = LineUnits<Unit>(data + block * sizeof(Unit), count);
    if (masks.zeros != 0) {
      // The text ends at the zero: only the breaks before it count.
      masks.breaks &= masks.zeros ^ (masks.zeros - 1);
    }
    for (std::uint64_t bits = masks.breaks; bits != 0; bits &= bits - 1) {
      const std::size_t at = block + static_cast<std::size_t>(std::countr_zero(bits));
      // The second and later breaks of a run leave an empty line, which is no line at all.
      if (at > lineStart) ReadLine<Unit>(data, lineStart, at, visit, context);
      lineStart = at + 1;
    }
    if (masks.zeros != 0) return;
  }
}

}  // namespace

bool AppendTranslationHeader(OutputBuffer& out, bool wide) {
  constexpr std::size_t kHeaderUnits = sizeof(kTranslationHeader) - 1;
  if (!wide) return AppendOutput(out, kTranslationHeader, kHeaderUnits);
  static constexpr std::uint8_t kByteOrderMark[] = {0xFF, 0xFE};
  return AppendOutput(out, kByteOrderMark, sizeof(kByteOrderMark)) &&
         AppendUnits<char16_t>(out, kTranslationHeader, kHeaderUnits);
}

bool AppendLineEnd(OutputBuffer& out, bool wide) {
  return wide ? AppendUnits<char16_t>(out, "\r\n", 2) : AppendUnits<std::uint8_t>(out, "\r\n", 2);
}

bool AppendEntry(OutputBuffer& out, std::uint32_t offset, std::uint32_t length,
                 const std::uint8_t* units, bool wide) {
  return AppendEntry(out, offset, length, units, length, wide);
}

bool AppendEntry(OutputBuffer& out, std::uint32_t offset, std::uint32_t length,
                 const std::uint8_t* units, std::uint32_t count, bool wide) {
  return wide ? AppendEntryUnits<char16_t>(out, offset, length, units, count)
              : AppendEntryUnits<std::uint8_t>(out, offset, length, units, count);
}

bool IsWideTranslation(const std::uint8_t* data, std::size_t size) {
  return size >= 4 && data[3] == 0;
}

void ReadTranslationEntries(const std::uint8_t* data, std::size_t size, EntryVisitor visit,
                            void* context) {
  if (data == nullptr || size < 4) return;
  if (IsWideTranslation(data, size)) {
    ReadLines<char16_t>(data, size, visit, context);
  } else {
    ReadLines<std::uint8_t>(data, size, visit, context);
  }
}

}  // namespace glos
