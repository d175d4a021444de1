// Whole-file reads, writes and replacements on POSIX.
//
// POSIX platform layer, whole-file I/O. Only read(2)/write(2) loops that move a whole file between
// disk and one buffer, and the temporary file plus rename(2) that make a replacement
// all-or-nothing, live here. Every file is opened through PosixFile, so these calls respect the
// same locks as mapped files.
#include "core/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/posix/NativeText.h"
#include "core/posix/PosixFile.h"

namespace glos {
namespace {

using posix::FileAccess;
using posix::FileDescriptor;

// Each read or write call moves at most this many bytes, well inside ssize_t.
constexpr std::uint64_t kChunk = std::uint64_t{1} << 30;

bool WriteAll(int fd, const void* data, std::uint64_t length) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::uint64_t done = 0;
  while (done < length) {
    const std::uint64_t rest = length - done;
    const ssize_t written =
        ::write(fd, bytes + done, static_cast<std::size_t>(rest < kChunk ? rest : kChunk));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<std::uint64_t>(written);
  }
  return true;
}

// A file created for a replacement; removed again unless it has been renamed into place.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    fd.reset();
    if (created) ::unlink(path);
  }

  FileDescriptor fd;
  char path[posix::kNativePathCapacity + 64] = {};
  bool created = false;
};

// Creates a new, empty file in the directory of target with a name no other file has.
bool CreateTemporaryBeside(const posix::NativePath& target, TemporaryFile& temp) {
  static unsigned counter = 0;
  std::size_t directory = target.length;
  while (directory > 0 && target.bytes[directory - 1] != '/') --directory;
  for (int attempt = 0; attempt < 64; ++attempt) {
    // A short name of our own, so that a target name near the length limit still leaves room.
    const int length = std::snprintf(temp.path, sizeof temp.path, "%.*s.~glos%lx-%x.tmp",
                                     static_cast<int>(directory), target.bytes,
                                     static_cast<unsigned long>(::getpid()), counter++);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof temp.path) return false;
    temp.fd =
        FileDescriptor(::open(temp.path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
    if (temp.fd.valid()) {
      temp.created = true;
      return true;
    }
    // Only a name clash is worth another try; a missing directory or a denied write is not.
    if (errno != EEXIST) return false;
  }
  return false;
}

// Puts the entries of the directory holding path on disk, so that a name just made or moved
// there survives a crash.
bool SyncDirectoryOf(const posix::NativePath& path) {
  std::size_t directory = path.length;
  while (directory > 0 && path.bytes[directory - 1] != '/') --directory;
  char name[posix::kNativePathCapacity + 2];
  if (directory == 0) {
    name[0] = '.';
    name[1] = 0;
  } else {
    std::memcpy(name, path.bytes, directory);
    name[directory] = 0;
  }
  FileDescriptor fd(::open(name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd.valid() && ::fsync(fd.get()) == 0;
}

}  // namespace

WholeFile ReadWholeFile(const char16_t* path) {
  WholeFile result;
  const posix::NativePath native = posix::ToNativePath(path);
  if (!native.ok) return result;
  struct stat info;
  FileDescriptor fd = posix::OpenShared(native.bytes, FileAccess::Read, false, info);
  if (!fd.valid()) return result;

  const std::uint64_t size = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
  if (size >= (std::uint64_t{1} << 32)) return result;

  const auto bytes = static_cast<std::size_t>(size + kWholeFileZeros);
  FileBuffer buffer(static_cast<std::uint8_t*>(AllocateFilledBuffer(bytes)),
                    FilledBufferDeleter{bytes});
  if (!buffer) return result;
  std::uint64_t done = 0;
  while (done < size) {
    const std::uint64_t rest = size - done;
    const ssize_t got = ::read(fd.get(), buffer.get() + done,
                               static_cast<std::size_t>(rest < kChunk ? rest : kChunk));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return result;
    if (got == 0) break;  // the file shrank since its size was taken
    done += static_cast<std::uint64_t>(got);
  }
  // Zeros after the content end it both as 8-bit and as UTF-16 text.
  std::memset(buffer.get() + done, 0, static_cast<std::size_t>(size + kWholeFileZeros - done));
  result.data = std::move(buffer);
  result.size = done;
  return result;
}

std::uint64_t WriteWholeFile(const char16_t* path, const void* data, std::uint64_t length,
                             bool append) {
  const posix::NativePath native = posix::ToNativePath(path);
  if (!native.ok) return 0;
  struct stat info;
  FileDescriptor fd = posix::OpenShared(
      native.bytes, append ? FileAccess::ReadWrite : FileAccess::Write, true, info);
  if (!fd.valid()) return 0;
  // Truncating only once the lock is held leaves a file that another program has open intact.
  if (append ? ::lseek(fd.get(), 0, SEEK_END) < 0 : ::ftruncate(fd.get(), 0) != 0) return 0;
  if (!WriteAll(fd.get(), data, length)) return 0;
  return fd.reset() ? length : 0;
}

std::uint64_t ReplaceWholeFile(const char16_t* path, const void* data, std::uint64_t length,
                               Flush flush) {
  const posix::NativePath native = posix::ToNativePath(path);
  if (!native.ok) return 0;

  // An existing target must be one we could write and nobody else has open, as replacing a file
  // on Windows requires; holding its lock until the rename keeps it that way.
  struct stat info;
  FileDescriptor existing = posix::OpenShared(native.bytes, FileAccess::Write, false, info);
  const bool targetExists = existing.valid();
  if (!targetExists) {
    // Only a name that does not exist at all may be created; anything there we could not open
    // (a directory, a locked or read-only file) stays as it is.
    struct stat any;
    if (::lstat(native.bytes, &any) == 0 || errno != ENOENT) return 0;
  }

  TemporaryFile temp;
  if (!CreateTemporaryBeside(native, temp)) return 0;
  if (targetExists && ::fchmod(temp.fd.get(), info.st_mode & 07777) != 0) return 0;
  if (!WriteAll(temp.fd.get(), data, length)) return 0;
  // Flushed, the content is on disk before the name points at it, so a crash leaves one of the
  // two files whole.
  if (flush == Flush::ToDisk && ::fsync(temp.fd.get()) != 0) return 0;
  if (!temp.fd.reset()) return 0;
  if (::rename(temp.path, native.bytes) != 0) return 0;
  temp.created = false;
  if (flush == Flush::ToDisk && !SyncDirectoryOf(native)) return 0;
  return length;
}

bool AppendDurably(const char16_t* path, std::uint64_t keep, const void* data,
                   std::uint64_t length) {
  const posix::NativePath native = posix::ToNativePath(path);
  if (!native.ok) return false;
  struct stat info;
  FileDescriptor fd = posix::OpenShared(native.bytes, FileAccess::ReadWrite, false, info);
  if (!fd.valid() || keep > static_cast<std::uint64_t>(info.st_size)) return false;
  if (::ftruncate(fd.get(), static_cast<off_t>(keep)) != 0 ||
      ::lseek(fd.get(), static_cast<off_t>(keep), SEEK_SET) < 0) {
    return false;
  }
  return WriteAll(fd.get(), data, length) && ::fsync(fd.get()) == 0 && fd.reset();
}

bool RemoveFile(const char16_t* path) {
  const posix::NativePath native = posix::ToNativePath(path);
  if (!native.ok) return false;
  return ::unlink(native.bytes) == 0 || errno == ENOENT;
}

void ReleaseFileCache(const char16_t* path) {
  const posix::NativePath native = posix::ToNativePath(path);
  if (!native.ok) return;
  // Non-blocking, so that a FIFO under that name is not waited on.
  FileDescriptor fd(::open(native.bytes, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  struct stat info;
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
}

}  // namespace glos
