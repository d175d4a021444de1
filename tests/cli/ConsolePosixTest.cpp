// The console program run as a hostile caller would run it: closed descriptors, output that
// fails, texts that do not fit, names that are not UTF-8 or hold control characters.
#ifndef _WIN32

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

// Files by their names' bytes, whatever they hold.
std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

// Runs the program in dir on arguments (bytes as they are), input as standard input. Standard
// output is captured, or goes to the file output names, or with "|" into a pipe nobody reads;
// then the descriptor closed (-1: none) is closed.
Outcome RunConsole(const std::string& dir, std::vector<std::string> arguments,
                   const std::string& input = "", int closed = -1, const std::string& output = "") {
  Write(dir + "in", input);
  int ends[2] = {-1, -1};
  if (output == "|" && ::pipe(ends) == 0) ::close(ends[0]);
  const std::string out = output.empty() ? dir + "out" : output;
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(::open((dir + "in").c_str(), O_RDONLY), 0);
    ::dup2(ends[1] >= 0 ? ends[1] : ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    ::dup2(::open((dir + "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    for (int fd = 3; fd < 64; ++fd) ::close(fd);
    if (closed >= 0) ::close(closed);
    arguments.insert(arguments.begin(), GLOS_BINARY_DIR "/cli/glosmorin-cli");
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (ends[1] >= 0) ::close(ends[1]);
  int status = 0;
  EXPECT_EQ(::waitpid(child, &status, 0), child);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
          output.empty() ? Read(out) : "", Read(dir + "err")};
}

class ConsolePosixTest : public ::testing::Test {
 private:
  TempDir temp_;

 protected:
  const std::string dir_ = U8(temp_.path()) + "/";
};

TEST_F(ConsolePosixTest, ClosedStandardDescriptorsNeverLeadIntoATarget) {
  std::string yes;
  for (int i = 0; i < 200; ++i) yes += "y\n";
  const std::string matches = std::string(300, 'k') + std::string(300, '-');
  const struct {
    int closed;
    std::string input;   // the answers, when the run asks
    std::string before;  // the target's head; the rest is matches
    int status;
    std::string after;
  } cases[] = {
      {1, "", "", 0, "ZZ"},             // status lines would go into the target
      {2, yes, "", 0, "ZZ"},            // so would the questions
      {0, "", "y\ny\n", 3, "y\ny\nk"},  // answers would come from the target
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.closed);
    Write(dir_ + "t.bin", c.before + matches);
    std::vector<std::string> arguments = {"search", dir_ + "t.bin", "--find",
                                          "kk",     "--replace",    "ZZ"};
    if (c.closed != 1) arguments.insert(arguments.begin(), "-k");
    EXPECT_EQ(RunConsole(dir_, arguments, c.input, c.closed).status, c.status);
    const std::string after = Read(dir_ + "t.bin");
    EXPECT_EQ(after.size(), c.before.size() + matches.size());
    EXPECT_EQ(after.substr(0, c.after.size()), c.after);
  }
}

// Texts that do not fit and unreadable profiles are refused before any file is touched; output
// that fails ends the run after the file under way, all its replacements made.
TEST_F(ConsolePosixTest, UsageErrorsTouchNothingAndFailedOutputEndsAtAFileBoundary) {
  std::string wide;
  for (int i = 0; i < 100; ++i) wide += "\u4e2d";  // 300 bytes in UTF-8, 100 units
  ::mkdir((dir_ + "folder.ini").c_str(), 0755);
  const std::string all = dir_ + "*.bin";
  const struct {
    std::vector<std::string> arguments;
    std::string output;
    int status;
    const char* first;
  } cases[] = {
      {{"search", all, "--find", wide}, "", 2, "kk-kk-kk-"},
      {{"search", all, "--find", "kk", "--replace", wide}, "", 2, "kk-kk-kk-"},
      {{"search", all, "--find", std::string(260, 'k')}, "", 2, "kk-kk-kk-"},
      {{"-u", "search", all, "--find", wide, "--replace", "y"}, "", 0, "kk-kk-kk-"},
      {{"--profile", dir_ + "missing.ini", "search", all, "--find", "k", "--replace", "z"},
       "",
       2,
       "kk-kk-kk-"},
      {{"--profile", dir_ + "folder.ini", "search", all, "--find", "k", "--replace", "z"},
       "",
       2,
       "kk-kk-kk-"},
      {{"search", all, "--find", "kk", "--replace", "ZZ"}, "/dev/full", 1, "ZZ-ZZ-ZZ-"},
      {{"search", all, "--find", "kk", "--replace", "ZZ"}, "|", 1, "ZZ-ZZ-ZZ-"},
      {{"--version"}, "/dev/full", 1, "kk-kk-kk-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments[c.arguments.size() - 1].substr(0, 9) + " > " + c.output);
    Write(dir_ + "a.bin", "kk-kk-kk-");
    Write(dir_ + "b.bin", "kk-kk-kk-");
    EXPECT_EQ(RunConsole(dir_, c.arguments, "", -1, c.output).status, c.status);
    EXPECT_EQ(Read(dir_ + "a.bin"), c.first);
    EXPECT_EQ(Read(dir_ + "b.bin"), "kk-kk-kk-");
  }
}

// Control characters of a name are shown escaped, and so are its bytes that are not UTF-8; such
// a name can be typed as it is, and byte FF as an argument finds byte FF.
TEST_F(ConsolePosixTest, NamesAndArgumentsThatAreNotUtf8OrHoldControlsAreShownEscaped) {
  const struct {
    std::string name;
    std::string shown;
  } cases[] = {
      {"evil\n\u25a0 \u65e0\u6cd5\u4fdd\u5b58\u6587\u4ef6: x", "evil\\x0A\u25a0 \u65e0\u6cd5"},
      {"esc\x1b[2J\x9b", "esc\\x1B[2J\\x9B"},
      {"bad-\xff", "bad-\\xFF"},
      {"cut-\xe4\xb8-surrogate-\xed\xa0\x80", "cut-\\xE4\\xB8-surrogate-\\xED\\xA0\\x80"},
      {"c1-\xc2\x85", "c1-\\x85"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    Write(dir_ + c.name, "..\xff..\xff..");
    const Outcome outcome = RunConsole(
        dir_, {"-k", "search", dir_ + c.name, "--find", "\xff", "--replace", "Z"}, "y\ny\n");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(Read(dir_ + c.name), "..Z..Z..");
    // Two matches and the end: three lines, each naming the file as shown, as the questions do.
    EXPECT_EQ(std::count(outcome.out.begin(), outcome.out.end(), '\n'), 3) << outcome.out;
    EXPECT_NE(outcome.out.find(dir_ + c.shown), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.err.find(dir_ + c.shown), std::string::npos) << outcome.err;
    for (const std::string& text : {outcome.out, outcome.err}) {
      for (const char* raw : {"\x1b", "\xc2\x9b", "\xc2\x85", "\xff", "\n\u25a0"}) {
        EXPECT_EQ(text.find(raw), std::string::npos);
      }
    }
  }
}

}  // namespace
}  // namespace glos::test

#endif
