// FindIniValue and SetIniValue: reading keys as the Win32 profile functions do, and changing one
// key without touching any other byte.
#include <gtest/gtest.h>

#include <string>

#include "core/IniText.h"

namespace glos {
namespace {

struct FindCase {
  const char* text;
  const char* section;
  const char* key;
  const char* value;  // null: not found
};

constexpr FindCase kFindCases[] = {
    {"[Glosmorin]\r\nGlosmorin=-2147221504\r\n", "Glosmorin", "Glosmorin", "-2147221504"},
    {"[glosmorin]\nEXCLUDE=.text|\n", "Glosmorin", "Exclude", ".text|"},
    {"  [ Glosmorin ]  \r  Exclude  =  .a| .b|  \r", "Glosmorin", "Exclude", ".a| .b|"},
    {"[S]\nk=\"quoted value \"\n", "S", "k", "quoted value "},
    {"[S]\nk='x'\n", "S", "k", "x"},
    {"[S]\nk=\"x'\n", "S", "k", "\"x'"},
    {"[S]\nk=\"\n", "S", "k", "\""},
    {"[S]\nk=\n", "S", "k", ""},
    {"[S]\nk=a=b", "S", "k", "a=b"},
    {"[S]\nk\n", "S", "k", nullptr},
    {"[S]\n;k=comment\n", "S", "k", nullptr},
    {"k=outside\n[S]\n", "S", "k", nullptr},
    {"[T]\nk=other section\n", "S", "k", nullptr},
    {"[S]\nk=first\nk=second\n", "S", "k", "first"},
    {"[S]\nj=1\n[T]\nk=2\n[S]\nk=3\n", "S", "k", "3"},
    {"[S\nk=unclosed header\n", "S", "k", "unclosed header"},
    {"\xEF\xBB\xBF[S]\nk=after bom\n", "S", "k", "after bom"},
    {"", "S", "k", nullptr},
};

TEST(IniTextTest, FindsValuesAsWin32Reads) {
  for (const FindCase& c : kFindCases) {
    SCOPED_TRACE(c.text);
    std::string_view value;
    const bool found = FindIniValue(c.text, c.section, c.key, value);
    ASSERT_EQ(found, c.value != nullptr);
    if (found) {
      EXPECT_EQ(value, c.value);
    }
  }
}

struct SetCase {
  const char* before;
  const char* section;
  const char* key;
  const char* value;
  const char* after;
};

constexpr SetCase kSetCases[] = {
    {"", "Glosmorin", "Glosmorin", "-2147221504", "[Glosmorin]\r\nGlosmorin=-2147221504\r\n"},
    {"; mine\n[Glosmorin]\nGlosmorin = 5 ; old\nExclude=x\n", "glosmorin", "GLOSMORIN", "6",
     "; mine\n[Glosmorin]\nGlosmorin =6\nExclude=x\n"},
    {"[A]\r\na=1\r\n\r\n[B]\r\nb=2\r\n", "A", "new", "v",
     "[A]\r\na=1\r\nnew=v\r\n\r\n[B]\r\nb=2\r\n"},
    {"[A]\na=1\n;tail\n\n[B]\n", "A", "new", "v", "[A]\na=1\n;tail\nnew=v\n\n[B]\n"},
    {"[A]", "A", "k", "v", "[A]\r\nk=v\r\n"},
    {"[A]\na=1", "B", "k", "v", "[A]\na=1\n[B]\nk=v\n"},
    {"[A]\ra=1\r", "A", "a", "", "[A]\ra=\r"},
    {"[A]\na=1\n[A]\nb=2\n", "A", "b", "3", "[A]\na=1\n[A]\nb=3\n"},
    {"[A]\na=1\n[A]\nb=2\n", "A", "c", "3", "[A]\na=1\nc=3\n[A]\nb=2\n"},
    {"\xEF\xBB\xBF[A]\n", "A", "k", "v", "\xEF\xBB\xBF[A]\nk=v\n"},
};

TEST(IniTextTest, SetChangesOnlyTheKeysLine) {
  for (const SetCase& c : kSetCases) {
    SCOPED_TRACE(c.before);
    std::string text = c.before;
    ASSERT_TRUE(SetIniValue(text, c.section, c.key, c.value));
    EXPECT_EQ(text, c.after);
    std::string_view value;
    ASSERT_TRUE(FindIniValue(text, c.section, c.key, value));
    EXPECT_EQ(value, c.value);
  }
}

TEST(IniTextTest, RefusesNamesAndValuesThatWouldNotReadBack) {
  const char* const kBad[][3] = {
      {"", "k", "v"},      {" ", "k", "v"},   {"a]b", "k", "v"}, {"S", "", "v"},
      {"S", "a=b", "v"},   {"S", ";k", "v"},  {"S", "[k", "v"},  {"S", "k", "two\nlines"},
      {"S", "k", "cr\rv"}, {"S\n", "k", "v"},
  };
  for (const auto& bad : kBad) {
    std::string text = "[S]\nk=1\n";
    EXPECT_FALSE(SetIniValue(text, bad[0], bad[1], bad[2])) << bad[0] << "|" << bad[1];
    EXPECT_EQ(text, "[S]\nk=1\n");
  }
}

}  // namespace
}  // namespace glos
