// Undo after write-backs and replacements, its refusals, the journal's torn tail, and check on
// translation files of the right build of a DLL and of another build of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "cli/Cli.h"
#include "core/FileIo.h"
#include "engine/Check.h"
#include "engine/UndoJournal.h"
#include "tests/support/StatusCapture.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

namespace fs = std::filesystem;

class UndoTest : public FileOperationTest {
 public:  // the lambdas of the tables use them
  void SetUp() override {
    fs::remove_all(fs::path(TestStateHome()));
    for (std::size_t i = 0; i < original_.size(); ++i)
      original_[i] = static_cast<std::uint8_t>(i * 7);
    WriteFile(target_, original_);
  }
  std::vector<fs::path> Journals() const {
    std::vector<fs::path> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(fs::path(TestStateHome()), ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (it->path().extension() == ".undo") found.push_back(it->path());
    }
    return found;
  }
  void WriteBack(const std::string& entries, std::vector<std::u16string> options = {}) {
    WriteFile(target_ + u".ttt", ToBytes("[Glosmorin]" + entries + "\r\n"));
    options.insert(options.end(), {u"writeback", target_});
    ASSERT_EQ(RunCli(options), 0);
  }
  const std::u16string target_ = dir_.file(u"t.dll");
  Bytes original_ = Bytes(4096);
};

TEST_F(UndoTest, UndoGivesTheBytesFromBeforeTheFirstOfSeveralRuns) {
  const std::vector<std::function<void(UndoTest&)>> runs = {
      [](UndoTest& t) { t.WriteBack("\r\n0x00000010,0008=first"); },
      // Overlaps the first run's range and adds new ones: only the new bytes are journalled.
      [](UndoTest& t) { t.WriteBack("\r\n0x00000014,0008=second\r\n0x00000F00,0004=end"); },
      [](UndoTest& t) {
        ASSERT_EQ(RunCli({u"search", t.target_, u"--find", u"sec", u"--replace", u"SEC"}), 0);
      },
      [](UndoTest& t) { t.WriteBack("\r\n0x00000012,0002=\\0\\0", {u"-n"}); },
  };
  for (std::size_t count : {1u, 2u, 4u}) {
    SCOPED_TRACE(count);
    WriteFile(target_, original_);
    for (std::size_t i = 0; i < count; ++i) runs[i](*this);
    EXPECT_NE(ReadFile(target_), original_);
    EXPECT_EQ(Journals().size(), 1u);
    EXPECT_EQ(RunCli({u"undo", target_}), 0);
    EXPECT_EQ(ReadFile(target_), original_);
    EXPECT_TRUE(Journals().empty());
    EXPECT_EQ(Run(UndoFile, target_), kStatusNoJournal);
  }
}

TEST_F(UndoTest, NoUndoKeepsNoJournal) {
  WriteBack("\r\n0x00000010,0004=abcd", {u"--no-undo"});
  ASSERT_EQ(RunCli({u"--no-undo", u"search", target_, u"--find", u"ab", u"--replace", u"x"}), 0);
  EXPECT_TRUE(Journals().empty());
  EXPECT_EQ(Run(UndoFile, target_), kStatusNoJournal);
}

TEST_F(UndoTest, RefusesAChangedTargetAndChangesNothing) {
  const struct {
    const char* name;
    std::function<void(UndoTest&)> change;
    StatusCode expected;
  } cases[] = {
      {"longer", [](UndoTest& t) { WriteFile(t.target_, Bytes(4097, 'x')); },
       kStatusJournalMismatch},
      {"replaced, same size",
       [](UndoTest& t) {
         WriteFile(t.target_ + u".new", Bytes(4096, 'x'));
         fs::rename(fs::path(t.target_ + u".new"), fs::path(t.target_));
       },
       kStatusJournalMismatch},
      {"journal damaged",
       [](UndoTest& t) { WriteFile(t.Journals()[0].u16string(), ToBytes("GLOSUNDO?")); },
       kStatusJournalDamaged},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(fs::path(TestStateHome()));
    WriteFile(target_, original_);
    WriteBack("\r\n0x00000010,0004=abcd");
    c.change(*this);
    const Bytes changed = ReadFile(target_);
    EXPECT_EQ(Run(UndoFile, target_), c.expected);
    EXPECT_EQ(RunCli({u"undo", target_}), 1);
    EXPECT_EQ(ReadFile(target_), changed);
    EXPECT_EQ(Journals().size(), 1u);
  }
}

TEST_F(UndoTest, EveryCutOfTheJournalReadsAsAPrefixOfItsRecords) {
  WriteBack("\r\n0x00000010,0004=abcd\r\n0x00000100,0004=efgh");
  WriteBack("\r\n0x00000200,0004=ijkl");
  const Bytes journal = ReadFile(Journals()[0].u16string());
  JournalContents whole;
  ASSERT_TRUE(ParseJournal(journal.data(), journal.size(), whole));
  ASSERT_EQ(whole.records.size(), 3u);
  EXPECT_EQ(whole.validEnd, journal.size());
  for (std::size_t cut = 0; cut <= journal.size(); ++cut) {
    JournalContents part;
    if (!ParseJournal(journal.data(), cut, part)) continue;
    ASSERT_LE(part.validEnd, cut);
    ASSERT_LE(part.records.size(), whole.records.size());
    for (std::size_t i = 0; i < part.records.size(); ++i) {
      ASSERT_EQ(part.records[i].offset, whole.records[i].offset);
    }
    ASSERT_EQ(part.records.size() == 3, cut == journal.size());
  }
  // A record whose bytes changed after it was written ends the records there.
  Bytes damaged = journal;
  damaged[damaged.size() - 6] ^= 1;
  JournalContents part;
  ASSERT_TRUE(ParseJournal(damaged.data(), damaged.size(), part));
  EXPECT_EQ(part.records.size(), 2u);
}

TEST_F(UndoTest, ALargeJournalOfJoinedRangesGivesBackEveryByte) {
  // Pairs of slots 8 bytes apart share a record; 24 bytes apart they do not. The journal then
  // outgrows the buffer it is written through, and records straddle its pieces.
  constexpr int kPairs = 30000;
  original_.resize(std::size_t{kPairs} * 40);
  for (std::size_t i = 0; i < original_.size(); ++i)
    original_[i] = static_cast<std::uint8_t>(i % 251);
  WriteFile(target_, original_);
  std::string entries;
  char line[40];
  for (int k = 0; k < kPairs; ++k) {
    for (int at : {k * 40, k * 40 + 12}) {
      std::snprintf(line, sizeof line, "\r\n0x%08X,0004=abcd", at);
      entries += line;
    }
  }
  WriteBack(entries);
  const Bytes journal = ReadFile(Journals()[0].u16string());
  JournalContents contents;
  ASSERT_TRUE(ParseJournal(journal.data(), journal.size(), contents));
  EXPECT_EQ(contents.records.size(), std::size_t{kPairs});
  EXPECT_EQ(contents.validEnd, journal.size());
  EXPECT_EQ(RunCli({u"undo", target_}), 0);
  EXPECT_EQ(ReadFile(target_), original_);
}

// Two builds of one DLL: the libgcc of mingw-w64's POSIX and Win32 thread models.
std::u16string LibgccBuild(const char* threads) {
  return U16(std::string(IsWindowsBuild() ? "Z:" : "") + "/usr/lib/gcc/x86_64-w64-mingw32/12-" +
             threads + "/libgcc_s_seh-1.dll");
}

TEST_F(UndoTest, CheckFindsMostSlotsStaleOnAnotherBuildAndNoneOnItsOwn) {
  const Bytes posix = ReadFile(LibgccBuild("posix"));
  const Bytes win32 = ReadFile(LibgccBuild("win32"));
  if (posix.empty() || win32.empty()) GTEST_SKIP() << "no mingw-w64 libgcc builds";
  MakeDirectory(dir_.file(u"other"));
  const auto own = dir_.file(u"libgcc.dll");
  const auto other = (fs::path(dir_.path()) / "other" / "libgcc.dll").u16string();
  WriteFile(own, posix);
  WriteFile(other, win32);
  ASSERT_EQ(RunCli({u"extract", own}), 0);
  const Bytes ttt = ReadFile(own + u".ttt");
  WriteFile(other + u".ttt", ttt);
  const auto entries = static_cast<std::size_t>(std::count(ttt.begin(), ttt.end(), '\n') - 1);
  // Read-only targets: check never opens one for writing.
  for (const auto& target : {own, other}) {
    fs::permissions(fs::path(target), fs::perms::owner_write, fs::perm_options::remove);
  }
  for (const auto& [target, bytes, status] :
       {std::tuple{own, posix, 0}, std::tuple{other, win32, 1}}) {
    StatusCapture capture;
    EXPECT_EQ(Run(CheckFile, target), kStatusChecked);
    const std::size_t stale = static_cast<std::size_t>(
        std::count_if(capture.reports().begin(), capture.reports().end(),
                      [](const Report& r) { return r.code == kStatusStaleSlot; }));
    ASSERT_EQ(capture.reports().back().code, kStatusCheckSummary);
    const std::string summary = capture.lines().back();
    if (status == 0) {
      EXPECT_EQ(capture.reports().size(), 1u);
      EXPECT_NE(summary.find("改写 0 条，已是译文 " + std::to_string(entries) + " 条，有问题 0 条"),
                std::string::npos)
          << summary;
    } else {
      EXPECT_GT(stale * 2, entries) << summary;
    }
    EXPECT_EQ(RunCli({u"check", target}), status);
    EXPECT_EQ(ReadFile(target), bytes);
  }
}

TEST_F(UndoTest, CheckReportsEachKindOfEntryAsWriteBackWould) {
  Bytes target(64, 'x');
  target[20] = 0;
  target[40] = 3;
  target[44] = 0;
  WriteFile(target_, target);
  const struct {
    const char* entry;
    std::vector<StatusCode> reports;
  } cases[] = {
      {"0x00000010,0004=abcd", {}},
      {"0x00000010,0004=xxxx", {}},  // already in place
      {"0x00000010,0004=abcdef", {kStatusCutBytes}},
      {"0x00000010,0003=abc", {kStatusStaleSlot}},
      {"0x0000003E,0004=abcd", {kStatusOutsideFile}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry);
    WriteFile(target_ + u".ttt", ToBytes(std::string("[Glosmorin]\r\n") + c.entry + "\r\n"));
    StatusCapture capture;
    EXPECT_EQ(Run(CheckFile, target_), kStatusChecked);
    std::vector<StatusCode> codes;
    for (const Report& r : capture.reports()) codes.push_back(r.code);
    codes.pop_back();
    EXPECT_EQ(codes, c.reports);
  }
  // Length-prefixed: 3 at 40 is the prefix of the slot at 41, which 4 does not match.
  SetOption(settings_, kLengthPrefixed, true);
  WriteFile(target_ + u".ttt",
            ToBytes("[Glosmorin]\r\n0x00000029,0003=ab\r\n0x00000029,0004=ab\r\n"));
  StatusCapture capture;
  EXPECT_EQ(Run(CheckFile, target_), kStatusChecked);
  std::vector<StatusCode> codes;
  for (const Report& r : capture.reports()) codes.push_back(r.code);
  EXPECT_EQ(codes, (std::vector<StatusCode>{kStatusLengthMismatch, kStatusStaleSlot,
                                            kStatusCheckSummary}));
  EXPECT_EQ(ReadFile(target_), target);
}

}  // namespace
}  // namespace glos::test
