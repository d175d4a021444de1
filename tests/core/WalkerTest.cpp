// The walker's order, its 518 lines, recursion, cancellation and the path buffer it hands out.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/Directory.h"
#include "core/Walker.h"
#include "tests/support/StatusCapture.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

struct Recorder {
  std::vector<std::string> visited;  // names relative to the root, "/" separated
  std::u16string root;
  std::string cancelAt;   // visiting this file returns 511
  std::u16string suffix;  // appended to the path the outcome names, as Extract does
};

std::string Relative(const Recorder& r, const char16_t* path) {
  std::u16string p(path);
  p = p.substr(r.root.size() + 1);
  std::replace(p.begin(), p.end(), kPathSeparator, u'/');
  return U8(p);
}

FileOutcome Record(const Settings&, const char16_t* path, void* context) {
  auto* r = static_cast<Recorder*>(context);
  const std::string name = Relative(*r, path);
  r->visited.push_back(name);
  return Outcome(name == r->cancelAt ? kStatusCancelled : kStatusExtracted, path + r->suffix);
}

class WalkerTest : public ::testing::Test {
 protected:
  void Touch(const std::string& relative) {
    std::u16string p = dir_.path();
    for (char c : "/" + relative) p.push_back(c == '/' ? kPathSeparator : char16_t(c));
    WriteFile(p, ToBytes("x"));
  }
  void Mkdir(const std::string& relative) { MakeDirectory(Path(relative)); }
  std::u16string Path(const std::string& relative) {
    std::u16string p = dir_.path();
    for (char c : "/" + relative) p.push_back(c == '/' ? kPathSeparator : char16_t(c));
    return p;
  }
  // Runs the walk and returns the log as "code relative-path" strings.
  std::vector<std::string> Walk(const std::string& pattern, bool recursive,
                                FileOperation operation = Record, unsigned threads = 1) {
    Settings settings;
    SetOption(settings, kRecursive, recursive);
    recorder_.root = dir_.path();
    StatusCapture capture;
    result_ = WalkPattern(settings, Path(pattern).c_str(), operation, &recorder_, threads);
    std::vector<std::string> log;
    for (const Report& r : capture.reports()) {
      log.push_back(std::to_string(r.code) + " " + Relative(recorder_, U16(r.text).c_str()));
    }
    return log;
  }
  TempDir dir_;
  Recorder recorder_;
  StatusCode result_ = kStatusNone;
};

// Files handled on several threads, finishing in any order (each takes a time of its own), give
// the log and the result of the single-threaded walk, 518 lines of empty levels included.
FileOutcome Dawdle(const Settings&, const char16_t* path, void* context) {
  const std::size_t length = std::u16string_view(path).size();
  std::this_thread::sleep_for(std::chrono::microseconds((path[length - 1] * 7919) % 3000));
  const auto* r = static_cast<const Recorder*>(context);
  return Outcome(path[length - 1] == u'3' ? kStatusNoString : kStatusExtracted, path + r->suffix);
}

TEST_F(WalkerTest, FilesOnSeveralThreadsAreReportedInTheWalksOrder) {
  for (const char* name : {"a1", "a2", "a3", "b/c4", "b/c5", "b/e/f3", "d/x", "g/h/i7", "j9"}) {
    const std::string path(name);
    if (path.find('/') != std::string::npos) Mkdir(path.substr(0, path.find('/')));
    if (path.rfind('/') != path.find('/')) Mkdir(path.substr(0, path.rfind('/')));
    Touch(path);
  }
  recorder_.suffix = u".ttt";
  for (const auto& [pattern, recursive] : {std::pair{"*", true}, {"a*", true}, {"*3", false}}) {
    SCOPED_TRACE(pattern);
    const std::vector<std::string> single = Walk(pattern, recursive, Dawdle, 1);
    const StatusCode singleResult = result_;
    for (const unsigned threads : {2u, 5u}) {
      EXPECT_EQ(Walk(pattern, recursive, Dawdle, threads), single);
      EXPECT_EQ(result_, singleResult);
    }
  }
}

TEST_F(WalkerTest, PatternWithoutMatchLogsOne518WithThePattern) {
  Touch("a.txt");
  EXPECT_EQ(Walk("*.dll", false), std::vector<std::string>{"518 *.dll"});
  EXPECT_EQ(result_, kStatusNone);
}

TEST_F(WalkerTest, NameWithoutWildcardsNamesOneFile) {
  Touch("a.dll");
  Touch("b.dll");
  EXPECT_EQ(Walk("b.dll", false), std::vector<std::string>{"514 b.dll"});
  EXPECT_EQ(Walk("missing.dll", false), std::vector<std::string>{"518 missing.dll"});
}

TEST_F(WalkerTest, ReportsTheBufferAsTheOperationLeftIt) {
  Touch("a.dll");
  recorder_.suffix = u".ttt";
  EXPECT_EQ(Walk("*.dll", false), std::vector<std::string>{"514 a.dll.ttt"});
}

TEST_F(WalkerTest, RecursiveRunVisitsFilesFirstThenSubdirectoriesDepthFirst) {
  Mkdir("one/deep");
  Mkdir("two");
  Mkdir(".hidden");
  Touch("top.dll");
  Touch(".dot.dll");
  Touch("one/deep/x.dll");
  Touch(".hidden/never.dll");
  Touch("two/readme.txt");
  const auto log = Walk("*.dll", true);
  std::vector<std::string> expected = {"514 .dot.dll", "514 top.dll", "518 one/*.dll",
                                       "514 one/deep/x.dll", "518 two/*.dll"};
  if (IsWindowsBuild()) {
    // The file system's order on Windows; the level structure is what must hold.
    ASSERT_EQ(log.size(), expected.size());
    EXPECT_TRUE(std::is_permutation(log.begin(), log.begin() + 2, expected.begin()));
    EXPECT_TRUE(std::equal(log.begin() + 2, log.end(), expected.begin() + 2) ||
                std::is_permutation(log.begin() + 2, log.end(), expected.begin() + 2));
  } else {
    EXPECT_EQ(log, expected);
  }
  EXPECT_EQ(result_, kStatusExtracted);
}

TEST_F(WalkerTest, LevelWithOnlyDirectoriesReports518ButSubdirectoriesStillRun) {
  Mkdir("sub.dll");
  Touch("sub.dll/inner.dll");
  EXPECT_EQ(Walk("*.dll", true), (std::vector<std::string>{"518 *.dll", "514 sub.dll/inner.dll"}));
}

TEST_F(WalkerTest, CancelEndsTheWholeRunAtEveryLevel) {
  Mkdir("a");
  Mkdir("b");
  Touch("a/1.dll");
  Touch("b/2.dll");
  recorder_.cancelAt = "a/1.dll";
  EXPECT_EQ(Walk("*.dll", true), (std::vector<std::string>{"518 *.dll", "511 a/1.dll"}));
  EXPECT_EQ(result_, kStatusCancelled);
  EXPECT_EQ(recorder_.visited, std::vector<std::string>{"a/1.dll"});
}

TEST_F(WalkerTest, SubdirectoryTooDeepForTheBufferIsSkippedWithoutOverflow) {
  // A pattern that fills the buffer almost completely: the level below cannot be named.
  std::string longName(200 - dir_.path().size() % 50, 'd');
  Mkdir(longName);
  Touch(longName + "/x.dll");
  std::string pattern(250 - dir_.path().size() - 1, '?');
  const auto log = Walk(pattern, true);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front().substr(0, 4), "518 ");
  for (const auto& line : log) EXPECT_EQ(line.find("x.dll"), std::string::npos) << line;
}

// Levels "dd" down past the buffer, each with a file, the first padded so that one level's
// pattern fills the buffer to its last unit: that level is walked, the one below it is not.
TEST_F(WalkerTest, ATreeDeeperThanAPathCanReachEndsExactlyWhereTheBufferDoes) {
  const std::size_t rootUnits = dir_.path().size() + 1;
  std::string level(1 + (kPathCapacity + 1 - rootUnits) % 3, 'p');
  std::size_t reachable = 0;
  std::error_code error;
  while (rootUnits + level.size() < kPathCapacity + 6) {
    // "/x.dll" and the closing zero still fit.
    if (rootUnits + level.size() + 6 < kPathCapacity) ++reachable;
    std::filesystem::create_directories(std::filesystem::path(Path(level + "/dd")), error);
    std::ofstream(std::filesystem::path(Path(level + "/x.dll"))) << 'x';
    if (error || !FileExists(Path(level + "/x.dll")))
      GTEST_SKIP() << "the platform refuses " << level;
    level += "/dd";
  }
  Walk("x.dll", true);
  EXPECT_EQ(recorder_.visited.size(), reachable);
  for (const std::string& name : recorder_.visited)
    EXPECT_LT(rootUnits + name.size(), kPathCapacity);
}

TEST_F(WalkerTest, EveryDirectoryIsWalkedOncePerRunHoweverLinksLeadToIt) {
  if (IsWindowsBuild()) GTEST_SKIP() << "directory links need privileges on Windows";
  namespace fs = std::filesystem;
  const auto link = [this](const std::string& to, const std::string& at) {
    fs::create_directory_symlink(fs::path(Path(to)), fs::path(Path(at)));
  };
  // Loops back to enclosing directories, and a second way into a directory walked already.
  Mkdir("a/b");
  Touch("a/1.dll");
  Touch("a/b/2.dll");
  link("a", "a/b/up");
  link("a/b", "a/b/self");
  link("", "a/b/top");
  link("a/b", "side");
  EXPECT_EQ(Walk("*.dll", true),
            (std::vector<std::string>{"518 *.dll", "514 a/1.dll", "514 a/b/2.dll"}));
  // A lattice: each level links twice to the next, 2^12 ways down to the last one.
  std::string level = "lattice";
  for (int depth = 0; depth < 12; ++depth) {
    Mkdir(level + "/next");
    Touch(level + "/x.bin");
    link(level + "/next", level + "/other");
    level += "/next";
  }
  recorder_.visited.clear();
  Walk("*.bin", true);
  EXPECT_EQ(recorder_.visited.size(), 12u);
}

TEST_F(WalkerTest, OurOwnTemporaryFilesAreNoTargets) {
  for (const char* name : {".~glos1a2b-0.tmp", "~glos1f-3.tmp", "~glosx-1.tmp", "~glos1-2.tmp.bak",
                           "a.~glos1-2.tmp", "~glos-1.tmp"}) {
    Touch(name);
  }
  auto log = Walk("*", false);
  std::sort(log.begin(), log.end());
  EXPECT_EQ(log, (std::vector<std::string>{"514 a.~glos1-2.tmp", "514 ~glos-1.tmp",
                                           "514 ~glos1-2.tmp.bak", "514 ~glosx-1.tmp"}));
}

}  // namespace
}  // namespace glos::test
