// Scanning one range of a file in parts on several threads, the entries joined in order.
#pragma once

#include <cstdint>

#include "core/Settings.h"
#include "engine/OutputBuffer.h"

namespace glos {

enum class ScanResult { Complete, Failed, NoMemory };

// Scans [start, start + size) of file (fileSize bytes) into out, as ScanBytes or ScanWide by
// UnicodeMode. A large range is cut into parts of about partBytes, scanned by up to `threads`
// threads and appended in order: the same entries as a single pass, as every cut lies where the
// scan starts afresh (FindCut). Failed when reading the file faulted in any part, NoMemory when
// an output could not grow; out is then not to be used. partBytes 0 takes the default size and
// threads 0 the processor count.
ScanResult ScanInParts(const Settings& settings, OutputBuffer& out, const std::uint8_t* file,
                       std::uint64_t fileSize, std::uint64_t start, std::uint64_t size,
                       std::uint64_t partBytes = 0, unsigned threads = 0);

}  // namespace glos
