// Test helpers built on the C++ library alone, so they check the code under test independently.
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/Directory.h"
#include "core/Text.h"

namespace fs = std::filesystem;

namespace glos::test {
namespace {

fs::path ToFsPath(const std::u16string& path) { return fs::path(path); }

// The undo journals of a test process go to a folder of its own, never into the user's.
class TestStateFolder {
 public:
  TestStateFolder() {
#ifdef _WIN32
    _wputenv_s(L"LOCALAPPDATA", reinterpret_cast<const wchar_t*>(dir_.path().c_str()));
#else
    setenv("XDG_STATE_HOME", U8(dir_.path()).c_str(), 1);
#endif
  }
  const std::u16string& path() const { return dir_.path(); }

 private:
  TempDir dir_;
};

const TestStateFolder& StateFolderOfTests() {
  static const TestStateFolder folder;
  return folder;
}

// Made before any test runs.
[[maybe_unused]] const TestStateFolder& kStateFolder = StateFolderOfTests();

}  // namespace

std::vector<std::u16string> Entries(const std::u16string& directory) {
  std::vector<std::u16string> names;
  for (const auto& entry : fs::directory_iterator(ToFsPath(directory))) {
    names.push_back(entry.path().filename().u16string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::u16string TestStateHome() { return StateFolderOfTests().path(); }

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path dir = fs::temp_directory_path() /
                 ("glos-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  fs::create_directories(dir);
  path_ = dir.u16string();
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may leave files without write permission behind; give them back before removal.
  for (auto it = fs::recursive_directory_iterator(ToFsPath(path_), ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(ToFsPath(path_), ec);
}

std::u16string TempDir::file(const std::u16string& name) const {
  return (ToFsPath(path_) / ToFsPath(name)).u16string();
}

void WriteFile(const std::u16string& path, const Bytes& bytes) {
  std::ofstream out(ToFsPath(path), std::ios::binary | std::ios::trunc);
  ASSERT_TRUE(out.good()) << U8(path);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const std::u16string& path) {
  std::ifstream in(ToFsPath(path), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::u16string& path) {
  std::error_code ec;
  return fs::exists(ToFsPath(path), ec);
}

void MakeDirectory(const std::u16string& path) { fs::create_directories(ToFsPath(path)); }

Bytes ToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes WideBytes(const Bytes& narrow, bool byteOrderMark) {
  Bytes out;
  if (byteOrderMark) out = {0xFF, 0xFE};
  for (const std::uint8_t byte : narrow) out.insert(out.end(), {byte, 0});
  return out;
}

std::u16string Widen(std::string_view narrow) {
  std::u16string units;
  for (const char c : narrow) units.push_back(static_cast<std::uint8_t>(c));
  return units;
}
std::u16string U16(const std::string& utf8) { return Utf8ToUtf16(utf8); }
std::string U8(const std::u16string& utf16) { return Utf16ToUtf8(utf16); }

PathBuffer::PathBuffer(const std::u16string& text) { CopyText(units, 260, text); }

std::vector<std::u16string> ListEntries(const std::u16string& pattern) {
  constexpr std::size_t kMostEntries = 10000;
  std::vector<std::u16string> names;
  DirectorySearch search(pattern.c_str());
  DirectoryEntry entry;
  while (search.next(entry)) {
    if (names.size() == kMostEntries) {
      ADD_FAILURE() << "the search of " << U8(pattern) << " does not end";
      break;
    }
    names.push_back(std::u16string(entry.name) +
                    (entry.isDirectory ? std::u16string(1, kPathSeparator) : u""));
  }
  return names;
}

bool IsWindowsBuild() {
#ifdef _WIN32
  return true;
#else
  return false;
#endif
}

}  // namespace glos::test
