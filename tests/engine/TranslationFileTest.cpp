// Translation files: entry lines as written, the encoding rule and the line rules of the reader.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "engine/TranslationFile.h"
#include "fuzz/FuzzChecks.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

Bytes Written(bool wide, void (*build)(OutputBuffer&, bool)) {
  OutputOwner owner;
  build(owner.buffer(), wide);
  EXPECT_FALSE(owner.buffer().failed);
  return Bytes(owner.buffer().data, owner.buffer().data + owner.buffer().size);
}

TEST(TranslationFileTest, WritesHeaderEntriesAndLineEnd) {
  const std::string expected =
      "[Glosmorin]\r\n0x00001234,0005=Hello\r\n0x00002000,0011=Line1\\nLine2"
      "\r\n0xFFFFFFFF,12345=" +
      std::string(12345, 'x') + "\r\n0x00000000,0000=\r\n";
  auto build = [](OutputBuffer& out, bool wide) {
    // Source units at an odd address, as a UTF-16 string in an odd section lies.
    const Bytes hello = wide ? Bytes{0xEE, 'H', 0, 'e', 0, 'l', 0, 'l', 0, 'o', 0}
                             : Bytes{0xEE, 'H', 'e', 'l', 'l', 'o'};
    const Bytes lines = wide ? WideBytes("Line1\nLine2") : ToBytes("Line1\nLine2");
    AppendTranslationHeader(out, wide);
    AppendEntry(out, 0x1234, 5, hello.data() + 1, wide);
    AppendEntry(out, 0x2000, 11, lines.data(), wide);
    const Bytes many = wide ? WideBytes(std::string(12345, 'x')) : Bytes(12345, 'x');
    AppendEntry(out, 0xFFFFFFFF, 12345, many.data(), wide);
    AppendEntry(out, 0, 0, many.data(), wide);
    AppendLineEnd(out, wide);
  };
  EXPECT_EQ(Written(false, build), ToBytes(expected));
  EXPECT_EQ(Written(true, build), WideBytes(expected, /*byteOrderMark=*/true));
}

struct Seen {
  std::uint32_t offset, length;
  std::string text;
  bool operator==(const Seen&) const = default;
};

struct Reading {
  bool wide;
  std::vector<Seen> seen;
};

// The entries of a translation text, their texts narrowed to their low bytes.
std::vector<Seen> Read(const Bytes& file) {
  Reading reading{IsWideTranslation(file.data(), file.size()), {}};
  ReadTranslationEntries(
      file.data(), file.size(),
      [](void* context, const TranslationEntry& e) {
        auto& r = *static_cast<Reading*>(context);
        const auto* text = static_cast<const std::uint8_t*>(e.text);
        std::string narrow;
        for (std::size_t i = 0; i < e.textLength; ++i) narrow += text[r.wide ? 2 * i : i];
        r.seen.push_back({e.offset, e.length, narrow});
      },
      &reading);
  return reading.seen;
}

TEST(TranslationFileTest, ReaderLineRulesUnderEveryBreakInBothEncodings) {
  const std::vector<std::string> lines = {
      "[Glosmorin]",       "0x00000010,0003=a=b", "16,3=a=b", "0x10,0003=a=b",
      "0x10=a,b=c",        " 0x10,1=x",           "0x10,3",   "0x10=3",
      "0xFFFFFFF0,0001=z", "0x20,0002=",          "0,-1=neg", "0x30,0001=last"};
  const std::vector<Seen> expected = {{16, 3, "a=b"},       {16, 3, "a=b"}, {16, 0, "c"},
                                      {0xFFFFFFF0, 1, "z"}, {0x20, 2, ""},  {0, 0xFFFFFFFF, "neg"}};
  for (const std::string breakText : {"\r", "\n", "\r\n", "\n\r\n\r"}) {
    for (bool atEnd : {false, true}) {
      for (bool wide : {false, true}) {
        SCOPED_TRACE(testing::Message()
                     << "break " << breakText.size() << " at end " << atEnd << " wide " << wide);
        std::string text;
        for (const std::string& line : lines) text += line + breakText;
        text.resize(text.size() - breakText.size());
        if (atEnd) text += breakText;
        const Bytes file = wide ? WideBytes(text, /*byteOrderMark=*/true) : ToBytes(text);
        std::vector<Seen> want = expected;
        if (atEnd) want.push_back({0x30, 1, "last"});
        EXPECT_EQ(Read(file), want);
      }
    }
  }
}

TEST(TranslationFileTest, EncodingAndEndOfText) {
  // A UTF-16 text without header is still UTF-16 by its fourth byte.
  EXPECT_EQ(Read(WideBytes("0x1,1=a\r\n")), (std::vector<Seen>{{1, 1, "a"}}));
  EXPECT_TRUE(Read(ToBytes("0\r\n")).empty());
  EXPECT_FALSE(IsWideTranslation(ToBytes("0\r\n").data(), 3));
  // The text ends at the first zero unit.
  EXPECT_EQ(Read(ToBytes(std::string("0x1,1=a\r\n\0"
                                     "0x2,1=b\r\n",
                                     19))),
            (std::vector<Seen>{{1, 1, "a"}}));
  Bytes wide = WideBytes("0x1,1=a\r\n0x2,1=b\r\n");
  const Bytes nul = {0, 0};
  wide.insert(wide.end() - 2 * 9, nul.begin(), nul.end());
  EXPECT_EQ(Read(wide), (std::vector<Seen>{{1, 1, "a"}}));
  // An odd last byte of a UTF-16 text is no line break.
  Bytes odd = WideBytes("0x1,1=a\r\n0x2,1=b");
  odd.push_back('\n');
  EXPECT_EQ(Read(odd), (std::vector<Seen>{{1, 1, "a"}}));
}

// Entry heads and escaped texts against the reference formatter: lengths on
// every side of the 4-, 8- and 16-byte steps of the copy, escapes at every density, sources at
// odd addresses, in both widths.
TEST(TranslationFileTest, EntriesMatchAFormatterWrittenFromTheRules) {
  std::mt19937 rng(7340033);
  const std::uint32_t escapes[] = {0, 9, 10, 13, 92};
  const std::uint32_t others[] = {'a', 'Z', ' ', 0x7F, 0x80, 0xFF, 0x0D0A, 0x5C00, 0x0900, 0xFFFF};
  for (bool wide : {false, true}) {
    for (int round = 0; round < 3000; ++round) {
      const std::uint32_t length = round < 200       ? static_cast<std::uint32_t>(round % 70)
                                   : round % 97 == 0 ? 9990 + rng() % 20
                                                     : rng() % 130;
      const std::uint32_t density = rng() % 4;  // none, rare, often, always
      const std::uint32_t offset = rng() % 3 == 0 ? 0xFFFFFFFFu - rng() % 4 : rng();
      Bytes source(1 + rng() % 3, 0xEE);  // the string starts at an odd or even address
      const std::size_t at = source.size();
      fuzz::Units units;
      for (std::uint32_t i = 0; i < length; ++i) {
        const bool escape =
            density == 3 || (density == 1 && rng() % 40 == 0) || (density == 2 && rng() % 3 == 0);
        std::uint32_t unit = escape ? escapes[rng() % 5] : others[rng() % 10];
        if (!wide) unit &= 0xFF;
        units.push_back(unit);
        source.push_back(unit & 0xFF);
        if (wide) source.push_back(unit >> 8);
      }
      const Bytes expected = fuzz::ReferenceEntryLine(offset, length, units, wide ? 2 : 1);
      OutputOwner owner;
      ASSERT_TRUE(AppendEntry(owner.buffer(), offset, length, source.data() + at, wide));
      const OutputBuffer& out = owner.buffer();
      ASSERT_EQ(Bytes(out.data, out.data + out.size), expected)
          << "wide " << wide << " round " << round << " length " << length;
    }
  }
}

// The reader against the reference reader, on random texts whose lines are longer and
// shorter than the 16 bytes it looks at together; UTF-16 units that merely hold a CR, LF, comma
// or zero byte are no break, separator or end.
TEST(TranslationFileTest, ReaderMatchesItsRulesOnRandomTexts) {
  std::mt19937 rng(1234567);
  const std::uint32_t alphabet[] = {'0',  '0',  'x', '1',  'F',    ',',    '=',    'a',    '\\',
                                    '\r', '\n', ' ', 0x80, 0x0D41, 0x0A2C, 0x3D00, 0x0100, 0};
  std::size_t entries = 0;
  for (bool wide : {false, true}) {
    for (int round = 0; round < 400; ++round) {
      // A header line makes the fourth byte tell the width.
      std::vector<std::uint32_t> units;
      if (wide) units.push_back(0xFEFF);
      for (const char c : std::string("[Glosmorin]\r\n")) units.push_back(c);
      const std::size_t target = 20 + rng() % 300;
      while (units.size() < target) {
        if (rng() % 3 == 0) {
          for (const char c : std::string("0x") + std::to_string(rng() % 5000) + "," +
                                  std::to_string(rng() % 99) + "=") {
            units.push_back(static_cast<unsigned char>(c));
          }
        } else if (rng() % 2 == 0) {
          // A head as Extract writes it, at times with one unit changed, so that the reader's
          // short way for such heads meets every near miss.
          char head[24];
          std::snprintf(head, sizeof head, "0x%08X,%04u=", static_cast<unsigned>(rng()),
                        static_cast<unsigned>(rng() % 10000));
          static constexpr char kChanges[] = "xX0aFg,=-/:@`\r";
          if (rng() % 2 == 0) head[rng() % 16] = kChanges[rng() % (sizeof kChanges - 1)];
          for (const char c : std::string(head)) units.push_back(static_cast<unsigned char>(c));
        }
        for (std::size_t n = rng() % 40; n != 0; --n) {
          std::uint32_t unit = alphabet[rng() % std::size(alphabet)];
          // A zero unit ends the text; only some texts hold one.
          if (unit == 0 && (round % 4 != 0 || rng() % 8 != 0)) unit = 'b';
          units.push_back(wide ? unit : unit & 0xFF);
        }
        units.push_back(rng() % 2 ? '\r' : '\n');
      }
      Bytes file;
      for (const std::uint32_t unit : units) {
        file.push_back(unit & 0xFF);
        if (wide) file.push_back(unit >> 8);
      }
      if (wide && rng() % 2 == 0) file.push_back('\n');  // an odd last byte takes no part
      std::vector<Seen> expected;
      for (const fuzz::ReferenceEntry& e : fuzz::ReferenceRead(file)) {
        std::string narrow;
        for (const std::uint32_t unit : e.text) narrow += static_cast<char>(unit & 0xFF);
        expected.push_back({e.offset, e.length, narrow});
      }
      SCOPED_TRACE(testing::Message() << "wide " << wide << " round " << round);
      EXPECT_EQ(Read(file), expected);
      entries += expected.size();
    }
  }
  EXPECT_GT(entries, 1000u);
}

}  // namespace
}  // namespace glos::test
