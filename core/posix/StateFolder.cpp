// The state folder and file keys on POSIX.
//
// POSIX platform layer, state folder. Only the XDG base-directory rule for state, mkdir(2) of the
// missing levels with an fsync(2) of each parent that gained one, and realpath(3) live here.
#include "core/StateFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "core/Text.h"
#include "core/posix/NativeText.h"
#include "core/posix/PosixFile.h"

namespace glos {
namespace {

bool Decode(const std::string& native, std::u16string& out) {
  char16_t units[posix::kNativePathCapacity];
  const int length =
      posix::DecodeNativeName(native.data(), native.size(), units, posix::kNativePathCapacity);
  if (length < 0) return false;
  out.assign(units, static_cast<std::size_t>(length));
  return true;
}

bool SyncDirectory(const std::string& path) {
  posix::FileDescriptor fd(
      ::open(path.empty() ? "/" : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd.valid() && ::fsync(fd.get()) == 0;
}

// Makes every missing level of path; a level made is put on disk in its parent.
bool MakeDirectories(const std::string& path) {
  for (std::size_t end = 1; end <= path.size(); ++end) {
    if (end < path.size() && path[end] != '/') continue;
    const std::string level = path.substr(0, end);
    if (::mkdir(level.c_str(), 0700) == 0) {
      if (!SyncDirectory(path.substr(0, level.rfind('/')))) return false;
      continue;
    }
    struct stat info;
    if (errno != EEXIST || ::stat(level.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool GetStateFolder(const char16_t* name, bool create, std::u16string& folder) {
  std::string base;
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') {
    base = state;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') return false;
    base = std::string(home) + "/.local/state";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  const std::string path = base + "/glosmorin/" + Utf16ToUtf8(name);
  if (create && !MakeDirectories(path)) return false;
  return Decode(path, folder);
}

bool GetFileKey(const char16_t* path, std::u16string& key) {
  const posix::NativePath native = posix::ToNativePath(path);
  if (!native.ok) return false;
  char* full = ::realpath(native.bytes, nullptr);
  if (full == nullptr) return false;
  const std::string text(full);
  std::free(full);
  return Decode(text, key);
}

}  // namespace glos
