// The Windows side of the platform facilities where the system decides: wildcard enumeration,
// huge files, the program's path, profile values and the ANSI code page.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>
// <windows.h> would rename glos::WriteProfileText to WriteProfileStringW.
#undef WriteProfileText

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/Directory.h"
#include "core/FileIo.h"
#include "core/MappedFile.h"
#include "core/Profile.h"
#include "core/Text.h"
#include "core/TextFormat.h"
#include "tests/support/TestSupport.h"

namespace glos {
namespace {

using test::ListEntries;
using test::MakeDirectory;
using test::ReadFile;
using test::TempDir;
using test::ToBytes;
using test::WriteFile;

struct Listing {
  const char* name;
  const char16_t* pattern;
  std::vector<std::u16string> names;  // sorted; directories end in "\"
};

class DirectoryWin32Test : public testing::TestWithParam<Listing> {};

TEST_P(DirectoryWin32Test, ListsWhatThePatternMatches) {
  TempDir dir;
  for (const char16_t* name : {u"a.txt", u"b.TXT", u"abc.dll", u"noext", u".hidden", u"x.y.z"}) {
    WriteFile(dir.file(name), ToBytes("x"));
  }
  MakeDirectory(dir.file(u"sub"));
  std::vector<std::u16string> names = ListEntries(dir.file(GetParam().pattern));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, GetParam().names);
}

const std::vector<std::u16string> kEverything = {
    u"..\\", u".\\", u".hidden", u"a.txt", u"abc.dll", u"b.TXT", u"noext", u"sub\\", u"x.y.z"};

INSTANTIATE_TEST_SUITE_P(
    Patterns, DirectoryWin32Test,
    testing::Values(Listing{"Star", u"*", kEverything}, Listing{"StarDotStar", u"*.*", kEverything},
                    Listing{"Extension", u"*.txt", {u"a.txt", u"b.TXT"}},
                    Listing{"QuestionMark", u"?.TXT", {u"a.txt", u"b.TXT"}},
                    Listing{"QuestionMarkInside", u"a?c.dll", {u"abc.dll"}},
                    Listing{"LastExtension", u"*.z", {u"x.y.z"}},
                    Listing{"PlainName", u"noext", {u"noext"}},
                    Listing{"Directory", u"sub", {u"sub\\"}}, Listing{"NoMatch", u"missing*", {}},
                    Listing{"MissingDirectory", u"missing\\*", {}}),
    [](const testing::TestParamInfo<Listing>& info) { return std::string(info.param.name); });

TEST(PlatformWin32Test, ProgramPathNamesTheRunningExecutable) {
  char16_t path[kPathCapacity];
  ASSERT_TRUE(GetProgramPath(path, kPathCapacity));
  const std::u16string text(path);
  ASSERT_GT(text.size(), 4u);
  EXPECT_EQ(text.substr(text.size() - 4), u".exe");
  char16_t small[4] = u"old";
  EXPECT_FALSE(GetProgramPath(small, 4));
  EXPECT_EQ(small[0], 0);
}

TEST(PlatformWin32Test, ProfileValuesAreTrimmedAndUnquotedAndOtherLinesKept) {
  TempDir dir;
  const auto file = dir.file(u"glos.ini");
  WriteFile(file, ToBytes("; note\r\n[Glosmorin]\r\nQuoted= \"a b\" \r\nNumber=-2147221504\r\n"
                          "[Other]\r\nkeep=1\r\n"));
  char16_t value[kPathCapacity];
  EXPECT_EQ(ReadProfileText(file.c_str(), u"Glosmorin", u"Quoted", u"", value, kPathCapacity), 3);
  EXPECT_EQ(std::u16string(value), u"a b");
  EXPECT_EQ(ReadProfileText(file.c_str(), u"Glosmorin", u"Absent", u"dflt", value, 3), 2);
  EXPECT_EQ(std::u16string(value), u"df");
  EXPECT_EQ(ReadProfileInt(file.c_str(), u"Glosmorin", u"Number", 7), 0x80040000u);
  EXPECT_EQ(ReadProfileInt(file.c_str(), u"Glosmorin", u"Absent", 0x80040000u), 0x80040000u);

  ASSERT_TRUE(WriteProfileText(file.c_str(), u"Glosmorin", u"Exclude", u".text|"));
  const auto bytes = ReadFile(file);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("; note"), std::string::npos) << text;
  EXPECT_NE(text.find("keep=1"), std::string::npos) << text;
  EXPECT_NE(text.find("Exclude=.text|"), std::string::npos) << text;
}

// Whatever the ANSI code page, a cut result is whole characters: back in UTF-16 it is a prefix of
// the whole text's round trip, with no stray unit from half a character at its end.
TEST(PlatformWin32Test, CodePageTextIsCutBetweenCharacters) {
  const std::u16string text = u"caf\u00e9 \u4e2d\u6587 \U0001F600 end";
  char full[64];
  const int fullLength = ConvertToCodePage(full, sizeof full, text.c_str());
  ASSERT_GT(fullLength, 0);
  char16_t fullBack[64];
  ConvertFromCodePage(fullBack, 64, full);
  const std::u16string roundTrip(fullBack);
  for (int capacity = 1; capacity <= fullLength + 1; ++capacity) {
    SCOPED_TRACE(capacity);
    char cut[64];
    std::fill(std::begin(cut), std::end(cut), '#');
    const int length = ConvertToCodePage(cut, capacity, text.c_str());
    ASSERT_LT(length, capacity);
    // ANSI code pages have characters of one or two bytes: at most one byte of room stays empty.
    EXPECT_GE(length, std::min(fullLength, capacity - 1) - 1);
    EXPECT_EQ(cut[length], 0);
    EXPECT_EQ(std::string(cut), std::string(full, static_cast<std::size_t>(length)));
    char16_t back[64];
    ConvertFromCodePage(back, 64, cut);
    const std::u16string prefix(back);
    EXPECT_EQ(roundTrip.substr(0, prefix.size()), prefix);
  }
}

}  // namespace
}  // namespace glos

#endif
