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

}  // namespace

FileOutcome ExtractFile(const Settings& settings, const char16_t* path, void* /*context*/) {
  MappedFile target(path, /*readOnly=*/true);
  if (target.failed()) return Outcome(kStatusCannotMap, path);
  // A string pool is read by its chunks, which say themselves whether the file is too short.
  if (!settings.android && target.size() < kMinimumFileSize) {
    return Outcome(kStatusTooSmall, path);
  }

  // The translation file this extraction replaces: its cached pages can serve the new one.
  char16_t translation[kPathCapacity];
  const bool named =
      CopyText(translation, kPathCapacity, path) && AppendText(translation, kPathCapacity, u".ttt");
  if (named) ReleaseFileCache(translation);

  FileSink sink{named ? translation : nullptr, {}};
  OutputOwner owner;
  OutputBuffer& output = owner.buffer();
  bool wide = HasOption(settings, kUnicodeMode);
  if (!ReserveOutput(output, kStreamBuffer) ||
      (!settings.android && !AppendTranslationHeader(output, wide))) {
    return Outcome(kStatusNoMemory, path);
  }
  output.sink = FileSink::Take;
  output.sinkContext = &sink;

  // An Android pool's width is chosen by the pool.
  ScanResult result = ScanResult::Failed;
  auto scan = [&] {
    result = settings.android ? ExtractStringPool(output, target.data(), target.size(), wide)
                              : ScanImage(settings, output, target.data(), target.size());
  };
  if (!RunGuardedCall(target.data(), target.size(), scan) || result == ScanResult::Failed) {
    return Outcome(kStatusScanFailed, path);
  }
  if (result == ScanResult::NoMemory || !AppendLineEnd(output, wide)) {
    return Outcome(kStatusNoMemory, path);
  }
  if (output.flushed + output.size <= kLargestEmptyOutput) {
    return Outcome(kStatusNoString, path);
  }

  // A path that cannot take ".ttt" names no file that could be created: 524 with the target.
  if (!named) return Outcome(kStatusCannotSave, path);
  // The old translation file stays whole unless the new one was written completely. Not
  // flushed: after a crash, extracting the unchanged target again gives the same file.
  FlushOutput(output);
  if (output.failed) return Outcome(kStatusNoMemory, path);
  if (sink.failed || !sink.file.commit(Flush::Lazily)) {
    return Outcome(kStatusCannotSave, translation);
  }
  return Outcome(kStatusExtracted, translation);
}

}  // namespace glos
