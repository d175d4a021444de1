// Export and import of translation exchange files.
#include "exchange/Exchange.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/CodePage.h"
#include "core/Directory.h"
#include "core/FileIo.h"
#include "core/MappedFile.h"
#include "engine/Escape.h"
#include "engine/TranslationFile.h"
#include "exchange/Catalog.h"
#include "exchange/ExchangeText.h"
#include "exchange/Po.h"
#include "exchange/Xliff.h"

namespace glos {
namespace {

bool FileExists(const char16_t* path) {
  DirectorySearch search(path);
  DirectoryEntry entry;
  return search.next(entry) && !entry.isDirectory;
}

std::string TargetName(const char16_t* path) { return Utf16ToUtf8(path + NamePosition(path)); }

// The units' indices by source text: open addressing over a power-of-two table, each slot
// holding the text's hash beside the index, so that a probe rarely touches the text itself.
class SourceIndex {
 public:
  explicit SourceIndex(const std::vector<CatalogUnit>& units) : units_(units) { Grow(1024); }

  // The unit holding text, or kNone.
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  std::uint32_t Find(std::string_view text, std::uint64_t hash) const {
    for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
      const Slot& slot = slots_[i];
      if (slot.unit == kNone) return kNone;
      if (slot.hash == hash && units_[slot.unit].source == text) return slot.unit;
    }
  }
  void Insert(std::uint32_t unit, std::uint64_t hash) {
    if (2 * (count_ + 1) > slots_.size()) Grow(2 * slots_.size());
    Place(unit, hash);
    ++count_;
  }

 private:
  struct Slot {
    std::uint64_t hash;
    std::uint32_t unit;
  };
  void Place(std::uint32_t unit, std::uint64_t hash) {
    std::size_t i = hash & mask_;
    while (slots_[i].unit != kNone) i = (i + 1) & mask_;
    slots_[i] = Slot{hash, unit};
  }
  void Grow(std::size_t size) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(size, Slot{0, kNone});
    mask_ = size - 1;
    for (const Slot& slot : old) {
      if (slot.unit != kNone) Place(slot.unit, slot.hash);
    }
  }
  const std::vector<CatalogUnit>& units_;
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t count_ = 0;
};

struct ExportJob {
  Catalog* catalog;
  const std::uint8_t* target;
  std::uint64_t size;
  SourceIndex* index;
  std::vector<std::pair<std::uint32_t, std::uint32_t>>* strings;  // offset, unit
  Settings unescape;  // NoLengthCheck: a translation is read whole
  std::string translation;
};

template <typename Unit>
void ReadTranslationUnits(ExportJob& job, const TranslationEntry& entry) {
  const auto* text = static_cast<const Unit*>(entry.text);
  const std::size_t units = UnescapedLength(text, entry.textLength);
  job.translation.assign(units * sizeof(Unit), '\0');
  UnescapeText(job.unescape, reinterpret_cast<std::uint8_t*>(job.translation.data()), text,
               entry.textLength, units, false);
}

void CollectString(void* context, const TranslationEntry& entry) {
  auto& job = *static_cast<ExportJob*>(context);
  Catalog& catalog = *job.catalog;
  const std::uint64_t width = catalog.wide ? 2 : 1;
  const std::uint64_t bytes = std::uint64_t{entry.length} * width;
  if (entry.offset > job.size || bytes > job.size - entry.offset) {
    ReportStatusNumber(kStatusOutsideFile, entry.offset);
    return;
  }
  // An empty string has nothing to translate, and its empty text would be the PO header's.
  if (entry.length == 0) return;
  const std::uint8_t* raw = job.target + entry.offset;
  std::string source = ToExchangeText(raw, entry.length, catalog.wide, catalog.codePage);
  if (catalog.wide) {
    ReadTranslationUnits<char16_t>(job, entry);
  } else {
    ReadTranslationUnits<std::uint8_t>(job, entry);
  }
  const bool translated =
      job.translation.size() != bytes ||
      !std::equal(raw, raw + bytes, job.translation.begin(),
                  [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); });
  const std::uint64_t hash = std::hash<std::string_view>{}(source);
  std::uint32_t index = job.index->Find(source, hash);
  if (index == SourceIndex::kNone) {
    index = static_cast<std::uint32_t>(catalog.units.size());
    CatalogUnit unit;
    unit.source = std::move(source);
    unit.room = static_cast<std::uint32_t>(bytes);
    catalog.units.push_back(std::move(unit));
    job.index->Insert(index, hash);
  } else {
    catalog.units[index].room = std::min(catalog.units[index].room, std::uint32_t(bytes));
  }
  CatalogUnit& unit = catalog.units[index];
  // The first location translated decides the unit's translation.
  if (translated && unit.translation.empty()) {
    unit.translation =
        ToExchangeText(reinterpret_cast<const std::uint8_t*>(job.translation.data()),
                       job.translation.size() / width, catalog.wide, catalog.codePage);
  }
  job.strings->emplace_back(entry.offset, index);
}

// Puts each unit's offsets together, in file order within a unit.
void GroupOffsets(Catalog& catalog,
                  const std::vector<std::pair<std::uint32_t, std::uint32_t>>& strings) {
  for (const auto& [offset, unit] : strings) ++catalog.units[unit].locationCount;
  std::uint32_t next = 0;
  for (CatalogUnit& unit : catalog.units) {
    unit.firstLocation = next;
    next += unit.locationCount;
    unit.locationCount = 0;
  }
  catalog.offsets.resize(next);
  for (const auto& [offset, unit] : strings) {
    CatalogUnit& u = catalog.units[unit];
    catalog.offsets[u.firstLocation + u.locationCount++] = offset;
  }
}

unsigned ChosenCodePage(const ExchangeOptions& options, unsigned fromFile) {
  if (options.codePage != 0) return options.codePage;
  return fromFile != 0 ? fromFile : DefaultCodePage();
}

// Reports a unit with its first location and its source text.
void ReportUnit(StatusCode code, const Catalog& catalog, std::uint32_t offset,
                const std::string& source) {
  const std::u16string text =
      Utf8ToUtf16(FormatReference(catalog.targetName, offset) + " \"" + source + "\"");
  ReportStatus(code, text.c_str());
}

// The walker's context, or the defaults when there is none.
const ExchangeOptions& OptionsOf(const void* context) {
  static const ExchangeOptions kDefaults;
  return context != nullptr ? *static_cast<const ExchangeOptions*>(context) : kDefaults;
}

// The target's translation file and exchange file; false when a name does not fit.
bool NameFiles(const char16_t* path, const ExchangeOptions& options, char16_t* translationPath,
               char16_t* exchangePath) {
  return CopyText(translationPath, kPathCapacity, path) &&
         AppendText(translationPath, kPathCapacity, u".ttt") &&
         CopyText(exchangePath, kPathCapacity, path) &&
         AppendText(exchangePath, kPathCapacity, ExchangeExtension(options.format));
}

struct ImportString {
  std::uint32_t offset;
  std::uint32_t length;  // units of the slot
  std::uint32_t unit;    // index into the texts
};

}  // namespace

const char16_t* ExchangeExtension(ExchangeFormat format) {
  return format == ExchangeFormat::Po ? u".po" : u".xlf";
}

bool IsExchangeProblem(StatusCode code) {
  return code == kStatusTooLong || code == kStatusUnencodable || code == kStatusStale;
}

FileOutcome ExportFile(const Settings& /*settings*/, const char16_t* path, void* context) {
  const ExchangeOptions& options = OptionsOf(context);
  char16_t translationPath[kPathCapacity];
  char16_t exchangePath[kPathCapacity];
  if (!NameFiles(path, options, translationPath, exchangePath)) {
    return Outcome(kStatusCannotSave, path);
  }
  if (!FileExists(translationPath)) return Outcome(kStatusNoFile, translationPath);
  const WholeFile text = ReadWholeFile(translationPath);
  if (text.data == nullptr) return Outcome(kStatusCannotOpen, translationPath);
  MappedFile target(path, /*readOnly=*/true);
  if (target.failed()) return Outcome(kStatusCannotMap, path);

  Catalog catalog;
  catalog.targetName = TargetName(path);
  catalog.codePage = ChosenCodePage(options, 0);
  catalog.wide = IsWideTranslation(text.data.get(), text.size);
  SourceIndex index(catalog.units);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> strings;
  ExportJob job{&catalog, target.data(), target.size(), &index, &strings, Settings{}, {}};
  SetOption(job.unescape, kNoLengthCheck, true);
  ReadTranslationEntries(text.data.get(), static_cast<std::size_t>(text.size), CollectString, &job);
  target.close();
  GroupOffsets(catalog, strings);
  strings = {};

  const std::string out =
      options.format == ExchangeFormat::Po ? WritePo(catalog) : WriteXliff(catalog);
  if (out.empty() || ReplaceWholeFile(exchangePath, out.data(), out.size(), Flush::Lazily) == 0) {
    return Outcome(kStatusCannotSave, exchangePath);
  }
  return Outcome(kStatusExported, exchangePath);
}

FileOutcome ImportFile(const Settings& settings, const char16_t* path, void* context) {
  const ExchangeOptions& options = OptionsOf(context);
  char16_t translationPath[kPathCapacity];
  char16_t exchangePath[kPathCapacity];
  if (!NameFiles(path, options, translationPath, exchangePath)) {
    return Outcome(kStatusCannotSave, path);
  }
  if (!FileExists(exchangePath)) return Outcome(kStatusNoFile, exchangePath);
  Catalog catalog;
  catalog.targetName = TargetName(path);
  catalog.wide = HasOption(settings, kUnicodeMode);
  ExchangeHeader header;
  const bool read = options.format == ExchangeFormat::Po
                        ? ReadPoFile(exchangePath, catalog, header)
                        : ReadXliffFile(exchangePath, catalog, header);
  if (!read) return Outcome(kStatusExchangeUnreadable, exchangePath);
  if (header.hasWidth) catalog.wide = header.wide;
  const unsigned codePage = ChosenCodePage(options, header.codePage);
  MappedFile target(path, /*readOnly=*/true);
  if (target.failed()) return Outcome(kStatusCannotMap, path);

  const std::uint32_t width = catalog.wide ? 2 : 1;
  std::vector<std::string> texts;  // raw units, one per unit, then one per stale location
  std::vector<ImportString> strings;
  std::string source;
  std::string translation;
  for (const CatalogUnit& unit : catalog.units) {
    const std::uint32_t* offsets = catalog.offsets.data() + unit.firstLocation;
    const bool sourceOk = FromExchangeText(unit.source, catalog.wide, codePage, source) &&
                          !source.empty() && source.size() % width == 0;
    const auto length = static_cast<std::uint32_t>(source.size() / width);
    // Every location must still hold the source; a stale one keeps what it holds.
    bool stale = !sourceOk;
    std::uint32_t staleOffset = offsets[0];
    for (std::uint32_t i = 0; i < unit.locationCount; ++i) {
      const std::uint64_t at = offsets[i];
      const bool inside = sourceOk && at <= target.size() && source.size() <= target.size() - at;
      if (inside &&
          std::equal(source.begin(), source.end(), target.data() + at,
                     [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; })) {
        continue;
      }
      if (!stale) staleOffset = offsets[i];
      stale = true;
    }
    if (stale) {
      ReportUnit(kStatusStale, catalog, staleOffset, unit.source);
      for (std::uint32_t i = 0; i < unit.locationCount; ++i) {
        const std::uint64_t at = offsets[i];
        if (!sourceOk || at > target.size()) continue;
        const std::uint64_t bytes = std::min<std::uint64_t>(source.size(), target.size() - at);
        const auto units = static_cast<std::uint32_t>(bytes / width);
        if (units == 0) continue;
        texts.emplace_back(reinterpret_cast<const char*>(target.data() + at), units * width);
        strings.push_back({offsets[i], units, static_cast<std::uint32_t>(texts.size() - 1)});
      }
      continue;
    }
    const std::string* chosen = &source;
    if (!unit.translation.empty()) {
      if (!FromExchangeText(unit.translation, catalog.wide, codePage, translation)) {
        ReportUnit(kStatusUnencodable, catalog, offsets[0], unit.source);
      } else if (translation.size() > source.size()) {
        ReportUnit(kStatusTooLong, catalog, offsets[0], unit.source);
      } else {
        chosen = &translation;
      }
    }
    texts.push_back(*chosen);
    for (std::uint32_t i = 0; i < unit.locationCount; ++i) {
      strings.push_back({offsets[i], length, static_cast<std::uint32_t>(texts.size() - 1)});
    }
  }
  target.close();
  std::stable_sort(
      strings.begin(), strings.end(),
      [](const ImportString& a, const ImportString& b) { return a.offset < b.offset; });

  OutputOwner owner;
  OutputBuffer& out = owner.buffer();
  bool ok = AppendTranslationHeader(out, catalog.wide);
  for (const ImportString& s : strings) {
    const std::string& text = texts[s.unit];
    ok = ok &&
         AppendEntry(out, s.offset, s.length, reinterpret_cast<const std::uint8_t*>(text.data()),
                     static_cast<std::uint32_t>(text.size() / width), catalog.wide);
  }
  ok = ok && AppendLineEnd(out, catalog.wide);
  if (!ok) return Outcome(kStatusNoMemory, path);
  // The translation file may hold edits that exist nowhere else: it reaches the disk before
  // its name does.
  if (ReplaceWholeFile(translationPath, out.data, out.size, Flush::ToDisk) == 0) {
    return Outcome(kStatusCannotSave, translationPath);
  }
  return Outcome(kStatusImported, translationPath);
}

}  // namespace glos
