// The Extract operation: map the file, scan it under the fault guard, write its ".ttt".
#include "engine/Extract.h"

#include "core/FaultGuard.h"
#include "core/FileIo.h"
#include "core/MappedFile.h"
#include "core/Text.h"
#include "engine/AndroidPool.h"
#include "engine/ImageSections.h"
#include "engine/TranslationFile.h"

namespace glos {
namespace {

inline constexpr std::uint64_t kMinimumFileSize = 512;
// Header and CR LF alone: 13 bytes 8-bit, 28 bytes UTF-16; any entry adds at least 18 units.
inline constexpr std::size_t kLargestEmptyOutput = 29;

struct ScanJob {
  const Settings* settings;
  OutputBuffer* output;
  const std::uint8_t* file;
  std::uint64_t size;
  ScanResult result;
  bool wide;  // an Android pool's width, chosen by the pool
};

void RunScan(void* context) {
  auto* job = static_cast<ScanJob*>(context);
  if (job->settings->android) {
    job->result = ExtractStringPool(*job->output, job->file, job->size, job->wide);
    return;
  }
  job->result = ScanImage(*job->settings, *job->output, job->file, job->size);
}

}  // namespace

StatusCode ExtractFile(const Settings& settings, char16_t* path, void* /*context*/) {
  MappedFile target(path, /*readOnly=*/true);
  if (target.failed()) return kStatusCannotMap;
  // A string pool is read by its chunks, which say themselves whether the file is too short.
  if (!settings.android && target.size() < kMinimumFileSize) return kStatusTooSmall;

  // The translation file this extraction replaces: its cached pages can serve the new one.
  char16_t translation[kPathCapacity];
  if (CopyText(translation, kPathCapacity, path) &&
      AppendText(translation, kPathCapacity, u".ttt")) {
    ReleaseFileCache(translation);
  }

  OutputOwner owner;
  OutputBuffer& output = owner.buffer();
  bool wide = HasOption(settings, kUnicodeMode);
  if (!ReserveOutput(output, 2 * target.size()) ||
      (!settings.android && !AppendTranslationHeader(output, wide))) {
    return kStatusNoMemory;
  }

  ScanJob job{&settings, &output, target.data(), target.size(), ScanResult::Failed, wide};
  if (!RunGuarded(target.data(), target.size(), RunScan, &job)) return kStatusScanFailed;
  if (job.result == ScanResult::Failed) return kStatusScanFailed;
  wide = job.wide;
  if (job.result == ScanResult::NoMemory || !AppendLineEnd(output, wide)) return kStatusNoMemory;
  if (output.size <= kLargestEmptyOutput) return kStatusNoString;

  // A path that cannot take ".ttt" names no file that could be created: 524 with the target.
  if (!AppendText(path, kPathCapacity, u".ttt")) return kStatusCannotSave;
  // The old translation file stays whole unless the new one was written completely. Not
  // flushed: after a crash, extracting the unchanged target again gives the same file.
  if (ReplaceWholeFile(path, output.data, output.size, Flush::Lazily) == 0) {
    return kStatusCannotSave;
  }
  return kStatusExtracted;
}

}  // namespace glos
