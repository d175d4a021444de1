// Solution converter: the solution file's bytes, its message boxes through recording prompts, and
// the run it asks for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Directory.h"
#include "search/SolutionConverter.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

// Answers every question with `answer` and records the message boxes, in order.
class RecordingFrontEnd final : public SolutionPrompts {
 public:
  explicit RecordingFrontEnd(bool answer) : answer_(answer) {}
  bool AskYesNo(const char16_t* question) override {
    calls.push_back("ask " + U8(question));
    return answer_;
  }
  void ShowError(const char16_t* text) override { calls.push_back("error " + U8(text)); }

  std::vector<std::string> calls;

 private:
  bool answer_;
};

const std::string kBom = "\xEF\xBB\xBF\r\n";
const std::string kHeader = "Microsoft Visual Studio Solution File, Format Version ";
const std::string kSolution2005 = kBom + kHeader + "9.00\r\n# Visual Studio 2005\r\nProject...\r\n";
const std::string kSolution2008 =
    kBom + kHeader + "10.00\r\n# Visual Studio 2008\r\nProject...\r\n";
const std::string kAsk2005 =
    "ask 检测到 Visual Studio 2005 解决方案文件，是否要转换为 Visual Studio 2008 "
    "格式（包括工程文件）？";
const std::string kNotFound = "error ◇ 未找到合适的字符串: Visual Studio 200\r\n";

class SolutionConverterTest : public ::testing::Test {
 protected:
  std::u16string Write(const std::string& name, const std::string& bytes) {
    const std::u16string path = dir_.file(U16(name));
    WriteFile(path, ToBytes(bytes));
    return path;
  }
  TempDir dir_;
};

TEST_F(SolutionConverterTest, ConvertsBothWaysInPlace) {
  struct Case {
    const char* label;
    std::string before;
    char year;
    std::string after;
  };
  const Case cases[] = {
      {"2005 to 2008", kSolution2005, '8',
       kBom + kHeader + "10.00\n# Visual Studio 2008\r\nProject...\r\n"},
      {"2008 to 2005", kSolution2008, '5',
       kBom + kHeader + "9.00\r\n\n# Visual Studio 2005\r\nProject...\r\n"},
      // The year digit follows the old digit alone, whatever the version said.
      {"odd digit", kBom + kHeader + "9.00\r\n# Visual Studio 2003\r\n", '5',
       kBom + kHeader + "10.00\n# Visual Studio 2005\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::u16string path = Write("a.sln", c.before);
    RecordingFrontEnd frontEnd(true);
    EXPECT_EQ(ConvertSolution(path.c_str(), frontEnd), c.year);
    EXPECT_EQ(ReadFile(path), ToBytes(c.after));
    ASSERT_EQ(frontEnd.calls.size(), 1u);
  }
}

TEST_F(SolutionConverterTest, RoundTripGivesBackTheOriginalBytes) {
  const std::u16string path = Write("a.sln", kSolution2005);
  RecordingFrontEnd frontEnd(true);
  EXPECT_EQ(ConvertSolution(path.c_str(), frontEnd), '8');
  EXPECT_EQ(ConvertSolution(path.c_str(), frontEnd), '5');
  EXPECT_EQ(ReadFile(path), ToBytes(kSolution2005));
}

TEST_F(SolutionConverterTest, LeavesOtherFilesAloneWithoutAMessage) {
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"upper.SLN", kSolution2005},
      {"a.sln.txt", kSolution2005},
      {"v8.sln", kBom + kHeader + "8.00\r\n# Visual Studio 2005\r\n"},
      {"v11.sln", kBom + kHeader + "11.00\r\n# Visual Studio 2005\r\n"},
      {"one.sln", kBom + kHeader + "1"},
      {"header.sln", kBom + "Microsoft Visual Studio Solution File, Format Versio 9.00\r\n"},
      {"short.sln", kBom + kHeader},
      {"empty.sln", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::u16string path = Write(c.name, c.bytes);
    RecordingFrontEnd frontEnd(true);
    EXPECT_EQ(ConvertSolution(path.c_str(), frontEnd), 0);
    EXPECT_EQ(ReadFile(path), ToBytes(c.bytes));
    EXPECT_TRUE(frontEnd.calls.empty());
  }
  RecordingFrontEnd frontEnd(true);
  EXPECT_EQ(ConvertSolution(dir_.file(u"missing.sln").c_str(), frontEnd), 0);
  EXPECT_EQ(ConvertSolution(u".sln", frontEnd), 0);
  EXPECT_EQ(ConvertSolution(u"sln", frontEnd), 0);
  EXPECT_TRUE(frontEnd.calls.empty());
}

TEST_F(SolutionConverterTest, AnswerNoOrNoYearLeavesTheFileUnchanged) {
  struct Case {
    const char* label;
    bool answer;
    std::string bytes;
    std::vector<std::string> calls;
  };
  const std::string v9 = kBom + kHeader + "9.00\r\n";
  const Case cases[] = {
      {"answered No", false, kSolution2005, {kAsk2005}},
      {"no year text", true, v9 + "# Visual Studio\r\n", {kAsk2005, kNotFound}},
      // The digit must lie inside the file: text in the last 17 bytes does not count.
      {"year text at the end", true, v9 + "Visual Studio 200", {kAsk2005, kNotFound}},
      {"year text before byte 65",
       true,
       kBom + kHeader + "9Visual Studio 2005",
       {kAsk2005, kNotFound}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::u16string path = Write("a.sln", c.bytes);
    RecordingFrontEnd frontEnd(c.answer);
    EXPECT_EQ(ConvertSolution(path.c_str(), frontEnd), 0);
    EXPECT_EQ(ReadFile(path), ToBytes(c.bytes));
    EXPECT_EQ(frontEnd.calls, c.calls);
  }
}

TEST_F(SolutionConverterTest, DroppedSolutionAsksForTheProjectRun) {
  const std::u16string path = Write("a.sln", kSolution2008);
  RecordingFrontEnd frontEnd(true);
  const SolutionRequest request = ConvertDroppedSolution(path.c_str(), frontEnd);
  EXPECT_EQ(frontEnd.calls,
            std::vector<std::string>{"ask 检测到 Visual Studio 2008 解决方案文件，是否要转换为 "
                                     "Visual Studio 2005 格式（包括工程文件）？"});
  ASSERT_TRUE(request.run);
  EXPECT_EQ(U8(request.find) + " " + U8(request.replacement), "Version=\"9.00\" Version=\"8.00\"");
  EXPECT_EQ(request.path, path.substr(0, NamePosition(path.c_str())) + u"*.vcproj");
  EXPECT_EQ(request.clearBefore, std::uint32_t{kLengthPrefixed | kUnicodeMode});
  EXPECT_EQ(request.setAfter, std::uint32_t{kRecursive});

  const SolutionRequest back = ConvertDroppedSolution(path.c_str(), frontEnd);
  EXPECT_EQ(U8(back.find) + " " + U8(back.replacement), "Version=\"8.00\" Version=\"9.00\"");
}

TEST_F(SolutionConverterTest, DroppedFileThatIsNoSolutionAsksForNothing) {
  RecordingFrontEnd frontEnd(true);
  EXPECT_FALSE(ConvertDroppedSolution(Write("a.txt", kSolution2005).c_str(), frontEnd).run);
  EXPECT_TRUE(frontEnd.calls.empty());
}

}  // namespace
}  // namespace glos::test
