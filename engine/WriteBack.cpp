// The Write back operation: every translation file of a target, applied to one read-write view
// once the journal holds what they will overwrite.
#include "engine/WriteBack.h"

#include <string>
#include <vector>

#include "core/Directory.h"
#include "core/FaultGuard.h"
#include "core/FileIo.h"
#include "core/MappedFile.h"
#include "engine/AndroidPool.h"
#include "engine/Escape.h"
#include "engine/TranslationFile.h"
#include "engine/UndoJournal.h"
#include "engine/UnitAccess.h"

namespace glos {
namespace {

template <typename Unit>
bool FindSpan(const Settings& settings, std::uint64_t size, const TranslationEntry& entry,
              EntrySpan& span) {
  constexpr std::uint64_t width = sizeof(Unit);
  const bool prefixed = HasOption(settings, kLengthPrefixed);
  std::uint64_t units = entry.length;
  if (HasOption(settings, kNoLengthCheck)) {
    const std::uint64_t produced =
        UnescapedLength(static_cast<const Unit*>(entry.text), entry.textLength);
    if (produced > units) units = produced;
  }
  const std::uint64_t offset = entry.offset;
  if (offset > size || units > (size - offset) / width || (prefixed && offset < width)) {
    return false;
  }
  span.first = prefixed ? offset - width : offset;
  span.end = offset + units * width;
  return true;
}

template <typename Unit>
bool WriteUnits(const Settings& settings, std::uint8_t* slot, const TranslationEntry& entry) {
  const std::uint32_t written = UnescapeText(settings, slot, static_cast<const Unit*>(entry.text),
                                             entry.textLength, entry.length, /*prefix=*/false);
  if (!HasOption(settings, kLengthPrefixed)) return true;
  std::uint8_t* prefix = slot - sizeof(Unit);
  if (!HasOption(settings, kNoLengthCheck) && LoadUnit<Unit>(prefix) != entry.length) {
    ReportStatusNumber(kStatusLengthMismatch, entry.offset);
    return false;
  }
  StoreUnit<Unit>(prefix, static_cast<Unit>(written));
  return true;
}

struct ApplyContext {
  const Settings* settings;
  std::uint8_t* target;
  std::uint64_t size;
  bool wide;
};

void VisitEntry(void* context, const TranslationEntry& entry) {
  const auto& c = *static_cast<const ApplyContext*>(context);
  EntrySpan span;
  if (!FindEntrySpan(*c.settings, c.wide, c.size, entry, span)) {
    ReportStatusNumber(kStatusOutsideFile, entry.offset);
    return;
  }
  WriteEntry(*c.settings, c.wide, c.target + entry.offset, entry);
}

void KeepEntry(void* context, const TranslationEntry& entry) {
  static_cast<std::vector<TranslationEntry>*>(context)->push_back(entry);
}

// One translation file, applied to the target: to its Android string pool with --android,
// else from the list of its entries when the journal needed their ranges first, else straight
// from the text.
struct GuardedApply {
  const Settings* settings;
  std::uint8_t* target;
  std::uint64_t size;
  const std::uint8_t* text;
  std::size_t textSize;
  const std::vector<TranslationEntry>* entries;  // null: read them from the text
  PoolIndex* pool;                               // the target's Android string pool, or null
  bool applied;
};

void RunApply(void* context) {
  auto& job = *static_cast<GuardedApply*>(context);
  job.applied = true;
  if (job.pool != nullptr) {
    job.applied =
        ApplyPoolTranslation(*job.settings, *job.pool, job.target, job.text, job.textSize);
  } else if (job.entries == nullptr) {
    ApplyTranslation(*job.settings, job.target, job.size, job.text, job.textSize);
  } else {
    ApplyContext apply{job.settings, job.target, job.size,
                       IsWideTranslation(job.text, job.textSize)};
    for (const TranslationEntry& entry : *job.entries) VisitEntry(&apply, entry);
  }
}

struct GuardedIndex {
  PoolIndex* pool;
  const std::uint8_t* target;
  std::uint64_t size;
  ScanResult result;
};

void RunBuildIndex(void* context) {
  auto& job = *static_cast<GuardedIndex*>(context);
  job.result = BuildPoolIndex(*job.pool, job.target, job.size);
}

}  // namespace

bool FindEntrySpan(const Settings& settings, bool wide, std::uint64_t size,
                   const TranslationEntry& entry, EntrySpan& span) {
  return wide ? FindSpan<char16_t>(settings, size, entry, span)
              : FindSpan<std::uint8_t>(settings, size, entry, span);
}

bool WriteEntry(const Settings& settings, bool wide, std::uint8_t* slot,
                const TranslationEntry& entry) {
  return wide ? WriteUnits<char16_t>(settings, slot, entry)
              : WriteUnits<std::uint8_t>(settings, slot, entry);
}

void ApplyTranslation(const Settings& settings, std::uint8_t* target, std::uint64_t size,
                      const std::uint8_t* text, std::size_t textSize) {
  ApplyContext context{&settings, target, size, IsWideTranslation(text, textSize)};
  ReadTranslationEntries(text, textSize, VisitEntry, &context);
}

void AppendWriteRanges(const Settings& settings, std::uint64_t size, bool wide,
                       const std::vector<TranslationEntry>& entries,
                       std::vector<ByteRange>& ranges) {
  for (const TranslationEntry& entry : entries) {
    EntrySpan span;
    if (FindEntrySpan(settings, wide, size, entry, span)) {
      ranges.push_back({span.first, span.end - span.first});
    }
  }
}

bool FindTranslationFiles(const char16_t* path, char16_t* pattern,
                          std::vector<std::u16string>& names) {
  // A target whose name cannot take ".tt?" can have no translation file the platform could open.
  if (!CopyText(pattern, kPathCapacity, path) || !AppendText(pattern, kPathCapacity, u".tt?")) {
    return false;
  }
  DirectorySearch search(pattern);
  DirectoryEntry entry;
  while (search.next(entry)) {
    if (!entry.isDirectory) names.emplace_back(entry.name);
  }
  return true;
}

FileOutcome WriteBackFile(const Settings& settings, const char16_t* path, void* /*context*/) {
  // The pattern of the translation files, then the name of each in turn.
  char16_t translation[kPathCapacity];
  std::vector<std::u16string> names;
  if (!FindTranslationFiles(path, translation, names)) return Outcome(kStatusNoFile, path);
  if (names.empty()) return Outcome(kStatusNoFile, translation);
  const std::size_t name = NamePosition(translation);

  MappedFile target(path, /*readOnly=*/false);
  if (target.failed()) return Outcome(kStatusCannotMap, path);
  PoolIndexOwner pool;
  if (settings.android) {
    GuardedIndex job{&pool.index(), target.data(), target.size(), ScanResult::Failed};
    if (!RunGuarded(target.data(), target.size(), RunBuildIndex, &job)) {
      return Outcome(kStatusCannotMap, path);
    }
    if (job.result == ScanResult::NoMemory) return Outcome(kStatusNoMemory, path);
    if (job.result == ScanResult::Failed) return Outcome(kStatusScanFailed, path);
  }

  // Every translation file is read before the target changes, so that the journal can take
  // every range they write at once.
  std::vector<WholeFile> texts(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    // Every match is as long as the pattern, so its name fits where the pattern's did.
    if (CopyText(translation + name, kPathCapacity - name, names[i])) {
      texts[i] = ReadWholeFile(translation);
    }
  }
  std::vector<std::vector<TranslationEntry>> entries;
  if (settings.undoJournal) {
    entries.resize(texts.size());
    std::vector<ByteRange> ranges;
    bool any = false;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      const WholeFile& text = texts[i];
      if (text.data == nullptr) continue;
      const auto textSize = static_cast<std::size_t>(text.size);
      ReadTranslationEntries(text.data.get(), textSize, KeepEntry, &entries[i]);
      any = any || !entries[i].empty();
      AppendWriteRanges(settings, target.size(), IsWideTranslation(text.data.get(), textSize),
                        entries[i], ranges);
    }
    // Pool strings are rewritten with their length fields, anywhere in the pool's string data.
    if (settings.android) {
      ranges.clear();
      const StringPool& strings = pool.index().pool;
      if (any) ranges.push_back({strings.strings, strings.stringsEnd - strings.strings});
    }
    StatusCode failure = kStatusJournalFailed;
    if (!KeepOriginalBytes(path, target, ranges, failure)) return Outcome(failure, path);
  }

  StatusCode result = kStatusNoFile;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (result != kStatusNoFile) ReportStatus(result, translation);
    if (!CopyText(translation + name, kPathCapacity - name, names[i])) continue;
    const WholeFile& text = texts[i];
    if (text.data == nullptr) {
      result = kStatusCannotOpen;
      continue;
    }
    GuardedApply job{&settings,
                     target.data(),
                     target.size(),
                     text.data.get(),
                     static_cast<std::size_t>(text.size),
                     entries.empty() ? nullptr : &entries[i],
                     settings.android ? &pool.index() : nullptr,
                     false};
    if (!RunGuarded(target.data(), target.size(), RunApply, &job)) {
      // The target failed underneath: what was written stays, nothing more is tried.
      return Outcome(kStatusCannotMap, path);
    }
    result = job.applied ? kStatusWrittenBack : kStatusNoMemory;
  }
  return Outcome(result, translation);
}

}  // namespace glos
