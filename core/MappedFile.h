// A whole file mapped into memory, read-only or read-write, with other writers kept out.
#pragma once

#include <cstddef>
#include <cstdint>

namespace glos {

// Which file an open file is: equal identities on the same machine are the same file, whatever
// names lead to it. A file written anew under the same name has another identity.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  bool operator==(const FileIdentity&) const = default;
};

// Move-only owner of an open file, its mapping and its view. A MappedFile whose view is null is
// failed, whatever the cause: the file is missing, empty, 4 GiB or larger, locked by another
// writer, or not writable when opened read-write. Other programs may read the file while it is
// open but not write it. Changes made through a read-write view reach the file at close() at the
// latest. The file never changes size.
class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(const char16_t* path, bool readOnly) { open(path, readOnly); }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  ~MappedFile() { close(); }

  // Closes whatever is open, then opens and maps path. Returns !failed().
  bool open(const char16_t* path, bool readOnly);
  // Releases view, then mapping, then file. Safe to call more than once.
  void close();

  // The identity of the open file. False when failed or when the system cannot tell it.
  bool identify(FileIdentity& identity) const;
  // Writes the changes made through a read-write view to disk and waits until they are there.
  // False when failed or when the system reports an error.
  bool flush();
  // Maps the view's pages of [offset, offset + length) in one go, for a caller about to read
  // them all: far fewer faults than page by page. Nothing happens where the system cannot do it.
  void prepareForReading(std::uint64_t offset, std::uint64_t length) const;

  // Copies length bytes at offset of the open file into dest through the system's cache, not the
  // view: a page first touched through a view costs a fault (on some virtual machines several
  // microseconds), while one call copies a run of pages. False when failed, when the range is
  // outside the size taken at open(), or when fewer bytes came (the file shrank underneath).
  bool readAt(std::uint64_t offset, void* dest, std::size_t length) const;
  // Writes length bytes at offset of a read-write file the same way; the view sees them at once.
  // False when failed, when the range is outside the size taken at open(), or when not all were
  // written. A file cut short underneath would grow again: the caller asks reachedOf() first.
  bool writeAt(std::uint64_t offset, const void* source, std::size_t length) const;
  // How much of the first end bytes the open file still holds: end, or its size now when it was
  // cut shorter underneath (0 when failed or when the system cannot tell).
  std::uint64_t reachedOf(std::uint64_t end) const;

  bool failed() const { return view_ == nullptr; }
  std::uint8_t* data() const { return view_; }
  // Size in bytes; 0 until determined. Always below 4 GiB for a mapped file.
  std::uint64_t size() const { return size_; }

 private:
  void release();
  std::intptr_t file_ = -1;    // descriptor or HANDLE, -1 when none
  std::intptr_t mapping_ = 0;  // mapping HANDLE on Windows, unused elsewhere
  std::uint8_t* view_ = nullptr;
  std::uint64_t size_ = 0;
};

}  // namespace glos
