// Range choice over executable images built in memory: sections, exclusion and fields outside.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/ImageSections.h"
#include "engine/Scanner.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

// Stores a little-endian value; the bytes that would fall outside the file are dropped.
void Put(Bytes& file, std::size_t at, std::uint32_t value, int width = 4) {
  for (int i = 0; i < width && at + i < file.size(); ++i) {
    file[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

struct Section {
  std::string name;
  std::uint32_t rawSize, rawAt;
};

constexpr std::uint32_t kLfanew = 0x80;

// A 4096-byte image: "MZ", the PE signature at kLfanew, the section table after an optional
// header of optionalSize bytes, and a qualifying string at every 0x100 from 0x400 on.
Bytes Image(const std::vector<Section>& sections, std::uint16_t optionalSize = 224) {
  Bytes file(4096, 0xFE);
  std::memcpy(file.data(), "MZ", 2);
  std::memcpy(file.data() + 0x10, "Header\0", 7);
  Put(file, 0x3C, kLfanew);
  std::memcpy(file.data() + kLfanew, "PE\0\0", 4);
  Put(file, kLfanew + 6, static_cast<std::uint32_t>(sections.size()), 2);
  Put(file, kLfanew + 20, optionalSize, 2);
  std::size_t header = kLfanew + 24 + optionalSize;
  for (const Section& s : sections) {
    for (std::size_t i = 0; i < 8; ++i) Put(file, header + i, i < s.name.size() ? s.name[i] : 0, 1);
    Put(file, header + 16, s.rawSize);
    Put(file, header + 20, s.rawAt);
    header += 40;
  }
  for (std::size_t at = 0x400; at < file.size(); at += 0x100) {
    std::memcpy(file.data() + at, "Text", 4);
    file[at + 4] = static_cast<std::uint8_t>('0' + at / 0x100 % 10);
    file[at + 5] = 0;
  }
  return file;
}

struct Outcome {
  ScanResult result;
  Bytes output;
};

Outcome ScanImageOf(const Bytes& file, const Settings& settings = Settings()) {
  OutputOwner owner;
  const ScanResult result = ScanImage(settings, owner.buffer(), file.data(), file.size());
  return {result, Bytes(owner.buffer().data, owner.buffer().data + owner.buffer().size)};
}

// What the scanner yields for the given ranges, one after the other.
Bytes ScannedRanges(const Bytes& file,
                    const std::vector<std::pair<std::uint32_t, std::uint32_t>>& ranges,
                    const Settings& settings = Settings()) {
  OutputOwner owner;
  for (const auto& [at, size] : ranges) {
    const bool ok = HasOption(settings, kUnicodeMode)
                        ? ScanWide(settings, owner.buffer(), file.data(), file.size(), at, size)
                        : ScanBytes(settings, owner.buffer(), file.data(), file.size(), at, size);
    EXPECT_TRUE(ok);
  }
  return Bytes(owner.buffer().data, owner.buffer().data + owner.buffer().size);
}

TEST(ImageSectionsTest, DefaultListScansDataSectionsInTableOrder) {
  for (std::uint16_t optionalSize : {224, 240}) {
    SCOPED_TRACE(optionalSize);
    const Bytes file = Image({{".text", 0x200, 0x400},
                              {".rdata", 0x100, 0x700},
                              {".rsrc", 0x100, 0x800},
                              {".data", 0x200, 0x500},
                              {".data", 0x100, 0x500}},
                             optionalSize);
    const Outcome o = ScanImageOf(file);
    EXPECT_EQ(o.result, ScanResult::Complete);
    EXPECT_EQ(o.output, ScannedRanges(file, {{0x700, 0x100}, {0x500, 0x200}, {0x500, 0x100}}));
    EXPECT_EQ(std::count(o.output.begin(), o.output.end(), '\n'), 4);
  }
}

TEST(ImageSectionsTest, WholeFileUnlessAnImageWithAnExcludeList) {
  const Bytes image = Image({{".data", 0x100, 0x400}});
  Settings empty;
  empty.excludeList[0] = 0;
  const Bytes whole = ScannedRanges(image, {{0, 4096}});
  EXPECT_EQ(ScanImageOf(image, empty).output, whole);
  Bytes notPe = image;
  notPe[kLfanew + 1] = 'X';
  EXPECT_EQ(ScanImageOf(notPe).output, ScannedRanges(notPe, {{0, 4096}}));
  Bytes notMz = image;
  notMz[1] = 'z';
  EXPECT_EQ(ScanImageOf(notMz).output, ScannedRanges(notMz, {{0, 4096}}));
  // A list without "|" excludes nothing, yet the headers are not scanned.
  Settings noBar;
  std::memcpy(noBar.excludeList, u".data", 12);
  EXPECT_EQ(ScanImageOf(image, noBar).output, ScannedRanges(image, {{0x400, 0x100}}));
  EXPECT_EQ(ScanImageOf(Image({})).output, Bytes{});
}

TEST(ImageSectionsTest, FieldsAndSectionsOutsideTheFileFail) {
  const std::uint32_t n = 4096;
  const struct {
    const char* name;
    std::uint32_t lfanew;  // 0: keep the image's own
    std::vector<Section> sections;
    std::uint16_t optionalSize;
    ScanResult expected;
  } cases[] = {
      {"signature at N-4", n - 4, {}, 224, ScanResult::Failed},
      {"signature at N-3", n - 3, {}, 224, ScanResult::Failed},
      {"lfanew wraps in 32 bits", 0xFFFFFFFE, {}, 224, ScanResult::Failed},
      {"raw data past the end",
       0,
       {{".data", 0x100, 0x400}, {".data", 0x200, n - 0x100}},
       224,
       ScanResult::Failed},
      {"raw sum wraps in 32 bits", 0, {{".data", 0x200, 0xFFFFFF00}}, 224, ScanResult::Failed},
      {"excluded past the end", 0, {{".rsrc", 0x200, n - 0x100}}, 224, ScanResult::Complete},
      {"empty section anywhere", 0, {{".data", 0, 0xFFFFFFFF}}, 224, ScanResult::Complete},
      {"table past the end", 0, {{".data", 0x100, 0x400}}, 0xFFFF, ScanResult::Failed},
      {"no sections, table past the end", 0, {}, 0xFFFF, ScanResult::Complete},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes file = Image(c.sections, c.optionalSize);
    if (c.lfanew != 0) {
      Put(file, 0x3C, c.lfanew);
      if (c.lfanew < n) std::memcpy(file.data() + c.lfanew, "PE\0\0", n - c.lfanew);
    }
    EXPECT_EQ(ScanImageOf(file).result, c.expected);
  }
}

TEST(ImageSectionsTest, SectionHeaderFieldsAtTheEndOfTheFile) {
  const struct {
    const char* name;
    std::uint32_t lastHeaderAt;
    ScanResult expected;
  } cases[] = {
      {".rsrc", 4096 - 8, ScanResult::Complete}, {".rdata", 4096 - 8, ScanResult::Failed},
      {".rsrc", 4096 - 7, ScanResult::Failed},   {".rdata", 4096 - 24, ScanResult::Complete},
      {".rdata", 4096 - 23, ScanResult::Failed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name << " at " << c.lastHeaderAt);
    const auto optionalSize = static_cast<std::uint16_t>(c.lastHeaderAt - 40 - kLfanew - 24);
    const Bytes file = Image({{".data", 0x100, 0x400}, {c.name, 0x100, 0x600}}, optionalSize);
    EXPECT_EQ(ScanImageOf(file).result, c.expected);
  }
}

TEST(ImageSectionsTest, UnicodeExaminesWholeUnitsOnly) {
  Settings wide;
  SetOption(wide, kUnicodeMode, true);
  const std::uint32_t n = 4096;
  EXPECT_EQ(ScanImageOf(Image({{".data", 3, n - 2}}), wide).result, ScanResult::Complete);
  EXPECT_EQ(ScanImageOf(Image({{".data", 1, 0xFFFFFFFF}}), wide).result, ScanResult::Complete);
  EXPECT_EQ(ScanImageOf(Image({{".data", 3, n - 2}})).result, ScanResult::Failed);
}

TEST(ImageSectionsTest, ExclusionMatchesTheNameFollowedByABar) {
  const struct {
    const char* name;  // up to 8 bytes
    std::u16string list;
    bool excluded;
  } cases[] = {
      {".text", kDefaultExcludeList, true},   {".data", kDefaultExcludeList, false},
      {".rdata", kDefaultExcludeList, false}, {"data", kDefaultExcludeList, true},
      {"", kDefaultExcludeList, true},        {"", u".text", false},
      {".TEXT", kDefaultExcludeList, false},  {".text", u".text", false},
      {"abcdefgh", u"xabcdefgh|", true},      {"abcdefgh", u"abcdefg|", false},
      {"\xE9t\xE9", u"\u00E9t\u00E9|", true}, {".b", std::u16string(u".a|\0.b|", 7), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Settings settings;
    std::memset(settings.excludeList, 0, sizeof(settings.excludeList));
    std::memcpy(settings.excludeList, c.list.data(), c.list.size() * 2);
    std::uint8_t name[8] = {};
    std::memcpy(name, c.name, std::strlen(c.name));
    EXPECT_EQ(IsSectionExcluded(settings, name), c.excluded);
  }
}

}  // namespace
}  // namespace glos::test
