// The fuzz checks and the references they compare the engine with. The references follow the
// rules literally, unit by unit, and share no code with the engine.
#include "fuzz/FuzzChecks.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "core/Settings.h"
#include "core/Status.h"
#include "engine/AndroidPool.h"
#include "engine/Check.h"
#include "engine/Escape.h"
#include "engine/ImageSections.h"
#include "engine/OutputBuffer.h"
#include "engine/TranslationFile.h"
#include "engine/UndoJournal.h"
#include "engine/WriteBack.h"
#include "search/Search.h"

namespace glos::fuzz {
namespace {

// Takes the input apart from its front; past its end every read gives zeros.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }
  std::uint16_t u16() {
    const std::uint16_t low = byte();
    return static_cast<std::uint16_t>(low | (byte() << 8));
  }
  std::vector<std::uint8_t> take(std::size_t count) {
    count = std::min(count, size_);
    std::vector<std::uint8_t> bytes(data_, data_ + count);
    data_ += count;
    size_ -= count;
    return bytes;
  }
  std::vector<std::uint8_t> rest() { return take(size_); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

// A heap block of exactly count elements, so that any access past it is a sanitizer finding.
template <typename T>
std::unique_ptr<T[]> Exact(std::size_t count) {
  return std::unique_ptr<T[]>(new T[count]);
}

std::unique_ptr<std::uint8_t[]> ExactCopy(const std::vector<std::uint8_t>& bytes) {
  auto copy = Exact<std::uint8_t>(bytes.size());
  if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
  return copy;
}

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

std::uint32_t UnitAt(const std::uint8_t* bytes, std::uint64_t at, unsigned width) {
  return width == 1 ? bytes[at] : static_cast<std::uint32_t>(bytes[at] | (bytes[at + 1] << 8));
}

void PutUnit(std::uint8_t* bytes, std::uint64_t at, unsigned width, std::uint32_t unit) {
  bytes[at] = static_cast<std::uint8_t>(unit);
  if (width == 2) bytes[at + 1] = static_cast<std::uint8_t>(unit >> 8);
}

// Units of width bytes each; an odd last byte is dropped.
Units ToUnits(const std::vector<std::uint8_t>& bytes, unsigned width) {
  Units units;
  for (std::size_t at = 0; at + width <= bytes.size(); at += width) {
    units.push_back(UnitAt(bytes.data(), at, width));
  }
  return units;
}

// Every report of a check, in order; installed as the status sink for its lifetime.
struct Reported {
  StatusCode code;
  std::string text;  // the bytes of an 8-bit text, the units of a UTF-16 one as pairs
  std::uint32_t number;
  bool operator==(const Reported&) const = default;
};

class ReportLog {
 public:
  ReportLog() { SetStatusSink(&ReportLog::Sink, this); }
  ReportLog(const ReportLog&) = delete;
  ReportLog& operator=(const ReportLog&) = delete;
  ~ReportLog() { SetStatusSink(nullptr, nullptr); }
  std::vector<Reported> reports;

 private:
  static void Sink(void* context, StatusCode code, const StatusArgument& argument) {
    Reported r{code, {}, argument.number};
    if (argument.bytes != nullptr) r.text = argument.bytes;
    for (const char16_t* t = argument.text; t != nullptr && *t != 0; ++t) {
      r.text.push_back(static_cast<char>(*t & 0xFF));
      r.text.push_back(static_cast<char>(*t >> 8));
    }
    static_cast<ReportLog*>(context)->reports.push_back(r);
  }
};

std::string TextOf(const Units& text, unsigned width) {
  std::string bytes;
  for (std::uint32_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    if (width == 2) bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

// ---- References --------------------------------------------------------------------------

int HexValue(std::uint32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

// The units an escaped text stands for, none cut.
Units ReferenceUnescape(const Units& text, unsigned width) {
  Units out;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::uint32_t c = text[i++];
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (i == text.size()) {
      out.push_back(0);
      break;
    }
    const std::uint32_t e = text[i++];
    if (e == '0') {
      out.push_back(0);
    } else if (e == 'n') {
      out.push_back(10);
    } else if (e == 'r') {
      out.push_back(13);
    } else if (e == 't') {
      out.push_back(9);
    } else if (e == 'x') {
      std::uint32_t value = 0;
      bool digits = true;
      for (unsigned k = 0; k < 2 * width && i < text.size(); ++k, ++i) {
        const int d = HexValue(text[i]);
        if (d < 0) digits = false;
        if (digits) value = value * 16 + static_cast<std::uint32_t>(d);
      }
      out.push_back(value);
    } else {
      out.push_back(e);
    }
  }
  return out;
}

Units ReferenceEscape(const Units& source) {
  Units out;
  for (std::uint32_t u : source) {
    const char* pair = u == 0    ? "\\0"
                       : u == 9  ? "\\t"
                       : u == 10 ? "\\n"
                       : u == 13 ? "\\r"
                       : u == 92 ? "\\\\"
                                 : nullptr;
    if (pair == nullptr) {
      out.push_back(u);
    } else {
      out.push_back(static_cast<std::uint8_t>(pair[0]));
      out.push_back(static_cast<std::uint8_t>(pair[1]));
    }
  }
  return out;
}

// "0x"/"0X" and hexadecimal digits, else an optional "-" and decimal digits, modulo 2^32.
std::uint32_t ReferenceNumber(const Units& text, std::size_t from) {
  auto at = [&](std::size_t i) -> std::uint32_t { return i < text.size() ? text[i] : 0; };
  std::uint64_t value = 0;
  if (at(from) == '0' && (at(from + 1) == 'x' || at(from + 1) == 'X')) {
    for (std::size_t i = from + 2; HexValue(at(i)) >= 0 && i < text.size(); ++i) {
      value = (value * 16 + static_cast<std::uint64_t>(HexValue(at(i)))) & 0xFFFFFFFFu;
    }
    return static_cast<std::uint32_t>(value);
  }
  const bool negative = at(from) == '-';
  for (std::size_t i = from + (negative ? 1 : 0); i < text.size() && at(i) >= '0' && at(i) <= '9';
       ++i) {
    value = (value * 10 + (at(i) - '0')) & 0xFFFFFFFFu;
  }
  return static_cast<std::uint32_t>(negative ? (0x100000000ull - value) & 0xFFFFFFFFu : value);
}

// The options of a scan, as the reference reads them.
struct ScanRules {
  unsigned width;
  bool prefixed;
  bool englishOnly;
  std::uint32_t minChars;
  std::uint32_t terminator;
};

bool IsTerminator(const ScanRules& r, std::uint32_t u) {
  // A byte counts as signed: from 0x80 up it equals no Terminator.
  return r.width == 1 ? (u < 0x80 && u == r.terminator) : u == r.terminator;
}
bool IsPrintableUnit(std::uint32_t u) {
  return u == 9 || u == 10 || u == 13 || (u >= 32 && u <= 126);
}
bool IsLetterUnit(std::uint32_t u) { return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z'); }

struct Found {
  std::uint32_t offset;  // as written: rounded down to even in a UTF-16 scan
  std::uint32_t length;
  std::uint64_t at;  // where its first unit really is
};

void ReferenceScanRange(const ScanRules& r, const std::uint8_t* file, std::uint64_t fileSize,
                        std::uint64_t start, std::uint64_t size, std::vector<Found>& found) {
  const unsigned w = r.width;
  const std::uint64_t units = size / w;
  auto emit = [&](std::uint64_t at, std::uint64_t length) {
    found.push_back({static_cast<std::uint32_t>(w == 2 ? at & ~std::uint64_t{1} : at),
                     static_cast<std::uint32_t>(length), at});
  };
  if (!r.prefixed) {
    std::uint64_t letters = 0, runStart = 0;
    bool open = false;
    for (std::uint64_t k = 0; k < units; ++k) {
      const std::uint32_t u = UnitAt(file, start + k * w, w);
      if (IsTerminator(r, u)) {
        if (open && letters >= r.minChars) emit(start + runStart * w, k - runStart);
        letters = 0;
        open = false;
      } else if (IsPrintableUnit(u)) {
        if (!open) runStart = k;
        open = true;
        if (IsLetterUnit(u)) {
          ++letters;
        } else if (letters < r.minChars) {
          letters = 0;
        }
      } else if (r.englishOnly || letters < r.minChars) {
        letters = 0;
        open = false;
      }
    }
    return;
  }
  std::uint64_t p = 0;
  while (p < units) {
    const std::uint64_t at = start + p * w;
    const std::uint32_t length = UnitAt(file, at, w);
    const std::uint64_t end = at + (std::uint64_t{length} + 1) * w;
    bool ok = length >= r.minChars && end + w <= fileSize;
    for (std::uint64_t j = 1; ok && j <= length; ++j) {
      const std::uint32_t u = UnitAt(file, at + j * w, w);
      if (IsTerminator(r, u) || (r.englishOnly && !IsPrintableUnit(u))) ok = false;
    }
    if (ok && IsTerminator(r, UnitAt(file, end, w))) {
      emit(at + w, length);
      p += std::uint64_t{length} + 1;
    } else {
      ++p;
    }
  }
}

std::uint64_t Le(const std::uint8_t* file, std::uint64_t at, unsigned bytes) {
  std::uint64_t value = 0;
  for (unsigned i = 0; i < bytes; ++i) value |= std::uint64_t{file[at + i]} << (8 * i);
  return value;
}

// The ranges of an extraction, or nothing when a field or a scanned section lies outside.
std::optional<std::vector<std::pair<std::uint64_t, std::uint64_t>>> ReferenceRanges(
    const Settings& settings, const std::uint8_t* file, std::uint64_t n, unsigned width) {
  std::u16string list;
  for (std::size_t i = 0; i < kPathCapacity && settings.excludeList[i] != 0; ++i) {
    list.push_back(settings.excludeList[i]);
  }
  std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
  auto inside = [n](std::uint64_t at, std::uint64_t bytes) { return at + bytes <= n; };
  if (list.empty() || n < 2 || file[0] != 'M' || file[1] != 'Z') {
    ranges.push_back({0, n});
    return ranges;
  }
  if (!inside(0x3C, 4)) return std::nullopt;
  const std::uint64_t pe = Le(file, 0x3C, 4);
  if (!inside(pe, 4)) return std::nullopt;
  if (std::memcmp(file + pe, "PE\0\0", 4) != 0) {
    ranges.push_back({0, n});
    return ranges;
  }
  if (!inside(pe + 6, 2) || !inside(pe + 20, 2)) return std::nullopt;
  const std::uint64_t count = Le(file, pe + 6, 2);
  const std::uint64_t table = pe + 24 + Le(file, pe + 20, 2);
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t header = table + 40 * i;
    if (!inside(header, 8)) return std::nullopt;
    std::u16string name;
    for (unsigned k = 0; k < 8 && file[header + k] != 0; ++k) name.push_back(file[header + k]);
    if (list.find(name + u"|") != std::u16string::npos) continue;
    if (!inside(header + 16, 8)) return std::nullopt;
    const std::uint64_t rawSize = Le(file, header + 16, 4);
    const std::uint64_t rawAt = Le(file, header + 20, 4);
    const std::uint64_t examined = rawSize / width * width;
    if (examined == 0) continue;
    if (!inside(rawAt, examined)) return std::nullopt;
    ranges.push_back({rawAt, examined});
  }
  return ranges;
}

void CollectEntry(void* context, const TranslationEntry& entry) {
  static_cast<std::vector<TranslationEntry>*>(context)->push_back(entry);
}

// The engine's reading of a translation text held at its exact size.
std::vector<TranslationEntry> EngineRead(const std::uint8_t* text, std::size_t size) {
  std::vector<TranslationEntry> entries;
  ReadTranslationEntries(text, size, CollectEntry, &entries);
  return entries;
}

Units EntryUnits(const TranslationEntry& entry, unsigned width) {
  Units units;
  const auto* bytes = static_cast<const std::uint8_t*>(entry.text);
  for (std::size_t i = 0; i < entry.textLength; ++i)
    units.push_back(UnitAt(bytes, i * width, width));
  return units;
}

// Unescapes an entry's text with the engine into a slot of exactly its length.
std::optional<std::vector<std::uint8_t>> EngineUnescape(const TranslationEntry& entry,
                                                        unsigned width) {
  const Settings settings;
  std::size_t produced = 0;
  if (width == 1) {
    produced = UnescapedLength(static_cast<const std::uint8_t*>(entry.text), entry.textLength);
  } else {
    produced = UnescapedLength(static_cast<const char16_t*>(entry.text), entry.textLength);
  }
  if (produced != entry.length) return std::nullopt;
  auto slot = Exact<std::uint8_t>(produced * width);
  const std::uint32_t written =
      width == 1 ? UnescapeText(settings, slot.get(), static_cast<const std::uint8_t*>(entry.text),
                                entry.textLength, produced, false)
                 : UnescapeText(settings, slot.get(), static_cast<const char16_t*>(entry.text),
                                entry.textLength, produced, false);
  if (written != produced) return std::nullopt;
  return std::vector<std::uint8_t>(slot.get(), slot.get() + produced * width);
}

}  // namespace

std::vector<ReferenceEntry> ReferenceRead(const std::vector<std::uint8_t>& bytes) {
  std::vector<ReferenceEntry> entries;
  if (bytes.size() < 4) return entries;
  const unsigned width = bytes[3] == 0 ? 2 : 1;
  Units units = ToUnits(bytes, width);
  units.erase(std::find(units.begin(), units.end(), 0u), units.end());
  Units line;
  for (std::uint32_t u : units) {
    if (u != '\r' && u != '\n') {
      line.push_back(u);
      continue;
    }
    if (line.empty() || line[0] != '0') {
      line.clear();
      continue;
    }
    const auto comma = std::find(line.begin(), line.end(), static_cast<std::uint32_t>(','));
    const auto equals = std::find(comma, line.end(), static_cast<std::uint32_t>('='));
    if (comma != line.end() && equals != line.end()) {
      entries.push_back({ReferenceNumber(line, 0),
                         ReferenceNumber(line, static_cast<std::size_t>(comma - line.begin()) + 1),
                         Units(equals + 1, line.end())});
    }
    line.clear();
  }
  return entries;
}

std::vector<std::uint8_t> ReferenceEntryLine(std::uint32_t offset, std::uint32_t length,
                                             const Units& units, unsigned width) {
  char head[40];
  std::snprintf(head, sizeof head, "\r\n0x%08X,%04u=", static_cast<unsigned>(offset),
                static_cast<unsigned>(length));
  Units line(head, head + std::strlen(head));
  const Units escaped = ReferenceEscape(units);
  line.insert(line.end(), escaped.begin(), escaped.end());
  std::vector<std::uint8_t> bytes(line.size() * width);
  for (std::size_t i = 0; i < line.size(); ++i) PutUnit(bytes.data(), i * width, width, line[i]);
  return bytes;
}

ReferenceSlot ReferenceUnescapeSlot(const Units& text, unsigned width, std::size_t capacity,
                                    bool prefix, bool noLengthCheck, std::uint32_t fill) {
  ReferenceSlot slot{{}, 0, false};
  // Without room even for the prefix unit nothing is written.
  if (prefix && capacity == 0 && !noLengthCheck) {
    slot.cut = !text.empty();
    return slot;
  }
  const Units items = ReferenceUnescape(text, width);
  const std::size_t first = prefix ? 1 : 0;
  std::size_t taken = items.size();
  if (!noLengthCheck && first + taken > capacity) {
    taken = capacity - first;
    slot.cut = true;
  }
  slot.written = static_cast<std::uint32_t>(first + taken);
  slot.bytes.resize(std::max<std::size_t>(capacity, slot.written) * width);
  if (prefix) PutUnit(slot.bytes.data(), 0, width, static_cast<std::uint32_t>(taken));
  for (std::size_t k = 0; k < taken; ++k) {
    PutUnit(slot.bytes.data(), (first + k) * width, width, items[k]);
  }
  for (std::size_t k = slot.written; k < capacity; ++k) {
    PutUnit(slot.bytes.data(), k * width, width, fill);
  }
  return slot;
}

// ---- ScanImage ---------------------------------------------------------------------------

std::string CheckScanImage(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const std::uint8_t options = in.byte();
  Settings settings;
  settings.optionWord = 0;
  SetOption(settings, kLengthPrefixed, (options & 1) != 0);
  SetOption(settings, kUnicodeMode, (options & 2) != 0);
  SetOption(settings, kEnglishOnly, (options & 4) != 0);
  SetMinChars(settings, in.byte());
  const std::uint16_t terminator = in.u16();
  SetTerminator(settings, (options & 8) != 0 ? terminator : 0);
  switch ((options >> 4) & 3) {
    case 1:
      settings.excludeList[0] = 0;
      break;
    case 2: {
      const std::vector<std::uint8_t> list = in.take(in.byte() % kPathCapacity);
      std::fill(std::begin(settings.excludeList), std::end(settings.excludeList), u'\0');
      std::copy(list.begin(), list.end(), settings.excludeList);
      break;
    }
    case 3:
      CopyText(settings.excludeList, kPathCapacity, u".text.rdata");
      break;
    default:
      break;
  }
  const std::vector<std::uint8_t> bytes = in.rest();
  const auto file = ExactCopy(bytes);
  const std::uint64_t n = bytes.size();
  const bool wide = (options & 2) != 0;
  const unsigned width = wide ? 2 : 1;

  OutputOwner owner;
  OutputBuffer& out = owner.buffer();
  if (!AppendTranslationHeader(out, wide)) return "no memory for the header";
  const ScanResult result = ScanImage(settings, out, file.get(), n);
  const auto ranges = ReferenceRanges(settings, file.get(), n, width);
  if (result == ScanResult::NoMemory) return "the scan ran out of memory";
  if ((result == ScanResult::Failed) != !ranges.has_value()) {
    return result == ScanResult::Failed ? "the scan failed where the reference completes"
                                        : "the scan completed where the reference fails";
  }
  if (!ranges) return {};
  if (!AppendLineEnd(out, wide)) return "no memory for the line end";

  const ScanRules rules{width, HasOption(settings, kLengthPrefixed),
                        HasOption(settings, kEnglishOnly), MinChars(settings),
                        Terminator(settings)};
  std::vector<Found> expected;
  for (const auto& [start, length] : *ranges) {
    ReferenceScanRange(rules, file.get(), n, start, length, expected);
  }

  const std::vector<std::uint8_t> written(out.data, out.data + out.size);
  const std::size_t header = wide ? kWideHeaderBytes : sizeof(kTranslationHeader) - 1;
  const std::vector<std::uint8_t> lineEnd =
      wide ? std::vector<std::uint8_t>{13, 0, 10, 0} : std::vector<std::uint8_t>{13, 10};
  if (written.size() < header + lineEnd.size() ||
      !std::equal(lineEnd.begin(), lineEnd.end(), written.end() - lineEnd.size())) {
    return "the translation text does not end with a line break";
  }
  const auto text = ExactCopy(written);
  const std::vector<TranslationEntry> entries = EngineRead(text.get(), written.size());
  if (entries.size() != expected.size()) {
    return "read back " + std::to_string(entries.size()) + " entries, the reference found " +
           std::to_string(expected.size());
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const TranslationEntry& e = entries[i];
    const Found& f = expected[i];
    const std::string at = "entry " + std::to_string(i) + " at " + Hex(e.offset);
    if (std::uint64_t{e.offset} + std::uint64_t{e.length} * width > n) {
      return at + " reaches outside the file";
    }
    if (e.offset != f.offset || e.length != f.length) {
      return at + ": length " + std::to_string(e.length) + ", the reference has " +
             std::to_string(f.length) + " at " + Hex(f.offset);
    }
    const auto units = EngineUnescape(e, width);
    if (!units || !std::equal(units->begin(), units->end(), file.get() + f.at)) {
      return at + ": its text does not read back to the file's units";
    }
    const Units escaped = EntryUnits(e, width);
    if (ReferenceUnescape(escaped, width) != ToUnits(*units, width)) {
      return at + ": the engine and the reference unescape its text differently";
    }
  }
  std::vector<std::uint8_t> whole(written.begin(), written.begin() + header);
  for (const Found& f : expected) {
    const std::vector<std::uint8_t> units(file.get() + f.at, file.get() + f.at + f.length * width);
    const std::vector<std::uint8_t> line =
        ReferenceEntryLine(f.offset, f.length, ToUnits(units, width), width);
    whole.insert(whole.end(), line.begin(), line.end());
  }
  whole.insert(whole.end(), lineEnd.begin(), lineEnd.end());
  if (whole != written) return "the translation text differs from the reference's";
  return {};
}

// ---- ApplyTranslation --------------------------------------------------------------------

namespace {

// Applies text to a copy of original through a window of the given sizes and compares the
// outcome with the reference's.
std::string CheckAppliedTarget(const Settings& settings, const std::vector<std::uint8_t>& original,
                               const std::vector<std::uint8_t>& expected,
                               const std::vector<bool>& allowed,
                               const std::vector<Reported>& expectedReports,
                               const std::vector<std::uint8_t>& text, WindowSizes sizes) {
  const std::size_t targetSize = original.size();
  const auto target = ExactCopy(original);
  const auto translation = ExactCopy(text);
  ReportLog log;
  ApplyTranslation(settings, target.get(), targetSize, translation.get(), text.size(), sizes);
  for (std::size_t i = 0; i < targetSize; ++i) {
    if (target[i] != original[i] && !allowed[i]) {
      return "byte " + Hex(i) + " changed outside every slot that lies inside";
    }
  }
  for (std::size_t i = 0; i < targetSize; ++i) {
    if (target[i] != expected[i]) {
      return "byte " + Hex(i) + " is " + Hex(target[i]) + ", the reference has " + Hex(expected[i]);
    }
  }
  if (log.reports.size() != expectedReports.size()) {
    return std::to_string(log.reports.size()) + " reports, the reference has " +
           std::to_string(expectedReports.size());
  }
  for (std::size_t i = 0; i < expectedReports.size(); ++i) {
    if (!(log.reports[i] == expectedReports[i])) {
      return "report " + std::to_string(i) + " is " + std::to_string(log.reports[i].code) +
             ", the reference has " + std::to_string(expectedReports[i].code);
    }
  }
  return {};
}

}  // namespace

std::string CheckApplyTranslation(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const std::uint8_t options = in.byte();
  const std::uint16_t terminator = in.u16();
  const std::size_t targetSize = std::size_t{in.byte()} * 4;
  const std::uint8_t fill = in.byte();
  const std::vector<std::uint8_t> text = in.rest();

  Settings settings;
  SetOption(settings, kLengthPrefixed, (options & 1) != 0);
  SetOption(settings, kNoLengthCheck, (options & 2) != 0);
  SetTerminator(settings, (options & 4) != 0 ? terminator : 0);
  const bool prefixed = HasOption(settings, kLengthPrefixed);
  const bool noLengthCheck = HasOption(settings, kNoLengthCheck);

  std::vector<std::uint8_t> original(targetSize);
  for (std::size_t i = 0; i < targetSize; ++i) {
    original[i] = (options & 8) != 0 ? static_cast<std::uint8_t>(fill + i) : fill;
  }

  // The reference: each entry in turn, skipped whole (and reported) unless all it writes lies
  // inside the target.
  std::vector<std::uint8_t> expected = original;
  std::vector<bool> allowed(targetSize, false);
  std::vector<Reported> expectedReports;
  const unsigned width = text.size() >= 4 && text[3] == 0 ? 2 : 1;
  const std::uint32_t fillUnit = Terminator(settings) & (width == 1 ? 0xFFu : 0xFFFFu);
  for (const ReferenceEntry& e : ReferenceRead(text)) {
    Units units = ReferenceUnescape(e.text, width);
    const std::uint64_t reach =
        noLengthCheck ? std::max<std::uint64_t>(e.length, units.size()) : e.length;
    const std::uint64_t begin = std::uint64_t{e.offset} - (prefixed ? width : 0);
    if ((prefixed && e.offset < width) || std::uint64_t{e.offset} + reach * width > targetSize) {
      expectedReports.push_back({kStatusOutsideFile, {}, e.offset});
      continue;
    }
    std::fill(allowed.begin() + static_cast<std::ptrdiff_t>(begin),
              allowed.begin() + static_cast<std::ptrdiff_t>(e.offset + reach * width), true);
    if (!noLengthCheck && units.size() > e.length) {
      expectedReports.push_back(
          {width == 1 ? kStatusCutBytes : kStatusCutWide, TextOf(e.text, width), 0});
      units.resize(e.length);
    }
    for (std::size_t k = 0; k < units.size(); ++k) {
      PutUnit(expected.data(), e.offset + k * width, width, units[k]);
    }
    for (std::uint64_t k = units.size(); k < e.length; ++k) {
      PutUnit(expected.data(), e.offset + k * width, width, fillUnit);
    }
    if (!prefixed) continue;
    if (noLengthCheck || UnitAt(expected.data(), begin, width) == e.length) {
      PutUnit(expected.data(), begin, width, static_cast<std::uint32_t>(units.size()));
    } else {
      expectedReports.push_back({kStatusLengthMismatch, {}, e.offset});
    }
  }

  // Once with the window write-back uses on files, once with one so small that it moves on, or
  // is outgrown, at nearly every entry.
  for (const WindowSizes sizes : {WindowSizes{}, WindowSizes{8, 4, 2, 3}}) {
    if (std::string failure =
            CheckAppliedTarget(settings, original, expected, allowed, expectedReports, text, sizes);
        !failure.empty()) {
      return failure;
    }
  }
  return {};
}

// ---- Escapes -----------------------------------------------------------------------------

namespace {

// EscapeText and then UnescapeText with the string's own length give back the string.
template <typename Unit>
std::string CheckRoundTrip(const Units& source) {
  constexpr unsigned width = sizeof(Unit);
  const std::size_t count = source.size();
  auto units = Exact<Unit>(count);
  for (std::size_t i = 0; i < count; ++i) units[i] = static_cast<Unit>(source[i]);
  auto escaped = Exact<Unit>(2 * count + 1);
  const std::size_t length = EscapeText(escaped.get(), units.get(), count);
  if (length > 2 * count || escaped[length] != 0) return "EscapeText wrote no closing zero";
  const Units escapedUnits(escaped.get(), escaped.get() + length);
  if (escapedUnits != ReferenceEscape(source)) return "EscapeText differs from the reference";
  if (UnescapedLength(escaped.get(), length) != count) {
    return "UnescapedLength of an escaped text is not its source length";
  }
  const Settings settings;
  auto back = Exact<std::uint8_t>(count * width);
  const std::uint32_t written =
      UnescapeText(settings, back.get(), escaped.get(), length, count, false);
  if (written != count) return "the round trip gave " + std::to_string(written) + " units";
  if (std::memcmp(back.get(), units.get(), count * width) != 0) {
    return "the round trip changed the units";
  }
  return {};
}

// UnescapeText against the reference, with room for exactly what it may write.
template <typename Unit>
std::string CheckUnescape(const Settings& settings, const Units& text, std::size_t capacity,
                          bool prefix) {
  constexpr unsigned width = sizeof(Unit);
  auto source = Exact<Unit>(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) source[i] = static_cast<Unit>(text[i]);
  const std::size_t produced = UnescapedLength(source.get(), text.size());
  const Units items = ReferenceUnescape(text, width);
  if (produced != items.size()) return "UnescapedLength differs from the reference";

  const std::size_t room = std::max(capacity, produced + 1);
  constexpr std::uint8_t kUntouched = 0xA5;
  const std::uint32_t fill = Terminator(settings) & (width == 1 ? 0xFFu : 0xFFFFu);
  const ReferenceSlot slot = ReferenceUnescapeSlot(text, width, capacity, prefix,
                                                   HasOption(settings, kNoLengthCheck), fill);
  std::vector<std::uint8_t> expected(room * width, kUntouched);
  std::copy(slot.bytes.begin(), slot.bytes.end(), expected.begin());

  auto dest = Exact<std::uint8_t>(room * width);
  std::memset(dest.get(), kUntouched, room * width);
  ReportLog log;
  const std::uint32_t written =
      UnescapeText(settings, dest.get(), source.get(), text.size(), capacity, prefix);
  if (written != slot.written) {
    return "UnescapeText returned " + std::to_string(written) + ", the reference " +
           std::to_string(slot.written);
  }
  if (std::memcmp(dest.get(), expected.data(), room * width) != 0) {
    return "UnescapeText wrote other units than the reference";
  }
  const StatusCode cutCode = width == 1 ? kStatusCutBytes : kStatusCutWide;
  // The report carries the text as a zero-terminated string: it is seen up to its first zero.
  const Units reportedText(text.begin(), std::find(text.begin(), text.end(), 0u));
  const std::vector<Reported> expectedReports =
      slot.cut ? std::vector<Reported>{{cutCode, TextOf(reportedText, width), 0}}
               : std::vector<Reported>{};
  if (log.reports != expectedReports) return "UnescapeText reported otherwise than the reference";
  return {};
}

template <typename Unit>
std::string CheckNumber(const Units& text) {
  auto units = Exact<Unit>(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) units[i] = static_cast<Unit>(text[i]);
  const std::int32_t value = ParseNumber(units.get(), units.get() + text.size());
  if (static_cast<std::uint32_t>(value) != ReferenceNumber(text, 0)) {
    return "ParseNumber gave " + std::to_string(value);
  }
  return {};
}

}  // namespace

std::string CheckEscape(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const std::uint8_t options = in.byte();
  const std::size_t capacity = in.u16() % 1024;
  const std::uint16_t terminator = in.u16();
  const std::vector<std::uint8_t> bytes = in.rest();
  const bool wide = (options & 1) != 0;
  const bool prefix = (options & 2) != 0;
  Settings settings;
  SetOption(settings, kNoLengthCheck, (options & 4) != 0);
  SetTerminator(settings, terminator);
  const Units units = ToUnits(bytes, wide ? 2 : 1);

  std::string failure =
      wide ? CheckRoundTrip<char16_t>(units) : CheckRoundTrip<std::uint8_t>(units);
  if (failure.empty()) {
    failure = wide ? CheckUnescape<char16_t>(settings, units, capacity, prefix)
                   : CheckUnescape<std::uint8_t>(settings, units, capacity, prefix);
  }
  if (failure.empty()) failure = CheckNumber<std::uint8_t>(ToUnits(bytes, 1));
  if (failure.empty()) failure = CheckNumber<char16_t>(ToUnits(bytes, 2));
  return failure;
}

// ---- Search ------------------------------------------------------------------------------

namespace {

struct SearchRun {
  std::uint8_t* view;
  const std::uint8_t* replacement;  // null: matches are left as they are
  std::uint64_t length;
  std::size_t cancelAt;  // index of the match that cancels, or SIZE_MAX
  bool declineEverySecond;
  std::vector<std::uint64_t> matches;
};

// What the question at a match answers, by the match's index: true to go on.
bool TakeMatch(SearchRun& run, std::uint64_t offset) {
  const std::size_t index = run.matches.size();
  run.matches.push_back(offset);
  if (index == run.cancelAt) return false;
  const bool declined = run.declineEverySecond && index % 2 == 1;
  if (!declined && run.replacement != nullptr) {
    std::memcpy(run.view + offset, run.replacement, static_cast<std::size_t>(run.length));
  }
  return true;
}

bool VisitMatch(void* context, std::uint64_t offset) {
  return TakeMatch(*static_cast<SearchRun*>(context), offset);
}

}  // namespace

// The byte form BuildSearchPattern must give a typed text whose units are all below 0x80 (the
// same in every code page), or any text in UTF-16 mode: the length unit, the items, the fill.
std::vector<std::uint8_t> ReferencePattern(const Units& typed, unsigned width, bool prefix,
                                           std::uint32_t terminator, std::size_t& units) {
  const Units items = ReferenceUnescape(typed, width);
  std::vector<std::uint8_t> bytes(kSearchTextCapacity * width);
  std::size_t at = prefix ? 1 : 0;
  for (std::uint32_t item : items) PutUnit(bytes.data(), width * at++, width, item);
  if (prefix) PutUnit(bytes.data(), 0, width, static_cast<std::uint32_t>(items.size()));
  units = at;
  while (at < kSearchTextCapacity) PutUnit(bytes.data(), width * at++, width, terminator);
  return bytes;
}

// BuildSearchPattern on typed texts of up to a whole buffer, in exact-size buffers.
std::string CheckPatternBuilding(std::uint8_t options, std::uint16_t terminator,
                                 const std::vector<std::uint8_t>& findText,
                                 const std::vector<std::uint8_t>& replacementText) {
  Settings settings;
  SetOption(settings, kUnicodeMode, (options & 16) != 0);
  SetOption(settings, kLengthPrefixed, (options & 32) != 0);
  SetTerminator(settings, terminator);
  const unsigned width = HasOption(settings, kUnicodeMode) ? 2 : 1;
  auto typed = [&](const std::vector<std::uint8_t>& bytes) {
    Units units = (options & 64) != 0 ? ToUnits(bytes, 2) : ToUnits(bytes, 1);
    if (units.size() > kSearchTextCapacity) units.resize(kSearchTextCapacity);
    return units;
  };
  const Units find = typed(findText);
  const Units replacement = typed(replacementText);
  auto find16 = Exact<char16_t>(kSearchTextCapacity);
  auto replacement16 = Exact<char16_t>(kSearchTextCapacity);
  for (std::size_t i = 0; i < kSearchTextCapacity; ++i) {
    find16[i] = static_cast<char16_t>(i < find.size() ? find[i] : 0);
    replacement16[i] = static_cast<char16_t>(i < replacement.size() ? replacement[i] : 0);
  }
  const bool present = replacement16[0] != 0;
  ReportLog log;
  const SearchPattern pattern = BuildSearchPattern(settings, find16.get(), replacement16.get());
  if (pattern.findLength < 0 || pattern.findLength > kSearchBufferBytes) {
    return "find length " + std::to_string(pattern.findLength);
  }
  if (pattern.findBytes != reinterpret_cast<const std::uint8_t*>(find16.get()) ||
      (pattern.replacementBytes != nullptr) != present) {
    return "the pattern does not point at its buffers";
  }
  if (!log.reports.empty()) return "building the pattern reported something";
  const std::uint32_t fill = Terminator(settings) & (width == 1 ? 0xFFu : 0xFFFFu);
  const bool prefix = HasOption(settings, kLengthPrefixed);
  const struct {
    const Units& typed;
    const char16_t* buffer;
    const char* name;
  } texts[] = {{replacement, replacement16.get(), "replacement"}, {find, find16.get(), "find"}};
  for (const auto& text : texts) {
    // As it is taken: up to its first zero, and never the buffer's last unit.
    Units taken(text.typed.begin(), std::find(text.typed.begin(), text.typed.end(), 0u));
    if (taken.size() > kSearchTextCapacity - 1) taken.resize(kSearchTextCapacity - 1);
    const bool comparable = width == 2 || std::all_of(taken.begin(), taken.end(),
                                                      [](std::uint32_t u) { return u < 0x80; });
    if (!comparable) continue;
    std::size_t units = 0;
    const std::vector<std::uint8_t> expected = ReferencePattern(taken, width, prefix, fill, units);
    if (std::memcmp(text.buffer, expected.data(), expected.size()) != 0) {
      return std::string("the ") + text.name + " bytes differ from the reference's";
    }
    if (text.buffer == find16.get() &&
        static_cast<std::size_t>(pattern.findLength) != units * width) {
      return "find length " + std::to_string(pattern.findLength) + ", the reference has " +
             std::to_string(units * width);
    }
  }
  return {};
}

bool ReferenceMatches(std::vector<std::uint8_t>& data, const std::vector<std::uint8_t>& find,
                      const std::function<bool(std::size_t)>& take) {
  const std::size_t length = find.size();
  for (std::size_t p = 0; data.size() > length && p < data.size() - length;) {
    if (std::memcmp(data.data() + p, find.data(), length) != 0) {
      ++p;
      continue;
    }
    if (!take(p)) return false;
    p += length;
  }
  return true;
}

std::string CheckSearch(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  std::size_t length = 1 + (in.byte() & 63);
  const std::uint8_t options = in.byte();
  const std::size_t cancelAt = (options & 4) != 0 ? in.byte() : SIZE_MAX;
  const std::size_t position = std::size_t{in.byte()} * 16;
  const bool fromFile = (options & 2) != 0;
  std::vector<std::uint8_t> find = fromFile ? std::vector<std::uint8_t>{} : in.take(length);
  std::vector<std::uint8_t> replacement;
  if ((options & 1) != 0) replacement = in.take(length);
  const std::vector<std::uint8_t> file = in.rest();
  if ((options & 128) != 0) {
    return CheckPatternBuilding(options, static_cast<std::uint16_t>(position / 16), file, find);
  }
  if (fromFile) {
    length = std::min(length, file.size());
    const std::size_t at = position % (file.size() - length + 1);
    find.assign(file.begin() + static_cast<std::ptrdiff_t>(at),
                file.begin() + static_cast<std::ptrdiff_t>(at + length));
  }
  length = find.size();
  if (length == 0) return {};
  replacement.resize(replacement.empty() ? 0 : length, 0);

  // The reference: every start offset in turn, below size - length.
  SearchRun reference{nullptr,
                      replacement.empty() ? nullptr : replacement.data(),
                      length,
                      cancelAt,
                      (options & 8) != 0,
                      {}};
  std::vector<std::uint8_t> expected = file;
  reference.view = expected.data();
  const bool referenceEnded =
      ReferenceMatches(expected, find, [&](std::size_t p) { return TakeMatch(reference, p); });

  const auto view = ExactCopy(file);
  const auto needle = ExactCopy(find);
  const auto bytes = ExactCopy(replacement);
  SearchRun engine{
      view.get(), replacement.empty() ? nullptr : bytes.get(), length, cancelAt, (options & 8) != 0,
      {}};
  const bool ended =
      ScanMatches(view.get(), file.size(), needle.get(), length, VisitMatch, &engine);
  if (engine.matches != reference.matches) {
    return std::to_string(engine.matches.size()) + " matches, the reference has " +
           std::to_string(reference.matches.size());
  }
  if (ended != referenceEnded) return "the scan ended otherwise than the reference";
  if (!file.empty() && std::memcmp(view.get(), expected.data(), file.size()) != 0) {
    return "the bytes after the scan differ from the reference's";
  }
  return {};
}

namespace {

// Applies one translation text to the pool of a copy of file; what changed must lie in the
// pool's string data, and only the notices of pool write-back may be reported.
std::string CheckPoolWrite(const std::vector<std::uint8_t>& file, const std::uint8_t* text,
                           std::size_t textSize, const char* what) {
  const auto target = ExactCopy(file);
  PoolIndexOwner owner;
  PoolIndex& index = owner.index();
  if (BuildPoolIndex(index, target.get(), file.size()) != ScanResult::Complete) {
    return std::string("the pool cannot be indexed before the ") + what;
  }
  const auto translation = ExactCopy(std::vector<std::uint8_t>(text, text + textSize));
  {
    ReportLog quiet;
    if (!CheckPoolTranslation(
            Settings{}, index, target.get(), translation.get(), textSize,
            [](void*, const EntryCheck&) {}, nullptr)) {
      return std::string("no memory to check the ") + what;
    }
  }
  if (std::memcmp(target.get(), file.data(), file.size()) != 0) {
    return std::string("checking the ") + what + " changed the file";
  }
  ReportLog log;
  if (!ApplyPoolTranslation(Settings{}, index, target.get(), translation.get(), textSize)) {
    return std::string("no memory for the ") + what;
  }

  for (const Reported& r : log.reports) {
    if (r.code != kStatusCutBytes && r.code != kStatusCutWide && r.code != kStatusNotPoolString &&
        r.code != kStatusPoolEncoding && r.code != kStatusSpansOutside) {
      return std::string("the ") + what + " reported " + std::to_string(r.code);
    }
  }
  for (std::size_t i = 0; i < file.size(); ++i) {
    if (target[i] != file[i] && (i < index.pool.strings || i >= index.pool.stringsEnd)) {
      return std::string("the ") + what + " changed byte " + Hex(i) + " outside the string data";
    }
  }
  return {};
}

}  // namespace

std::string CheckAndroidPool(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const std::size_t fileSize = in.u16();
  const std::vector<std::uint8_t> file = in.take(fileSize);
  const std::vector<std::uint8_t> tail = in.rest();
  const auto view = ExactCopy(file);

  OutputOwner owner;
  OutputBuffer& out = owner.buffer();
  bool wide = false;
  const ScanResult result = ExtractStringPool(out, view.get(), file.size(), wide);
  PoolIndexOwner indexOwner;
  const ScanResult indexed = BuildPoolIndex(indexOwner.index(), view.get(), file.size());
  if (result == ScanResult::NoMemory || indexed == ScanResult::NoMemory) return {};
  if (result != indexed) return "extraction and the write-back index disagree on the pool";
  if (result == ScanResult::Failed) return {};
  if (!AppendLineEnd(out, wide)) return {};

  // Every entry's text and its zero unit inside the file, one entry per string.
  struct Count {
    std::uint64_t size;
    unsigned width;
    std::uint32_t entries = 0;
    bool outside = false;
  } count{file.size(), wide ? 2u : 1u};
  ReadTranslationEntries(
      out.data, out.size,
      [](void* context, const TranslationEntry& e) {
        auto& c = *static_cast<Count*>(context);
        ++c.entries;
        if (std::uint64_t{e.offset} + (std::uint64_t{e.length} + 1) * c.width > c.size) {
          c.outside = true;
        }
      },
      &count);
  if (count.outside) return "an entry lies outside the file";
  if (count.entries != indexOwner.index().pool.stringCount) return "not one entry per string";

  std::string failure = CheckPoolWrite(file, out.data, out.size, "extracted translation");
  if (failure.empty())
    failure = CheckPoolWrite(file, tail.data(), tail.size(), "input's translation");
  return failure;
}

std::vector<ReferenceString> ReferenceScan(std::uint32_t optionWord, const std::uint8_t* file,
                                           std::uint64_t fileSize, std::uint64_t start,
                                           std::uint64_t size) {
  Settings settings;
  settings.optionWord = optionWord;
  const ScanRules rules{HasOption(settings, kUnicodeMode) ? 2u : 1u,
                        HasOption(settings, kLengthPrefixed), HasOption(settings, kEnglishOnly),
                        MinChars(settings), Terminator(settings)};
  std::vector<Found> found;
  ReferenceScanRange(rules, file, fileSize, start, size, found);
  std::vector<ReferenceString> strings;
  for (const Found& f : found) strings.push_back({f.at, f.length});
  return strings;
}

void RequireHolds(const std::string& failure) {
  if (failure.empty()) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", failure.c_str());
  std::abort();
}

// ---- ParseJournal ------------------------------------------------------------------------

std::string CheckParseJournal(const std::uint8_t* data, std::size_t size) {
  // At its exact size, so that a read past the end is seen.
  const std::vector<std::uint8_t> bytes(data, data + size);
  JournalContents contents;
  if (!ParseJournal(bytes.data(), bytes.size(), contents)) return {};
  if (contents.validEnd > size) return "it stopped past the end of the bytes";
  std::size_t end = contents.validEnd;
  for (auto r = contents.records.rbegin(); r != contents.records.rend(); ++r) {
    if (r->data + r->length + 4 != end) return "its records do not follow each other";
    if (r->offset + r->length > contents.targetSize) return "a record lies outside the target";
    end = r->data - 16;
  }
  // The header: 44 bytes, the key's units and a checksum.
  if (end != 48 + 2 * contents.key.size()) return "the first record does not follow the header";
  JournalContents cut;
  if (!ParseJournal(bytes.data(), contents.validEnd, cut) ||
      cut.records.size() != contents.records.size() || cut.validEnd != contents.validEnd ||
      cut.key != contents.key) {
    return "the bytes cut where it stopped read differently";
  }
  return {};
}

}  // namespace glos::fuzz
