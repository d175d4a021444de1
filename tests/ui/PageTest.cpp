// Operation pages: option boxes, the minimum-characters field and spin, the end character, OK.
#include <string>

#include "core/Settings.h"
#include "resources/Resource.h"
#include "tests/ui/WindowTesting.h"
#include "ui/WindowState.h"

namespace glos::test {
namespace {

class PageTest : public WindowTest {
 protected:
  void OpenOn(unsigned mode) {
    SetMode(ProgramSettings(), static_cast<Mode>(mode));
    Open();
  }
  HWND TerminatorEdit() const {
    COMBOBOXINFO info = {};
    info.cbSize = sizeof info;
    GetComboBoxInfo(PageControl(IDC_TERMINATOR), &info);
    return info.hwndItem;
  }
  // Replaces the combo's text as a user does: everything selected, then typed over (or erased).
  void EditTerminator(const std::u16string& text) {
    SendMessageW(PageControl(IDC_TERMINATOR), CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
    Type(TerminatorEdit(), text.empty() ? std::u16string(1, VK_BACK) : text);
  }
  void SelectAllAndType(int id, const std::u16string& text) {
    SendMessageW(PageControl(id), EM_SETSEL, 0, -1);
    Type(PageControl(id), text);
  }
};

TEST_F(PageTest, DefaultOptionsShowOnThePages) {
  OpenOn(0);
  EXPECT_TRUE(Checked(IDC_ENGLISH_ONLY));
  for (int id : {IDC_RECURSIVE, IDC_UNICODE_MODE, IDC_LENGTH_PREFIXED}) EXPECT_FALSE(Checked(id));
  EXPECT_EQ(TextOf(PageControl(IDC_MIN_CHARS)), u"4");
  SelectTab(1);
  EXPECT_EQ(TextOf(PageControl(IDC_TERMINATOR)), u"\\0");
  HWND combo = PageControl(IDC_TERMINATOR);
  ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 4);
  const std::u16string items[] = {u"\\0", u"\\r", u"\\n", u"\\t"};
  for (int i = 0; i < 4; ++i) {
    wchar_t item[8] = {};
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
    EXPECT_EQ(std::u16string(Units(item)), items[i]);
  }
}

TEST_F(PageTest, EachBoxWritesOnlyItsOwnBit) {
  struct Case {
    unsigned mode;
    int id;
    OptionBit bit;
  };
  const Case cases[] = {
      {0, IDC_ENGLISH_ONLY, kEnglishOnly},
      {0, IDC_UNICODE_MODE, kUnicodeMode},
      {0, IDC_LENGTH_PREFIXED, kLengthPrefixed},
      {0, IDC_RECURSIVE, kRecursive},
      {1, IDC_NO_LENGTH_CHECK, kNoLengthCheck},
      {1, IDC_LENGTH_PREFIXED, kLengthPrefixed},
      {2, IDC_ASK_EACH, kAskEach},
      {2, IDC_UNICODE_MODE, kUnicodeMode},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    ProgramSettings().optionWord = 0x800C0009u;
    OpenOn(c.mode);
    const std::uint32_t before = ProgramSettings().optionWord;
    Click(c.id);
    EXPECT_EQ(ProgramSettings().optionWord, before ^ c.bit);
    Click(c.id);
    EXPECT_EQ(ProgramSettings().optionWord, before);
    DestroyWindow(Main());
  }
}

TEST_F(PageTest, MinimumCharactersTakesOnlyValuesInRange) {
  OpenOn(0);
  HWND field = PageControl(IDC_MIN_CHARS);
  SelectAllAndType(IDC_MIN_CHARS, u"3");
  EXPECT_EQ(MinChars(ProgramSettings()), 3u);
  Type(field, u"0");
  EXPECT_EQ(MinChars(ProgramSettings()), 30u);
  Type(field, u"0");  // 300 is out of range: back to 30
  EXPECT_EQ(TextOf(field), u"30");
  EXPECT_EQ(MinChars(ProgramSettings()), 30u);
  Type(field, u"12");  // never a fourth character
  EXPECT_LE(TextOf(field).size(), 3u);
  SetText(IDC_MIN_CHARS, u"14");
  SelectAllAndType(IDC_MIN_CHARS, u"1");
  EXPECT_EQ(TextOf(field), u"14");
  SetText(IDC_MIN_CHARS, u"");
  EXPECT_EQ(TextOf(field), u"14");
  EXPECT_EQ(MinChars(ProgramSettings()), 14u);
}

TEST_F(PageTest, MinCharsOutOfRangeFromTheProfileSettlesInRange) {
  for (const char* word : {"-2147418112", "-2147483648", "65536"}) {  // MinChars 1, 0, 1
    SCOPED_TRACE(word);
    const std::u16string profile =
        MakeFile(u"hand.ini", std::string("[Glosmorin]\r\nGlosmorin=") + word + "\r\n");
    LoadSettingsFrom(ProgramSettings(), profile.c_str());
    ASSERT_LT(MinChars(ProgramSettings()), 2u);
    OpenOn(0);
    EXPECT_EQ(TextOf(PageControl(IDC_MIN_CHARS)), u"2");
    EXPECT_EQ(MinChars(ProgramSettings()), 2u);
    DestroyWindow(Main());
  }
}

TEST_F(PageTest, SpinWrapsAroundTheRange) {
  SetMinChars(ProgramSettings(), 255);
  OpenOn(0);
  HWND field = PageControl(IDC_MIN_CHARS);
  SendMessageW(field, WM_KEYDOWN, VK_UP, 0);
  SendMessageW(field, WM_KEYUP, VK_UP, 0);
  EXPECT_EQ(TextOf(field), u"2");
  EXPECT_EQ(MinChars(ProgramSettings()), 2u);
  SendMessageW(field, WM_KEYDOWN, VK_DOWN, 0);
  SendMessageW(field, WM_KEYUP, VK_DOWN, 0);
  EXPECT_EQ(TextOf(field), u"255");
  EXPECT_EQ(MinChars(ProgramSettings()), 255u);
}

TEST_F(PageTest, OkNeedsAPathAndOnTheSearchPageAFindText) {
  OpenOn(2);
  SetText(IDC_PATH, u"C:\\*.dll");
  EXPECT_FALSE(OkEnabled());
  SetText(IDC_FIND, u"abc");
  EXPECT_TRUE(OkEnabled());
  SetText(IDC_PATH, u"");
  EXPECT_FALSE(OkEnabled());
  SetText(IDC_PATH, u"C:\\*.dll");
  SetText(IDC_FIND, u"");
  EXPECT_FALSE(OkEnabled());
  SelectTab(0);  // the path comes along, and Extract needs nothing more
  EXPECT_TRUE(OkEnabled());
}

TEST_F(PageTest, OkCaptionNamesReplaceWhileAReplacementIsTyped) {
  OpenOn(2);
  EXPECT_EQ(OkCaption(), u"搜索");
  Type(PageControl(IDC_REPLACEMENT), u"x");
  EXPECT_EQ(OkCaption(), u"替换");
  SetText(IDC_REPLACEMENT, u"");
  EXPECT_EQ(OkCaption(), u"搜索");
}

TEST_F(PageTest, TerminatorTextSetsTheTerminator) {
  const std::pair<std::u16string, std::uint16_t> cases[] = {
      {u"\\0", 0},  {u"\\t", 9}, {u"\\n", 10}, {u"\\r", 13},   {u"\\\\", u'\\'}, {u"\\q", u'q'},
      {u"x", u'x'}, {u"\\", 0},  {u"\\x", 0},  {u"好", u'好'}, {u"", u'好'},  // empty keeps the
                                                                              // last one
  };
  ProgramSettings().optionWord = 0x80040000u | kNoLengthCheck;  // nothing to log here
  OpenOn(1);
  for (const auto& [text, terminator] : cases) {
    EditTerminator(text);
    EXPECT_EQ(Terminator(ProgramSettings()), terminator) << U8(text);
    EXPECT_EQ(ProgramSettings().optionWord >> 16, 0x9104u) << U8(text);
  }
}

TEST_F(PageTest, SeveralUnitsGiveTheFirstAndAreLoggedUnlessNoLengthCheck) {
  OpenOn(1);
  EditTerminator(u"ab");
  EXPECT_EQ(Terminator(ProgramSettings()), u'a');
  // One line for each notification that read the text (the combo sends more than one).
  const std::u16string line = u"◎ 截去超长字符串: ab\r\n";
  const std::u16string log = LogText();
  ASSERT_FALSE(log.empty());
  for (std::size_t at = 0; at < log.size(); at += line.size()) {
    EXPECT_EQ(log.substr(at, line.size()), line) << U8(log);
  }

  Click(IDC_NO_LENGTH_CHECK);
  const std::uint32_t above = ProgramSettings().optionWord & 0xFFFF0000u;
  // Three units, which only a program can put past the combo's limit: still only 16 bits.
  SetWindowTextW(TerminatorEdit(), L"xyz");
  SendMessageW(Page(), WM_COMMAND, MAKEWPARAM(IDC_TERMINATOR, CBN_EDITCHANGE),
               reinterpret_cast<LPARAM>(PageControl(IDC_TERMINATOR)));
  EXPECT_EQ(Terminator(ProgramSettings()), u'x');
  EXPECT_EQ(ProgramSettings().optionWord & 0xFFFF0000u, above);
  EXPECT_EQ(LogText(), log);
}

TEST_F(PageTest, ListChoiceTakesEffectAtTheLatestWhenTheFocusLeaves) {
  OpenOn(1);
  SetFocus(TerminatorEdit());
  SendMessageW(PageControl(IDC_TERMINATOR), CB_SETCURSEL, 3, 0);
  SendMessageW(Page(), WM_COMMAND, MAKEWPARAM(IDC_TERMINATOR, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(PageControl(IDC_TERMINATOR)));
  SetFocus(PageControl(IDC_PATH));
  EXPECT_EQ(Terminator(ProgramSettings()), 9u);
}

}  // namespace
}  // namespace glos::test
