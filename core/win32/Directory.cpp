// Directory enumeration on Win32: FindFirstFileW and its companions.
//
// Windows platform layer, directory enumeration. Only the FindFirstFileW / FindNextFileW /
// FindClose loop behind DirectorySearch lives here; the system does the wildcard matching, and
// entries come in the order it yields them.
#include "core/Directory.h"

#include <new>

#include "core/Text.h"
#include "core/win32/Handle.h"

namespace glos {

const char16_t kPathSeparator = u'\\';

struct DirectorySearch::State {
  HANDLE find = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW data;
  bool pending = false;  // data holds an entry not yet handed out
};

DirectorySearch::DirectorySearch(const char16_t* pattern) {
  state_ = new (std::nothrow) State;
  if (state_ == nullptr) return;
  state_->find = FindFirstFileW(win32::Wide(pattern), &state_->data);
  state_->pending = state_->find != INVALID_HANDLE_VALUE;
}

DirectorySearch::~DirectorySearch() {
  if (state_ == nullptr) return;
  if (state_->find != INVALID_HANDLE_VALUE) FindClose(state_->find);
  delete state_;
}

bool DirectorySearch::next(DirectoryEntry& entry) {
  if (state_ == nullptr || state_->find == INVALID_HANDLE_VALUE) return false;
  if (!state_->pending && !FindNextFileW(state_->find, &state_->data)) return false;
  state_->pending = false;
  static_assert(sizeof state_->data.cFileName / sizeof(wchar_t) == sizeof entry.name / 2);
  CopyText(entry.name, sizeof entry.name / sizeof entry.name[0],
           reinterpret_cast<const char16_t*>(state_->data.cFileName));
  entry.isDirectory = (state_->data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return true;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  return CompareStringOrdinal(win32::Wide(a.data()), static_cast<int>(a.size()),
                              win32::Wide(b.data()), static_cast<int>(b.size()),
                              TRUE) == CSTR_EQUAL;
}

bool GetDirectoryId(const char16_t* path, DirectoryId& id) {
  // Backup semantics open a directory handle; no access right is needed to read its identity.
  win32::ScopedHandle handle(
      CreateFileW(win32::Wide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!handle.valid() || !GetFileInformationByHandle(handle.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return false;
  }
  id.volume = info.dwVolumeSerialNumber;
  id.file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

}  // namespace glos
