// The escapes of translation text in both widths, their reports, and the number reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "core/Status.h"
#include "engine/Escape.h"
#include "fuzz/FuzzChecks.h"
#include "tests/support/StatusCapture.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

// Collects the reports made during one test.
class EscapeTest : public ::testing::Test {
 protected:
  StatusCapture capture_;
};

TEST_F(EscapeTest, EscapeWritesFiveEscapesAndAClosingZero) {
  const struct {
    std::string source, expected;
  } cases[] = {{"a\tb", "a\\tb"},
               {"\\", "\\\\"},
               {std::string(1, '\0'), "\\0"},
               {"\r\n\x01\x7F\xE9", "\\r\\n\x01\x7F\xE9"},
               {"", ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    std::vector<std::uint8_t> dest(2 * c.source.size() + 1, 0xCC);
    EXPECT_EQ(EscapeText(dest.data(), ToBytes(c.source).data(), c.source.size()),
              c.expected.size());
    EXPECT_EQ(dest, ToBytes(c.expected + std::string(1, '\0') +
                            std::string(dest.size() - c.expected.size() - 1, '\xCC')));
    std::u16string wide(2 * c.source.size() + 1, u'\xCCCC');
    std::u16string source = Widen(c.source) + u"\x20AC";
    EXPECT_EQ(EscapeText(wide.data(), source.data(), c.source.size()), c.expected.size());
    EXPECT_EQ(wide.substr(0, c.expected.size() + 1), Widen(c.expected) + u'\0');
  }
}

struct UnescapeCase {
  std::string text;
  std::size_t capacity;
  bool prefix, noLengthCheck;
  std::string units;  // the bytes or units written, fill included
  std::uint32_t written;
  bool reported;
};

// Width-independent cases: run through both members, with Terminator '#' to make the fill visible.
const UnescapeCase kUnescapeCases[] = {
    {"abc", 5, false, false, "abc##", 3, false},
    {"abcdef", 4, false, false, "abcd", 4, true},
    {"abcdef", 4, false, true, "abcdef", 6, false},
    {"abcd", 4, false, false, "abcd", 4, false},
    {"ab", 4, true, false,
     "\x02"
     "ab#",
     3, false},
    {"abcd", 4, true, false,
     "\x03"
     "abc",
     4, true},
    {"abcd", 2, true, true,
     "\x04"
     "abcd",
     5, false},
    {"", 3, true, false, std::string(1, '\0') + "##", 1, false},
    {"a\\", 3, false, false, std::string("a\0#", 3), 2, false},
    {"\\0\\n\\r\\t\\\\\\,\\X\\N", 9, false, false, std::string("\0\n\r\t\\,XN#", 9), 8, false},
    {"\\x", 2, false, false, std::string("\0#", 2), 1, false},
    {"xyz", 0, true, false, "", 0, true},
    {"", 0, false, false, "", 0, false},
};

template <typename Char>
void RunUnescapeCases(StatusCapture& capture) {
  constexpr std::size_t kWidth = sizeof(Char);
  for (const UnescapeCase& c : kUnescapeCases) {
    SCOPED_TRACE(testing::Message() << "width " << kWidth << " text " << c.text << " capacity "
                                    << c.capacity << " prefix " << c.prefix);
    Settings settings;
    SetTerminator(settings, '#');
    SetOption(settings, kNoLengthCheck, c.noLengthCheck);
    // An odd start: the member must cope with unaligned destinations.
    std::vector<std::uint8_t> dest(1 + 20 * kWidth, 0xCC);
    const std::basic_string<Char> text(c.text.begin(), c.text.end());
    capture.clear();
    EXPECT_EQ(
        UnescapeText(settings, dest.data() + 1, text.data(), text.size(), c.capacity, c.prefix),
        c.written);
    std::vector<std::uint8_t> expected(dest.size(), 0xCC);
    for (std::size_t i = 0; i < c.units.size(); ++i) {
      expected[1 + i * kWidth] = static_cast<std::uint8_t>(c.units[i]);
      if (kWidth == 2) expected[2 + i * kWidth] = 0;
    }
    EXPECT_EQ(dest, expected);
    const std::string code = kWidth == 1 ? "517:" : "516:";
    EXPECT_EQ(capture.tagged(),
              c.reported ? std::vector<std::string>{code + c.text} : std::vector<std::string>{});
  }
}

TEST_F(EscapeTest, UnescapeCutsFillsAndReportsInBothWidths) {
  RunUnescapeCases<std::uint8_t>(capture_);
  RunUnescapeCases<char16_t>(capture_);
}

TEST_F(EscapeTest, HexEscapesTakeTwoOrFourCharacters) {
  const struct {
    std::string text, bytes;
    std::u16string units;
  } cases[] = {
      {"\\x41", "A", u"A"},
      {"\\x4G", "\x04", u"\x0004"},
      {"\\x414", "A4", u"\x0414"},
      {"\\xZZ", std::string(1, '\0'), std::u16string(1, u'\0')},
      {"\\x20AC", " AC", u"\x20AC"},
      {"\\xff\\x0", std::string("\xFF\0", 2),
       u"\x00FF"
       u"0"},
  };
  // Without the length check nothing is cut or filled, so the units written are all there is.
  Settings settings;
  SetOption(settings, kNoLengthCheck, true);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const Bytes text = ToBytes(c.text);
    Bytes bytes(8, 0xCC);
    EXPECT_EQ(UnescapeText(settings, bytes.data(), text.data(), text.size(), 0, false),
              c.bytes.size());
    EXPECT_EQ(UnescapedLength(text.data(), text.size()), c.bytes.size());
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + c.bytes.size()), c.bytes);
    const std::u16string wideText = Widen(c.text);
    std::u16string units(8, u'\xCCCC');
    EXPECT_EQ(UnescapeText(settings, reinterpret_cast<std::uint8_t*>(units.data()), wideText.data(),
                           wideText.size(), 0, false),
              c.units.size());
    EXPECT_EQ(UnescapedLength(wideText.data(), wideText.size()), c.units.size());
    EXPECT_EQ(units.substr(0, c.units.size()), c.units);
  }
}

TEST_F(EscapeTest, EscapedTextUnescapesToTheSameUnits) {
  std::mt19937 rng(7);
  Settings settings;
  for (int round = 0; round < 200; ++round) {
    std::u16string source(rng() % 40, u'\0');
    for (auto& unit : source) unit = static_cast<char16_t>(rng() % 3 ? rng() % 128 : rng());
    std::u16string escaped(2 * source.size() + 1, u'\0');
    const std::size_t length = EscapeText(escaped.data(), source.data(), source.size());
    std::u16string back(source.size(), u'\xCCCC');
    EXPECT_EQ(UnescapeText(settings, reinterpret_cast<std::uint8_t*>(back.data()), escaped.data(),
                           length, source.size(), false),
              source.size());
    EXPECT_EQ(back, source);
  }
  EXPECT_TRUE(capture_.reports().empty());
}

template <typename Char>
void CompareUnescapeWithItsRules(StatusCapture& capture) {
  std::mt19937 rng(sizeof(Char) * 1009);
  const std::uint32_t pieces[] = {'a', 'b', ' ', '\\', '\\', 'x', 'n', '0', 'F', 'g', 0xE9, 0x4E2D};
  for (int round = 0; round < 3000; ++round) {
    std::vector<Char> text(rng() % 60);
    for (auto& c : text) {
      c = static_cast<Char>(pieces[rng() % std::size(pieces)]);
    }
    const std::size_t capacity = rng() % (text.size() + 4);
    const bool prefix = rng() % 4 == 0;
    Settings settings;
    SetOption(settings, kNoLengthCheck, rng() % 4 == 0);
    SetTerminator(settings, static_cast<std::uint16_t>(rng() % 3 == 0 ? 0x2A : 0));
    // Room for the whole text, with guard bytes on both sides that must stay as they are.
    const std::size_t room = (text.size() + capacity + 2) * sizeof(Char);
    std::vector<std::uint8_t> got(room + 16, 0xCC);
    std::vector<std::uint8_t> want(room + 16, 0xCC);
    const fuzz::ReferenceSlot slot = fuzz::ReferenceUnescapeSlot(
        fuzz::Units(text.begin(), text.end()), sizeof(Char), capacity, prefix,
        HasOption(settings, kNoLengthCheck), Terminator(settings));
    std::copy(slot.bytes.begin(), slot.bytes.end(), want.begin() + 8);
    capture.clear();
    EXPECT_EQ(UnescapeText(settings, got.data() + 8, text.data(), text.size(), capacity, prefix),
              slot.written)
        << "round " << round;
    EXPECT_EQ(got, want) << "round " << round;
    EXPECT_EQ(capture.reports().size(), slot.cut ? 1u : 0u) << "round " << round;
  }
}

// Every text shape (escapes, runs without them, over-long texts, a trailing backslash, short
// \x) against the rules, in both widths, with and without a prefix and the length check.
TEST_F(EscapeTest, UnescapeFollowsItsRulesOnRandomTexts) {
  CompareUnescapeWithItsRules<std::uint8_t>(capture_);
  CompareUnescapeWithItsRules<char16_t>(capture_);
}

TEST(ParseNumberTest, ReadsHexAndDecimalAndWraps) {
  const struct {
    std::string text;
    std::int32_t expected;
  } cases[] = {
      {"0x00001234,0005", 0x1234},
      {"0X1f", 31},
      {"0012", 12},
      {"", 0},
      {"abc", 0},
      {"12ab", 12},
      {"0x", 0},
      {"0xG1", 0},
      {"-12", -12},
      {"0xFFFFFFFF", -1},
      {"4294967297", 1},
      {"0x123456789", 0x23456789},
      {" 12", 0},
      {"+5", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const Bytes bytes = ToBytes(c.text);
    EXPECT_EQ(ParseNumber(bytes.data(), bytes.data() + bytes.size()), c.expected);
    const std::u16string units = Widen(c.text);
    EXPECT_EQ(ParseNumber(units.data(), units.data() + units.size()), c.expected);
  }
  const Bytes digits = ToBytes("1234");
  EXPECT_EQ(ParseNumber(digits.data(), digits.data() + 2), 12);
}

}  // namespace
}  // namespace glos::test
