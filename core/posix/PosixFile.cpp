// Descriptors and locked opening of files on POSIX.
//
// POSIX platform layer, file descriptors. Only open(2), fstat(2), fcntl(2) locking and close(2)
// live here.
#include "core/posix/PosixFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace glos::posix {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    reset();
    fd_ = other.release();
  }
  return *this;
}

int FileDescriptor::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

bool FileDescriptor::reset() {
  if (fd_ < 0) return true;
  // After an interrupted close the descriptor is gone on Linux; retrying could close another.
  const int result = ::close(fd_);
  fd_ = -1;
  return result == 0 || errno == EINTR;
}

FileDescriptor OpenShared(const char* path, FileAccess access, bool create, struct stat& info) {
  // Opening a FIFO or a device without O_NONBLOCK could wait forever for the other end; such
  // files are refused below, and for regular files the flag changes nothing.
  int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  switch (access) {
    case FileAccess::Read:
      flags |= O_RDONLY;
      break;
    case FileAccess::Write:
      flags |= O_WRONLY;
      break;
    case FileAccess::ReadWrite:
      flags |= O_RDWR;
      break;
  }
  if (create) flags |= O_CREAT;
  // Opening a device or FIFO can act on it (a waiting peer let go, a tape rewound), so the type
  // is checked before the open; the check after it catches a file swapped in between.
  struct stat before;
  if (::stat(path, &before) == 0 ? !S_ISREG(before.st_mode) : errno != ENOENT) {
    return FileDescriptor();
  }
  FileDescriptor fd(::open(path, flags, 0666));
  if (!fd.valid()) return FileDescriptor();
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return FileDescriptor();
  if (access != FileAccess::Read && !HasWriteBit(info.st_mode)) return FileDescriptor();

  struct flock lock = {};
  lock.l_type = access == FileAccess::Read ? F_RDLCK : F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;  // the whole file, however long it grows
  if (::fcntl(fd.get(), F_OFD_SETLK, &lock) != 0) return FileDescriptor();
  return fd;
}

}  // namespace glos::posix
