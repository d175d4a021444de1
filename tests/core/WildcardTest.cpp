// MatchWildcard: "*", "?", exact case, and the Win32 rule for a trailing ".*".
#include <gtest/gtest.h>

#include <string>

#include "core/Wildcard.h"
#include "tests/support/TestSupport.h"

namespace glos {
namespace {

struct Case {
  const char16_t* pattern;
  const char16_t* name;
  bool matches;
};

constexpr Case kCases[] = {
    {u"*", u"anything.dll", true},
    {u"*", u".hidden", true},
    {u"*.dll", u"KERNEL32.DLL", false},  // names are case-sensitive
    {u"*.DLL", u"KERNEL32.DLL", true},
    {u"*.dll", u"a.dll.bak", false},
    {u"*.dll", u"dll", false},
    {u"*.*", u"noextension", true},
    {u"*.*", u"..", true},
    {u"readme.*", u"readme", true},
    {u"readme.*", u"README.TXT", false},
    {u"readme.*", u"readmex", false},
    {u"a?c", u"abc", true},
    {u"a?c", u"ac", false},
    {u"a?c", u"abbc", false},
    {u"??", u"中文", true},
    {u"a*b*c", u"aXbYbZc", true},
    {u"a*b*c", u"aXbYbZ", false},
    {u"*a*a*a*b", u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
    {u"**", u"", true},
    {u"", u"", true},
    {u"", u"x", false},
    {u"x", u"", false},
    {u"[ab]", u"a", false},
    {u"[ab]", u"[ab]", true},
    {u"é", u"É", false},
    {u"file.TTT", u"File.ttt", false},
    {u"a.bin", u"A.BIN", false},
    {u"*.tt?", u"x.ttt", true},
    {u"*.tt?", u"x.tt", false},
};

TEST(WildcardTest, MatchesAsWin32EnumerationDoesButWithExactCase) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(test::U8(c.pattern) + " ~ " + test::U8(c.name));
    EXPECT_EQ(MatchWildcard(c.pattern, c.name), c.matches);
  }
}

// Against a plain recursive reference over every short pattern and name from a small alphabet.
bool Reference(std::u16string_view p, std::u16string_view n) {
  if (p.empty()) return n.empty();
  if (p[0] == u'*') return Reference(p.substr(1), n) || (!n.empty() && Reference(p, n.substr(1)));
  if (n.empty()) return false;
  return (p[0] == u'?' || p[0] == n[0]) && Reference(p.substr(1), n.substr(1));
}

void AllStrings(const std::u16string& alphabet, std::size_t maxLength,
                std::vector<std::u16string>& out, std::u16string prefix = u"") {
  out.push_back(prefix);
  if (prefix.size() == maxLength) return;
  for (char16_t c : alphabet) AllStrings(alphabet, maxLength, out, prefix + c);
}

TEST(WildcardTest, AgreesWithAReferenceWithoutTheDotRule) {
  std::vector<std::u16string> patterns;
  std::vector<std::u16string> names;
  AllStrings(u"aA*?b", 4, patterns);
  AllStrings(u"aAb", 5, names);
  for (const auto& pattern : patterns) {
    for (const auto& name : names) {
      ASSERT_EQ(MatchWildcard(pattern, name), Reference(pattern, name))
          << test::U8(pattern) << " ~ " << test::U8(name);
    }
  }
}

}  // namespace
}  // namespace glos
