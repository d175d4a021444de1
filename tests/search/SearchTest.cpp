// The Search operation: pattern bytes, candidate bounds, answers, overwrites, and the fast scan
// against an offset-by-offset reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>

#include "core/MappedFile.h"
#include "core/TextFormat.h"
#include "fuzz/FuzzChecks.h"
#include "run/Run.h"
#include "search/Search.h"
#include "tests/support/StatusCapture.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

Bytes BufferBytes(const char16_t* buffer, std::size_t count) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer);
  return Bytes(bytes, bytes + count);
}

// Expected byte form: the given leading bytes, then the fill unit up to the capacity.
Bytes Filled(Bytes lead, bool wide, std::uint16_t terminator) {
  const std::size_t total = wide ? 520 : 260;
  while (lead.size() < total) {
    lead.push_back(static_cast<std::uint8_t>(terminator));
    if (wide) lead.push_back(static_cast<std::uint8_t>(terminator >> 8));
  }
  return lead;
}

TEST(BuildSearchPatternTest, ByteForms) {
  const struct {
    const char* name;
    bool wide;
    bool prefix;
    std::uint16_t terminator;
    std::u16string find;
    std::u16string replacement;
    Bytes findLead;
    Bytes replacementLead;  // empty: no replacement
  } cases[] = {
      {"8-bit plain", false, false, 0, u"abc", u"", {0x61, 0x62, 0x63}, {}},
      {"8-bit prefixed", false, true, 0x20, u"abc", u"xy", {3, 0x61, 0x62, 0x63}, {2, 0x78, 0x79}},
      {"8-bit fill is the low byte", false, false, 0x1241, u"ab", u"x", {0x61, 0x62}, {0x78}},
      {"8-bit escapes", false, false, 0, u"a\\x41\\n\\\\", u"\\0", {0x61, 0x41, 0x0A, 0x5C}, {0}},
      {"8-bit backslash at the end", false, false, 7, u"a\\", u"\\x4G", {0x61, 0}, {4}},
      {"UTF-16 plain",
       true,
       false,
       0,
       u"ab",
       u"xyz",
       {0x61, 0, 0x62, 0},
       {0x78, 0, 0x79, 0, 0x7A, 0}},
      {"UTF-16 prefixed",
       true,
       true,
       0xABCD,
       u"ab",
       u"\\x20AC",
       {2, 0, 0x61, 0, 0x62, 0},
       {1, 0, 0xAC, 0x20}},
      {"UTF-16 non-ASCII", true, false, 0, u"\u4e2d", u"", {0x2D, 0x4E}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Settings settings;
    SetOption(settings, kUnicodeMode, c.wide);
    SetOption(settings, kLengthPrefixed, c.prefix);
    SetTerminator(settings, c.terminator);
    PathBuffer find(c.find);
    PathBuffer replacement(c.replacement);
    const SearchPattern pattern = BuildSearchPattern(settings, find.units, replacement.units);
    EXPECT_EQ(pattern.findLength, static_cast<std::int32_t>(c.findLead.size()));
    EXPECT_EQ(pattern.findBytes, reinterpret_cast<const std::uint8_t*>(find.units));
    const std::size_t used = c.wide ? 520 : 260;
    EXPECT_EQ(BufferBytes(find.units, used), Filled(c.findLead, c.wide, c.terminator));
    if (c.replacementLead.empty()) {
      EXPECT_EQ(pattern.replacementBytes, nullptr);
    } else {
      EXPECT_EQ(pattern.replacementBytes, reinterpret_cast<const std::uint8_t*>(replacement.units));
      EXPECT_EQ(BufferBytes(replacement.units, used),
                Filled(c.replacementLead, c.wide, c.terminator));
    }
  }
}

TEST(BuildSearchPatternTest, LongestTextsFillTheBuffersWithoutReports) {
  for (bool wide : {false, true}) {
    for (bool noLengthCheck : {false, true}) {
      SCOPED_TRACE(testing::Message() << "wide " << wide << " noLengthCheck " << noLengthCheck);
      StatusCapture capture;
      Settings settings;
      SetOption(settings, kUnicodeMode, wide);
      SetOption(settings, kLengthPrefixed, true);
      SetOption(settings, kNoLengthCheck, noLengthCheck);
      PathBuffer find(std::u16string(259, u'q'));
      PathBuffer replacement(std::u16string(259, u'r'));
      EXPECT_EQ(BuildSearchPattern(settings, find.units, replacement.units).findLength,
                wide ? 520 : 260);
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(find.units);
      EXPECT_EQ(bytes[0], 259 & 0xFF);
      EXPECT_EQ(bytes[wide ? 518 : 259], 'q');
      EXPECT_TRUE(capture.reports().empty());
    }
  }
}

TEST(BuildSearchPatternTest, WideCharactersIn8BitModeStayWithinTheScratch) {
  Settings settings;
  PathBuffer find(std::u16string(259, u'\u4e2d'));
  PathBuffer replacement(u"");
  char converted[260];
  const int expected = ConvertToCodePage(converted, 260, find.units);
  const SearchPattern pattern = BuildSearchPattern(settings, find.units, replacement.units);
  EXPECT_EQ(pattern.findLength, expected);
  EXPECT_LE(pattern.findLength, 259);
  EXPECT_EQ(std::memcmp(find.units, converted, static_cast<std::size_t>(expected)), 0);
}

// Answers questions from a script, Cancel once it runs out, and keeps the questions.
struct ScriptedAsker {
  std::vector<Answer> answers;
  std::vector<std::u16string> questions;
  std::vector<bool> withReplacement;
  std::function<void()> onAsk;

  static Answer Ask(void* context, const char16_t* question, bool replacement) {
    auto* self = static_cast<ScriptedAsker*>(context);
    self->questions.emplace_back(question);
    self->withReplacement.push_back(replacement);
    if (self->onAsk) self->onAsk();
    const std::size_t n = self->questions.size() - 1;
    return n < self->answers.size() ? self->answers[n] : Answer::Cancel;
  }
};

class SearchFileTest : public ::testing::Test {
 protected:
  // Builds the pattern into this fixture's buffers, as a run does.
  void Build(const std::u16string& find, const std::u16string& replacement = u"") {
    CopyText(find_, 260, find);
    CopyText(replacement_, 260, replacement);
    context_.pattern = BuildSearchPattern(settings_, find_, replacement_);
  }
  StatusCode Search(const std::u16string& path) {
    const FileOutcome outcome = SearchFile(settings_, path.c_str(), &context_);
    EXPECT_EQ(std::u16string(outcome.path), path);
    return outcome.code;
  }
  // The offsets of the 510 reports for file, in order.
  std::vector<std::uint64_t> Matches(const std::u16string& file) const {
    std::vector<std::uint64_t> offsets;
    const std::string prefix = U8(file) + ":";
    for (const Report& r : capture_.reports()) {
      if (r.code != kStatusFound || r.text.rfind(prefix, 0) != 0) continue;
      offsets.push_back(std::stoull(r.text.substr(prefix.size()), nullptr, 16));
    }
    return offsets;
  }

  TempDir dir_;
  Settings settings_;
  char16_t find_[260] = {};
  char16_t replacement_[260] = {};
  ScriptedAsker asker_;
  SearchContext context_{{}, {u"\u66ff\u6362", ScriptedAsker::Ask, &asker_}};
  StatusCapture capture_;
};

TEST_F(SearchFileTest, CandidatesStopBeforeTheLastPossibleStart) {
  const struct {
    std::string content;
    std::u16string find;
    std::vector<std::uint64_t> offsets;
  } cases[] = {
      {"aaaa", u"aa", {0}},  {"aaaaa", u"aa", {0, 2}}, {"abc", u"abc", {}},
      {"abcX", u"abc", {0}}, {"ab", u"abc", {}},       {"xabcabcabc", u"abc", {1, 4}},
      {"b", u"b", {}},       {"bb", u"b", {0}},
  };
  const auto file = dir_.file(u"f.bin");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content);
    capture_.clear();
    Build(c.find);
    WriteFile(file, ToBytes(c.content));
    EXPECT_EQ(Search(file), kStatusSearchDone);
    EXPECT_EQ(Matches(file), c.offsets);
  }
}

TEST_F(SearchFileTest, MissingAndEmptyFilesCannotBeMapped) {
  Build(u"a");
  WriteFile(dir_.file(u"empty"), {});
  EXPECT_EQ(Search(dir_.file(u"empty")), kStatusCannotMap);
  EXPECT_EQ(Search(dir_.file(u"missing")), kStatusCannotMap);
  EXPECT_TRUE(capture_.reports().empty());
}

TEST_F(SearchFileTest, EmptyPatternEndsAtOnce) {
  Build(u"");
  EXPECT_EQ(context_.pattern.findLength, 0);
  WriteFile(dir_.file(u"f"), ToBytes("abc"));
  EXPECT_EQ(Search(dir_.file(u"f")), kStatusSearchDone);
  EXPECT_TRUE(capture_.reports().empty());
}

TEST_F(SearchFileTest, Utf16PatternIsFoundAtOddAndEvenOffsets) {
  SetOption(settings_, kUnicodeMode, true);
  Build(u"ab");
  const auto file = dir_.file(u"w.bin");
  WriteFile(file, {0x61, 0x00, 0x62, 0x00, 0x01, 0x61, 0x00, 0x62, 0x00, 0x02, 0x03});
  EXPECT_EQ(Search(file), kStatusSearchDone);
  EXPECT_EQ(Matches(file), (std::vector<std::uint64_t>{0, 5}));
}

TEST_F(SearchFileTest, ReplacementsAreCutOrFilledToTheFindLength) {
  const struct {
    const char* name;
    bool prefix;
    std::uint16_t terminator;
    std::u16string find;
    std::u16string replacement;
    Bytes content;
    Bytes expected;
  } cases[] = {
      {"shorter",
       false,
       0,
       u"abc",
       u"x",
       ToBytes("abc-abc--"),
       {'x', 0, 0, '-', 'x', 0, 0, '-', '-'}},
      {"longer", false, 0, u"abc", u"wxyz12", ToBytes("abcabc!"), ToBytes("wxywxy!")},
      {"prefixed",
       true,
       '#',
       u"abc",
       u"xy",
       {3, 'a', 'b', 'c', 3, 'a', 'b', 'c', 0},
       {2, 'x', 'y', '#', 2, 'x', 'y', '#', 0}},
      {"zero", false, 0, u"ab", u"\\0", ToBytes("ab!"), {0, 0, '!'}},
  };
  const auto file = dir_.file(u"r.bin");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetOption(settings_, kLengthPrefixed, c.prefix);
    SetTerminator(settings_, c.terminator);
    Build(c.find, c.replacement);
    WriteFile(file, c.content);
    EXPECT_EQ(Search(file), kStatusSearchDone);
    EXPECT_EQ(ReadFile(file), c.expected);
  }
  EXPECT_TRUE(asker_.questions.empty());
}

TEST_F(SearchFileTest, ReadOnlyFileIsSearchedButNotReplaced) {
  const auto file = dir_.file(u"ro.bin");
  WriteFile(file, ToBytes("xxabxx"));
  namespace fs = std::filesystem;
  fs::permissions(fs::path(file),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  // No write permission bit means read-only for the engine, even for root.
  Build(u"ab");
  EXPECT_EQ(Search(file), kStatusSearchDone);
  EXPECT_EQ(Matches(file), (std::vector<std::uint64_t>{2}));
  capture_.clear();
  Build(u"ab", u"cd");
  EXPECT_EQ(Search(file), kStatusCannotMap);
  EXPECT_TRUE(capture_.reports().empty());
  EXPECT_EQ(ReadFile(file), ToBytes("xxabxx"));
}

TEST_F(SearchFileTest, MatchArgumentIsPathColonAndEightHexDigits) {
  const auto file = dir_.file(u"big.bin");
  Bytes content(0x2000, '.');
  content[0x1A2B] = 'Q';
  WriteFile(file, content);
  Build(u"Q");
  EXPECT_EQ(Search(file), kStatusSearchDone);
  EXPECT_EQ(capture_.reports(), (std::vector<Report>{{kStatusFound, U8(file) + ":00001A2B"}}));
}

TEST_F(SearchFileTest, DeclinedMatchesAreSkippedWholeAndLeftUnchanged) {
  SetOption(settings_, kAskEach, true);
  Build(u"aa", u"XY");
  asker_.answers = {Answer::No, Answer::Yes, Answer::No, Answer::Yes};
  const auto file = dir_.file(u"a.bin");
  WriteFile(file, ToBytes("aaaaaaaaa!"));
  EXPECT_EQ(Search(file), kStatusSearchDone);
  EXPECT_EQ(Matches(file), (std::vector<std::uint64_t>{0, 2, 4, 6}));
  EXPECT_EQ(ReadFile(file), ToBytes("aaXYaaXYa!"));
  EXPECT_EQ(asker_.withReplacement, std::vector<bool>(4, true));
}

TEST_F(SearchFileTest, QuestionNamesPathOffsetAndActionWord) {
  SetOption(settings_, kAskEach, true);
  Build(u"k");
  asker_.answers = {Answer::Yes};
  const auto file = dir_.file(u"q.bin");
  WriteFile(file, ToBytes("..k.."));
  EXPECT_EQ(Search(file), kStatusSearchDone);
  ASSERT_EQ(asker_.questions.size(), 1u);
  const std::u16string& q = asker_.questions[0];
  EXPECT_EQ(q.rfind(u"\u6587\u4ef6: " + file + u"\n", 0), 0u) << U8(q);
  EXPECT_NE(q.find(u"00002\n\n"), std::u16string::npos) << U8(q);
  EXPECT_NE(q.find(u"\u7ee7\u7eed\u66ff\u6362?"), std::u16string::npos) << U8(q);
  EXPECT_EQ(asker_.withReplacement, std::vector<bool>{false});
}

TEST_F(SearchFileTest, CancelAcrossTwoFilesEndsTheRunAndKeepsEarlierWrites) {
  SetOption(settings_, kAskEach, true);
  SetMode(settings_, Mode::Search);
  const auto first = dir_.file(u"1.bin");
  const auto second = dir_.file(u"2.bin");
  WriteFile(first, ToBytes("-kk-kk-"));
  WriteFile(second, ToBytes("kk-kk-kk-"));
  WriteFile(dir_.file(u"3.bin"), ToBytes("kk-"));
  asker_.answers = {Answer::Yes, Answer::No, Answer::No, Answer::Cancel};
  EXPECT_EQ(RunPattern(settings_, dir_.file(u"*.bin").c_str(), u"kk", u"ZZ", context_.questions),
            kStatusCancelled);
  const std::vector<Report> expected = {
      {kStatusFound, U8(first) + ":00000001"},  {kStatusFound, U8(first) + ":00000004"},
      {kStatusSearchDone, U8(first)},           {kStatusFound, U8(second) + ":00000000"},
      {kStatusFound, U8(second) + ":00000003"}, {kStatusCancelled, U8(second)},
  };
  EXPECT_EQ(capture_.reports(), expected);
  EXPECT_EQ(ReadFile(first), ToBytes("-ZZ-kk-"));
  EXPECT_EQ(ReadFile(second), ToBytes("kk-kk-kk-"));
  EXPECT_EQ(ReadFile(dir_.file(u"3.bin")), ToBytes("kk-"));
}

TEST_F(SearchFileTest, FileTruncatedUnderneathFailsAndKeepsEarlierWrites) {
  if (IsWindowsBuild()) GTEST_SKIP() << "a mapped file cannot be truncated on Windows";
  SetOption(settings_, kAskEach, true);
  Build(u"MARK", u"DONE");
  const std::size_t page = 1 << 16;
  Bytes content(3 * page, '.');
  std::memcpy(content.data() + 8, "MARK", 4);
  std::memcpy(content.data() + 2 * page + 8, "MARK", 4);
  const auto file = dir_.file(u"t.bin");
  WriteFile(file, content);
  asker_.answers = {Answer::Yes, Answer::Yes};
  asker_.onAsk = [&] { std::filesystem::resize_file(std::filesystem::path(file), 100); };
  EXPECT_EQ(Search(file), kStatusCannotMap);
  EXPECT_EQ(asker_.questions.size(), 1u);
  const Bytes left = ReadFile(file);
  ASSERT_EQ(left.size(), 100u);
  EXPECT_EQ(std::memcmp(left.data() + 8, "DONE", 4), 0);
}

// The search as the algorithm states it: every start below size - length, compared byte by
// byte, continuing after a match at its end.
std::vector<std::uint64_t> ReferenceSearch(Bytes& data, const Bytes& find,
                                           const Bytes* replacement) {
  std::vector<std::uint64_t> offsets;
  fuzz::ReferenceMatches(data, find, [&](std::size_t p) {
    offsets.push_back(p);
    if (replacement != nullptr) {
      std::copy(replacement->begin(),
                replacement->begin() + static_cast<std::ptrdiff_t>(find.size()),
                data.begin() + static_cast<std::ptrdiff_t>(p));
    }
    return true;
  });
  return offsets;
}

TEST_F(SearchFileTest, FastScanAgreesWithTheReferenceOnRandomData) {
  std::mt19937 random(20240611);
  const std::uint8_t alphabet[] = {'a', 'b', 0, 0xFF};
  auto pick = [&] { return alphabet[random() % 4]; };
  const auto file = dir_.file(u"rand.bin");
  for (int round = 0; round < 300; ++round) {
    const bool wide = round % 3 == 0;
    const bool replacing = round % 2 == 0;
    SetOption(settings_, kUnicodeMode, wide);
    std::u16string findText;
    std::u16string replacementText;
    const std::size_t units = 1 + random() % 4;
    for (std::size_t i = 0; i < units; ++i) {
      const std::uint8_t low = pick();
      const std::uint16_t unit = wide ? static_cast<std::uint16_t>(low | (pick() << 8)) : low;
      char16_t escape[8];
      FormatText(escape, wide ? u"\\x%04X" : u"\\x%02X", static_cast<unsigned>(unit));
      findText += escape;
      replacementText += u"R";
    }
    if (!replacing) replacementText.clear();
    Build(findText, replacementText);
    const auto length = static_cast<std::size_t>(context_.pattern.findLength);
    ASSERT_EQ(length, units * (wide ? 2 : 1));
    const Bytes find(context_.pattern.findBytes, context_.pattern.findBytes + length);
    const Bytes replacement(reinterpret_cast<const std::uint8_t*>(replacement_),
                            reinterpret_cast<const std::uint8_t*>(replacement_) + length);

    Bytes data(random() % 200);
    for (auto& b : data) b = pick();
    WriteFile(file, data);
    Bytes expected = data;
    const auto offsets = ReferenceSearch(expected, find, replacing ? &replacement : nullptr);

    SCOPED_TRACE(testing::Message() << "round " << round);
    capture_.clear();
    EXPECT_EQ(Search(file), data.empty() ? kStatusCannotMap : kStatusSearchDone);
    EXPECT_EQ(Matches(file), offsets);
    EXPECT_EQ(ReadFile(file), expected);
  }
}

// The match scan straight on memory, against the reference: patterns of 1 to 40 bytes with repeated
// and common bytes, cut from the data or made up, on data long enough for the 16- and 64-
// candidate steps and their tails, with matches up to the last start allowed.
// Keeps the offsets visited; ends the scan at the visit numbered stopAfter (from 1).
struct StoppingVisits {
  std::size_t stopAfter;
  std::vector<std::uint64_t> offsets;
  static bool Visit(void* context, std::uint64_t offset) {
    auto& self = *static_cast<StoppingVisits*>(context);
    self.offsets.push_back(offset);
    return self.offsets.size() != self.stopAfter;
  }
};

TEST(ScanMatchesTest, AgreesWithTheReferenceAcrossPatternShapes) {
  TempDir dir;
  const std::u16string file = dir.file(u"f.bin");
  std::mt19937 rng(99991);
  const std::uint8_t alphabets[][4] = {{'a', 'b', 0, 0xFF}, {'a', 'a', 'a', 'b'}, {0, 0, 0, 1}};
  std::size_t matches = 0;
  for (int round = 0; round < 3000; ++round) {
    const std::uint8_t* alphabet = alphabets[round % 3];
    Bytes data(rng() % 700);
    for (auto& b : data) b = alphabet[rng() % 4];
    Bytes find(1 + rng() % (round % 5 == 0 ? 40 : 6));
    if (!data.empty() && rng() % 2 == 0 && find.size() <= data.size()) {
      const std::size_t at = rng() % (data.size() - find.size() + 1);
      std::copy(data.begin() + static_cast<std::ptrdiff_t>(at),
                data.begin() + static_cast<std::ptrdiff_t>(at + find.size()), find.begin());
    } else {
      for (auto& b : find) b = alphabet[rng() % 4];
    }
    // Half the time the pattern also ends the data, where it must not be found.
    if (rng() % 2 == 0) data.insert(data.end(), find.begin(), find.end());
    Bytes copy = data;
    const std::vector<std::uint64_t> expected = ReferenceSearch(copy, find, nullptr);
    std::vector<std::uint64_t> found;
    // Heap memory of exactly the data's size: a read past its end is an error under ASan.
    const std::unique_ptr<std::uint8_t[]> view(new std::uint8_t[data.size()]);
    std::copy(data.begin(), data.end(), view.get());
    EXPECT_TRUE(ScanMatches(
        view.get(), data.size(), find.data(), find.size(),
        [](void* context, std::uint64_t offset) {
          static_cast<std::vector<std::uint64_t>*>(context)->push_back(offset);
          return true;
        },
        &found));
    ASSERT_EQ(found, expected) << "round " << round << " size " << data.size() << " find "
                               << find.size();
    matches += found.size();

    // On two threads, cut anywhere, keeping few or many matches, stopped by the visitor or not.
    if (round % 2 != 0 || data.empty()) continue;
    WriteFile(file, data);
    const MappedFile mapped(file.c_str(), /*readOnly=*/true);
    ASSERT_FALSE(mapped.failed());
    const bool stop = !expected.empty() && rng() % 4 == 0;
    StoppingVisits visits{stop ? 1 + rng() % expected.size() : SIZE_MAX, {}};
    bool faulted = true;
    const bool whole = ScanMatchesOnTwoThreads(
        mapped, find.data(), find.size(), StoppingVisits::Visit, &visits, rng() % (data.size() + 1),
        rng() % 2 == 0 ? 1 + rng() % 3 : 1000, faulted);
    EXPECT_FALSE(faulted);
    const std::size_t visited = std::min(visits.stopAfter, expected.size());
    EXPECT_EQ(whole, visits.stopAfter > expected.size());
    ASSERT_EQ(visits.offsets,
              std::vector<std::uint64_t>(expected.begin(),
                                         expected.begin() + static_cast<std::ptrdiff_t>(visited)))
        << "two threads, round " << round;
  }
  EXPECT_GT(matches, 5000u);
}

}  // namespace
}  // namespace glos::test
