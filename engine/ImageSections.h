// Chooses the ranges of a file that extraction scans: the whole file, or the sections of an
// executable image that the exclude list does not name.
#pragma once

#include <cstdint>

#include "core/Settings.h"
#include "engine/OutputBuffer.h"
#include "engine/PartScan.h"

namespace glos {

// Scans file (fileSize bytes) into out. Failed when a PE header field, or a scanned section's
// examined data, lies outside the file, or the file is 4 GiB or more; NoMemory when out could not
// grow. On either, what was appended must not be used.
ScanResult ScanImage(const Settings& settings, OutputBuffer& out, const std::uint8_t* file,
                     std::uint64_t fileSize);

// True when the 8-byte section name, up to its first zero, followed by "|" stands anywhere in
// the exclude list.
bool IsSectionExcluded(const Settings& settings, const std::uint8_t name[8]);

}  // namespace glos
