// Directory enumeration with wildcards on POSIX.
//
// POSIX platform layer, directory enumeration. Only the opendir(3)/readdir(3) loop behind
// DirectorySearch lives here. The system knows no wildcards, so the whole directory is read and
// its names matched with MatchWildcard; the matches are sorted by their upper-cased UTF-16 units
// (NTFS order, and the same on every run). Bytes of a name that are not valid UTF-8 travel as
// the lone surrogates that stand for them, so such a name leads back to the same file.
#include "core/Directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core/Text.h"
#include "core/Wildcard.h"
#include "core/posix/NativeText.h"

namespace glos {

const char16_t kPathSeparator = u'/';

namespace {

// Owns an open directory stream.
class DirectoryStream {
 public:
  explicit DirectoryStream(const char* path) : dir_(::opendir(path)) {}
  DirectoryStream(const DirectoryStream&) = delete;
  DirectoryStream& operator=(const DirectoryStream&) = delete;
  ~DirectoryStream() {
    if (dir_ != nullptr) ::closedir(dir_);
  }
  DIR* get() const { return dir_; }

 private:
  DIR* dir_;
};

struct Match {
  std::u16string name;
  bool isDirectory;
};

bool NtfsOrder(const Match& a, const Match& b) {
  const std::size_t common = std::min(a.name.size(), b.name.size());
  for (std::size_t i = 0; i < common; ++i) {
    const char16_t x = UpperAscii(a.name[i]);
    const char16_t y = UpperAscii(b.name[i]);
    if (x != y) return x < y;
  }
  if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
  // Names that differ only in case, which NTFS would not hold together, still come in one order.
  return a.name < b.name;
}

// Directories, and links to directories, as Win32 reports a directory link as a directory.
bool IsDirectory(DIR* dir, const dirent& entry) {
  if (entry.d_type == DT_DIR) return true;
  if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return false;
  struct stat info;
  return ::fstatat(::dirfd(dir), entry.d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
}

void Collect(const char16_t* pattern, std::vector<Match>& matches) {
  const std::u16string_view whole(pattern);
  const std::size_t slash = whole.rfind(kPathSeparator);
  const std::u16string_view namePattern =
      slash == std::u16string_view::npos ? whole : whole.substr(slash + 1);
  std::u16string directory;
  if (slash == std::u16string_view::npos) {
    directory = u".";
  } else if (slash == 0) {
    directory = u"/";
  } else {
    directory = whole.substr(0, slash);
  }
  if (namePattern.empty()) return;
  const posix::NativePath native = posix::ToNativePath(directory.c_str());
  if (!native.ok) return;

  DirectoryStream stream(native.bytes);
  if (stream.get() == nullptr) return;
  while (const dirent* entry = ::readdir(stream.get())) {
    char16_t name[sizeof DirectoryEntry::name / sizeof(char16_t)];
    const int length = posix::DecodeNativeName(entry->d_name, std::strlen(entry->d_name), name,
                                               sizeof name / sizeof name[0]);
    if (length < 0) continue;
    const std::u16string_view view(name, static_cast<std::size_t>(length));
    if (!MatchWildcard(namePattern, view)) continue;
    matches.push_back(Match{std::u16string(view), IsDirectory(stream.get(), *entry)});
  }
  std::sort(matches.begin(), matches.end(), NtfsOrder);
}

}  // namespace

struct DirectorySearch::State {
  std::vector<Match> matches;
  std::size_t next = 0;
};

DirectorySearch::DirectorySearch(const char16_t* pattern) {
  state_ = new (std::nothrow) State;
  if (state_ == nullptr || pattern == nullptr) return;
  // Running out of memory for the names fails the search instead of unwinding into the walker.
  try {
    Collect(pattern, state_->matches);
  } catch (...) {
    state_->matches.clear();
  }
}

DirectorySearch::~DirectorySearch() { delete state_; }

bool DirectorySearch::next(DirectoryEntry& entry) {
  if (state_ == nullptr || state_->next >= state_->matches.size()) return false;
  const Match& match = state_->matches[state_->next++];
  CopyText(entry.name, sizeof entry.name / sizeof entry.name[0], match.name);
  entry.isDirectory = match.isDirectory;
  return true;
}

bool SameName(std::u16string_view a, std::u16string_view b) { return a == b; }

bool GetDirectoryId(const char16_t* path, DirectoryId& id) {
  const posix::NativePath native = posix::ToNativePath(path);
  struct stat info;
  if (!native.ok || ::stat(native.bytes, &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  id.volume = static_cast<std::uint64_t>(info.st_dev);
  id.file = static_cast<std::uint64_t>(info.st_ino);
  return true;
}

}  // namespace glos
