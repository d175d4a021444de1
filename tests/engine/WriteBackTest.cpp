// Write back: entries applied in memory, translation files found on disk, and a round trip
// through Extract on a real PE image.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "core/Directory.h"
#include "engine/Extract.h"
#include "engine/WriteBack.h"
#include "fuzz/FuzzChecks.h"
#include "tests/support/StatusCapture.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

struct ApplyCase {
  const char* name;
  std::uint32_t options;  // bits set on the default option word
  const char* translation;
  std::size_t patchAt;  // the target is 32 bytes of '.' with prefix and "xyz" at patchAt
  std::uint8_t prefix;
  std::string expected;  // the target afterwards, '.' for untouched, '#' for a 0 byte
  std::vector<Report> reports;
};

class ApplyTranslationTest : public ::testing::TestWithParam<ApplyCase> {};

TEST_P(ApplyTranslationTest, WritesTheSlotAndNothingElse) {
  const ApplyCase& c = GetParam();
  Settings settings;
  settings.optionWord |= c.options;
  Bytes target(32, '.');
  target[c.patchAt] = c.prefix;
  std::copy_n("xyz", 3, target.begin() + c.patchAt + 1);
  const Bytes text = ToBytes(std::string("[Glosmorin]") + c.translation);
  StatusCapture capture;
  ApplyTranslation(settings, target.data(), target.size(), text.data(), text.size());
  std::string shown;
  for (std::uint8_t b : target) shown.push_back(b == 0 ? '#' : static_cast<char>(b));
  EXPECT_EQ(shown, c.expected);
  EXPECT_EQ(capture.reports(), c.reports);
}

const std::string kP3 = std::string(1, '\x03');
const std::string kP5 = std::string(1, '\x05');
const std::string kP2 = std::string(1, '\x02');
const std::string kP4 = std::string(1, '\x04');

INSTANTIATE_TEST_SUITE_P(
    Entries, ApplyTranslationTest,
    ::testing::Values(ApplyCase{"ShorterTextIsFilled", 0, "\r\n0x00000010,0003=ab\r\n", 16, '.',
                                "................ab#z............"},
                      ApplyCase{"OverlongTextIsCutAndReported",
                                0,
                                "\r\n0x00000010,0003=abcdef\r\n",
                                16,
                                '.',
                                "................abcz............",
                                {{kStatusCutBytes, "abcdef"}}},
                      ApplyCase{"NoLengthCheckRunsOn", kNoLengthCheck,
                                "\r\n0x00000010,0003=abcdef\r\n", 16, '.',
                                "................abcdef.........."},
                      ApplyCase{"PrefixInStepTakesTheNewLength", kLengthPrefixed,
                                "\r\n0x00000011,0003=ab\r\n", 16, 3,
                                "................" + kP2 + "ab#............"},
                      ApplyCase{"PrefixMismatchReported",
                                kLengthPrefixed,
                                "\r\n0x00000011,0003=ab\r\n",
                                16,
                                5,
                                "................" + kP5 + "ab#............",
                                {{kStatusLengthMismatch, "17"}}},
                      ApplyCase{"NoLengthCheckOverwritesPrefix", kLengthPrefixed | kNoLengthCheck,
                                "\r\n0x00000011,0003=abcd\r\n", 16, 5,
                                "................" + kP4 + "abcd..........."},
                      ApplyCase{"EscapesAndLaterEntriesOverwrite", 0,
                                "\r\n0x00000004,0004=\\x41\\n\\\\\r\n0x00000005,0001=Z\r\n", 16,
                                '.', "....AZ\\#.........xyz............"},
                      ApplyCase{"SlotAtTheVeryEnd", 0, "\r\n0x0000001E,0002=ok\r\n", 0, '.',
                                ".xyz..........................ok"},
                      ApplyCase{"SlotAcrossTheEndIsSkipped",
                                0,
                                "\r\n0x0000001F,0002=ok\r\n",
                                0,
                                '.',
                                ".xyz............................",
                                {{kStatusOutsideFile, "31"}}},
                      ApplyCase{"RunOnAcrossTheEndIsSkipped",
                                kNoLengthCheck,
                                "\r\n0x0000001E,0001=long\r\n",
                                0,
                                '.',
                                ".xyz............................",
                                {{kStatusOutsideFile, "30"}}},
                      ApplyCase{"HugeOffsetIsUnsignedAndSkipped",
                                0,
                                "\r\n0xFFFFFFF0,0002=ok\r\n",
                                0,
                                '.',
                                ".xyz............................",
                                {{kStatusOutsideFile, "4294967280"}}},
                      ApplyCase{"HugeLengthIsSkipped",
                                0,
                                "\r\n0x00000001,4294967295=ok\r\n",
                                0,
                                '.',
                                ".xyz............................",
                                {{kStatusOutsideFile, "1"}}},
                      ApplyCase{"PrefixBeforeTheFileIsSkipped",
                                kLengthPrefixed,
                                "\r\n0x00000000,0002=ok\r\n",
                                16,
                                3,
                                "................" + kP3 + "xyz............",
                                {{kStatusOutsideFile, "0"}}},
                      ApplyCase{"LastLineWithoutBreakIsNotApplied", 0, "\r\n0x00000010,0003=ab", 16,
                                '.', ".................xyz............"}),
    [](const ::testing::TestParamInfo<ApplyCase>& info) { return info.param.name; });

// Entries mostly in order, some going back or overlapping, some far apart, in both widths and
// every option, checked against the reference once with the window used on files and once with
// one that moves on at nearly every entry.
TEST(ApplyTranslationTest, RandomEntriesMatchTheReferenceWhateverTheWindow) {
  std::mt19937 rng(4099);
  auto below = [&rng](unsigned n) { return static_cast<unsigned>(rng() % n); };
  for (int round = 0; round < 600; ++round) {
    const bool wide = round % 3 == 0;
    std::string text = "[Glosmorin]";
    unsigned offset = below(16);
    for (unsigned n = below(40); n > 0; --n) {
      const unsigned step = below(10);
      offset = step == 0 ? below(1020) : step == 1 ? offset + 200 : offset + 4 * step;
      char head[32];
      std::snprintf(head, sizeof head, "\r\n0x%08X,%04u=", offset % 1100, below(12));
      text += head;
      for (unsigned k = below(14); k > 0; --k) {
        text += below(8) == 0 ? std::string("\\x41") : std::string(1, "xyz"[below(3)]);
      }
    }
    text += "\r\n";
    Bytes input = {static_cast<std::uint8_t>(below(16)), 0, 0, 255,
                   static_cast<std::uint8_t>(below(256))};
    const Bytes units = wide ? WideBytes(text) : ToBytes(text);
    input.insert(input.end(), units.begin(), units.end());
    ASSERT_EQ(fuzz::CheckApplyTranslation(input.data(), input.size()), "") << text;
  }
}

TEST(ApplyTranslationWide, Utf16FileWritesUnitsAtOddOffsetsWhateverUnicodeModeSays) {
  Settings settings;  // UnicodeMode clear
  SetTerminator(settings, 0x2020);
  Bytes target(16, '.');
  const Bytes text = WideBytes("[Glosmorin]\r\n0x00000003,0003=ab\r\n", /*byteOrderMark=*/true);
  ApplyTranslation(settings, target.data(), target.size(), text.data(), text.size());
  const Bytes expected = {'.',  '.', '.', 'a', 0,   'b', 0,   0x20,
                          0x20, '.', '.', '.', '.', '.', '.', '.'};
  EXPECT_EQ(target, expected);
}

TEST(ApplyTranslationWide, LengthPrefixIsTheUnitBeforeTheSlot) {
  Settings settings;
  SetOption(settings, kLengthPrefixed, true);
  Bytes target = {'.', 3, 0, 'x', 0, 'y', 0, 'z', 0, '.'};
  const Bytes text = WideBytes("\r\n0x00000003,0003=a\r\n", /*byteOrderMark=*/true);
  ApplyTranslation(settings, target.data(), target.size(), text.data(), text.size());
  const Bytes expected = {'.', 1, 0, 'a', 0, 0, 0, 0, 0, '.'};
  EXPECT_EQ(target, expected);
}

class WriteBackFileTest : public FileOperationTest {
 protected:
  StatusCode WriteBack(const std::u16string& target) { return Run(WriteBackFile, target); }
};

TEST_F(WriteBackFileTest, TargetWithoutTranslationGives518WithThePattern) {
  const auto target = dir_.file(u"a.dll");
  WriteFile(target, Bytes(64, '.'));
  EXPECT_EQ(WriteBack(target), kStatusNoFile);
  EXPECT_EQ(named_, target + u".tt?");
}

TEST_F(WriteBackFileTest, UnmappableTargetGives523WithItsPath) {
  const auto target = dir_.file(u"empty.dll");
  WriteFile(target, {});
  WriteFile(target + u".ttt", ToBytes("[Glosmorin]\r\n0x00000000,0001=a\r\n"));
  EXPECT_EQ(WriteBack(target), kStatusCannotMap);
  EXPECT_EQ(named_, target);
}

TEST_F(WriteBackFileTest, EveryTranslationFileIsAppliedAndAllButTheLastReported) {
  const auto target = dir_.file(u"a.dll");
  WriteFile(target, Bytes(32, '.'));
  WriteFile(target + u".ttt", ToBytes("[Glosmorin]\r\n0x00000000,0004=ttt\r\n"));
  WriteFile(target + u".tt2", ToBytes("[Glosmorin]\r\n0x00000002,0001=2\r\n"));
  MakeDirectory(target + u".ttd");  // matches, but directories are passed over
  StatusCapture capture;
  const StatusCode result = WriteBack(target);
  EXPECT_EQ(result, kStatusWrittenBack);
  ASSERT_EQ(capture.reports().size(), 1u);
  EXPECT_EQ(capture.reports()[0].code, kStatusWrittenBack);
  EXPECT_NE(capture.reports()[0].text, U8(named_));
  const Bytes patched = ReadFile(target);
  ASSERT_EQ(patched.size(), 32u);
  // Which file comes last decides byte 2: the later one overwrites the earlier one.
  const bool tttLast = named_ == target + u".ttt";
  EXPECT_EQ(patched[2], tttLast ? 't' : '2');
  EXPECT_EQ(patched[0], 't');
  EXPECT_EQ(patched[3], 0);
  EXPECT_EQ(patched[4], '.');
}

// The translation files of a target are its exact name, ".tt" and one unit: wildcards in the
// name are not read as such, and on POSIX case counts. Translation file k writes 'A' + k at k.
TEST_F(WriteBackFileTest, TheTargetsNameIsNeverAPattern) {
  if (IsWindowsBuild()) GTEST_SKIP() << "Windows names hold neither \"*\" nor \"?\"";
  const struct {
    const char16_t* target;
    std::vector<std::u16string> files;
    const char* expected;
  } cases[] = {
      {u"star*", {u"starfish.ttt", u"star*.ttt"}, ".B."},
      {u"q?", {u"qz.ttt", u"q?.tt"}, "..."},
      {u"a.bin", {u"A.BIN.TTT", u"a.bin.TTT", u"a.bin.ttt.ttt"}, "..."},
      {u"x", {u"x.tt1", u"x.ttt"}, "AB."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(U8(c.target));
    TempDir dir;
    const auto target = dir.file(c.target);
    WriteFile(target, Bytes(3, '.'));
    for (std::size_t k = 0; k < c.files.size(); ++k) {
      WriteFile(dir.file(c.files[k]),
                ToBytes("[Glosmorin]\r\n0x0000000" + std::to_string(k) +
                        ",0001=" + std::string(1, static_cast<char>('A' + k)) + "\r\n"));
    }
    WriteBack(target);
    EXPECT_EQ(ReadFile(target), ToBytes(c.expected));
  }
}

TEST_F(WriteBackFileTest, HeaderOnlyTranslationLeavesTheTargetUnchanged) {
  const auto target = dir_.file(u"a.dll");
  WriteFile(target, Bytes(4096, 0x5A));
  WriteFile(target + u".ttt", ToBytes("[Glosmorin]\r\n"));
  EXPECT_EQ(WriteBack(target), kStatusWrittenBack);
  EXPECT_EQ(named_, target + u".ttt");
  EXPECT_EQ(ReadFile(target), Bytes(4096, 0x5A));
}

TEST_F(WriteBackFileTest, PathWithoutRoomForThePatternGives518WithTheTarget) {
  const std::size_t room = kPathCapacity - 1 - dir_.path().size() - 1;
  const auto target = dir_.file(std::u16string(room - 1, u'n'));  // 258 units
  WriteFile(target, Bytes(16, '.'));
  EXPECT_EQ(WriteBack(target), kStatusNoFile);
  EXPECT_EQ(named_, target);
}

// A real PE image, extracted, edited and written back.
std::u16string RealImage() {
  if (IsWindowsBuild()) {
    return U16(std::string("Z:") + GLOS_BINARY_DIR + "/cli/glosmorin-cli.exe");
  }
  return u"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/shlwapi.dll";
}

struct Slot {
  std::size_t offset;
  std::size_t length;
};

TEST_F(WriteBackFileTest, RoundTripOnARealImageChangesOnlyTheEditedSlots) {
  const Bytes original = ReadFile(RealImage());
  if (original.empty()) GTEST_SKIP() << "no real PE image at " << U8(RealImage());
  const auto target = dir_.file(u"real.dll");
  WriteFile(target, original);
  { ASSERT_EQ(ExtractFile(settings_, target.c_str(), nullptr).code, kStatusExtracted); }
  // Edit every third entry: same length, shorter, longer (cut), and with escapes.
  const Bytes ttt = ReadFile(target + u".ttt");
  std::string text(ttt.begin(), ttt.end());
  std::string edited = "[Glosmorin]";
  std::vector<Slot> slots;
  std::vector<std::string> values;
  std::size_t pos = 0;
  int index = 0;
  while ((pos = text.find("\r\n0x", pos)) != std::string::npos) {
    const std::size_t end = text.find("\r\n", pos + 2);
    const std::string line = text.substr(pos + 2, end - pos - 2);
    pos = end;
    const std::size_t offset = std::stoul(line.substr(2, 8), nullptr, 16);
    const std::size_t length = std::stoul(line.substr(11, line.find('=') - 11));
    if (index++ % 3 != 0) continue;
    std::string value;
    switch (slots.size() % 4) {
      case 0:
        value = std::string(length, 'S');
        break;
      case 1:
        value = std::string(length / 2, 's');
        break;
      case 2:
        value = std::string(length + 7, 'L');
        break;
      default:
        value = "\\x41\\t";
        break;
    }
    edited += "\r\n" + line.substr(0, line.find('=') + 1) + value;
    slots.push_back({offset, length});
    std::string raw;
    if (slots.size() % 4 == 0) {
      raw = "A\t";
    } else {
      raw = value;
    }
    raw.resize(length, '\0');  // cut or filled with the Terminator 0
    values.push_back(raw);
  }
  ASSERT_GT(slots.size(), 4u);
  edited += "\r\n";
  WriteFile(target + u".ttt", ToBytes(edited));
  {
    StatusCapture capture;
    EXPECT_EQ(WriteBack(target), kStatusWrittenBack);
  }
  Bytes expected = original;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    std::copy(values[i].begin(), values[i].end(), expected.begin() + slots[i].offset);
  }
  const Bytes patched = ReadFile(target);
  ASSERT_EQ(patched.size(), original.size());
  EXPECT_TRUE(patched == expected);
}

}  // namespace
}  // namespace glos::test
