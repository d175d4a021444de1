// Chooses the ranges of a file that extraction scans, by the sections of an executable image.
#include "engine/ImageSections.h"

#include <cstddef>

#include "core/Text.h"
#include "engine/Scanner.h"
#include "engine/UnitAccess.h"

namespace glos {

namespace {

constexpr std::uint64_t kLfanewField = 0x3C;
constexpr std::uint64_t kSectionHeaderSize = 40;

// True when the width bytes at offset lie inside the file; every sum stays far below 2^64.
bool Inside(std::uint64_t fileSize, std::uint64_t offset, std::uint64_t width) {
  return offset <= fileSize && fileSize - offset >= width;
}

ScanResult ScanRange(const Settings& settings, OutputBuffer& out, const std::uint8_t* file,
                     std::uint64_t fileSize, std::uint64_t start, std::uint64_t size) {
  return ScanInParts(settings, out, file, fileSize, start, size);
}

}  // namespace

bool IsSectionExcluded(const Settings& settings, const std::uint8_t name[8]) {
  std::size_t nameLength = 0;
  while (nameLength < 8 && name[nameLength] != 0) ++nameLength;
  const char16_t* list = settings.excludeList;
  std::size_t listLength = 0;
  while (listLength < kPathCapacity && list[listLength] != 0) ++listLength;
  for (std::size_t start = 0; start + nameLength < listLength; ++start) {
    std::size_t matched = 0;
    while (matched < nameLength && list[start + matched] == name[matched]) ++matched;
    if (matched == nameLength && list[start + nameLength] == u'|') return true;
  }
  return false;
}

ScanResult ScanImage(const Settings& settings, OutputBuffer& out, const std::uint8_t* file,
                     std::uint64_t fileSize) {
  // Entries hold 32-bit offsets; a larger file cannot be described.
  if (fileSize > 0xFFFFFFFFu) return ScanResult::Failed;
  const bool isImage =
      settings.excludeList[0] != 0 && fileSize >= 2 && file[0] == 'M' && file[1] == 'Z';
  if (!isImage) return ScanRange(settings, out, file, fileSize, 0, fileSize);

  if (!Inside(fileSize, kLfanewField, 4)) return ScanResult::Failed;
  const std::uint64_t signatureAt = LoadUnit<std::uint32_t>(file + kLfanewField);
  if (!Inside(fileSize, signatureAt, 4)) return ScanResult::Failed;
  static constexpr std::uint8_t kSignature[4] = {'P', 'E', 0, 0};
  for (std::size_t i = 0; i < 4; ++i) {
    if (file[signatureAt + i] != kSignature[i]) {
      return ScanRange(settings, out, file, fileSize, 0, fileSize);
    }
  }

  if (!Inside(fileSize, signatureAt + 6, 2) || !Inside(fileSize, signatureAt + 20, 2)) {
    return ScanResult::Failed;
  }
  const std::uint64_t sectionCount = LoadUnit<std::uint16_t>(file + signatureAt + 6);
  const std::uint64_t optionalHeaderSize = LoadUnit<std::uint16_t>(file + signatureAt + 20);
  const std::uint64_t tableAt = signatureAt + 24 + optionalHeaderSize;
  const std::uint64_t unitMask = HasOption(settings, kUnicodeMode) ? ~std::uint64_t{1} : ~0ull;

  for (std::uint64_t i = 0; i < sectionCount; ++i) {
    const std::uint64_t headerAt = tableAt + i * kSectionHeaderSize;
    if (!Inside(fileSize, headerAt, 8)) return ScanResult::Failed;
    if (IsSectionExcluded(settings, file + headerAt)) continue;
    if (!Inside(fileSize, headerAt + 16, 8)) return ScanResult::Failed;
    const std::uint64_t rawSize = LoadUnit<std::uint32_t>(file + headerAt + 16);
    const std::uint64_t rawAt = LoadUnit<std::uint32_t>(file + headerAt + 20);
    // A UTF-16 scan never examines an odd last byte, so only whole units must lie inside.
    const std::uint64_t examined = rawSize & unitMask;
    if (examined == 0) continue;
    if (!Inside(fileSize, rawAt, examined)) return ScanResult::Failed;
    const ScanResult result = ScanRange(settings, out, file, fileSize, rawAt, examined);
    if (result != ScanResult::Complete) return result;
  }
  return ScanResult::Complete;
}

}  // namespace glos
