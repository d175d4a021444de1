// Main window: command line, tabs and Mode, folding, log lines, runs, drops and the About box.
#include <algorithm>
#include <string>
#include <vector>

#include "core/Status.h"
#include "core/TextFormat.h"
#include "resources/Resource.h"
#include "resources/Version.h"
#include "tests/ui/WindowTesting.h"
#include "ui/MainWindow.h"
#include "ui/WindowState.h"

namespace glos::test {
namespace {

using MainWindowTest = WindowTest;

RECT ScreenRect(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return rect;
}

std::vector<int> Sorted(std::vector<int> ids) {
  std::sort(ids.begin(), ids.end());
  return ids;
}

// A file of zeros with text at offset 8, long enough for Extract (512 bytes at least).
std::string Sample(const std::string& text) {
  return std::string(8, '\0') + text + std::string(600, '\0');
}

TEST(StripQuotesTest, RemovesOnePairOfSurroundingQuotes) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"\"C:\\a b\\x.dll\"", u"C:\\a b\\x.dll"},
      {u"C:\\x.dll", u"C:\\x.dll"},
      {u"\"a.dll\" \"b.dll\"", u"a.dll\" \"b.dll"},
      {u"\"no closing", u"no closing"},
      {u"no opening\"", u"no opening\""},
      {u"\"", u""},
      {u"\"\"", u""},
      {u"", u""},
  };
  for (const auto& [input, expected] : cases) {
    std::u16string text = input;
    EXPECT_EQ(std::u16string(StripQuotes(text.data(), u'"')), expected) << U8(input);
  }
}

TEST_F(MainWindowTest, OpensOnTheTabOfModeWithItsCaption) {
  struct Case {
    unsigned mode;
    int tab;
    int pageControl;  // a control only that page has
    std::u16string caption;
  };
  const Case cases[] = {
      {0, 0, IDC_MIN_CHARS, u"提取"},
      {1, 1, IDC_TERMINATOR, u"回写"},
      {2, 2, IDC_FIND, u"搜索"},
      {3, 2, IDC_FIND, u"搜索"},  // no tab for 3: the Search page, and Mode becomes 2
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    SetMode(ProgramSettings(), static_cast<Mode>(c.mode));
    Open();
    HWND tabs = MainControl(IDC_TABS);
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), c.tab);
    EXPECT_EQ(static_cast<int>(GetMode(ProgramSettings())), c.tab);
    EXPECT_NE(PageControl(c.pageControl), nullptr);
    EXPECT_EQ(OkCaption(), c.caption);
    DestroyWindow(Main());
  }
}

TEST_F(MainWindowTest, SwitchingTabsKeepsThePathAndFollowsTheTab) {
  Open();
  SetText(IDC_PATH, u"\"C:\\in quotes.dll\"");
  SelectTab(1);
  EXPECT_EQ(TextOf(PageControl(IDC_PATH)), u"C:\\in quotes.dll");
  EXPECT_EQ(OkCaption(), u"回写");
  EXPECT_EQ(GetMode(ProgramSettings()), Mode::WriteBack);
  SelectTab(2);
  EXPECT_EQ(GetMode(ProgramSettings()), Mode::Search);
  EXPECT_EQ(TextOf(PageControl(IDC_FIND)), u"");
  EXPECT_FALSE(OkEnabled());  // a Search needs a find text too
}

TEST_F(MainWindowTest, FoldsAboveTheLogAreaUnlessItHasTheFocus) {
  Open();
  HWND log = MainControl(IDC_LOG);
  const RECT folded = ScreenRect(Main());
  EXPECT_EQ(folded.bottom, ScreenRect(log).top - 2);
  EXPECT_NE(GetFocus(), log);

  SetFocus(log);
  RECT client = {};
  GetClientRect(Main(), &client);
  RECT units = {0, 0, 239, 234};
  MapDialogRect(Main(), &units);
  EXPECT_EQ(client.bottom, units.bottom);

  SetFocus(PageControl(IDC_PATH));
  EXPECT_EQ(ScreenRect(Main()).bottom, folded.bottom);

  // Unfolding puts the window back where it was first measured.
  SetWindowPos(Main(), nullptr, folded.left + 50, folded.top + 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SetFocus(log);
  EXPECT_EQ(ScreenRect(Main()).left, folded.left);
  EXPECT_EQ(ScreenRect(Main()).top, folded.top);
}

TEST_F(MainWindowTest, PageTitleAndIconAreInPlace) {
  Open();
  // The page lies at the top-left corner of the tab control's display area.
  HWND tabs = MainControl(IDC_TABS);
  RECT area = {};
  GetClientRect(tabs, &area);
  SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  MapWindowPoints(tabs, nullptr, reinterpret_cast<POINT*>(&area), 2);
  EXPECT_EQ(ScreenRect(Page()).left, area.left);
  EXPECT_EQ(ScreenRect(Page()).top, area.top);
  EXPECT_EQ(GetFocus(), PageControl(IDC_PATH));

  LOGFONTW dialog = {};
  LOGFONTW title = {};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Main(), WM_GETFONT, 0, 0)), sizeof dialog,
             &dialog);
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(MainControl(IDC_TITLE), WM_GETFONT, 0, 0)),
             sizeof title, &title);
  EXPECT_EQ(title.lfHeight, 2 * dialog.lfHeight);
  EXPECT_TRUE(title.lfItalic);
  EXPECT_NE(GetClassLongPtrW(Main(), GCLP_HICON), 0);
}

TEST_F(MainWindowTest, OkRunsTheOperationOfModeAfterEmptyingTheLog) {
  const std::u16string file = MakeFile(u"sample.bin", Sample("Translate this text"));
  const std::u16string nothing = dir_.file(u"*.none");
  Open(nothing.c_str());
  ReportStatus(kStatusNoString, u"left over");
  SendMessageW(MainControl(IDOK), BM_CLICK, 0, 0);
  EXPECT_EQ(LogText(), u"◇ 没有找到文件: " + nothing + u"\r\n");
  EXPECT_EQ(GetFocus(), MainControl(IDC_LOG));

  SetText(IDC_PATH, file);
  SendMessageW(MainControl(IDOK), BM_CLICK, 0, 0);
  EXPECT_EQ(LogText(), u"◆ 已经成功提取字符串: " + file + u".ttt\r\n");
  EXPECT_TRUE(FileExists(file + u".ttt"));
}

TEST_F(MainWindowTest, SearchQuestionsNameTheActionAndCancelEndsTheRun) {
  struct Case {
    std::u16string replacement;
    int answer;
    std::vector<int> buttons;
    std::u16string word;
    std::u16string lastLine;
    std::string bytesAfter;
  };
  const Case cases[] = {
      {u"", IDCANCEL, {IDOK, IDCANCEL}, u"搜索", u"◇ 搜索已取消。\r\n", "abc"},
      {u"xyz", IDYES, {IDYES, IDNO, IDCANCEL}, u"替换", u"◆ 已经完成字符串搜索: ", "xyz"},
      {u"xyz", IDNO, {IDYES, IDNO, IDCANCEL}, u"替换", u"◆ 已经完成字符串搜索: ", "abc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.word) + " " + std::to_string(c.answer));
    ProgramSettings().optionWord = kDefaultOptionWord | kAskEach;
    SetMode(ProgramSettings(), Mode::Search);
    const std::u16string file = MakeFile(u"match.bin", Sample("abc"));
    Open(file.c_str());
    SetText(IDC_FIND, u"abc");
    SetText(IDC_REPLACEMENT, c.replacement);
    ModalAnswerer answerer(c.answer);
    SendMessageW(MainControl(IDOK), BM_CLICK, 0, 0);

    ASSERT_EQ(answerer.seen.size(), 1u);
    const SeenBox& box = answerer.seen[0];
    EXPECT_EQ(box.caption, u"Glosmorin");
    char16_t offset[kFormatCapacity] = {};
    FormatText(offset, u"%#08X", 8u);
    EXPECT_EQ(box.text, u"文件: " + file + u"\n偏移: " + offset +
                            u"\n\n发现指定的字符串，是否要继续" + c.word + u"?");
    EXPECT_EQ(Sorted(box.buttons), Sorted(c.buttons));
    EXPECT_EQ(box.icon, LoadIconW(nullptr, IDI_QUESTION));
    const std::u16string log = LogText();
    EXPECT_EQ(log.rfind(u"◎ 发现指定字符串: " + file + u":00000008\r\n", 0), 0u) << U8(log);
    EXPECT_NE(log.find(c.lastLine), std::u16string::npos) << U8(log);
    EXPECT_EQ(ReadFile(file), ToBytes(Sample(c.bytesAfter)));
    DestroyWindow(Main());
  }
}

TEST_F(MainWindowTest, DropTakesTheFirstFileOnly) {
  Open();
  Drop({u"C:\\first.dll", u"C:\\second.dll", u"C:\\third.dll"});
  EXPECT_EQ(TextOf(PageControl(IDC_PATH)), u"C:\\first.dll");
  EXPECT_TRUE(OkEnabled());
  EXPECT_EQ(LogText(), u"");  // a drop on the Extract page starts no run
}

TEST_F(MainWindowTest, AboutBoxShowsVersionBuildAndRightsNotice) {
  Open();
  ModalAnswerer answerer(IDOK);
  SendMessageW(MainControl(IDC_ABOUT), BM_CLICK, 0, 0);
  ASSERT_EQ(answerer.seen.size(), 1u);
  const SeenBox& box = answerer.seen[0];
  EXPECT_EQ(box.caption, u"Glosmorin");
  const std::u16string head = U16(GLOS_VERSION_TEXT " X86U\r\n\r\nMay  1 2010 16:52:07\r\n\r\n");
  ASSERT_EQ(box.text.rfind(head, 0), 0u) << U8(box.text);
  const std::u16string notice = box.text.substr(head.size());
  EXPECT_FALSE(notice.empty());
  EXPECT_EQ(notice.find(u'\n'), std::u16string::npos);
  EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
  EXPECT_EQ(box.icon, LoadIconW(nullptr, IDI_INFORMATION));
}

}  // namespace
}  // namespace glos::test
