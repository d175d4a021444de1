// The console program run as a hostile caller would run it: closed descriptors, a closed pipe,
// a full disk as standard output, names that are not UTF-8 or hold control characters.
#ifndef _WIN32

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

struct Outcome {
  int status = -1;
  std::string out;  // standard output, or "" when it went elsewhere
  std::string err;
};

class ConsolePosixTest : public ::testing::Test {
 protected:
  std::string Dir() const { return U8(dir_.path()) + "/"; }
  // Files by their names' bytes, whatever they hold.
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  }

  // Runs the program with these arguments (bytes as they are), input as standard input, output
  // and errors captured (or output to outputPath), then the descriptor closed closes (-1: none).
  Outcome Run(const std::vector<std::string>& arguments, const std::string& input = "",
              int closed = -1, const char* outputPath = nullptr) {
    Write(Dir() + "in", input);
    const std::string out = outputPath != nullptr ? outputPath : Dir() + "out";
    const pid_t child = ::fork();
    if (child == 0) {
      std::vector<char*> argv = {const_cast<char*>(GLOS_BINARY_DIR "/cli/glosmorin-cli")};
      for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::dup2(::open((Dir() + "in").c_str(), O_RDONLY), 0);
      ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
      ::dup2(::open((Dir() + "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
      for (int fd = 3; fd < 64; ++fd) ::close(fd);
      if (closed >= 0) ::close(closed);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    Outcome outcome;
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (outputPath == nullptr) outcome.out = Read(out);
    outcome.err = Read(Dir() + "err");
    return outcome;
  }
  TempDir dir_;
};

TEST_F(ConsolePosixTest, ClosedStandardDescriptorsNeverLeadIntoATarget) {
  const std::string matches = std::string(300, 'k') + std::string(300, '-');
  static const std::string yes = [] {
    std::string answers;
    for (int i = 0; i < 200; ++i) answers += "y\n";
    return answers;
  }();
  const char* const kYes = yes.c_str();
  const struct {
    int closed;
    const char* input;   // the answers, when the run asks
    const char* before;  // the target's head; the rest is matches
    int status;
    const char* after;
  } cases[] = {
      {1, nullptr, "", 0, "ZZ"},        // status lines would go into the target
      {2, kYes, "", 0, "ZZ"},           // so would the questions
      {0, "", "y\ny\n", 3, "y\ny\nk"},  // answers would come from the target
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.closed);
    const std::string target = Dir() + "t.bin";
    Write(target, c.before + matches);
    std::vector<std::string> arguments = {"search", target, "--find", "kk", "--replace", "ZZ"};
    if (c.input != nullptr) arguments.insert(arguments.begin(), "-k");
    const Outcome outcome = Run(arguments, c.input != nullptr ? c.input : "", c.closed);
    EXPECT_EQ(outcome.status, c.status);
    const std::string after = Read(target);
    EXPECT_EQ(after.size(), std::string(c.before).size() + matches.size());
    EXPECT_EQ(after.substr(0, std::string(c.after).size()), c.after);
  }
}

TEST_F(ConsolePosixTest, FindAndReplacementTextsThatDoNotFitAreRefused) {
  std::string wide;
  for (int i = 0; i < 100; ++i) wide += "\u4e2d";  // 300 bytes in UTF-8, 100 units
  const std::string target = Dir() + "t.bin";
  const std::string content = wide.substr(0, 258) + std::string(300, '.');
  const struct {
    std::vector<std::string> arguments;
    int status;
  } cases[] = {
      {{"search", target, "--find", wide}, 2},
      {{"search", target, "--find", "x", "--replace", wide}, 2},
      {{"search", target, "--find", std::string(260, 'x')}, 2},
      {{"-u", "search", target, "--find", wide, "--replace", "y"}, 0},  // 100 units fit
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments[c.arguments.size() - 1].size());
    Write(target, content);
    const Outcome outcome = Run(c.arguments);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(Read(target), content);
    if (c.status == 2) {
      EXPECT_EQ(outcome.out, "");
    }
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
      {"c1-\xc2\x85", "c1-\\x85"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    const std::string target = Dir() + c.name;
    Write(target, "..\xff..\xff..");
    const Outcome outcome =
        Run({"-k", "search", target, "--find", "\xff", "--replace", "Z"}, "y\ny\n");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(Read(target), "..Z..Z..");
    // Two matches and the end: three lines, each naming the file as shown.
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = outcome.out.find('\n', at)) != std::string::npos; ++at) ++lines;
    EXPECT_EQ(lines, 3u) << outcome.out;
    EXPECT_NE(outcome.out.find(Dir() + c.shown), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.err.find(Dir() + c.shown), std::string::npos) << outcome.err;
    for (const std::string& text : {outcome.out, outcome.err}) {
      for (const char* raw : {"\x1b", "\xc2\x9b", "\xc2\x85", "\xff", "\n\u25a0"}) {
        EXPECT_EQ(text.find(raw), std::string::npos);
      }
    }
  }
}

TEST_F(ConsolePosixTest, AMissingOrUnreadableProfileIsAUsageError) {
  const std::string target = Dir() + "t.bin";
  Write(target, std::string(600, 'k'));
  ::mkdir((Dir() + "folder.ini").c_str(), 0755);
  for (const std::string& profile : {Dir() + "missing.ini", Dir() + "folder.ini"}) {
    SCOPED_TRACE(profile);
    EXPECT_EQ(Run({"--profile", profile, "search", target, "--find", "k", "--replace", "z"}).status,
              2);
    EXPECT_EQ(Read(target), std::string(600, 'k'));
  }
}

// A failed write to standard output is an error, and no further file is begun.
TEST_F(ConsolePosixTest, AFailedWriteToStandardOutputGivesExit1) {
  for (const char* arguments : {"--version", "search"}) {
    SCOPED_TRACE(arguments);
    Write(Dir() + "a.bin", "kk-kk-kk-");
    Write(Dir() + "b.bin", "kk-kk-kk-");
    std::vector<std::string> line = {arguments};
    if (line[0] == "search")
      line.insert(line.end(), {Dir() + "*.bin", "--find", "kk", "--replace", "ZZ"});
    EXPECT_EQ(Run(line, "", -1, "/dev/full").status, 1);
    if (line[0] == "search") {
      EXPECT_EQ(Read(Dir() + "a.bin"), "ZZ-ZZ-ZZ-");
      EXPECT_EQ(Read(Dir() + "b.bin"), "kk-kk-kk-");
    }
  }
}

// The reader of the output goes away after the first line: the file under way gets all its
// replacements, the next is not begun.
TEST_F(ConsolePosixTest, AClosedPipeEndsTheRunAtAFileBoundary) {
  Write(Dir() + "a.bin", "kk-kk-kk-");
  Write(Dir() + "b.bin", "kk-kk-kk-");
  int output[2];
  int input[2];
  ASSERT_EQ(::pipe(output), 0);
  ASSERT_EQ(::pipe(input), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(input[0], 0);
    ::dup2(output[1], 1);
    for (int fd = 3; fd < 64; ++fd) ::close(fd);
    const std::string pattern = Dir() + "*.bin";
    ::execl(GLOS_BINARY_DIR "/cli/glosmorin-cli", "glosmorin-cli", "-k", "search", pattern.c_str(),
            "--find", "kk", "--replace", "ZZ", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(input[0]);
  ::close(output[1]);
  char c = 0;
  while (::read(output[0], &c, 1) == 1 && c != '\n') {
  }
  ::close(output[0]);
  const std::string answers(20, '\n');
  EXPECT_EQ(::write(input[1], answers.data(), answers.size()), 20);
  ::close(input[1]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_EQ(Read(Dir() + "a.bin"), "ZZ-ZZ-ZZ-");
  EXPECT_EQ(Read(Dir() + "b.bin"), "kk-kk-kk-");
}

}  // namespace
}  // namespace glos::test

#endif
