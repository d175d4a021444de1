// Log lines: each code's text with its argument, as the window shows it.
#include <gtest/gtest.h>

#include "core/Status.h"
#include "tests/support/StatusCapture.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

struct LineCase {
  StatusCode code;
  StatusArgument argument;
  const char* expected;
};

TEST(StatusTest, LinesAreTheTextFormattedWithItsArgument) {
  StatusArgument path;
  path.text = u"C:\\a.dll.ttt";
  StatusArgument bytes;
  bytes.bytes = "abcdef";
  StatusArgument number;
  number.number = 0x11;
  const LineCase cases[] = {
      {kStatusExtracted, path, "◆ 已经成功提取字符串: C:\\a.dll.ttt\r\n"},
      {kStatusCancelled, path, "◇ 搜索已取消。\r\n"},
      {kStatusCutBytes, bytes, "◎ 字符串超长，超出部分将被截去: abcdef\r\n"},
      {kStatusCutWide, path, "◎ 截去超长字符串: C:\\a.dll.ttt\r\n"},
      {kStatusLengthMismatch, number, "◎ 字符串长度校验不匹配: 00000011\r\n"},
      {kStatusOutsideFile, number, "◎ 字符串位于文件范围之外，已跳过: 00000011\r\n"},
      {kStatusNotPoolString, number, "◎ 不是字符串池中字符串的起点，已跳过: 00000011\r\n"},
      {kStatusPoolEncoding, number, "◎ 译文不符合字符串池的编码，未写入: 00000011\r\n"},
      {kStatusSpansOutside, number, "◎ 样式范围超出译文，未写入: 00000011\r\n"},
      {kStatusCannotMap, path, "■ 无法打开内存映射文件: C:\\a.dll.ttt\r\n"},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.code);
    char16_t line[kFormatCapacity];
    const int length = FormatStatusLine(c.code, c.argument, line);
    EXPECT_EQ(U8(std::u16string(line, static_cast<std::size_t>(length))), c.expected);
  }
}

TEST(StatusTest, OverlongLineIsCutAtTheFormatLimit) {
  std::u16string longText(3000, u'x');
  StatusArgument a;
  a.text = longText.c_str();
  char16_t line[kFormatCapacity];
  const int length = FormatStatusLine(kStatusFound, a, line);
  EXPECT_EQ(length, static_cast<int>(kFormatCapacity) - 1);
  EXPECT_EQ(line[kFormatCapacity - 1], 0);
}

TEST(StatusTest, ReportsReachTheSinkInOrderAndOnlyErrorsAreErrors) {
  StatusCapture capture;
  ReportStatus(kStatusFound, u"f:00001A2B");
  ReportStatusNumber(kStatusLengthMismatch, 17);
  ReportStatusBytes(kStatusCutBytes, "ab");
  EXPECT_EQ(capture.reports(), (std::vector<Report>{{kStatusFound, "f:00001A2B"},
                                                    {kStatusLengthMismatch, "17"},
                                                    {kStatusCutBytes, "ab"}}));
  for (unsigned code = 510; code <= 526; ++code) {
    const bool error = code >= 520 && code <= 525;
    EXPECT_EQ(IsErrorStatus(static_cast<StatusCode>(code)), error) << code;
  }
}

}  // namespace
}  // namespace glos::test
