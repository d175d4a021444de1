// The Extract operation on real files: results, the path buffer, and the bytes on disk.
#include <gtest/gtest.h>

#include "core/Directory.h"
#include "engine/Extract.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

Bytes Padded(const std::string& text, std::size_t size) {
  Bytes b = ToBytes(text);
  b.resize(size, 0xFF);
  return b;
}

Bytes Header8() { return ToBytes("[Glosmorin]"); }

class ExtractTest : public FileOperationTest {
 protected:
  StatusCode Extract(const std::u16string& target) { return Run(ExtractFile, target); }
};

TEST_F(ExtractTest, TooSmallEmptyAndMissingFiles) {
  const struct {
    std::size_t size;
    StatusCode expected;
  } cases[] = {{0, kStatusCannotMap}, {1, kStatusTooSmall}, {511, kStatusTooSmall}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    const auto target = dir_.file(u"f.bin");
    WriteFile(target, Padded("Hello", c.size));
    EXPECT_EQ(Extract(target), c.expected);
    EXPECT_EQ(named_, target);
    EXPECT_FALSE(FileExists(target + u".ttt"));
  }
  EXPECT_EQ(Extract(dir_.file(u"missing.bin")), kStatusCannotMap);
}

TEST_F(ExtractTest, WritesHeaderEntriesAndLineEndExactly8Bit) {
  const auto target = dir_.file(u"a.dll");
  Bytes content(4096, 0x01);
  const std::string hello = "Hello";
  std::copy(hello.begin(), hello.end(), content.begin() + 0x100);
  content[0x105] = 0;
  const std::string lines = "Line1\nLine2";
  std::copy(lines.begin(), lines.end(), content.begin() + 0x200);
  content[0x200 + lines.size()] = 0;
  WriteFile(target, content);
  ASSERT_EQ(Extract(target), kStatusExtracted);
  EXPECT_EQ(named_, target + u".ttt");
  Bytes expected = Header8();
  for (const char* part :
       {"\r\n0x00000100,0005=Hello", "\r\n0x00000200,0011=Line1\\nLine2", "\r\n"})
    for (const char* p = part; *p; ++p) expected.push_back(static_cast<std::uint8_t>(*p));
  EXPECT_EQ(ReadFile(target + u".ttt"), expected);
}

TEST_F(ExtractTest, WritesUtf16FileWithByteOrderMark) {
  SetOption(settings_, kUnicodeMode, true);
  const auto target = dir_.file(u"w.bin");
  Bytes content(512, 0x01);
  const std::u16string text = u"Hello";
  for (std::size_t i = 0; i < text.size(); ++i) {
    content[0x10 + 2 * i] = static_cast<std::uint8_t>(text[i]);
    content[0x11 + 2 * i] = 0;
  }
  content[0x1A] = content[0x1B] = 0;
  WriteFile(target, content);
  ASSERT_EQ(Extract(target), kStatusExtracted);
  Bytes expected = {0xFF, 0xFE};
  for (char c : std::string("[Glosmorin]\r\n0x00000010,0005=Hello\r\n")) {
    expected.push_back(static_cast<std::uint8_t>(c));
    expected.push_back(0);
  }
  EXPECT_EQ(ReadFile(target + u".ttt"), expected);
}

TEST_F(ExtractTest, NoStringKeepsAnEarlierTranslationFile) {
  const auto target = dir_.file(u"a.dll");
  WriteFile(target, Bytes(512, 0x01));
  WriteFile(target + u".ttt", ToBytes("edited"));
  EXPECT_EQ(Extract(target), kStatusNoString);
  EXPECT_EQ(named_, target);
  EXPECT_EQ(ReadFile(target + u".ttt"), ToBytes("edited"));
}

TEST_F(ExtractTest, FailedScanWritesNothingAndKeepsTheOldFile) {
  // An image whose one scanned section runs past the end of the file.
  Bytes image(1024, 0);
  image[0] = 'M';
  image[1] = 'Z';
  image[0x3C] = 0x80;
  const std::uint8_t pe[] = {'P', 'E', 0, 0};
  std::copy(pe, pe + 4, image.begin() + 0x80);
  image[0x80 + 6] = 1;   // one section
  image[0x80 + 20] = 0;  // no optional header
  const std::size_t section = 0x80 + 24;
  const std::string name = ".data";
  std::copy(name.begin(), name.end(), image.begin() + section);
  image[section + 17] = 0x10;  // SizeOfRawData 0x1000
  image[section + 21] = 0x02;  // PointerToRawData 0x200
  const auto target = dir_.file(u"bad.dll");
  WriteFile(target, image);
  WriteFile(target + u".ttt", ToBytes("old"));
  EXPECT_EQ(Extract(target), kStatusScanFailed);
  EXPECT_EQ(named_, target);
  EXPECT_EQ(ReadFile(target + u".ttt"), ToBytes("old"));
}

TEST_F(ExtractTest, UnwritableTranslationFileGives524WithItsPath) {
  const auto target = dir_.file(u"a.dll");
  WriteFile(target, Padded(std::string("Hello") + '\0', 512));
  MakeDirectory(target + u".ttt");  // a directory stands where the file would go
  EXPECT_EQ(Extract(target), kStatusCannotSave);
  EXPECT_EQ(named_, target + u".ttt");
}

TEST_F(ExtractTest, PathWithoutRoomForTheExtensionGives524AndStaysInItsBuffer) {
  const std::size_t room = kPathCapacity - 1 - dir_.path().size() - 1;
  const auto target = dir_.file(std::u16string(room - 2, u'n'));  // 257 units: ".ttt" won't fit
  WriteFile(target, Padded(std::string("Hello") + '\0', 512));
  ASSERT_EQ(target.size(), kPathCapacity - 3);
  EXPECT_EQ(Extract(target), kStatusCannotSave);
  EXPECT_EQ(named_, target);
}

TEST_F(ExtractTest, OutputLargerThanTwiceTheFileIsWrittenWhole) {
  SetMinChars(settings_, 2);
  Bytes content;
  while (content.size() < 3000) content.insert(content.end(), {'a', 'b', 0});
  const auto target = dir_.file(u"dense.bin");
  WriteFile(target, content);
  ASSERT_EQ(Extract(target), kStatusExtracted);
  const Bytes out = ReadFile(target + u".ttt");
  EXPECT_EQ(out.size(), 11 + 1000 * 20 + 2);
  EXPECT_GT(out.size(), 2 * content.size());
}

TEST_F(ExtractTest, SecondExtractionOverwritesTheFirstWithTheSameBytes) {
  const auto target = dir_.file(u"a.dll");
  WriteFile(target, Padded(std::string("Hello") + '\0', 512));
  ASSERT_EQ(Extract(target), kStatusExtracted);
  const Bytes first = ReadFile(target + u".ttt");
  WriteFile(target + u".ttt", ToBytes("edited by hand, longer than before ..........."));
  ASSERT_EQ(Extract(target), kStatusExtracted);
  EXPECT_EQ(ReadFile(target + u".ttt"), first);
}

}  // namespace
}  // namespace glos::test
