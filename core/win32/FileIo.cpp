// Whole-file reads, writes and replacements on Win32.
//
// Windows platform layer, whole-file I/O. Only the Win32 calls that move a whole file between disk
// and one buffer live here: CreateFileW, ReadFile and WriteFile in bounded chunks (their counts are
// 32-bit), and the temporary file plus MoveFileExW that make a replacement all-or-nothing.
#include "core/FileIo.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/Text.h"
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
  static std::uint32_t counter = 0;
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
  WholeFile result;
  ScopedHandle file(CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return result;

  LARGE_INTEGER sizeValue;
  const std::uint64_t size =
      GetFileSizeEx(file.get(), &sizeValue) ? static_cast<std::uint64_t>(sizeValue.QuadPart) : 0;
  if (size >= (std::uint64_t{1} << 32)) return result;

  const auto bytes = static_cast<std::size_t>(size + kWholeFileZeros);
  FileBuffer buffer(static_cast<std::uint8_t*>(AllocateFilledBuffer(bytes)),
                    FilledBufferDeleter{bytes});
  if (!buffer) return result;
  std::uint64_t done = 0;
  while (done < size) {
    const std::uint64_t rest = size - done;
    const DWORD part = static_cast<DWORD>(rest < kChunk ? rest : kChunk);
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer.get() + done, part, &got, nullptr)) return result;
    if (got == 0) break;  // the file shrank since its size was taken
    done += got;
  }
  // Zeros after the content end it both as 8-bit and as UTF-16 text.
  std::memset(buffer.get() + done, 0, size + kWholeFileZeros - done);
  result.data = std::move(buffer);
  result.size = done;
  return result;
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

std::uint64_t ReplaceWholeFile(const char16_t* path, const void* data, std::uint64_t length,
                               Flush flush) {
  if (IsReadOnlyFile(path)) return 0;
  TemporaryFile temp;
  if (!CreateTemporaryBeside(path, temp)) return 0;
  if (!WriteAll(temp.handle.get(), data, length)) return 0;
  // Flushed, the content is on disk before the name points at it, so a crash leaves one of the
  // two files whole.
  if (flush == Flush::ToDisk && !FlushFileBuffers(temp.handle.get())) return 0;
  temp.handle.reset();
  const DWORD move =
      MOVEFILE_REPLACE_EXISTING | (flush == Flush::ToDisk ? MOVEFILE_WRITE_THROUGH : 0);
  if (!MoveFileExW(Wide(temp.path), Wide(path), move)) return 0;
  temp.created = false;
  return length;
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
