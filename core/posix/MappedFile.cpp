// A whole file mapped into memory on POSIX.
//
// POSIX platform layer, mapped files. Only the mmap(2)/munmap(2) pair behind MappedFile lives
// here; opening and locking the file is PosixFile's. The view is a shared mapping, so changes
// made through a read-write view are the file's as soon as they are made; the descriptor stays
// open with its lock for as long as the view exists, which keeps other writers out.
#include "core/MappedFile.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/posix/NativeText.h"
#include "core/posix/PosixFile.h"

namespace glos {

bool MappedFile::open(const char16_t* path, bool readOnly) {
  release();
  const posix::NativePath native = posix::ToNativePath(path);
  if (!native.ok) return false;
  struct stat info;
  posix::FileDescriptor fd = posix::OpenShared(
      native.bytes, readOnly ? posix::FileAccess::Read : posix::FileAccess::ReadWrite, false, info);
  if (!fd.valid()) return false;

  // An empty file has nothing to map; a file of 4 GiB or more is outside the model and is never
  // cut to a 32-bit size.
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (info.st_size <= 0 || size >= (std::uint64_t{1} << 32)) return false;

  const int protection = readOnly ? PROT_READ : PROT_READ | PROT_WRITE;
  void* view = ::mmap(nullptr, static_cast<std::size_t>(size), protection, MAP_SHARED, fd.get(), 0);
  if (view == MAP_FAILED) return false;

  file_ = fd.release();
  view_ = static_cast<std::uint8_t*>(view);
  size_ = size;
  return true;
}

bool MappedFile::identify(FileIdentity& identity) const {
  struct stat info;
  if (view_ == nullptr || ::fstat(static_cast<int>(file_), &info) != 0) return false;
  identity.volume = static_cast<std::uint64_t>(info.st_dev);
  identity.file = static_cast<std::uint64_t>(info.st_ino);
  return true;
}

namespace {

// Maps the pages of [offset, offset + length) of a view of size bytes in one call, as advice
// says. Errors are of no consequence: the pages then fault one by one as without this call, and
// a file cut short underneath makes the call fail, not fault.
void Populate(std::uint8_t* view, std::uint64_t size, std::uint64_t offset, std::uint64_t length,
              int advice) {
  if (view == nullptr || offset > size || length > size - offset || length == 0) return;
  const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
  const std::uint64_t first = offset / page * page;
  ::madvise(view + first, static_cast<std::size_t>(offset + length - first), advice);
}

}  // namespace

void MappedFile::prepareForReading(std::uint64_t offset, std::uint64_t length) const {
  Populate(view_, size_, offset, length, MADV_POPULATE_READ);
}

namespace {

// Moves length bytes at offset with pread or pwrite, as many calls as they take.
template <typename Call, typename Pointer>
bool TransferAt(int fd, std::uint64_t size, std::uint64_t offset, Pointer data, std::size_t length,
                Call call) {
  if (fd < 0 || offset > size || length > size - offset) return false;
  while (length != 0) {
    const ssize_t done = call(fd, data, length, static_cast<off_t>(offset));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    const auto n = static_cast<std::size_t>(done);
    data += n;
    offset += n;
    length -= n;
  }
  return true;
}

}  // namespace

bool MappedFile::readAt(std::uint64_t offset, void* dest, std::size_t length) const {
  return view_ != nullptr && TransferAt(static_cast<int>(file_), size_, offset,
                                        static_cast<std::uint8_t*>(dest), length, ::pread);
}

bool MappedFile::writeAt(std::uint64_t offset, const void* source, std::size_t length) const {
  return view_ != nullptr && TransferAt(static_cast<int>(file_), size_, offset,
                                        static_cast<const std::uint8_t*>(source), length, ::pwrite);
}

std::uint64_t MappedFile::reachedOf(std::uint64_t end) const {
  struct stat info;
  if (view_ == nullptr || ::fstat(static_cast<int>(file_), &info) != 0 || info.st_size < 0) {
    return 0;
  }
  const auto size = static_cast<std::uint64_t>(info.st_size);
  return size < end ? size : end;
}

bool MappedFile::flush() {
  if (view_ == nullptr) return false;
  return ::msync(view_, static_cast<std::size_t>(size_), MS_SYNC) == 0 &&
         ::fdatasync(static_cast<int>(file_)) == 0;
}

void MappedFile::close() { release(); }

void MappedFile::release() {
  if (view_ != nullptr) ::munmap(view_, static_cast<std::size_t>(size_));
  view_ = nullptr;
  mapping_ = 0;
  // Closing the descriptor also drops its lock.
  if (file_ >= 0) posix::FileDescriptor(static_cast<int>(file_)).reset();
  file_ = -1;
  size_ = 0;
}

}  // namespace glos
