// The Write back operation: every translation file of a target, applied to one read-write view
// once the journal holds what they will overwrite.
#include "engine/WriteBack.h"

#include <algorithm>
#include <cstring>
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

// A copy of the target's bytes around the entries being applied, read and written through the
// file instead of its view: a page first touched through a view costs a fault each (several
// microseconds on some virtual machines), while one call copies a run of pages. Entries mostly
// come in file order, so the window moves on through the file; one that does not fit the window
// sends it back to the file first and starts another at the entry. Only the runs the entries
// wrote go back, so a page they did not write is neither read through a view nor marked changed.
template <typename Target>
class TargetWindow {
 public:
  TargetWindow(const Target& file, WindowSizes sizes) : file_(file), sizes_(sizes) {}

  // The window's copy of the target's bytes [first, end), which lie inside the file, marked as
  // written; null when the file could not be read or memory ran out (noMemory() tells).
  std::uint8_t* reach(std::uint64_t first, std::uint64_t end) {
    const bool fits = first >= base_ && first <= loaded_ + sizes_.readThrough &&
                      end - base_ <= capacity_ && !runs_.empty();
    if (!fits && !start(first, end)) return nullptr;
    if (end > loaded_) {
      // Read on ahead: entries close together then cost one call for many.
      const std::uint64_t limit = std::min(base_ + capacity_, file_.size());
      const std::uint64_t until = std::max(end, std::min(loaded_ + sizes_.readAhead, limit));
      if (!file_.readAt(loaded_, bytes_.get() + (loaded_ - base_),
                        static_cast<std::size_t>(until - loaded_))) {
        return nullptr;
      }
      loaded_ = until;
    }
    ByteRange& last = runs_.back();
    if (last.length == 0) {
      last = {first, end - first};
    } else if (first >= last.offset && first <= last.offset + last.length + sizes_.joinGap) {
      last.length = std::max(last.offset + last.length, end) - last.offset;
    } else {
      runs_.push_back({first, end - first});
    }
    return bytes_.get() + (first - base_);
  }

  bool noMemory() const { return noMemory_; }

  // Writes the runs back to the file; false when that failed, or when the file no longer reaches
  // one of them (cut short underneath: writing would make it grow again). The runs before that
  // one still go back, as they would have entry by entry.
  bool flush() {
    std::uint64_t end = 0;
    for (const ByteRange& run : runs_) end = std::max(end, run.offset + run.length);
    // The file's size, asked once: end when it still reaches that far, as it does as a rule.
    const std::uint64_t reached = end == 0 ? 0 : file_.reachedOf(end);
    bool written = true;
    for (const ByteRange& run : runs_) {
      if (run.length == 0 || !written) continue;
      // What lies before a cut still goes back; the rest fails the run.
      const std::uint64_t stop = std::min(run.offset + run.length, reached);
      if (stop > run.offset) {
        written = file_.writeAt(run.offset, bytes_.get() + (run.offset - base_),
                                static_cast<std::size_t>(stop - run.offset));
      }
      written = written && stop == run.offset + run.length;
    }
    runs_.clear();
    return written;
  }

 private:
  // Sends the window back and starts an empty one at first, big enough for [first, end).
  bool start(std::uint64_t first, std::uint64_t end) {
    if (!flush()) return false;
    if (capacity_ < end - first || bytes_ == nullptr) {
      // A span is at most the file's size, below 4 GiB.
      // No larger than the file: a small target needs no large window.
      const auto bytes =
          static_cast<std::size_t>(std::max(std::min(sizes_.bytes, file_.size()), end - first));
      bytes_ = FileBuffer(static_cast<std::uint8_t*>(AllocateFilledBuffer(bytes)),
                          FilledBufferDeleter{bytes});
      capacity_ = bytes_ == nullptr ? 0 : bytes;
      noMemory_ = bytes_ == nullptr;
      if (noMemory_) return false;
    }
    base_ = first;
    loaded_ = first;
    runs_.push_back({first, 0});
    return true;
  }

  const Target& file_;
  const WindowSizes sizes_;
  FileBuffer bytes_;
  std::uint64_t capacity_ = 0;
  bool noMemory_ = false;
  std::uint64_t base_ = 0;
  std::uint64_t loaded_ = 0;
  std::vector<ByteRange> runs_;  // written so far, in the window's copy; empty when none started
};

// A target held in memory, read and written as the window does a file.
struct MemoryTarget {
  std::uint8_t* data;
  std::uint64_t bytes;
  std::uint64_t size() const { return bytes; }
  std::uint64_t reachedOf(std::uint64_t end) const { return std::min(end, bytes); }
  bool readAt(std::uint64_t offset, void* dest, std::size_t length) const {
    std::memcpy(dest, data + offset, length);
    return true;
  }
  bool writeAt(std::uint64_t offset, const void* source, std::size_t length) const {
    std::memcpy(data + offset, source, length);
    return true;
  }
};

template <typename Target>
struct ApplyContext {
  const Settings* settings;
  TargetWindow<Target>* window;
  std::uint64_t size;
  bool wide;
  bool failed = false;
};

template <typename Target>
void VisitEntry(void* context, const TranslationEntry& entry) {
  auto& c = *static_cast<ApplyContext<Target>*>(context);
  if (c.failed) return;
  EntrySpan span;
  if (!FindEntrySpan(*c.settings, c.wide, c.size, entry, span)) {
    ReportStatusNumber(kStatusOutsideFile, entry.offset);
    return;
  }
  std::uint8_t* first = c.window->reach(span.first, span.end);
  if (first == nullptr) {
    c.failed = true;
    return;
  }
  WriteEntry(*c.settings, c.wide, first + (entry.offset - span.first), entry);
}

// Applies every entry of text to target through a window. Returns 523 when the target could
// not be read or written, 521 when memory ran out (what was written before stays, nothing more
// is tried), else kStatusNone.
template <typename Target>
StatusCode ApplyThroughWindow(const Settings& settings, const Target& target,
                              const std::uint8_t* text, std::size_t textSize, WindowSizes sizes) {
  TargetWindow<Target> window(target, sizes);
  ApplyContext<Target> context{&settings, &window, target.size(),
                               IsWideTranslation(text, textSize)};
  ReadTranslationEntries(text, textSize, VisitEntry<Target>, &context);
  if (!window.flush() || (context.failed && !window.noMemory())) return kStatusCannotMap;
  return context.failed ? kStatusNoMemory : kStatusNone;
}

struct RangeContext {
  const Settings* settings;
  std::uint64_t size;
  bool wide;
  std::vector<ByteRange>* ranges;
};

bool HasEntries(const std::uint8_t* text, std::size_t textSize) {
  bool any = false;
  ReadTranslationEntries(
      text, textSize,
      [](void* context, const TranslationEntry&) { *static_cast<bool*>(context) = true; }, &any);
  return any;
}

void AddEntryRange(void* context, const TranslationEntry& entry) {
  const auto& c = *static_cast<const RangeContext*>(context);
  EntrySpan span;
  if (FindEntrySpan(*c.settings, c.wide, c.size, entry, span)) {
    AppendRange(*c.ranges, {span.first, span.end - span.first});
  }
}

// True when name is one of the target's translation files: the target's own name, ".tt" and one
// more unit. The search pattern reads wildcards in the target's name too, so a target named
// "q?" would otherwise take "qz.ttt" for its own.
bool IsTranslationName(std::u16string_view name, std::u16string_view target) {
  return name.size() == target.size() + 4 && SameName(name.substr(0, target.size()), target) &&
         SameName(name.substr(target.size(), 3), u".tt");
}

// The next entry of search that is a translation file of target; false when there is none.
bool NextTranslation(DirectorySearch& search, std::u16string_view target, DirectoryEntry& entry) {
  while (search.next(entry)) {
    if (IsTranslationName(entry.name, target)) return true;
  }
  return false;
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
                      const std::uint8_t* text, std::size_t textSize, WindowSizes sizes) {
  ApplyThroughWindow(settings, MemoryTarget{target, size}, text, textSize, sizes);
}

void AppendWriteRanges(const Settings& settings, std::uint64_t size, const std::uint8_t* text,
                       std::size_t textSize, std::vector<ByteRange>& ranges) {
  RangeContext context{&settings, size, IsWideTranslation(text, textSize), &ranges};
  ReadTranslationEntries(text, textSize, AddEntryRange, &context);
}

bool FindTranslationFiles(const char16_t* path, char16_t* pattern,
                          std::vector<std::u16string>& names) {
  // A target whose name cannot take ".tt?" can have no translation file the platform could open.
  if (!CopyText(pattern, kPathCapacity, path) || !AppendText(pattern, kPathCapacity, u".tt?")) {
    return false;
  }
  const std::u16string_view targetName(path + NamePosition(path));
  DirectorySearch search(pattern);
  DirectoryEntry entry;
  while (NextTranslation(search, targetName, entry)) {
    if (!entry.isDirectory) names.emplace_back(entry.name);
  }
  return true;
}

bool TargetFiles::select(std::size_t i) {
  // Every match is as long as the pattern, so its name fits where the pattern's did.
  return i < names.size() && CopyText(translation + name, kPathCapacity - name, names[i]);
}

FileOutcome OpenTarget(const Settings& settings, const char16_t* path, bool readOnly,
                       TargetFiles& files) {
  if (!FindTranslationFiles(path, files.translation, files.names)) {
    return Outcome(kStatusNoFile, path);
  }
  if (files.names.empty()) return Outcome(kStatusNoFile, files.translation);
  files.name = NamePosition(files.translation);
  if (!files.view.open(path, readOnly)) return Outcome(kStatusCannotMap, path);
  if (settings.android) {
    const StatusCode failure =
        IndexTargetPool(files.pool.index(), files.view.data(), files.view.size());
    if (failure != kStatusNone) return Outcome(failure, path);
  }
  return Outcome(kStatusNone, path);
}

FileOutcome WriteBackFile(const Settings& settings, const char16_t* path, void* /*context*/) {
  TargetFiles files;
  const FileOutcome opened = OpenTarget(settings, path, /*readOnly=*/false, files);
  if (opened.code != kStatusNone) return opened;
  const MappedFile& target = files.view;

  // Every translation file is read before the target changes, so that the journal can take
  // every range they write at once.
  std::vector<WholeFile> texts(files.names.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (files.select(i)) texts[i] = ReadWholeFile(files.translation);
  }
  if (settings.undoJournal) {
    std::vector<ByteRange> ranges;
    // Room for a range every 32 bytes of text, rarely outgrown: growing copies the ranges into
    // fresh pages each time, which costs more than untouched room.
    std::size_t textBytes = 0;
    for (const WholeFile& text : texts) textBytes += static_cast<std::size_t>(text.size);
    ranges.reserve(textBytes / 32);
    bool any = false;
    for (const WholeFile& text : texts) {
      if (text.data == nullptr) continue;
      const auto textSize = static_cast<std::size_t>(text.size);
      if (settings.android) {
        any = any || HasEntries(text.data.get(), textSize);
      } else {
        AppendWriteRanges(settings, target.size(), text.data.get(), textSize, ranges);
      }
    }
    // Pool strings are rewritten with their length fields, anywhere in the pool's string data.
    if (settings.android && any) {
      const StringPool& strings = files.pool.index().pool;
      ranges.push_back({strings.strings, strings.stringsEnd - strings.strings});
    }
    StatusCode failure = kStatusJournalFailed;
    if (!KeepOriginalBytes(path, target, ranges, failure)) return Outcome(failure, path);
  }

  StatusCode result = kStatusNoFile;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (result != kStatusNoFile) ReportStatus(result, files.translation);
    if (!files.select(i)) continue;
    const WholeFile& text = texts[i];
    if (text.data == nullptr) {
      result = kStatusCannotOpen;
      continue;
    }
    const auto textSize = static_cast<std::size_t>(text.size);
    StatusCode failure = kStatusNone;
    if (settings.android) {
      auto apply = [&] {
        if (!ApplyPoolTranslation(settings, files.pool.index(), target.data(), text.data.get(),
                                  textSize)) {
          failure = kStatusNoMemory;
        }
      };
      if (!RunGuardedCall(target.data(), static_cast<std::size_t>(target.size()), apply)) {
        failure = kStatusCannotMap;
      }
    } else {
      failure = ApplyThroughWindow(settings, target, text.data.get(), textSize, WindowSizes{});
    }
    // The target failed underneath: what was written stays, nothing more is tried.
    if (failure == kStatusCannotMap) return Outcome(kStatusCannotMap, path);
    result = failure == kStatusNone ? kStatusWrittenBack : failure;
  }
  return Outcome(result, files.translation);
}

}  // namespace glos
