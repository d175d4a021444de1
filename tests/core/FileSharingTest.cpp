// Whole-file I/O against files that are mapped or read-only: a file open for writing is shared
// with nobody, a file open for reading only with readers, and a read-only file is never changed.
#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "core/FileIo.h"
#include "core/MappedFile.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

class FileSharingTest : public ::testing::Test {
 protected:
  FileSharingTest() : path_(dir_.file(u"target.bin")) { WriteFile(path_, original_); }

  // Tries every whole-file call on the target; reports which succeeded.
  struct Outcome {
    bool read;
    bool write;
    bool append;
    bool replace;
    bool operator==(const Outcome&) const = default;
  };
  Outcome TryAll() {
    const Bytes data = ToBytes("new content");
    Outcome outcome;
    outcome.read = ReadWholeFile(path_.c_str()).data != nullptr;
    outcome.write = WriteWholeFile(path_.c_str(), data.data(), data.size(), false) != 0;
    outcome.append = WriteWholeFile(path_.c_str(), data.data(), data.size(), true) != 0;
    outcome.replace = ReplaceWholeFile(path_.c_str(), data.data(), data.size(), Flush::ToDisk) != 0;
    return outcome;
  }

  TempDir dir_;
  std::u16string path_;
  const Bytes original_ = ToBytes("original content of the target");
};

TEST_F(FileSharingTest, AReadWriteMappingSharesWithNobodyAReadOnlyOneWithReaders) {
  for (const auto& [readOnly, expected] : {std::pair{false, Outcome{false, false, false, false}},
                                           std::pair{true, Outcome{true, false, false, false}}}) {
    SCOPED_TRACE(readOnly);
    MappedFile mapped(path_.c_str(), readOnly);
    ASSERT_FALSE(mapped.failed());
    EXPECT_EQ(TryAll(), expected);
    mapped.close();
    EXPECT_EQ(ReadFile(path_), original_);
  }
}

TEST_F(FileSharingTest, AReadOnlyFileIsReadButNeverChanged) {
  namespace fs = std::filesystem;
  fs::permissions(fs::path(path_),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_EQ(TryAll(), (Outcome{true, false, false, false}));
  EXPECT_EQ(ReadFile(path_), original_);
}

TEST_F(FileSharingTest, AfterCloseEverythingIsAllowedAgain) {
  { MappedFile mapped(path_.c_str(), false); }
  EXPECT_EQ(TryAll(), (Outcome{true, true, true, true}));
  EXPECT_EQ(ReadFile(path_), ToBytes("new content"));
}

}  // namespace
}  // namespace glos::test
