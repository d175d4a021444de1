// Check: write-back's reading and rules over a read-only target, and a count per translation file.
#include "engine/Check.h"

#include <cstring>
#include <string>

#include "core/Directory.h"
#include "core/FaultGuard.h"
#include "core/FileIo.h"
#include "core/MappedFile.h"
#include "engine/AndroidPool.h"
#include "engine/Escape.h"
#include "engine/Scanner.h"
#include "engine/UnitAccess.h"
#include "engine/WriteBack.h"

namespace glos {
namespace {

struct Counts {
  std::uint32_t changes = 0;
  std::uint32_t inPlace = 0;
  std::uint32_t reported = 0;
};

// Everything the guarded check of one translation file uses; owned outside the guard.
struct CheckJob {
  const Settings* settings;
  const std::uint8_t* target;
  std::uint64_t size;
  bool wide;
  std::vector<std::uint8_t>* scratch;
  Counts* counts;
};

void Count(void* context, const EntryCheck& check) {
  auto& counts = *static_cast<Counts*>(context);
  if (check.changes) {
    ++counts.changes;
  } else if (!check.outside) {
    ++counts.inPlace;
  }
  if (check.reported) ++counts.reported;
}

void VisitEntry(void* context, const TranslationEntry& entry) {
  const auto& job = *static_cast<const CheckJob*>(context);
  Count(job.counts, CheckEntry(*job.settings, job.target, job.size, job.wide, entry, *job.scratch));
}

}  // namespace

EntryCheck CheckEntry(const Settings& settings, const std::uint8_t* target, std::uint64_t size,
                      bool wide, const TranslationEntry& entry,
                      std::vector<std::uint8_t>& scratch) {
  EntryCheck check;
  EntrySpan span;
  if (!FindEntrySpan(settings, wide, size, entry, span)) {
    ReportStatusNumber(kStatusOutsideFile, entry.offset);
    check.reported = true;
    check.outside = true;
    return check;
  }
  const std::size_t width = wide ? 2 : 1;
  const std::size_t produced =
      wide ? UnescapedLength(static_cast<const char16_t*>(entry.text), entry.textLength)
           : UnescapedLength(static_cast<const std::uint8_t*>(entry.text), entry.textLength);
  if (!HasOption(settings, kNoLengthCheck) && produced > entry.length) check.reported = true;

  // Write-back's own writing, into a copy of the bytes it would touch.
  const auto bytes = static_cast<std::size_t>(span.end - span.first);
  scratch.resize(bytes);
  std::memcpy(scratch.data(), target + span.first, bytes);
  if (!WriteEntry(settings, wide, scratch.data() + (entry.offset - span.first), entry)) {
    check.reported = true;
  }
  check.changes = std::memcmp(scratch.data(), target + span.first, bytes) != 0;

  const std::uint64_t end = entry.offset + std::uint64_t{entry.length} * width;
  const std::uint16_t after =
      end + width > size ? 0 : (wide ? LoadUnit<std::uint16_t>(target + end) : target[end]);
  if (end + width > size || !IsTerminatorUnit(after, Terminator(settings), wide)) {
    ReportStatusNumber(kStatusStaleSlot, entry.offset);
    check.reported = true;
  }
  return check;
}

FileOutcome CheckFile(const Settings& settings, const char16_t* path, void* /*context*/) {
  TargetFiles files;
  const FileOutcome opened = OpenTarget(settings, path, /*readOnly=*/true, files);
  if (opened.code != kStatusNone) return opened;
  const MappedFile& target = files.view;

  std::vector<std::uint8_t> scratch;
  for (std::size_t i = 0; i < files.names.size(); ++i) {
    if (!files.select(i)) continue;
    const WholeFile text = ReadWholeFile(files.translation);
    if (text.data == nullptr) {
      ReportStatus(kStatusCannotOpen, files.translation);
      continue;
    }
    Counts counts;
    const auto textSize = static_cast<std::size_t>(text.size);
    CheckJob job{&settings,     target.data(),
                 target.size(), IsWideTranslation(text.data.get(), textSize),
                 &scratch,      &counts};
    bool done = true;
    auto check = [&] {
      if (settings.android) {
        done = CheckPoolTranslation(settings, files.pool.index(), target.data(), text.data.get(),
                                    textSize, Count, &counts);
      } else {
        ReadTranslationEntries(text.data.get(), textSize, VisitEntry, &job);
      }
    };
    if (!RunGuardedCall(target.data(), static_cast<std::size_t>(target.size()), check)) {
      return Outcome(kStatusCannotMap, path);
    }
    if (!done) return Outcome(kStatusNoMemory, path);
    ReportStatusCounts(kStatusCheckSummary, files.translation, counts.changes, counts.inPlace,
                       counts.reported);
  }
  return Outcome(kStatusChecked, path);
}

}  // namespace glos
