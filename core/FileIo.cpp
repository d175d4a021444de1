// Whole-file I/O written once for both platforms, on top of their facilities.
#include "core/FileIo.h"

#include <limits>

namespace glos {

std::uint64_t ReplaceWholeFile(const char16_t* path, const void* data, std::uint64_t length,
                               Flush flush) {
  if (length > std::numeric_limits<std::size_t>::max()) return 0;
  ReplacementFile file;
  if (!file.open(path) || !file.write(data, static_cast<std::size_t>(length)) ||
      !file.commit(flush)) {
    return 0;
  }
  return length;
}

}  // namespace glos
