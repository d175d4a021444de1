// Whole-file reads, writes, appends and all-or-nothing replacements.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/FileIo.h"
#include "tests/support/TestSupport.h"

namespace glos {
namespace {

using test::Bytes;
using test::Entries;
using test::FileExists;
using test::MakeDirectory;
using test::ReadFile;
using test::TempDir;
using test::ToBytes;
using test::WriteFile;

class ReadWholeFileTest : public testing::TestWithParam<std::size_t> {};

TEST_P(ReadWholeFileTest, GivesTheBytesAndTwoZerosAfter) {
  TempDir dir;
  const auto path = dir.file(u"data.bin");
  Bytes bytes(GetParam(), 0xAB);
  WriteFile(path, bytes);
  const WholeFile file = ReadWholeFile(path.c_str());
  ASSERT_NE(file.data, nullptr);
  ASSERT_EQ(file.size, bytes.size());
  EXPECT_EQ(Bytes(file.data.get(), file.data.get() + file.size), bytes);
  EXPECT_EQ(file.data[file.size], 0);
  EXPECT_EQ(file.data[file.size + 1], 0);
}

// Around a mebibyte the buffer moves from the heap to a mapping of its own.
INSTANTIATE_TEST_SUITE_P(Sizes, ReadWholeFileTest,
                         testing::Values(0u, 1u, 5u, 4096u, 70000u, (1u << 20) - 17,
                                         (1u << 20) - 16, (3u << 20) + 5));

TEST(FileIoTest, ReadWholeFileOfAMissingFileGivesNothing) {
  TempDir dir;
  const WholeFile file = ReadWholeFile(dir.file(u"missing.txt").c_str());
  EXPECT_EQ(file.data, nullptr);
  EXPECT_EQ(ReadWholeFile(dir.path().c_str()).data, nullptr);
}

TEST(FileIoTest, WriteWholeFileCreatesAndTruncates) {
  TempDir dir;
  const auto path = dir.file(u"out.txt");
  const Bytes first = ToBytes("a much longer first content");
  EXPECT_EQ(WriteWholeFile(path.c_str(), first.data(), first.size(), false), first.size());
  EXPECT_EQ(ReadFile(path), first);
  const Bytes second = ToBytes("short");
  EXPECT_EQ(WriteWholeFile(path.c_str(), second.data(), second.size(), false), second.size());
  EXPECT_EQ(ReadFile(path), second);
}

TEST(FileIoTest, WriteWholeFileAppendsOrCreates) {
  TempDir dir;
  const auto path = dir.file(u"log.txt");
  const Bytes one = ToBytes("one,");
  const Bytes two = ToBytes("two");
  EXPECT_EQ(WriteWholeFile(path.c_str(), one.data(), one.size(), true), one.size());
  EXPECT_EQ(WriteWholeFile(path.c_str(), two.data(), two.size(), true), two.size());
  EXPECT_EQ(ReadFile(path), ToBytes("one,two"));
}

TEST(FileIoTest, WriteWholeFileIntoAMissingDirectoryFails) {
  TempDir dir;
  const Bytes data = ToBytes("x");
  for (const bool append : {false, true}) {
    EXPECT_EQ(
        WriteWholeFile(dir.file(u"no-such-dir/out.txt").c_str(), data.data(), data.size(), append),
        0u);
  }
  EXPECT_TRUE(Entries(dir.path()).empty());
}

// Flushed or not, a replacement creates, replaces and cleans up alike.
class ReplaceWholeFileTest : public ::testing::TestWithParam<Flush> {};

TEST_P(ReplaceWholeFileTest, ReplacesOrCreatesAndLeavesNoTemporary) {
  TempDir dir;
  const auto path = dir.file(u"target.ttt");
  const Bytes fresh = ToBytes("fresh");
  EXPECT_EQ(ReplaceWholeFile(path.c_str(), fresh.data(), fresh.size(), GetParam()), fresh.size());
  EXPECT_EQ(ReadFile(path), fresh);

  WriteFile(path, ToBytes("an older and longer content"));
  const Bytes replaced = ToBytes("new");
  EXPECT_EQ(ReplaceWholeFile(path.c_str(), replaced.data(), replaced.size(), GetParam()),
            replaced.size());
  EXPECT_EQ(ReadFile(path), replaced);
  EXPECT_EQ(Entries(dir.path()), std::vector<std::u16string>{u"target.ttt"});
}

INSTANTIATE_TEST_SUITE_P(BothFlushes, ReplaceWholeFileTest,
                         ::testing::Values(Flush::ToDisk, Flush::Lazily));

TEST(FileIoTest, ReplaceWholeFileOverADirectoryFailsAndKeepsIt) {
  TempDir dir;
  const auto path = dir.file(u"in-the-way");
  MakeDirectory(path);
  WriteFile(dir.file(u"in-the-way/inside.txt"), ToBytes("kept"));
  const Bytes data = ToBytes("data");
  EXPECT_EQ(ReplaceWholeFile(path.c_str(), data.data(), data.size(), Flush::ToDisk), 0u);
  EXPECT_EQ(ReadFile(dir.file(u"in-the-way/inside.txt")), ToBytes("kept"));
  EXPECT_EQ(Entries(dir.path()), std::vector<std::u16string>{u"in-the-way"});
}

TEST(FileIoTest, ReplaceWholeFileInAMissingDirectoryFails) {
  TempDir dir;
  const auto path = dir.file(u"missing/target.ttt");
  const Bytes data = ToBytes("data");
  EXPECT_EQ(ReplaceWholeFile(path.c_str(), data.data(), data.size(), Flush::ToDisk), 0u);
  EXPECT_FALSE(FileExists(path));
  EXPECT_TRUE(Entries(dir.path()).empty());
}

// Letting a file's cached pages go changes no file, whatever the name stands for.
TEST(FileIoTest, ReleasingTheCacheKeepsEveryFileAsItWas) {
  TempDir dir;
  const auto file = dir.file(u"old.ttt");
  const Bytes content = ToBytes("[Glosmorin]\r\n0x00000010,0003=abc\r\n");
  WriteFile(file, content);
  MakeDirectory(dir.file(u"folder.ttt"));
  for (const auto& path : {file, dir.file(u"folder.ttt"), dir.file(u"missing.ttt")}) {
    ReleaseFileCache(path.c_str());
  }
  EXPECT_EQ(ReadFile(file), content);
  EXPECT_FALSE(FileExists(dir.file(u"missing.ttt")));
  EXPECT_EQ(Entries(dir.path()).size(), 2u);
}

}  // namespace
}  // namespace glos
