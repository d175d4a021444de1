// FormatText with the rules of wsprintfW (the expectations are what wsprintfW gives), and the
// conversions of the 8-bit code page.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "core/Text.h"
#include "core/TextFormat.h"
#include "tests/support/TestSupport.h"

namespace glos {
namespace {

struct NumberCase {
  const char16_t* format;
  unsigned value;
  const char16_t* expected;
};

constexpr NumberCase kNumberCases[] = {
    {u"%08X", 0xABCu, u"00000ABC"},
    {u"%08X", 0xDEADBEEFu, u"DEADBEEF"},
    {u"%#08X", 0x1234u, u"0X00001234"},
    {u"%#08x", 0x1234u, u"0x00001234"},
    {u"%#08X", 0u, u"0X00000000"},
    {u"%#5X|", 255u, u"   0XFF|"},
    {u"%-#8x|", 255u, u"0xff      |"},
    {u"%#.3x|", 1u, u"0x001|"},
    {u"%x", 0xABCu, u"abc"},
    {u"%u", 0xFFFFFFFFu, u"4294967295"},
    {u"%d", 0x80040000u, u"-2147221504"},
    {u"%d", 0x80000000u, u"-2147483648"},
    {u"%05d", static_cast<unsigned>(-42), u"-0042"},
    {u"%08d|", static_cast<unsigned>(-5), u"-0000005|"},
    {u"%.3d|", static_cast<unsigned>(-5), u"-05|"},
    {u"%8.3d|", static_cast<unsigned>(-5), u"     -05|"},
    {u"%-5d|", 42u, u"42   |"},
    {u"%-08d|", 42u, u"42      |"},
    {u"%08.5d|", 42u, u"00000042|"},
    {u"%.0d|", 0u, u"0|"},
    {u"%i|", static_cast<unsigned>(-3), u"-3|"},
    {u"%lu|", 7u, u"7|"},
    {u"%hX|", 0x12345u, u"12345|"},
    {u"%+d", 5u, u"+d"},
    {u"%q%%", 1u, u"q%"},
    {u"%0-5d|", 5u, u"-5d|"},
    {u"%##x|", 3u, u"#x|"},
};

TEST(TextFormatTest, NumbersFollowWsprintf) {
  for (const NumberCase& c : kNumberCases) {
    SCOPED_TRACE(test::U8(c.format));
    char16_t line[kFormatCapacity];
    const int length = FormatText(line, c.format, c.value);
    EXPECT_EQ(std::u16string(line), c.expected);
    EXPECT_EQ(length, static_cast<int>(TextLength(line)));
  }
}

TEST(TextFormatTest, TextsAndCharactersFollowWsprintf) {
  char16_t line[kFormatCapacity];
  const auto check = [&line](int length, const char16_t* expected) {
    EXPECT_EQ(std::u16string(line), expected);
    EXPECT_EQ(length, static_cast<int>(TextLength(line)));
  };
  check(FormatText(line, u"◆ 已经成功提取字符串: %s\r\n", u"C:/中文/a.dll.ttt"),
        u"◆ 已经成功提取字符串: C:/中文/a.dll.ttt\r\n");
  check(FormatText(line, u"%ls|%hs|%S|%ws", u"wide", "narrow", "upper S", u"w"),
        u"wide|narrow|upper S|w");
  check(FormatText(line, u"%.3s|%5s|%-5s|%05s|%10.2hs|", u"abcdef", u"ab", u"ab", u"ab", "abc"),
        u"abc|   ab|ab   |   ab|        ab|");
  check(FormatText(line, u"%.0s|%-5s|", u"ab", u"abcdefg"), u"ab|abcdefg|");
  check(FormatText(line, u"%s|%hs", static_cast<const char16_t*>(nullptr),
                   static_cast<const char*>(nullptr)),
        u"(null)|(null)");
  check(FormatText(line, u"%c|%5c|%-3c|%hc|%lc", 0x4E2D, 'a', 'b', 'c', 0x4E2D),
        u"中|    a|b  |c|中");
  check(FormatText(line, u"%c|after", 0), u"");
  check(FormatText(line, u"trailing %"), u"trailing ");
}

TEST(TextFormatTest, LongOutputIsCutAtTheLimit) {
  for (const std::size_t size :
       {kFormatCapacity - 2, kFormatCapacity - 1, kFormatCapacity, 3 * kFormatCapacity}) {
    SCOPED_TRACE(size);
    const std::u16string argument(size, u'a');
    char16_t line[kFormatCapacity + 8];
    std::fill(std::begin(line), std::end(line), u'#');
    const int length = FormatText(line, u"%s", argument.c_str());
    const std::size_t expected = std::min(size, kFormatCapacity - 1);
    EXPECT_EQ(length, static_cast<int>(expected));
    EXPECT_EQ(line[expected], 0);
    EXPECT_EQ(line[kFormatCapacity], u'#');
  }
}

}  // namespace
}  // namespace glos
