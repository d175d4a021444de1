// The walker's order, its 518 lines, recursion, cancellation and the path buffer it hands out.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

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
  std::vector<std::string> Walk(const std::string& pattern, bool recursive) {
    Settings settings;
    SetOption(settings, kRecursive, recursive);
    recorder_.root = dir_.path();
    StatusCapture capture;
    result_ = WalkPattern(settings, Path(pattern).c_str(), Record, &recorder_);
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

TEST_F(WalkerTest, LinksBackToEnclosingDirectoriesAreNotWalkedAgain) {
  if (IsWindowsBuild()) GTEST_SKIP() << "directory links need privileges on Windows";
  Mkdir("a/b");
  Touch("a/1.dll");
  Touch("a/b/2.dll");
  namespace fs = std::filesystem;
  // Several loops in one directory would otherwise branch at every level of the path.
  fs::create_directory_symlink(fs::path(Path("a")), fs::path(Path("a/b/up")));
  fs::create_directory_symlink(fs::path(Path("a/b")), fs::path(Path("a/b/self")));
  fs::create_directory_symlink(fs::path(dir_.path()), fs::path(Path("a/b/top")));
  fs::create_directory_symlink(fs::path(Path("a/b")), fs::path(Path("side")));
  // A link elsewhere is followed; only a directory the walk is already inside is not entered.
  EXPECT_EQ(Walk("*.dll", true),
            (std::vector<std::string>{"518 *.dll", "514 a/1.dll", "514 a/b/2.dll", "514 side/2.dll",
                                      "514 side/up/1.dll"}));
}

}  // namespace
}  // namespace glos::test
