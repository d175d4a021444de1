// Option fields, the profile path rule and the profile round trip of the option word.
#include <gtest/gtest.h>

#include <random>

#include "core/Settings.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

TEST(SettingsTest, DefaultsAreEnglishOnlyMinChars4Extract) {
  Settings s;
  EXPECT_EQ(s.optionWord, 0x80040000u);
  EXPECT_EQ(MinChars(s), 4u);
  EXPECT_EQ(Terminator(s), 0);
  EXPECT_EQ(GetMode(s), Mode::Extract);
  EXPECT_TRUE(HasOption(s, kEnglishOnly));
  EXPECT_EQ(std::u16string(s.excludeList), kDefaultExcludeList);
}

TEST(SettingsTest, EachSetterChangesOnlyItsOwnBits) {
  Settings s;
  s.optionWord = 0xFFFFFFFFu;
  SetTerminator(s, 0x1234);
  EXPECT_EQ(s.optionWord, 0xFFFF1234u);
  SetMinChars(s, 7);
  EXPECT_EQ(s.optionWord, 0xFF071234u);
  SetMode(s, Mode::Search);
  EXPECT_EQ(s.optionWord, 0xFE071234u);
  SetOption(s, kAskEach, false);
  EXPECT_EQ(s.optionWord, 0xDE071234u);
}

TEST(SettingsTest, ProfilePathReplacesTheLastFourUnitsWhateverTheyAre) {
  char16_t out[kPathCapacity];
  ASSERT_TRUE(MakeProfilePath(u"/opt/glos.exe", out, kPathCapacity));
  EXPECT_EQ(std::u16string(out), u"/opt/glos.ini");
  ASSERT_TRUE(MakeProfilePath(u"/usr/bin/glosmorin", out, kPathCapacity));
  EXPECT_EQ(std::u16string(out), u"/usr/bin/glosm.ini");
  EXPECT_FALSE(MakeProfilePath(u"abc", out, kPathCapacity));
}

class ProfileRoundTrip : public ::testing::Test {
 protected:
  TempDir dir_;
  std::u16string profile_ = dir_.file(u"glos.ini");
};

TEST_F(ProfileRoundTrip, MissingProfileGivesDefaults) {
  Settings s;
  s.optionWord = 0;
  s.excludeList[0] = 0;
  LoadSettingsFrom(s, profile_.c_str());
  EXPECT_EQ(s.optionWord, kDefaultOptionWord);
  EXPECT_EQ(std::u16string(s.excludeList), kDefaultExcludeList);
}

TEST_F(ProfileRoundTrip, DefaultWordIsWrittenSignedAndReadsBack) {
  Settings s;
  LoadSettingsFrom(s, profile_.c_str());
  SaveSettings(s);
  const Bytes bytes = ReadFile(profile_);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("Glosmorin=-2147221504"), std::string::npos) << text;
  EXPECT_NE(text.find("Exclude=.text|.bss|.rsrc|.edata|.idata|.pdata|.debug|"), std::string::npos);
  Settings back;
  back.optionWord = 0;
  LoadSettingsFrom(back, profile_.c_str());
  EXPECT_EQ(back.optionWord, kDefaultOptionWord);
}

TEST_F(ProfileRoundTrip, OtherKeysOfTheSectionReadAndWrite) {
  Settings s;
  char16_t value[kPathCapacity];
  EXPECT_EQ(ReadProfileString(s, u"Filter500", value, kPathCapacity), 0);  // no profile yet
  LoadSettingsFrom(s, profile_.c_str());
  EXPECT_EQ(ReadProfileString(s, u"Filter500", value, kPathCapacity), 0);
  ASSERT_TRUE(WriteProfileString(s, u"Filter500", u"All|*.*"));
  EXPECT_EQ(ReadProfileString(s, u"Filter500", value, kPathCapacity), 7);
  EXPECT_EQ(std::u16string(value), u"All|*.*");
}

TEST_F(ProfileRoundTrip, EveryWordReadsBackAsWritten) {
  std::mt19937 random(42);
  std::vector<std::uint32_t> words = {0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0x02FF0041u};
  for (int i = 0; i < 40; ++i) words.push_back(random());
  Settings s;
  LoadSettingsFrom(s, profile_.c_str());
  for (std::uint32_t word : words) {
    SCOPED_TRACE(word);
    s.optionWord = word;
    SaveSettings(s);
    Settings back;
    LoadSettingsFrom(back, profile_.c_str());
    EXPECT_EQ(back.optionWord, word);
  }
}

TEST_F(ProfileRoundTrip, EmptyExcludeKeyMeansAnEmptyListAndOtherKeysSurvive) {
  WriteFile(profile_, ToBytes("[Other]\r\nkeep=1\r\n[Glosmorin]\r\nFilter500=x|*.*\r\n"
                              "Exclude=\r\n"));
  Settings s;
  LoadSettingsFrom(s, profile_.c_str());
  EXPECT_EQ(s.excludeList[0], 0);
  SetMode(s, Mode::Search);
  SaveSettings(s);
  const Bytes bytes = ReadFile(profile_);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("keep=1"), std::string::npos) << text;
  EXPECT_NE(text.find("Filter500=x|*.*"), std::string::npos) << text;
  Settings back;
  LoadSettingsFrom(back, profile_.c_str());
  EXPECT_EQ(GetMode(back), Mode::Search);
}

}  // namespace
}  // namespace glos::test
