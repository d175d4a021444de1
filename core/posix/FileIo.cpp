// Whole-file reads, writes and replacements on POSIX.
//
// POSIX platform layer, whole-file I/O. Only read(2)/write(2) loops that move a whole file between
// disk and one buffer, and the new file (unnamed with O_TMPFILE where the file system has it, else
// under a temporary name) plus linkat(2)/rename(2) that make a replacement all-or-nothing, live
// here. Every file is opened through PosixFile, so these calls respect the
// same locks as mapped files.
#include "core/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "core/WholeFileRead.h"
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

// The length of the directory part of path, its last "/" included; 0 when it has none.
std::size_t DirectoryLength(const posix::NativePath& path) {
  std::size_t length = path.length;
  while (length > 0 && path.bytes[length - 1] != '/') --length;
  return length;
}

// Lets make take a name of our temporary pattern in the directory of target (a link to an unnamed
// file, or a new file made with O_EXCL), trying another while make fails with EEXIST. False when
// no name could be had.
template <typename MakeName>
bool TakeTemporaryName(const posix::NativePath& target, char* name, std::size_t capacity,
                       MakeName make) {
  static std::atomic<unsigned> counter{0};
  const std::size_t directory = DirectoryLength(target);
  for (int attempt = 0; attempt < 64; ++attempt) {
    // A short name of our own, so that a target name near the length limit still leaves room.
    const int length =
        std::snprintf(name, capacity, "%.*s.~glos%lx-%x.tmp", static_cast<int>(directory),
                      target.bytes, static_cast<unsigned long>(::getpid()), counter++);
    if (length < 0 || static_cast<std::size_t>(length) >= capacity) return false;
    if (make(name)) return true;
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

// The new file: unnamed (O_TMPFILE) until commit links it, or created under a temporary name.
struct ReplacementFile::State {
  posix::NativePath target;
  FileDescriptor existing;  // the file being replaced, locked until the rename
  FileDescriptor file;
  bool unnamed = false;
  bool named = false;  // temporary holds a name of ours that must go unless renamed
  char temporary[posix::kNativePathCapacity + 64] = {};

  ~State() {
    file.reset();
    if (named) ::unlink(temporary);
  }
};

ReplacementFile::ReplacementFile() = default;
ReplacementFile::~ReplacementFile() = default;

bool ReplacementFile::open(const char16_t* path) {
  state_.reset();
  auto state = std::make_unique<State>();
  state->target = posix::ToNativePath(path);
  if (!state->target.ok) return false;
  const char* target = state->target.bytes;

  // An existing target must be one we could write and nobody else has open, as replacing a file
  // on Windows requires; holding its lock until the rename keeps it that way.
  struct stat info;
  state->existing = posix::OpenShared(target, FileAccess::Write, false, info);
  if (!state->existing.valid()) {
    // Only a name that does not exist at all may be created; anything there we could not open
    // (a directory, a locked or read-only file) stays as it is.
    struct stat any;
    if (::lstat(target, &any) == 0 || errno != ENOENT) return false;
  }

  char directory[posix::kNativePathCapacity + 2];
  const std::size_t length = DirectoryLength(state->target);
  std::snprintf(directory, sizeof directory, "%.*s", static_cast<int>(length),
                length == 0 ? "." : target);
#if defined(O_TMPFILE)
  state->file =
      FileDescriptor(::open(length == 0 ? "." : directory, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
  state->unnamed = state->file.valid();
#endif
  if (!state->unnamed) {
    const bool created = TakeTemporaryName(
        state->target, state->temporary, sizeof state->temporary, [&](const char* name) {
          state->file = FileDescriptor(
              ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
          return state->file.valid();
        });
    if (!created) return false;
    state->named = true;
  }
  // A replaced file keeps its permissions, never the set-id and sticky bits.
  if (state->existing.valid() && ::fchmod(state->file.get(), info.st_mode & 0777) != 0) {
    return false;
  }
  state_ = std::move(state);
  return true;
}

bool ReplacementFile::write(const void* data, std::size_t length) {
  return state_ != nullptr && WriteAll(state_->file.get(), data, length);
}

bool ReplacementFile::commit(Flush flush) {
  if (state_ == nullptr) return false;
  State& state = *state_;
  // Flushed, the content is on disk before the name points at it, so a crash leaves one of the
  // two files whole.
  if (flush == Flush::ToDisk && ::fsync(state.file.get()) != 0) return false;
  if (state.unnamed) {
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", state.file.get());
    auto link = [&](const char* name) {
      // Through /proc, as linking a descriptor itself takes a privilege; without /proc, try it.
      return ::linkat(AT_FDCWD, self, AT_FDCWD, name, AT_SYMLINK_FOLLOW) == 0 ||
             (errno == ENOENT &&
              ::linkat(state.file.get(), "", AT_FDCWD, name, AT_EMPTY_PATH) == 0);
    };
    // A name that is free takes the file at once; one in use is replaced by a rename.
    if (!state.existing.valid() && link(state.target.bytes)) {
      const bool done =
          state.file.reset() && (flush != Flush::ToDisk || SyncDirectoryOf(state.target));
      state_.reset();
      return done;
    }
    if (!TakeTemporaryName(state.target, state.temporary, sizeof state.temporary, link)) {
      return false;
    }
    state.named = true;
  }
  if (!state.file.reset()) return false;
  if (::rename(state.temporary, state.target.bytes) != 0) return false;
  state.named = false;
  const bool synced = flush != Flush::ToDisk || SyncDirectoryOf(state.target);
  state_.reset();
  return synced;
}

WholeFile ReadWholeFile(const char16_t* path) {
  const posix::NativePath native = posix::ToNativePath(path);
  if (!native.ok) return {};
  struct stat info;
  FileDescriptor fd = posix::OpenShared(native.bytes, FileAccess::Read, false, info);
  if (!fd.valid()) return {};
  const std::uint64_t size = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
  return ReadOpenedFile(size, [&fd](std::uint8_t* into, std::uint32_t bytes) -> std::int64_t {
    for (;;) {
      const ssize_t got = ::read(fd.get(), into, bytes);
      if (got >= 0 || errno != EINTR) return got < 0 ? -1 : got;
    }
  });
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
  // Only a regular file is opened: opening a device or FIFO can act on it.
  struct stat info;
  if (::stat(native.bytes, &info) != 0 || !S_ISREG(info.st_mode)) return;
  // Non-blocking, so that a FIFO swapped in under that name is not waited on.
  FileDescriptor fd(::open(native.bytes, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
}

}  // namespace glos
