// Browse dialog: the filter kept in the profile, the field's path in and the chosen path out.
#include <string>
#include <vector>

#include "core/Settings.h"
#include "resources/Resource.h"
#include "tests/ui/WindowTesting.h"
#include "ui/Browse.h"
#include "ui/WindowState.h"

namespace glos::test {
namespace {

// Controls of the common file dialog (cmb1, cmb13 and edt1 of <dlgs.h>).
constexpr int kFileTypes = 0x470;
constexpr int kFileNameCombo = 0x47c;
constexpr int kFileNameEdit = 0x480;

const std::u16string kDefaultFilter =
    u"常用文件 (*.exe;*.dll;*.arsc)|*.exe;*.dll;*.arsc|所有文件 (*.*)|*.*|";

// The open-file dialog's file name field: the combo of the Explorer style, else the edit.
HWND FileNameField(HWND dialog) {
  HWND combo = GetDlgItem(dialog, kFileNameCombo);
  return combo != nullptr && IsWindowVisible(combo) ? combo : GetDlgItem(dialog, kFileNameEdit);
}

std::vector<std::u16string> FileTypes(HWND dialog) {
  std::vector<std::u16string> types;
  HWND combo = GetDlgItem(dialog, kFileTypes);
  const auto count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[kPathCapacity] = {};
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    types.emplace_back(Units(text));
  }
  return types;
}

std::u16string ProfileFilter() {
  char16_t filter[kPathCapacity] = {};
  ReadProfileString(ProgramSettings(), u"Filter500", filter, static_cast<int>(kPathCapacity));
  return filter;
}

using BrowseTest = WindowTest;

TEST(ReplaceUnitTest, ReplacesEveryOccurrenceEvenByZero) {
  char16_t filter[] = u"a (*.a)|*.a|b|";
  ReplaceUnit(filter, u'|', 0);
  EXPECT_EQ(std::u16string(filter, sizeof filter / 2), std::u16string(u"a (*.a)\0*.a\0b\0\0", 15));
  char16_t plain[] = u"abcabc";
  EXPECT_EQ(std::u16string(ReplaceUnit(plain, u'b', u'x')), u"axcaxc");
  EXPECT_EQ(std::u16string(ReplaceUnit(plain, u'|', 0)), u"axcaxc");
}

TEST_F(BrowseTest, FilterComesFromTheProfileWhichFirstUseFills) {
  Open(u"C:\\nothing\\here.dll");
  std::vector<std::u16string> types;
  ModalAnswerer answerer([&](HWND dialog, const SeenBox&) {
    types = FileTypes(dialog);
    return IDCANCEL;
  });
  Click(IDC_BROWSE);
  ASSERT_EQ(answerer.seen.size(), 1u);
  EXPECT_EQ(ProfileFilter(), kDefaultFilter);
  EXPECT_EQ(types,
            (std::vector<std::u16string>{u"常用文件 (*.exe;*.dll;*.arsc)", u"所有文件 (*.*)"}));
  EXPECT_EQ(TextOf(PageControl(IDC_PATH)), u"C:\\nothing\\here.dll");

  WriteProfileString(ProgramSettings(), u"Filter500", u"文本 (*.txt)|*.txt|翻译 (*.ttt)|*.ttt|");
  Click(IDC_BROWSE);
  EXPECT_EQ(types, (std::vector<std::u16string>{u"文本 (*.txt)", u"翻译 (*.ttt)"}));
  EXPECT_EQ(ProfileFilter(), u"文本 (*.txt)|*.txt|翻译 (*.ttt)|*.ttt|");
}

TEST_F(BrowseTest, StartsFromTheFieldAndPutsTheChosenPathThere) {
  const std::u16string first = MakeFile(u"first.dll", "MZ");
  const std::u16string chosen = MakeFile(u"chosen.dll", "MZ");
  SetMode(ProgramSettings(), Mode::Search);
  Open(first.c_str());
  SetText(IDC_FIND, u"abc");
  SetText(IDC_PATH, u"");
  ASSERT_FALSE(OkEnabled());
  std::u16string offered;
  ModalAnswerer answerer([&](HWND dialog, const SeenBox&) {
    offered = TextOf(FileNameField(dialog));
    SetWindowTextW(FileNameField(dialog), Wide(chosen.c_str()));
    return IDOK;
  });
  Click(IDC_BROWSE);
  EXPECT_EQ(offered, u"");
  EXPECT_EQ(TextOf(PageControl(IDC_PATH)), chosen);
  EXPECT_TRUE(OkEnabled());

  Click(IDC_BROWSE);  // now the field's path is offered, and choosing it again keeps it
  EXPECT_NE(offered.find(u"chosen.dll"), std::u16string::npos) << U8(offered);
  EXPECT_EQ(TextOf(PageControl(IDC_PATH)), chosen);
}

}  // namespace
}  // namespace glos::test
