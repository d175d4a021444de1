// MappedFile's moves, the same on every platform: the handles change owner, the source is left
// closed. Opening and releasing are the platform's (core/posix, core/win32).
#include "core/MappedFile.h"

#include <utility>

namespace glos {

MappedFile::MappedFile(MappedFile&& other) noexcept
    : file_(std::exchange(other.file_, -1)),
      mapping_(std::exchange(other.mapping_, 0)),
      view_(std::exchange(other.view_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    close();
    file_ = std::exchange(other.file_, -1);
    mapping_ = std::exchange(other.mapping_, 0);
    view_ = std::exchange(other.view_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

}  // namespace glos
