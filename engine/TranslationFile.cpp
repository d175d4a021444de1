// The translation file's header and entry lines as written, and the reader of its entries.
#include "engine/TranslationFile.h"

#include <limits>

#include "engine/UnitAccess.h"

namespace glos {

namespace {

// "\r\n0x", 8 hexadecimal digits, ",", at most 10 decimal digits, "=".
constexpr std::size_t kMaxHeadUnits = 4 + 8 + 1 + 10 + 1;

// Formats "\r\n0x%08X,%04d=" (the length taken as unsigned) into head; returns its length.
std::size_t FormatEntryHead(char* head, std::uint32_t offset, std::uint32_t length) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::size_t n = 0;
  head[n++] = '\r';
  head[n++] = '\n';
  head[n++] = '0';
  head[n++] = 'x';
  for (int shift = 28; shift >= 0; shift -= 4) head[n++] = kHex[(offset >> shift) & 0xFu];
  head[n++] = ',';
  char digits[10];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + length % 10);
    length /= 10;
  } while (length != 0);
  for (std::size_t pad = count; pad < 4; ++pad) head[n++] = '0';
  while (count != 0) head[n++] = digits[--count];
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

template <typename Unit>
bool AppendEntryUnits(OutputBuffer& out, std::uint32_t offset, std::uint32_t length,
                      const std::uint8_t* units) {
  // Both terms are far below 2^64, so the worst case cannot wrap; it may still exceed size_t.
  const std::uint64_t worst =
      (kMaxHeadUnits + 2 * static_cast<std::uint64_t>(length)) * sizeof(Unit);
  if (worst > std::numeric_limits<std::size_t>::max() || out.failed) {
    out.failed = true;
    return false;
  }
  if (!ReserveOutput(out, static_cast<std::size_t>(worst))) return false;
  char head[kMaxHeadUnits];
  const std::size_t headUnits = FormatEntryHead(head, offset, length);
  std::uint8_t* at = out.data + out.size;
  for (std::size_t i = 0; i < headUnits; ++i) {
    StoreUnit<Unit>(at + i * sizeof(Unit), static_cast<Unit>(head[i]));
  }
  at += headUnits * sizeof(Unit);
  const std::size_t textUnits = EscapeUnits<Unit>(at, units, length);
  out.size += (headUnits + textUnits) * sizeof(Unit);
  return true;
}

// Index of the first unit equal to wanted in [from, to), or to.
template <typename Unit>
std::size_t FindUnit(const std::uint8_t* text, std::size_t from, std::size_t to,
                     std::uint32_t wanted) {
  while (from < to && LoadUnit<Unit>(text + from * sizeof(Unit)) != wanted) ++from;
  return from;
}

// Hands the line [start, end) of text to visit when it is an entry.
template <typename Unit>
void ReadLine(const std::uint8_t* text, std::size_t start, std::size_t end, EntryVisitor visit,
              void* context) {
  constexpr std::size_t kWidth = sizeof(Unit);
  if (LoadUnit<Unit>(text + start * kWidth) != '0') return;
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

template <typename Unit>
void ReadLines(const std::uint8_t* data, std::size_t size, EntryVisitor visit, void* context) {
  const std::size_t units = size / sizeof(Unit);
  const std::size_t end = FindUnit<Unit>(data, 0, units, 0);
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < end; ++i) {
    const Unit unit = LoadUnit<Unit>(data + i * sizeof(Unit));
    if (unit != '\r' && unit != '\n') continue;
    // The second and later breaks of a run leave an empty line, which is no line at all.
    if (i > lineStart) ReadLine<Unit>(data, lineStart, i, visit, context);
    lineStart = i + 1;
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
  return wide ? AppendEntryUnits<char16_t>(out, offset, length, units)
              : AppendEntryUnits<std::uint8_t>(out, offset, length, units);
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
