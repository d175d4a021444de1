// Translation files: entry lines as written, the encoding rule and the line rules of the reader.
#include <gtest/gtest.h>

#include "engine/TranslationFile.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

Bytes WideBytes(const std::string& ascii) {
  Bytes out;
  for (char c : ascii) out.insert(out.end(), {static_cast<std::uint8_t>(c), 0});
  return out;
}

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
  Bytes wide = {0xFF, 0xFE};
  const Bytes units = WideBytes(expected);
  wide.insert(wide.end(), units.begin(), units.end());
  EXPECT_EQ(Written(true, build), wide);
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
        Bytes file = wide ? WideBytes(text) : ToBytes(text);
        if (wide) file.insert(file.begin(), {0xFF, 0xFE});
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

}  // namespace
}  // namespace glos::test
