// Android string pools: the chunk reader, extraction of the value pool, and write-back into it.
#include "engine/AndroidPool.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/FaultGuard.h"
#include "core/Status.h"
#include "engine/Check.h"
#include "engine/Escape.h"
#include "engine/TranslationFile.h"
#include "engine/UnitAccess.h"

namespace glos {
namespace {

constexpr std::uint16_t kPoolChunk = 0x0001;
constexpr std::uint16_t kTableChunk = 0x0002;
constexpr std::uint16_t kXmlChunk = 0x0003;
constexpr std::uint64_t kChunkHeaderBytes = 8;
constexpr std::uint64_t kTableHeaderBytes = 12;
constexpr std::uint64_t kPoolHeaderBytes = 28;
constexpr std::uint32_t kUtf8Flag = 1u << 8;
constexpr std::uint32_t kSpanEnd = 0xFFFFFFFFu;
constexpr std::uint64_t kSpanBytes = 12;

std::uint16_t Load16(const std::uint8_t* file, std::uint64_t at) {
  return LoadUnit<std::uint16_t>(file + at);
}
std::uint32_t Load32(const std::uint8_t* file, std::uint64_t at) {
  return LoadUnit<std::uint32_t>(file + at);
}

// A chunk's header: its type, and where it and its header end.
struct Chunk {
  std::uint16_t type;
  std::uint64_t headerEnd;
  std::uint64_t end;
};

// Reads the chunk at `at`, which must lie with its header inside [at, parentEnd).
bool ReadChunk(const std::uint8_t* file, std::uint64_t at, std::uint64_t parentEnd, Chunk& chunk) {
  if (at > parentEnd || parentEnd - at < kChunkHeaderBytes) return false;
  const std::uint64_t headerSize = Load16(file, at + 2);
  const std::uint64_t size = Load32(file, at + 4);
  if (headerSize < kChunkHeaderBytes || size < headerSize || size > parentEnd - at) return false;
  chunk = Chunk{Load16(file, at), at + headerSize, at + size};
  return true;
}

bool ReadPoolHeader(const std::uint8_t* file, std::uint64_t at, const Chunk& chunk,
                    StringPool& pool) {
  if (chunk.headerEnd - at < kPoolHeaderBytes) return false;
  const std::uint32_t stringCount = Load32(file, at + 8);
  const std::uint32_t styleCount = Load32(file, at + 12);
  const std::uint32_t flags = Load32(file, at + 16);
  const std::uint64_t stringsStart = Load32(file, at + 20);
  const std::uint64_t stylesStart = Load32(file, at + 24);
  const std::uint64_t size = chunk.end - at;
  const std::uint64_t arrays = 4 * (static_cast<std::uint64_t>(stringCount) + styleCount);
  if (arrays > chunk.end - chunk.headerEnd) return false;
  const std::uint64_t stringsEnd = styleCount == 0 ? size : stylesStart;
  if (stringsStart > stringsEnd || stringsEnd > size) return false;
  // Write-back rewrites string data: it must not overlap the header or the offset arrays.
  if (stringCount != 0 && stringsStart < chunk.headerEnd - at + arrays) return false;
  pool = StringPool{chunk.headerEnd, at + stringsStart,
                    at + stringsEnd, at + (styleCount == 0 ? size : stylesStart),
                    chunk.end,       stringCount,
                    styleCount,      (flags & kUtf8Flag) != 0};
  return true;
}

// A length field: one unit, or two when the first has its top bit set (the top bit dropped, the
// first unit high). Unit is std::uint8_t or std::uint16_t; false when it passes end.
template <typename Unit>
bool ReadLength(const std::uint8_t* file, std::uint64_t& at, std::uint64_t end,
                std::uint32_t& value, std::uint8_t& units) {
  constexpr std::uint32_t width = sizeof(Unit);
  constexpr std::uint32_t top = 1u << (8 * width - 1);
  if (end - at < width) return false;
  const std::uint32_t first = LoadUnit<Unit>(file + at);
  at += width;
  units = 1;
  value = first;
  if ((first & top) == 0) return true;
  if (end - at < width) return false;
  value = ((first & (top - 1)) << (8 * width)) | LoadUnit<Unit>(file + at);
  at += width;
  units = 2;
  return true;
}

template <typename Unit>
void StoreLength(std::uint8_t* at, std::uint32_t value, std::uint8_t units) {
  constexpr std::uint32_t width = sizeof(Unit);
  if (units == 1) {
    StoreUnit<Unit>(at, static_cast<Unit>(value));
    return;
  }
  const std::uint32_t top = 1u << (8 * width - 1);
  StoreUnit<Unit>(at, static_cast<Unit>(top | (value >> (8 * width))));
  StoreUnit<Unit>(at + width, static_cast<Unit>(value));
}

// The largest value a length field of that many units holds.
template <typename Unit>
std::uint32_t LargestLength(std::uint8_t units) {
  constexpr std::uint32_t bits = 8 * sizeof(Unit) - 1;
  return units == 1 ? (1u << bits) - 1 : static_cast<std::uint32_t>((1ull << (2 * bits + 1)) - 1);
}

// The bytes of the well-formed UTF-8 character at text (available bytes), with the UTF-16 units
// it takes in units; 0 when it is malformed, overlong, a surrogate or beyond U+10FFFF.
std::size_t Utf8Character(const std::uint8_t* text, std::size_t available, std::uint32_t& units) {
  const std::uint8_t lead = text[0];
  units = 1;
  if (lead < 0x80) return 1;
  std::size_t bytes;
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    bytes = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    bytes = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    bytes = 4;
    units = 2;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (available < bytes || text[1] < low || text[1] > high) return 0;
  for (std::size_t i = 2; i < bytes; ++i) {
    if ((text[i] & 0xC0) != 0x80) return 0;
  }
  return bytes;
}

// count bytes of UTF-8 as UTF-16 units at out (room for count units); a malformed byte becomes
// U+FFFD. Returns the units written.
std::size_t Utf8ToUnits(const std::uint8_t* text, std::size_t count, char16_t* out) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < count;) {
    std::uint32_t units = 0;
    const std::size_t bytes = Utf8Character(text + i, count - i, units);
    if (bytes == 0) {
      out[n++] = u'\uFFFD';
      ++i;
      continue;
    }
    std::uint32_t value = bytes == 1 ? text[i] : text[i] & (0x7Fu >> bytes);
    for (std::size_t k = 1; k < bytes; ++k) value = (value << 6) | (text[i + k] & 0x3Fu);
    if (units == 2) {
      value -= 0x10000;
      out[n++] = static_cast<char16_t>(0xD800 + (value >> 10));
      value = 0xDC00 + (value & 0x3FF);
    }
    out[n++] = static_cast<char16_t>(value);
    i += bytes;
  }
  return n;
}

bool IsHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// A text cut to fit a slot: W units of the pool's width, and the UTF-16 units they decode to.
struct Fitted {
  bool valid;
  bool cut;
  std::uint32_t units;
  std::uint32_t wideUnits;
};

// Longest well-formed prefix of n bytes within room bytes and maxWide UTF-16 units.
Fitted FitUtf8(const std::uint8_t* text, std::size_t n, std::uint64_t room, std::uint32_t maxWide) {
  Fitted fit{true, false, 0, 0};
  for (std::size_t i = 0; i < n;) {
    std::uint32_t units = 0;
    const std::size_t bytes = Utf8Character(text + i, n - i, units);
    if (bytes == 0) return Fitted{false, false, 0, 0};
    if (!fit.cut && (fit.units + bytes > room || fit.wideUnits + units > maxWide)) fit.cut = true;
    if (!fit.cut) {
      fit.units += static_cast<std::uint32_t>(bytes);
      fit.wideUnits += units;
    }
    i += bytes;
  }
  return fit;
}

// n UTF-16 units within room units, never between the two halves of a surrogate pair.
Fitted FitUtf16(const std::uint8_t* text, std::size_t n, std::uint64_t room) {
  if (n <= room) return Fitted{true, false, static_cast<std::uint32_t>(n), 0};
  std::size_t units = static_cast<std::size_t>(room);
  if (units > 0 && IsHighSurrogate(LoadUnit<char16_t>(text + 2 * (units - 1))) &&
      IsLowSurrogate(LoadUnit<char16_t>(text + 2 * units))) {
    --units;
  }
  return Fitted{true, true, static_cast<std::uint32_t>(units), 0};
}

// True when every style span of string index ends before `units` UTF-16 units; a span list that
// runs out of the pool's style data counts as reaching past.
bool SpansFit(const std::uint8_t* file, const StringPool& pool, std::uint32_t index,
              std::uint32_t units) {
  if (index >= pool.styleCount) return true;
  std::uint64_t at = pool.styles;
  const std::uint64_t offset =
      Load32(file, pool.offsets + 4 * (static_cast<std::uint64_t>(pool.stringCount) + index));
  if (offset > pool.chunkEnd - at) return false;
  for (at += offset;; at += kSpanBytes) {
    if (pool.chunkEnd - at < 4) return false;
    if (Load32(file, at) == kSpanEnd) return true;
    if (pool.chunkEnd - at < kSpanBytes) return false;
    if (Load32(file, at + 8) >= units) return false;
  }
}

bool GrowScratch(PoolIndex& index, std::size_t bytes) {
  if (index.scratchSize >= bytes) return true;
  void* grown = std::realloc(index.scratch, bytes);
  if (grown == nullptr) return false;
  index.scratch = static_cast<std::uint8_t*>(grown);
  index.scratchSize = bytes;
  return true;
}

struct ApplyJob {
  const Settings* settings;
  PoolIndex* index;
  std::uint8_t* target;    // never written when checking: it may be a read-only view
  bool wideText;           // the translation text is UTF-16
  char16_t* reportUnits;   // room for a UTF-8 text as UTF-16 units, one per byte
  PoolEntryVisitor visit;  // checking: told what each entry would do; null: writing
  void* visitContext;
};

// The string whose text starts at offset, with the first string header after its own (or the
// end of the string data): its slot never reaches that far. Strings that share its header
// follow it in byHeader from position `first`.
bool FindSlot(const ApplyJob& job, std::uint64_t offset, PoolString& string, std::size_t& first,
              std::uint64_t& next) {
  const PoolIndex& index = *job.index;
  const std::uint64_t* begin = index.byHeader;
  const std::uint64_t* end = begin + index.pool.stringCount;
  // Length fields take at most four bytes, so the header lies in [offset - 4, offset).
  const std::uint64_t lowest = offset < index.pool.strings + 4 ? index.pool.strings : offset - 4;
  for (const std::uint64_t* at = std::lower_bound(begin, end, lowest << 32);
       at != end && (*at >> 32) < offset; ++at) {
    if (at != begin && (at[-1] >> 32) == (*at >> 32)) continue;
    const auto idx = static_cast<std::uint32_t>(*at);
    if (!ReadPoolString(job.target, index.pool, idx, string) || string.data != offset) continue;
    const std::uint64_t* after = std::upper_bound(at, end, ((*at >> 32) << 32) | 0xFFFFFFFFu);
    next = after == end ? index.pool.stringsEnd : (*after >> 32);
    first = static_cast<std::size_t>(at - begin);
    // Room at least for the zero unit that ends the text.
    return next > string.data && next - string.data >= (index.pool.utf8 ? 1u : 2u);
  }
  return false;
}

// Writes one entry into its string, or, when checking, only tells whether it would change it.
EntryCheck ApplyEntry(const ApplyJob& job, const TranslationEntry& entry) {
  EntryCheck check;
  check.reported = true;
  check.outside = true;  // not written
  const bool wideText = job.wideText;
  PoolIndex& index = *job.index;
  const StringPool& pool = index.pool;
  PoolString string{};
  std::size_t first = 0;
  std::uint64_t next = 0;
  if (!FindSlot(job, entry.offset, string, first, next)) {
    ReportStatusNumber(kStatusNotPoolString, entry.offset);
    return check;
  }
  const std::uint32_t width = pool.utf8 ? 1 : 2;
  if (wideText == pool.utf8) {
    ReportStatusNumber(kStatusPoolEncoding, entry.offset);
    return check;
  }

  // The text whole, in the scratch room, before anything is written: it may have to be refused.
  const std::size_t n =
      wideText ? UnescapedLength(static_cast<const char16_t*>(entry.text), entry.textLength)
               : UnescapedLength(static_cast<const std::uint8_t*>(entry.text), entry.textLength);
  if (wideText) {
    UnescapeText(*job.settings, index.scratch, static_cast<const char16_t*>(entry.text),
                 entry.textLength, n, /*prefix=*/false);
  } else {
    UnescapeText(*job.settings, index.scratch, static_cast<const std::uint8_t*>(entry.text),
                 entry.textLength, n, /*prefix=*/false);
  }

  // Room: the entry's length, the units before the next string's header less the zero unit that
  // ends the text, and what the length field of the text's units holds.
  const std::uint64_t units = (next - string.data) / width;
  std::uint64_t room = std::min<std::uint64_t>(entry.length, units - 1);
  const std::uint32_t largest = pool.utf8 ? LargestLength<std::uint8_t>(string.lengthField)
                                          : LargestLength<std::uint16_t>(string.lengthField);
  room = std::min<std::uint64_t>(room, largest);
  Fitted fit = pool.utf8
                   ? FitUtf8(index.scratch, n, room, LargestLength<std::uint8_t>(string.wideField))
                   : FitUtf16(index.scratch, n, room);
  if (!fit.valid) {
    ReportStatusNumber(kStatusPoolEncoding, entry.offset);
    return check;
  }
  if (!pool.utf8) fit.wideUnits = fit.units;
  for (std::size_t i = first; i < pool.stringCount && (index.byHeader[i] >> 32) == string.header;
       ++i) {
    if (!SpansFit(job.target, pool, static_cast<std::uint32_t>(index.byHeader[i]), fit.wideUnits)) {
      ReportStatusNumber(kStatusSpansOutside, entry.offset);
      return check;
    }
  }
  if (fit.cut && wideText) ReportCut(static_cast<const char16_t*>(entry.text), entry.textLength);
  if (fit.cut && !wideText) {
    // An 8-bit text is shown in the system's code page, but this one is UTF-8: shown as UTF-16,
    // it reads the same on every system.
    const auto* text = static_cast<const std::uint8_t*>(entry.text);
    ReportCut(job.reportUnits, Utf8ToUnits(text, entry.textLength, job.reportUnits));
  }

  check.reported = fit.cut;
  check.outside = false;

  std::uint8_t fields[4];
  if (pool.utf8) {
    StoreLength<std::uint8_t>(fields, fit.wideUnits, string.wideField);
    StoreLength<std::uint8_t>(fields + string.wideField, fit.units, string.lengthField);
  } else {
    StoreLength<std::uint16_t>(fields, fit.units, string.lengthField);
  }
  const auto fieldBytes = static_cast<std::size_t>(string.data - string.header);
  // The old text goes too, up to its own zero unit, so no stale units stay behind the new one.
  const std::uint64_t cleared =
      std::min<std::uint64_t>(std::max<std::uint64_t>(room, string.length) + 1, units);
  std::uint8_t* header = job.target + string.header;
  std::uint8_t* text = job.target + string.data;
  const std::size_t textBytes = std::size_t{fit.units} * width;
  const auto fillBytes = static_cast<std::size_t>(cleared - fit.units) * width;
  if (job.visit != nullptr) {
    check.changes = std::memcmp(header, fields, fieldBytes) != 0 ||
                    std::memcmp(text, index.scratch, textBytes) != 0;
    for (std::size_t i = 0; i < fillBytes && !check.changes; ++i) {
      check.changes = text[textBytes + i] != 0;
    }
    return check;
  }
  std::memcpy(header, fields, fieldBytes);
  std::memcpy(text, index.scratch, textBytes);
  std::memset(text + textBytes, 0, fillBytes);
  return check;
}

void VisitEntry(void* context, const TranslationEntry& entry) {
  const auto& job = *static_cast<const ApplyJob*>(context);
  const EntryCheck check = ApplyEntry(job, entry);
  if (job.visit != nullptr) job.visit(job.visitContext, check);
}

bool RunEntries(const Settings& settings, PoolIndex& index, std::uint8_t* target,
                const std::uint8_t* text, std::size_t textSize, PoolEntryVisitor visit,
                void* context) {
  // No entry's text unescapes to more bytes than the translation text holds; behind that, on an
  // even offset, room for a text as UTF-16 units.
  const std::size_t units = (textSize + 3) & ~std::size_t{1};
  if (!GrowScratch(index, units + 2 * textSize + 2)) return false;
  ApplyJob job{&settings,
               &index,
               target,
               IsWideTranslation(text, textSize),
               reinterpret_cast<char16_t*>(index.scratch + units),
               visit,
               context};
  ReadTranslationEntries(text, textSize, VisitEntry, &job);
  return true;
}

}  // namespace

bool FindStringPool(const std::uint8_t* file, std::uint64_t size, StringPool& pool) {
  if (size >= (1ull << 32)) return false;
  Chunk top{};
  if (!ReadChunk(file, 0, size, top)) return false;
  if (top.type != kTableChunk && top.type != kXmlChunk) return false;
  if (top.type == kTableChunk && top.headerEnd < kTableHeaderBytes) return false;
  bool found = false;
  for (std::uint64_t at = top.headerEnd; at < top.end;) {
    Chunk chunk{};
    if (!ReadChunk(file, at, top.end, chunk)) return false;
    if (chunk.type == kPoolChunk && !found) {
      if (!ReadPoolHeader(file, at, chunk, pool)) return false;
      found = true;
    }
    at = chunk.end;
  }
  return found;
}

bool ReadPoolString(const std::uint8_t* file, const StringPool& pool, std::uint32_t index,
                    PoolString& string) {
  const std::uint64_t offset = Load32(file, pool.offsets + 4 * static_cast<std::uint64_t>(index));
  const std::uint64_t end = pool.stringsEnd;
  if (offset >= end - pool.strings) return false;
  std::uint64_t at = pool.strings + offset;
  string.header = at;
  std::uint32_t length = 0;
  if (pool.utf8) {
    if (!ReadLength<std::uint8_t>(file, at, end, string.wideLength, string.wideField) ||
        !ReadLength<std::uint8_t>(file, at, end, length, string.lengthField)) {
      return false;
    }
    // The text and its zero byte.
    if (length >= end - at) return false;
  } else {
    // UTF-16 strings start on a unit; aapt never writes them elsewhere.
    if (offset % 2 != 0) return false;
    string.wideField = 0;
    if (!ReadLength<std::uint16_t>(file, at, end, length, string.lengthField)) return false;
    if (length >= (end - at) / 2) return false;
    string.wideLength = length;
  }
  string.data = at;
  string.length = length;
  return true;
}

ScanResult ExtractStringPool(OutputBuffer& out, const std::uint8_t* file, std::uint64_t size,
                             bool& wide) {
  StringPool pool;
  if (!FindStringPool(file, size, pool)) return ScanResult::Failed;
  wide = !pool.utf8;
  if (!AppendTranslationHeader(out, wide)) return ScanResult::NoMemory;
  for (std::uint32_t i = 0; i < pool.stringCount; ++i) {
    PoolString string{};
    if (!ReadPoolString(file, pool, i, string)) return ScanResult::Failed;
    if (!AppendEntry(out, static_cast<std::uint32_t>(string.data), string.length,
                     file + string.data, wide)) {
      return ScanResult::NoMemory;
    }
  }
  return ScanResult::Complete;
}

PoolIndexOwner::~PoolIndexOwner() {
  std::free(index_.byHeader);
  std::free(index_.scratch);
}

ScanResult BuildPoolIndex(PoolIndex& index, const std::uint8_t* file, std::uint64_t size) {
  if (!FindStringPool(file, size, index.pool)) return ScanResult::Failed;
  const std::uint32_t count = index.pool.stringCount;
  std::free(index.byHeader);
  index.byHeader = static_cast<std::uint64_t*>(std::malloc(sizeof(std::uint64_t) * (count + 1ull)));
  if (index.byHeader == nullptr) return ScanResult::NoMemory;
  for (std::uint32_t i = 0; i < count; ++i) {
    PoolString string{};
    if (!ReadPoolString(file, index.pool, i, string)) return ScanResult::Failed;
    index.byHeader[i] = (string.header << 32) | i;
  }
  std::sort(index.byHeader, index.byHeader + count);
  return ScanResult::Complete;
}

bool ApplyPoolTranslation(const Settings& settings, PoolIndex& index, std::uint8_t* target,
                          const std::uint8_t* text, std::size_t textSize) {
  return RunEntries(settings, index, target, text, textSize, nullptr, nullptr);
}

bool CheckPoolTranslation(const Settings& settings, PoolIndex& index, const std::uint8_t* target,
                          const std::uint8_t* text, std::size_t textSize, PoolEntryVisitor visit,
                          void* context) {
  return RunEntries(settings, index, const_cast<std::uint8_t*>(target), text, textSize, visit,
                    context);
}

StatusCode IndexTargetPool(PoolIndex& index, const std::uint8_t* view, std::uint64_t size) {
  ScanResult result = ScanResult::Failed;
  auto build = [&] { result = BuildPoolIndex(index, view, size); };
  if (!RunGuardedCall(view, static_cast<std::size_t>(size), build)) return kStatusCannotMap;
  if (result == ScanResult::NoMemory) return kStatusNoMemory;
  return result == ScanResult::Failed ? kStatusScanFailed : kStatusNone;
}

}  // namespace glos
