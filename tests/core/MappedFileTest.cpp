// MappedFile: opening, sharing, sizes, write-through at close, ownership moves.
#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "core/FileIo.h"
#include "core/MappedFile.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

Bytes Pattern(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return bytes;
}

// Files of 10 and 20 bytes in dir.
std::pair<std::u16string, std::u16string> TwoFiles(const TempDir& dir) {
  const std::pair files{dir.file(u"first.bin"), dir.file(u"second.bin")};
  WriteFile(files.first, Pattern(10));
  WriteFile(files.second, Pattern(20));
  return files;
}

TEST(MappedFileTest, MissingFileFails) {
  TempDir dir;
  MappedFile file(dir.file(u"missing.bin").c_str(), true);
  EXPECT_TRUE(file.failed());
  EXPECT_EQ(file.data(), nullptr);
}

class MappedFileModeTest : public testing::TestWithParam<bool> {};

TEST_P(MappedFileModeTest, EmptyFileFailsWithSizeZero) {
  TempDir dir;
  const auto path = dir.file(u"empty.bin");
  WriteFile(path, {});
  MappedFile file(path.c_str(), GetParam());
  EXPECT_TRUE(file.failed());
  EXPECT_EQ(file.size(), 0u);
}

TEST_P(MappedFileModeTest, ReopeningReleasesThePreviousFile) {
  TempDir dir;
  const auto [first, second] = TwoFiles(dir);
  MappedFile file(first.c_str(), GetParam());
  ASSERT_TRUE(file.open(second.c_str(), GetParam()));
  EXPECT_EQ(file.size(), 20u);
  MappedFile writer(first.c_str(), false);
  EXPECT_FALSE(writer.failed());
}

INSTANTIATE_TEST_SUITE_P(ReadOnlyAndReadWrite, MappedFileModeTest, testing::Bool());

// Sizes around the page size, where a view that is one page short or long would show.
class MappedFileSizeTest : public testing::TestWithParam<std::size_t> {};

TEST_P(MappedFileSizeTest, ReadOnlyViewHoldsTheWholeFile) {
  TempDir dir;
  const auto path = dir.file(u"data.bin");
  const Bytes bytes = Pattern(GetParam());
  WriteFile(path, bytes);
  MappedFile file(path.c_str(), true);
  ASSERT_FALSE(file.failed());
  ASSERT_EQ(file.size(), bytes.size());
  EXPECT_EQ(Bytes(file.data(), file.data() + file.size()), bytes);
}

TEST_P(MappedFileSizeTest, ChangesThroughAReadWriteViewReachTheFileAtClose) {
  TempDir dir;
  const auto path = dir.file(u"data.bin");
  Bytes bytes = Pattern(GetParam());
  WriteFile(path, bytes);
  {
    MappedFile file(path.c_str(), false);
    ASSERT_FALSE(file.failed());
    ASSERT_EQ(file.size(), bytes.size());
    for (std::size_t i = 0; i < bytes.size(); i += 997) file.data()[i] ^= 0xFF;
    file.data()[bytes.size() - 1] ^= 0xFF;
    file.close();
    file.close();
    EXPECT_TRUE(file.failed());
  }
  for (std::size_t i = 0; i < bytes.size(); i += 997) bytes[i] ^= 0xFF;
  bytes[bytes.size() - 1] ^= 0xFF;
  EXPECT_EQ(ReadFile(path), bytes);
}

INSTANTIATE_TEST_SUITE_P(Sizes, MappedFileSizeTest,
                         testing::Values(1u, 1000u, 4095u, 4096u, 4097u, 8192u, 65536u));

TEST(MappedFileTest, ReadOnlyFileOpensOnlyReadOnly) {
  TempDir dir;
  const auto path = dir.file(u"locked.bin");
  WriteFile(path, Pattern(100));
  std::filesystem::permissions(std::filesystem::path(path),
                               std::filesystem::perms::owner_write |
                                   std::filesystem::perms::group_write |
                                   std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
  EXPECT_TRUE(MappedFile(path.c_str(), false).failed());
  MappedFile reader(path.c_str(), true);
  EXPECT_FALSE(reader.failed());
  EXPECT_EQ(reader.size(), 100u);
}

TEST(MappedFileTest, WritersAreExcludedWhileOpen) {
  TempDir dir;
  const auto path = dir.file(u"shared.bin");
  WriteFile(path, Pattern(100));
  {
    MappedFile writer(path.c_str(), false);
    ASSERT_FALSE(writer.failed());
    EXPECT_TRUE(MappedFile(path.c_str(), false).failed());
  }
  {
    MappedFile reader(path.c_str(), true);
    ASSERT_FALSE(reader.failed());
    EXPECT_FALSE(MappedFile(path.c_str(), true).failed());
    EXPECT_TRUE(MappedFile(path.c_str(), false).failed());
  }
  EXPECT_FALSE(MappedFile(path.c_str(), false).failed());
}

// Sparse files, where the file system allows them.
TEST(MappedFileTest, AFileOf4GiBOrMoreIsNeitherMappedNorRead) {
  TempDir dir;
  for (const std::uint64_t size : {std::uint64_t{1} << 32, (std::uint64_t{5} << 30) + 1}) {
    SCOPED_TRACE(size);
    const auto path = dir.file(u"sparse.bin");
    WriteFile(path, {});
    std::error_code error;
    std::filesystem::resize_file(std::filesystem::path(path), size, error);
    if (error) GTEST_SKIP() << "no room for a sparse file of " << size << " bytes here";
    for (const bool readOnly : {true, false}) {
      MappedFile file(path.c_str(), readOnly);
      EXPECT_TRUE(file.failed());
      EXPECT_EQ(file.size(), 0u);
    }
    EXPECT_EQ(ReadWholeFile(path.c_str()).data, nullptr);
  }
}

TEST(MappedFileTest, MovesTransferTheOpenFile) {
  TempDir dir;
  const auto [first, second] = TwoFiles(dir);

  MappedFile source(first.c_str(), false);
  ASSERT_FALSE(source.failed());
  const std::uint8_t* view = source.data();
  MappedFile moved(std::move(source));
  EXPECT_TRUE(source.failed());
  EXPECT_EQ(moved.data(), view);
  EXPECT_EQ(moved.size(), 10u);

  // Assigning over an open file releases it: the first file accepts a writer again.
  MappedFile other(second.c_str(), false);
  ASSERT_FALSE(other.failed());
  moved = std::move(other);
  EXPECT_TRUE(other.failed());
  EXPECT_EQ(moved.size(), 20u);
  EXPECT_FALSE(MappedFile(first.c_str(), false).failed());
  EXPECT_TRUE(MappedFile(second.c_str(), false).failed());
}

}  // namespace
}  // namespace glos::test
