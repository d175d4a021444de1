// The POSIX side of the platform facilities where it has choices of its own: special and huge
// files, file modes, paths without a UTF-8 form, UTF-8 as the code page, the program's path and
// the reading of profile values.
#ifndef _WIN32

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "core/FileIo.h"
#include "core/MappedFile.h"
#include "core/Profile.h"
#include "core/Text.h"
#include "core/TextFormat.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

mode_t ModeOf(const std::u16string& path) {
  struct stat info;
  return ::stat(U8(path).c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// Refused without waiting, and never opened: opening a FIFO or device can act on it, here by
// letting a peer waiting at the other end go.
TEST(PlatformPosixTest, AFifoIsRefusedWithoutWaitingForAPeerAndNeverOpened) {
  TempDir dir;
  const auto path = dir.file(u"pipe");
  ASSERT_EQ(::mkfifo(U8(path).c_str(), 0666), 0);
  const Bytes data = ToBytes("x");
  for (const int peerEnd : {-1, O_WRONLY, O_RDONLY}) {
    std::atomic<bool> peerOpened{false};
    std::thread peer([&] {
      if (peerEnd >= 0) ::close(::open(U8(path).c_str(), peerEnd));
      peerOpened = peerEnd >= 0;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(MappedFile(path.c_str(), true).failed());
    EXPECT_TRUE(MappedFile(path.c_str(), false).failed());
    EXPECT_EQ(ReadWholeFile(path.c_str()).data, nullptr);
    EXPECT_EQ(WriteWholeFile(path.c_str(), data.data(), data.size(), false), 0u);
    EXPECT_EQ(ReplaceWholeFile(path.c_str(), data.data(), data.size(), Flush::ToDisk), 0u);
    ReleaseFileCache(path.c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(peerOpened) << peerEnd;
    ::close(::open(U8(path).c_str(), O_RDWR | O_NONBLOCK));  // lets the peer go
    peer.join();
  }
}

// The permission bits are kept; set-user-ID, set-group-ID and sticky never pass to the new file.
TEST(PlatformPosixTest, AReplacedFileKeepsItsModeAndANewOneFollowsTheUmask) {
  TempDir dir;
  const auto kept = dir.file(u"kept.ttt");
  const Bytes data = ToBytes("new");
  const mode_t cases[][2] = {
      {0640, 0640}, {04755, 0755}, {02750, 0750}, {01777, 0777}, {07644, 0644}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c[0]);
    WriteFile(kept, ToBytes("old"));
    ASSERT_EQ(::chmod(U8(kept).c_str(), c[0]), 0);
    ASSERT_EQ(ReplaceWholeFile(kept.c_str(), data.data(), data.size(), Flush::ToDisk), data.size());
    EXPECT_EQ(ModeOf(kept), c[1]);
  }

  const mode_t mask = ::umask(022);
  const auto fresh = dir.file(u"fresh.ttt");
  ASSERT_EQ(ReplaceWholeFile(fresh.c_str(), data.data(), data.size(), Flush::ToDisk), data.size());
  ::umask(mask);
  EXPECT_EQ(ModeOf(fresh), 0644u);
}

TEST(PlatformPosixTest, APathWithoutAUtf8FormNamesNoFile) {
  TempDir dir;
  const std::u16string path = dir.path() + u"/lone-\xDC00.bin";
  const Bytes data = ToBytes("x");
  EXPECT_EQ(WriteWholeFile(path.c_str(), data.data(), data.size(), false), 0u);
  EXPECT_EQ(ReplaceWholeFile(path.c_str(), data.data(), data.size(), Flush::ToDisk), 0u);
  EXPECT_EQ(ReadWholeFile(path.c_str()).data, nullptr);
  EXPECT_TRUE(MappedFile(path.c_str(), true).failed());
  EXPECT_FALSE(WriteProfileText(path.c_str(), u"S", u"k", u"v"));
  EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(dir.path())));
}

TEST(PlatformPosixTest, TheCodePageIsUtf8CutAtCharacterBoundaries) {
  const struct {
    const char16_t* text;
    int capacity;
    const char* expected;
  } kCases[] = {
      {u"abc", 16, "abc"},
      {u"中文", 16, "\xE4\xB8\xAD\xE6\x96\x87"},
      {u"中文", 6, "\xE4\xB8\xAD"},
      {u"中文", 3, ""},
      {u"a\U0001F600", 5, "a"},
      {u"a\U0001F600", 6, "a\xF0\x9F\x98\x80"},
      {u"\xD800x", 16, "\xEF\xBF\xBDx"},
      {u"a\xDCFF\xDC80"
       u"b",
       16,
       "a\xFF\x80"
       "b"},  // bytes that were not UTF-8 come back
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(U8(c.text) + " in " + std::to_string(c.capacity));
    char bytes[16];
    EXPECT_EQ(ConvertToCodePage(bytes, c.capacity, c.text), static_cast<int>(strlen(c.expected)));
    EXPECT_STREQ(bytes, c.expected);
  }
  char16_t units[8];
  EXPECT_EQ(ConvertFromCodePage(units, 8, "a\xFF\xE4\xB8\xAD"), 3);
  EXPECT_EQ(std::u16string(units), u"a\xDCFF中");
  EXPECT_EQ(ConvertFromCodePage(units, 3, "a\xF0\x9F\x98\x80"), 1);
  EXPECT_EQ(std::u16string(units), u"a");
}

TEST(PlatformPosixTest, TheProgramPathIsTheRunningExecutable) {
  char16_t path[kPathCapacity];
  ASSERT_TRUE(GetProgramPath(path, static_cast<int>(kPathCapacity)));
  EXPECT_EQ(std::filesystem::path(std::u16string(path)),
            std::filesystem::read_symlink("/proc/self/exe"));
  char16_t tiny[4] = u"xyz";
  EXPECT_FALSE(GetProgramPath(tiny, 4));
  EXPECT_EQ(tiny[0], 0);
}

class ProfileReadingTest : public ::testing::Test {
 protected:
  ProfileReadingTest() : profile_(dir_.file(u"glos.ini")) {
    WriteFile(profile_, ToBytes("[glosmorin]\n"
                                "  exclude =  \" .text| \"  \n"
                                "Spaces=   \n"
                                "Plus=+17\n"
                                "Trailing=12abc\n"
                                "Garbage=abc\n"
                                "Huge=4294967297\n"
                                "Quoted='-1'\n"
                                "Chinese=中文\n"));
  }
  std::u16string String(const char16_t* key, int capacity = 260) {
    char16_t text[260];
    const int length =
        ReadProfileText(profile_.c_str(), u"Glosmorin", key, u"default  ", text, capacity);
    EXPECT_EQ(length, static_cast<int>(TextLength(text)));
    return text;
  }
  std::uint32_t Int(const char16_t* key) {
    return ReadProfileInt(profile_.c_str(), u"Glosmorin", key, 99);
  }
  TempDir dir_;
  std::u16string profile_;
};

TEST_F(ProfileReadingTest, ValuesAreTrimmedUnquotedAndCut) {
  EXPECT_EQ(String(u"EXCLUDE"), u" .text| ");
  EXPECT_EQ(String(u"Spaces"), u"");
  EXPECT_EQ(String(u"Chinese"), u"中文");
  EXPECT_EQ(String(u"Chinese", 2), u"中");
  EXPECT_EQ(String(u"Missing"), u"default");
  EXPECT_EQ(String(u"Missing", 4), u"def");
}

TEST_F(ProfileReadingTest, NumbersReadAsGetPrivateProfileIntReadsThem) {
  EXPECT_EQ(Int(u"Plus"), 17u);
  EXPECT_EQ(Int(u"Trailing"), 12u);
  EXPECT_EQ(Int(u"Garbage"), 0u);
  EXPECT_EQ(Int(u"Huge"), 1u);
  EXPECT_EQ(Int(u"Quoted"), 0xFFFFFFFFu);
  EXPECT_EQ(Int(u"Spaces"), 99u);
  EXPECT_EQ(Int(u"Missing"), 99u);
}

TEST_F(ProfileReadingTest, AWriteKeepsEveryOtherByte) {
  const Bytes before = ReadFile(profile_);
  ASSERT_TRUE(WriteProfileText(profile_.c_str(), u"Glosmorin", u"plus", u"18"));
  std::string expected(before.begin(), before.end());
  expected.replace(expected.find("+17"), 3, "18");
  EXPECT_EQ(ReadFile(profile_), ToBytes(expected));
}

TEST_F(ProfileReadingTest, AProfileThatCannotBeReadIsNotOverwritten) {
  ASSERT_EQ(::chmod(U8(profile_).c_str(), 0), 0);
  // Root reads it anyway; then the file is read-only, which a write must respect just the same.
  EXPECT_FALSE(WriteProfileText(profile_.c_str(), u"Glosmorin", u"Plus", u"18"));
  ASSERT_EQ(::chmod(U8(profile_).c_str(), 0644), 0);
  EXPECT_EQ(Int(u"Plus"), 17u);
}

}  // namespace
}  // namespace glos::test

#endif
