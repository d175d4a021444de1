// The Write back operation: every translation file of a target, applied to one read-write view.
#include "engine/WriteBack.h"

#include "core/Directory.h"
#include "core/FaultGuard.h"
#include "core/FileIo.h"
#include "core/MappedFile.h"
#include "engine/Escape.h"
#include "engine/TranslationFile.h"
#include "engine/UnitAccess.h"

namespace glos {
namespace {

struct ApplyContext {
  const Settings* settings;
  std::uint8_t* target;
  std::uint64_t size;
  bool wide;
};

template <typename Unit>
void ApplyEntry(const ApplyContext& c, const TranslationEntry& entry) {
  constexpr std::uint64_t width = sizeof(Unit);
  const Settings& settings = *c.settings;
  const auto* text = static_cast<const Unit*>(entry.text);
  const bool prefixed = HasOption(settings, kLengthPrefixed);
  const bool noLengthCheck = HasOption(settings, kNoLengthCheck);

  // Every unit the entry may write must lie inside the target: its slot, a run-on text under
  // NoLengthCheck, and the length prefix before the slot.
  std::uint64_t units = entry.length;
  if (noLengthCheck) {
    const std::uint64_t produced = UnescapedLength(text, entry.textLength);
    if (produced > units) units = produced;
  }
  const std::uint64_t offset = entry.offset;
  const bool inside =
      offset <= c.size && units <= (c.size - offset) / width && (!prefixed || offset >= width);
  if (!inside) {
    ReportStatusNumber(kStatusOutsideFile, entry.offset);
    return;
  }

  std::uint8_t* slot = c.target + offset;
  const std::uint32_t written =
      UnescapeText(settings, slot, text, entry.textLength, entry.length, /*prefix=*/false);
  if (!prefixed) return;
  std::uint8_t* prefix = slot - width;
  const std::uint64_t stored = LoadUnit<Unit>(prefix);
  if (!noLengthCheck && stored != entry.length) {
    ReportStatusNumber(kStatusLengthMismatch, entry.offset);
    return;
  }
  StoreUnit<Unit>(prefix, static_cast<Unit>(written));
}

void VisitEntry(void* context, const TranslationEntry& entry) {
  const auto& c = *static_cast<const ApplyContext*>(context);
  if (c.wide) {
    ApplyEntry<char16_t>(c, entry);
  } else {
    ApplyEntry<std::uint8_t>(c, entry);
  }
}

struct GuardedApply {
  const Settings* settings;
  std::uint8_t* target;
  std::uint64_t size;
  const std::uint8_t* text;
  std::size_t textSize;
};

void RunApply(void* context) {
  const auto& job = *static_cast<const GuardedApply*>(context);
  ApplyTranslation(*job.settings, job.target, job.size, job.text, job.textSize);
}

}  // namespace

void ApplyTranslation(const Settings& settings, std::uint8_t* target, std::uint64_t size,
                      const std::uint8_t* text, std::size_t textSize) {
  ApplyContext context{&settings, target, size, IsWideTranslation(text, textSize)};
  ReadTranslationEntries(text, textSize, VisitEntry, &context);
}

FileOutcome WriteBackFile(const Settings& settings, const char16_t* path, void* /*context*/) {
  // The pattern of the translation files, then the name of each in turn.
  char16_t translation[kPathCapacity];
  // A target whose name cannot take ".tt?" can have no translation file the platform could open.
  if (!CopyText(translation, kPathCapacity, path) ||
      !AppendText(translation, kPathCapacity, u".tt?")) {
    return Outcome(kStatusNoFile, path);
  }

  DirectorySearch search(translation);
  DirectoryEntry entry;
  if (!search.next(entry)) return Outcome(kStatusNoFile, translation);

  MappedFile target(path, /*readOnly=*/false);
  if (target.failed()) return Outcome(kStatusCannotMap, path);
  const std::size_t name = NamePosition(translation);

  StatusCode result = kStatusNoFile;
  do {
    if (entry.isDirectory) continue;
    if (result != kStatusNoFile) ReportStatus(result, translation);
    // Every match is as long as the pattern, so its name fits where the pattern's did.
    if (!CopyText(translation + name, kPathCapacity - name, entry.name)) continue;
    WholeFile text = ReadWholeFile(translation);
    if (text.data == nullptr) {
      result = kStatusCannotOpen;
      continue;
    }
    GuardedApply job{&settings, target.data(), target.size(), text.data.get(),
                     static_cast<std::size_t>(text.size)};
    if (!RunGuarded(target.data(), target.size(), RunApply, &job)) {
      // The target failed underneath: what was written stays, nothing more is tried.
      return Outcome(kStatusCannotMap, path);
    }
    result = kStatusWrittenBack;
  } while (search.next(entry));
  return Outcome(result, translation);
}

}  // namespace glos
