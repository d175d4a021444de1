// Helpers shared by the tests: a scratch directory per test, file bytes, UTF-16 paths.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

Bytes ToBytes(const std::string& text);
std::u16string U16(const std::string& utf8);
std::string U8(const std::u16string& utf16);

// A 260-unit path buffer holding text.
struct PathBuffer {
  char16_t units[260] = {};
  explicit PathBuffer(const std::u16string& text);
};

// True when the tests run as the Windows build (under Wine).
bool IsWindowsBuild();

}  // namespace glos::test
