// MappedFile on Win32: a file mapping object over the whole file.
//
// Windows platform layer, file mapping. Only the Win32 calls that open, map and release one whole
// file live here: CreateFileW with FILE_SHARE_READ (so other writers are kept out while the file
// is open), GetFileSizeEx, CreateFileMappingW and MapViewOfFile. No file content is copied.
#include "core/MappedFile.h"

#include "core/win32/Handle.h"

namespace glos {

using win32::ScopedHandle;
using win32::ScopedView;
using win32::Wide;

bool MappedFile::open(const char16_t* path, bool readOnly) {
  close();
  const DWORD access = readOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  ScopedHandle file(CreateFileW(Wide(path), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  // Windows refuses write access to a read-only file by itself, but Wine running as root lets it
  // through; asking the open handle keeps the rule everywhere.
  BY_HANDLE_FILE_INFORMATION information;
  if (!readOnly && (!GetFileInformationByHandle(file.get(), &information) ||
                    (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0)) {
    return false;
  }

  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) return false;
  // An empty file cannot be mapped, and the view is addressed with 32-bit offsets elsewhere; a
  // size that is never mapped is not recorded either.
  const auto bytes = static_cast<std::uint64_t>(size.QuadPart);
  if (bytes == 0 || bytes >= (std::uint64_t{1} << 32)) return false;
  size_ = bytes;

  ScopedHandle mapping(CreateFileMappingW(file.get(), nullptr,
                                          readOnly ? PAGE_READONLY : PAGE_READWRITE, 0,
                                          static_cast<DWORD>(size_), nullptr));
  if (!mapping.valid()) return false;
  ScopedView view(MapViewOfFile(mapping.get(), readOnly ? FILE_MAP_READ : FILE_MAP_ALL_ACCESS, 0, 0,
                                static_cast<SIZE_T>(size_)));
  if (view.get() == nullptr) return false;

  view_ = static_cast<std::uint8_t*>(view.release());
  mapping_ = reinterpret_cast<std::intptr_t>(mapping.release());
  file_ = reinterpret_cast<std::intptr_t>(file.release());
  return true;
}

bool MappedFile::identify(FileIdentity& identity) const {
  BY_HANDLE_FILE_INFORMATION information;
  if (view_ == nullptr ||
      !GetFileInformationByHandle(reinterpret_cast<HANDLE>(file_), &information)) {
    return false;
  }
  identity.volume = information.dwVolumeSerialNumber;
  identity.file = (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
  return true;
}

// Windows has no call that maps pages ahead of the reads; they fault as they come.
void MappedFile::prepareForReading(std::uint64_t /*offset*/, std::uint64_t /*length*/) const {}

namespace {

// Moves length bytes at offset with ReadFile or WriteFile and an offset in an OVERLAPPED, at most
// 1 GiB a call, as many calls as they take.
template <typename Call, typename Pointer>
bool TransferAt(HANDLE file, std::uint64_t size, std::uint64_t offset, Pointer data,
                std::size_t length, Call call) {
  if (offset > size || length > size - offset) return false;
  constexpr std::size_t kLargestCall = std::size_t{1} << 30;
  while (length != 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD done = 0;
    const auto asked = static_cast<DWORD>(length < kLargestCall ? length : kLargestCall);
    if (!call(file, data, asked, &done, &at) || done == 0) return false;
    data += done;
    offset += done;
    length -= done;
  }
  return true;
}

}  // namespace

bool MappedFile::readAt(std::uint64_t offset, void* dest, std::size_t length) const {
  return view_ != nullptr && TransferAt(reinterpret_cast<HANDLE>(file_), size_, offset,
                                        static_cast<std::uint8_t*>(dest), length, ReadFile);
}

bool MappedFile::writeAt(std::uint64_t offset, const void* source, std::size_t length) const {
  return view_ != nullptr &&
         TransferAt(reinterpret_cast<HANDLE>(file_), size_, offset,
                    static_cast<const std::uint8_t*>(source), length, WriteFile);
}

std::uint64_t MappedFile::reachedOf(std::uint64_t end) const {
  LARGE_INTEGER size;
  if (view_ == nullptr || !GetFileSizeEx(reinterpret_cast<HANDLE>(file_), &size) ||
      size.QuadPart < 0) {
    return 0;
  }
  const auto bytes = static_cast<std::uint64_t>(size.QuadPart);
  return bytes < end ? bytes : end;
}

bool MappedFile::flush() {
  if (view_ == nullptr) return false;
  return FlushViewOfFile(view_, 0) && FlushFileBuffers(reinterpret_cast<HANDLE>(file_));
}

void MappedFile::close() {
  release();
  size_ = 0;
}

void MappedFile::release() {
  if (view_ != nullptr) UnmapViewOfFile(view_);
  if (mapping_ != 0) CloseHandle(reinterpret_cast<HANDLE>(mapping_));
  if (file_ != -1) CloseHandle(reinterpret_cast<HANDLE>(file_));
  view_ = nullptr;
  mapping_ = 0;
  file_ = -1;
}

}  // namespace glos
