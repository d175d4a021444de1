// DirectorySearch on POSIX: wildcard matching over real directories, NTFS-like order, dot
// entries, links to directories, and names that have no UTF-16 form.
#ifndef _WIN32

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/Directory.h"
#include "tests/support/TestSupport.h"

namespace glos {
namespace {

using test::TempDir;
using test::ToBytes;
using test::U16;
using test::U8;
using test::WriteFile;

// Every entry of a search as "name" or "name/" for a directory, in the order given.
std::vector<std::string> List(const std::u16string& pattern) {
  std::vector<std::string> names;
  for (const std::u16string& name : test::ListEntries(pattern)) names.push_back(U8(name));
  return names;
}

class DirectoryPosixTest : public ::testing::Test {
 protected:
  DirectoryPosixTest() {
    for (const char* name : {"b.dll", "A.DLL", "a.txt", "_x.dll", "Z", "readme", ".hidden.dll"}) {
      WriteFile(dir_.file(U16(name)), ToBytes("x"));
    }
    test::MakeDirectory(dir_.file(u"sub.dll"));
    test::MakeDirectory(dir_.file(u".git"));
  }
  std::u16string Pattern(const std::string& name) { return dir_.path() + u"/" + U16(name); }
  TempDir dir_;
};

TEST_F(DirectoryPosixTest, MatchesAndSortsByUpperCasedUnits) {
  const struct {
    const char* pattern;
    std::vector<std::string> expected;
  } kCases[] = {
      {"*.dll", {".hidden.dll", "A.DLL", "b.dll", "sub.dll/", "_x.dll"}},
      {"*",
       {".", "..", ".git/", ".hidden.dll", "A.DLL", "a.txt", "b.dll", "readme", "sub.dll/", "Z",
        "_x.dll"}},
      {"?.*", {".", "..", "A.DLL", "a.txt", "b.dll", "Z"}},
      {"README", {"readme"}},
      {"readme.*", {"readme"}},
      {"*.exe", {}},
      {"", {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.pattern);
    std::vector<std::string> expected;
    for (const auto& name : c.expected)
      expected.push_back(name == "." || name == ".." ? name + "/" : name);
    EXPECT_EQ(List(Pattern(c.pattern)), expected);
  }
}

TEST_F(DirectoryPosixTest, AMissingOrUnnamableDirectoryGivesNothing) {
  EXPECT_TRUE(List(dir_.path() + u"/missing/*").empty());
  EXPECT_TRUE(List(dir_.path() + u"/b.dll/*").empty());
  const std::u16string loneSurrogate = dir_.path() + u"/\xD800/*";
  EXPECT_TRUE(List(loneSurrogate).empty());
}

TEST_F(DirectoryPosixTest, LinksCountAsWhatTheyLeadTo) {
  ASSERT_EQ(::symlink("sub.dll", U8(dir_.file(u"link-to-dir")).c_str()), 0);
  ASSERT_EQ(::symlink("b.dll", U8(dir_.file(u"link-to-file")).c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", U8(dir_.file(u"link-broken")).c_str()), 0);
  EXPECT_EQ(List(Pattern("link-*")),
            (std::vector<std::string>{"link-broken", "link-to-dir/", "link-to-file"}));
}

TEST_F(DirectoryPosixTest, NamesThatAreNotUtf8AreLeftOut) {
  WriteFile(dir_.file(u"good-\u4e2d.bin"), ToBytes("x"));
  const std::string bad = U8(dir_.path()) + "/bad-\xFF.bin";
  ASSERT_EQ(::close(::creat(bad.c_str(), 0644)), 0);
  EXPECT_EQ(List(Pattern("*.bin")), std::vector<std::string>{"good-\u4e2d.bin"});
}

TEST(DirectoryPosixRelativeTest, APatternWithoutSeparatorSearchesTheWorkingDirectory) {
  TempDir dir;
  WriteFile(dir.file(u"only.one"), ToBytes("x"));
  char previous[4096];
  ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(::chdir(U8(dir.path()).c_str()), 0);
  const std::vector<std::string> names = List(u"*.one");
  ASSERT_EQ(::chdir(previous), 0);
  EXPECT_EQ(names, std::vector<std::string>{"only.one"});
  EXPECT_EQ(kPathSeparator, u'/');
}

}  // namespace
}  // namespace glos

#endif
