// Helpers shared by the tests: a scratch directory per test, file bytes, UTF-16 paths.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/Walker.h"

namespace glos::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh directory for one test, removed with everything in it by the destructor.
class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();
  // The directory's path in the engine's form (UTF-16, platform separator), no trailing one.
  const std::u16string& path() const { return path_; }
  // path() + separator + name.
  std::u16string file(const std::u16string& name) const;

 private:
  std::u16string path_;
};

// Whole-file helpers through the C++ library, independent of the code under test.
void WriteFile(const std::u16string& path, const Bytes& bytes);
Bytes ReadFile(const std::u16string& path);
bool FileExists(const std::u16string& path);
void MakeDirectory(const std::u16string& path);
// The names in a directory, sorted: to see that no temporary file is left behind.
std::vector<std::u16string> Entries(const std::u16string& directory);

Bytes ToBytes(std::string_view text);
// Each byte of narrow as one UTF-16LE unit, after a byte order mark when asked for.
Bytes WideBytes(const Bytes& narrow, bool byteOrderMark = false);
inline Bytes WideBytes(std::string_view narrow, bool byteOrderMark = false) {
  return WideBytes(ToBytes(narrow), byteOrderMark);
}
// Each byte of narrow as one UTF-16 unit (U16 decodes UTF-8 instead).
std::u16string Widen(std::string_view narrow);
std::u16string U16(const std::string& utf8);
std::string U8(const std::u16string& utf16);

// A 260-unit path buffer holding text.
struct PathBuffer {
  char16_t units[260] = {};
  explicit PathBuffer(const std::u16string& text);
};

// A fixture for per-file operations: a scratch directory, settings, and the path the last
// operation's outcome named.
class FileOperationTest : public ::testing::Test {
 protected:
  StatusCode Run(FileOperation operation, const std::u16string& target) {
    const FileOutcome outcome = operation(settings_, target.c_str(), nullptr);
    named_ = outcome.path;
    return outcome.code;
  }
  TempDir dir_;
  Settings settings_;
  std::u16string named_;
};

// The folder the tests' undo journals go to, made for this test process and named by
// XDG_STATE_HOME (LOCALAPPDATA on Windows) before any test runs.
std::u16string TestStateHome();
// Every entry a directory search of pattern gives, in its order, a directory's name followed by
// the path separator. A search that would go on past 10,000 entries fails the test instead of
// running for ever.
std::vector<std::u16string> ListEntries(const std::u16string& pattern);

// True when the tests run as the Windows build (under Wine).
bool IsWindowsBuild();

}  // namespace glos::test
