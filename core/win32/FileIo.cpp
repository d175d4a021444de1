// Whole-file reads, writes and replacements on Win32.
//
// Windows platform layer, whole-file I/O. Only the Win32 calls that move a whole file between disk
// and one buffer live here: CreateFileW, ReadFile and WriteFile in bounded chunks (their counts are
// 32-bit), and the temporary file plus MoveFileExW that make a replacement all-or-nothing.
#include "core/FileIo.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "core/Text.h"
#include "core/WholeFileRead.h"
#include "core/win32/Handle.h"

namespace glos {
namespace {

using win32::ScopedHandle;
using win32::Wide;

// Each ReadFile/WriteFile call moves at most this many bytes.
constexpr std::uint64_t kChunk = std::uint64_t{1} << 30;

// Windows refuses to write to or replace a read-only file by itself, but Wine running as root lets
// it through; checking the attribute first keeps the rule everywhere.
bool IsReadOnlyFile(const char16_t* path) {
  const DWORD attributes = GetFileAttributesW(Wide(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool WriteAll(HANDLE file, const void* data, std::uint64_t length) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::uint64_t done = 0;
  while (done < length) {
    const std::uint64_t rest = length - done;
    const DWORD part = static_cast<DWORD>(rest < kChunk ? rest : kChunk);
    DWORD written = 0;
    if (!WriteFile(file, bytes + done, part, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

// A file created for a replacement; deleted again unless it has been moved into place.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    handle.reset();
    if (created) DeleteFileW(Wide(path));
  }

  ScopedHandle handle;
  char16_t path[kPathCapacity + 32] = {};
  bool created = false;
};

// Appends the hexadecimal digits of value to text (capacity units). False when they do not fit.
bool AppendHex(char16_t* text, std::size_t capacity, std::uint32_t value) {
  char16_t digits[9];
  int n = 8;
  digits[n] = 0;
  do {
    digits[--n] = u"0123456789abcdef"[value & 15];
    value >>= 4;
  } while (value != 0);
  return AppendText(text, capacity, digits + n);
}

// Creates a new, empty file beside path with a name no other file has.
bool CreateTemporaryBeside(const char16_t* path, TemporaryFile& temp) {
  static std::atomic<std::uint32_t> counter{0};
  const std::size_t length = TextLength(path);
  std::size_t directory = length;
  while (directory > 0 && path[directory - 1] != u'\\' && path[directory - 1] != u'/') --directory;
  constexpr std::size_t kCapacity = sizeof temp.path / sizeof temp.path[0];
  for (int attempt = 0; attempt < 64; ++attempt) {
    if (!CopyText(temp.path, kCapacity, std::u16string_view(path, directory)) ||
        !AppendText(temp.path, kCapacity, u"~glos") ||
        !AppendHex(temp.path, kCapacity, GetCurrentProcessId()) ||
        !AppendText(temp.path, kCapacity, u"-") || !AppendHex(temp.path, kCapacity, counter++) ||
        !AppendText(temp.path, kCapacity, u".tmp")) {
      return false;
    }
    temp.handle.reset(CreateFileW(Wide(temp.path), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (temp.handle.valid()) {
      temp.created = true;
      return true;
    }
    // Only a name clash is worth another try; a missing directory or a denied write is not.
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

}  // namespace

WholeFile ReadWholeFile(const char16_t* path) {
  ScopedHandle file(CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return {};
  LARGE_INTEGER sizeValue;
  const std::uint64_t size =
      GetFileSizeEx(file.get(), &sizeValue) ? static_cast<std::uint64_t>(sizeValue.QuadPart) : 0;
  return ReadOpenedFile(size, [&file](std::uint8_t* into, std::uint32_t bytes) -> std::int64_t {
    DWORD got = 0;
    return ReadFile(file.get(), into, bytes, &got, nullptr) ? std::int64_t{got} : -1;
  });
}

std::uint64_t WriteWholeFile(const char16_t* path, const void* data, std::uint64_t length,
                             bool append) {
  if (IsReadOnlyFile(path)) return 0;
  const DWORD access = append ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
  ScopedHandle file(CreateFileW(Wide(path), access, FILE_SHARE_READ, nullptr,
                                append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
  if (!file.valid()) return 0;
  if (append) {
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(file.get(), zero, nullptr, FILE_END)) return 0;
  }
  return WriteAll(file.get(), data, length) ? length : 0;
}

// The new file, under a temporary name beside the target until commit moves it there.
struct ReplacementFile::State {
  TemporaryFile temp;
  char16_t target[kPathCapacity] = {};
};

ReplacementFile::ReplacementFile() = default;
ReplacementFile::~ReplacementFile() = default;

bool ReplacementFile::open(const char16_t* path) {
  state_.reset();
  auto state = std::make_unique<State>();
  if (IsReadOnlyFile(path) || !CopyText(state->target, kPathCapacity, path)) return false;
  if (!CreateTemporaryBeside(path, state->temp)) return false;
  state_ = std::move(state);
  return true;
}

bool ReplacementFile::write(const void* data, std::size_t length) {
  return state_ != nullptr && WriteAll(state_->temp.handle.get(), data, length);
}

bool ReplacementFile::commit(Flush flush) {
  if (state_ == nullptr) return false;
  TemporaryFile& temp = state_->temp;
  // Flushed, the content is on disk before the name points at it, so a crash leaves one of the
  // two files whole.
  if (flush == Flush::ToDisk && !FlushFileBuffers(temp.handle.get())) return false;
  temp.handle.reset();
  // The target may have become read-only since the new file was started.
  if (IsReadOnlyFile(state_->target)) return false;
  const DWORD move =
      MOVEFILE_REPLACE_EXISTING | (flush == Flush::ToDisk ? MOVEFILE_WRITE_THROUGH : 0);
  if (!MoveFileExW(Wide(temp.path), Wide(state_->target), move)) return false;
  temp.created = false;
  state_.reset();
  return true;
}

bool AppendDurably(const char16_t* path, std::uint64_t keep, const void* data,
                   std::uint64_t length) {
  if (IsReadOnlyFile(path)) return false;
  ScopedHandle file(CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size;
  if (!file.valid() || !GetFileSizeEx(file.get(), &size) ||
      keep > static_cast<std::uint64_t>(size.QuadPart)) {
    return false;
  }
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(keep);
  if (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) || !SetEndOfFile(file.get())) {
    return false;
  }
  return WriteAll(file.get(), data, length) && FlushFileBuffers(file.get());
}

bool RemoveFile(const char16_t* path) {
  if (DeleteFileW(Wide(path))) return true;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Windows has no call that lets a file's cached pages go without changing the file; they go
// when the replacement removes the old file.
void ReleaseFileCache(const char16_t* /*path*/) {}

}  // namespace glos
