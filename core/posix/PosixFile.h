// Open files on POSIX with the sharing rules of the engine: readers exclude writers.
//
// POSIX platform layer, file descriptors. Only the descriptor owner and the one way the platform
// files open a file live here. Other writers are kept out with open-file-description locks taken
// without waiting: a shared lock for reading, an exclusive one for writing, so that two readers
// may share a file while a writer shares it with nobody, as the Win32 share modes of the engine
// have it. A file whose mode has no write permission bit is read-only for everybody, root
// included, as the read-only attribute is on Windows.
#pragma once

#include <sys/stat.h>

namespace glos::posix {

// Owns one file descriptor and closes it on destruction.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  ~FileDescriptor() { reset(); }

  bool valid() const { return fd_ >= 0; }
  int get() const { return fd_; }
  // Gives up ownership without closing.
  int release();
  // Closes the descriptor now, if there is one. False when the system reported an error on
  // closing, which for a written file means its data may not have reached it.
  bool reset();

 private:
  int fd_ = -1;
};

enum class FileAccess { Read, Write, ReadWrite };

// Opens the regular file at path (UTF-8) and locks it for access: Read takes a shared lock,
// Write and ReadWrite an exclusive one. create adds O_CREAT (mode 0666 before the umask). Fails,
// with nothing left open, when the file cannot be opened, is not a regular file, is locked by
// another open file, or is to be written but has no write permission bit. info receives the
// file's status on success.
FileDescriptor OpenShared(const char* path, FileAccess access, bool create, struct stat& info);

// True when mode allows writing to somebody: the stand-in for a clear read-only attribute.
inline bool HasWriteBit(mode_t mode) { return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0; }

}  // namespace glos::posix
