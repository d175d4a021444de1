// A solution dropped on the window: converted on the Search page, followed by the project run.
#include <string>

#include "core/Settings.h"
#include "resources/Resource.h"
#include "tests/ui/WindowTesting.h"
#include "ui/WindowState.h"

namespace glos::test {
namespace {

const std::string kHeader =
    "\xEF\xBB\xBF\r\nMicrosoft Visual Studio Solution File, Format Version ";
const std::string kSolution2005 = kHeader + "9.00\r\n# Visual Studio 2005\r\n";
const std::string kSolution2008 = kHeader + "10.00\r\n# Visual Studio 2008\r\n";

std::string Project(const char* version) {
  return std::string("<?xml version=\"1.0\"?>\r\n<VisualStudioProject Version=\"") + version +
         "\" Name=\"p\">\r\n</VisualStudioProject>\r\n";
}

class SolutionDropTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    if (IsSkipped()) return;
    MakeDirectory(dir_.file(u"sub"));
    project_ = MakeFile(u"p.vcproj", Project("8.00"));
    nested_ = MakeFile(u"sub\\q.vcproj", Project("8.00"));
  }
  void OpenOn(unsigned mode) {
    SetMode(ProgramSettings(), static_cast<Mode>(mode));
    Open();
  }
  std::u16string project_;
  std::u16string nested_;
};

TEST_F(SolutionDropTest, SolutionOnTheSearchPageIsConvertedAndItsProjectsSearched) {
  ProgramSettings().optionWord |= kUnicodeMode | kLengthPrefixed;
  const std::u16string solution = MakeFile(u"a.sln", kSolution2005);
  OpenOn(2);
  ModalAnswerer answerer(IDYES);
  Drop({solution});

  ASSERT_EQ(answerer.seen.size(), 1u);
  const SeenBox& question = answerer.seen[0];
  EXPECT_EQ(question.caption, u"Glosmorin");
  EXPECT_EQ(question.text,
            u"检测到 Visual Studio 2005 解决方案文件，是否要转换为 Visual Studio 2008 "
            u"格式（包括工程文件）？");
  EXPECT_EQ(question.icon, LoadIconW(nullptr, IDI_QUESTION));
  EXPECT_EQ(question.buttons.size(), 2u);

  EXPECT_EQ(ReadFile(solution), ToBytes(kHeader + "10.00\n# Visual Studio 2008\r\n"));
  EXPECT_EQ(TextOf(PageControl(IDC_FIND)), u"Version=\"8.00\"");
  EXPECT_EQ(TextOf(PageControl(IDC_REPLACEMENT)), u"Version=\"9.00\"");
  EXPECT_EQ(TextOf(PageControl(IDC_PATH)), dir_.file(u"*.vcproj"));
  EXPECT_EQ(OkCaption(), u"替换");
  EXPECT_TRUE(OkEnabled());
  EXPECT_FALSE(Checked(IDC_UNICODE_MODE));
  EXPECT_FALSE(Checked(IDC_LENGTH_PREFIXED));
  EXPECT_TRUE(Checked(IDC_RECURSIVE));
  EXPECT_FALSE(HasOption(ProgramSettings(), kUnicodeMode));
  EXPECT_FALSE(HasOption(ProgramSettings(), kLengthPrefixed));
  EXPECT_TRUE(HasOption(ProgramSettings(), kRecursive));

  // The run covered the solution's own directory only, Recursive being clear then.
  EXPECT_EQ(LogText(), u"◎ 发现指定字符串: " + project_ + u":0000002C\r\n◆ 已经完成字符串搜索: " +
                           project_ + u"\r\n");
  EXPECT_EQ(ReadFile(project_), ToBytes(Project("9.00")));
  EXPECT_EQ(ReadFile(nested_), ToBytes(Project("8.00")));
  SendMessageW(MainControl(IDOK), BM_CLICK, 0, 0);
  EXPECT_EQ(ReadFile(nested_), ToBytes(Project("9.00")));
}

TEST_F(SolutionDropTest, SolutionOnOtherPagesOnlyFillsThePath) {
  for (unsigned mode : {0u, 1u}) {
    SCOPED_TRACE(mode);
    const std::u16string solution = MakeFile(u"a.sln", kSolution2005);
    OpenOn(mode);
    ModalAnswerer answerer(IDYES);
    Drop({solution});
    PumpMessages();
    EXPECT_TRUE(answerer.seen.empty());
    EXPECT_EQ(TextOf(PageControl(IDC_PATH)), solution);
    EXPECT_EQ(ReadFile(solution), ToBytes(kSolution2005));
    DestroyWindow(Main());
  }
}

TEST_F(SolutionDropTest, SolutionWithoutYearTextShowsTheErrorBox) {
  const std::string bytes = kHeader + "10.00\r\n# Visual Studio\r\n";
  const std::u16string solution = MakeFile(u"a.sln", bytes);
  OpenOn(2);
  ModalAnswerer answerer(
      [](HWND, const SeenBox& seen) { return seen.buttons.size() == 1 ? IDOK : IDYES; });
  Drop({solution});
  ASSERT_EQ(answerer.seen.size(), 2u);
  const SeenBox& error = answerer.seen[1];
  EXPECT_EQ(error.caption, u"Glosmorin");
  EXPECT_EQ(error.text, u"◇ 未找到合适的字符串: Visual Studio 200\r\n");
  EXPECT_EQ(error.icon, LoadIconW(nullptr, IDI_ERROR));
  EXPECT_EQ(ReadFile(solution), ToBytes(bytes));
  EXPECT_EQ(TextOf(PageControl(IDC_PATH)), solution);
  EXPECT_EQ(LogText(), u"");
}

TEST_F(SolutionDropTest, CancelInTheRunStillSetsRecursive) {
  ProgramSettings().optionWord |= kAskEach;
  const std::u16string solution = MakeFile(u"a.sln", kSolution2008);
  MakeFile(u"p.vcproj", Project("9.00"));
  OpenOn(2);
  ModalAnswerer answerer([](HWND, const SeenBox& seen) {
    return seen.buttons.size() == 2 ? IDYES : IDCANCEL;  // convert, then cancel at the match
  });
  Drop({solution});
  ASSERT_EQ(answerer.seen.size(), 2u);
  EXPECT_EQ(ReadFile(solution), ToBytes(kHeader + "9.00\r\n\n# Visual Studio 2005\r\n"));
  EXPECT_EQ(LogText(), u"◎ 发现指定字符串: " + project_ + u":0000002C\r\n◇ 搜索已取消。\r\n");
  EXPECT_EQ(ReadFile(project_), ToBytes(Project("9.00")));
  EXPECT_TRUE(Checked(IDC_RECURSIVE));
  EXPECT_TRUE(HasOption(ProgramSettings(), kRecursive));
}

}  // namespace
}  // namespace glos::test
