// The string table of the built program against the one copy of the texts.
#include <gtest/gtest.h>

#include <string>

#include "core/Text.h"
#include "core/TextFormat.h"
#include "resources/Version.h"
#include "tests/support/TestSupport.h"

namespace glos {
namespace {

struct Source {
  unsigned id;
  const char* utf8;
};

constexpr Source kSources[] = {
#define GLOS_TEXT(name, id, text) {id, text},
#define GLOS_STATUS(name, id, text) {id, text},
#include "resources/Texts.inc"
#undef GLOS_STATUS
#undef GLOS_TEXT
};

TEST(StringTableTest, EveryTextLoadsAsWritten) {
  for (const Source& source : kSources) {
    char16_t text[kFormatCapacity];
    const int length = LoadText(source.id, text, kFormatCapacity);
    const std::u16string expected = Utf8ToUtf16(source.utf8);
    EXPECT_EQ(std::u16string(text), expected) << source.id;
    EXPECT_EQ(length, static_cast<int>(expected.size())) << source.id;
  }
}

TEST(StringTableTest, EscapesAndCjkSurviveTheResourceCompiler) {
  char16_t text[kPathCapacity];
  ASSERT_GT(LoadText(514, text, kPathCapacity), 0);
  EXPECT_EQ(std::u16string(text), u"◆ 已经成功提取字符串: %s\r\n");
}

TEST(StringTableTest, UnknownIdLoadsNothing) {
  char16_t text[16] = u"stale";
  EXPECT_EQ(LoadText(9999, text, 16), 0);
  EXPECT_EQ(text[0], 0);
}

TEST(StringTableTest, ShortBufferCutsTheText) {
  char16_t text[5];
  EXPECT_EQ(LoadText(514, text, 5), 4);
  EXPECT_EQ(std::u16string(text), u"◆ 已经");
}

}  // namespace
}  // namespace glos
