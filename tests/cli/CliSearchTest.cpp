// The console search command: its answers on standard input, its exit status, the files after.
#include <gtest/gtest.h>

#include <cstdio>

#include "cli/Cli.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

class CliSearchTest : public ::testing::Test {
 protected:
  // Runs the console with answers as its standard input.
  int Run(const std::string& answers, const std::vector<std::u16string>& arguments) {
    const auto input = dir_.file(u"answers.txt");
    WriteFile(input, ToBytes(answers));
    EXPECT_NE(std::freopen(U8(input).c_str(), "r", stdin), nullptr);
    const int status = RunCli(arguments);
    EXPECT_NE(std::freopen(IsWindowsBuild() ? "NUL" : "/dev/null", "r", stdin), nullptr);
    return status;
  }
  TempDir dir_;
};

TEST_F(CliSearchTest, AnswersFromStandardInput) {
  const struct {
    const char* answers;
    bool replacing;
    int status;
    const char* after;
  } cases[] = {
      {"y\nn\ny\n", true, 0, "ZZ-kk-ZZ-"},
      {"y\n", true, 3, "ZZ-kk-kk-"},                 // end of input cancels
      {"\n  n\nC\n", true, 3, "ZZ-kk-kk-"},          // a blank line takes the default, Yes
      {"what?\ny\nyes\ny\n", true, 0, "ZZ-ZZ-ZZ-"},  // an unknown answer is asked again
      {"y\nn\n", false, 3, "kk-kk-kk-"},             // nothing to decline: n stops the run
      {"y\ny\ny\n", false, 0, "kk-kk-kk-"},
  };
  const auto file = dir_.file(u"t.bin");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answers);
    WriteFile(file, ToBytes("kk-kk-kk-"));
    std::vector<std::u16string> arguments = {u"-k", u"search", dir_.file(u"*.bin"), u"--find",
                                             u"kk"};
    if (c.replacing) arguments.insert(arguments.end(), {u"--replace", u"ZZ"});
    EXPECT_EQ(Run(c.answers, arguments), c.status);
    EXPECT_EQ(ReadFile(file), ToBytes(c.after));
  }
}

TEST_F(CliSearchTest, ReplacesEveryMatchWithoutAsking) {
  const auto file = dir_.file(u"t.bin");
  WriteFile(file, ToBytes("kk-kk-kk-"));
  EXPECT_EQ(Run("", {u"search", file, u"--find", u"kk", u"--replace", u"\\x41"}), 0);
  EXPECT_EQ(ReadFile(file), (Bytes{'A', 0, '-', 'A', 0, '-', 'A', 0, '-'}));
}

TEST_F(CliSearchTest, SearchWithoutFindTextIsAUsageError) {
  const auto file = dir_.file(u"t.bin");
  WriteFile(file, ToBytes("kk-kk-"));
  EXPECT_EQ(Run("", {u"search", file, u"--replace", u"ZZ"}), 2);
  EXPECT_EQ(Run("", {u"search", file, u"--find", u"", u"--replace", u"ZZ"}), 2);
  EXPECT_EQ(ReadFile(file), ToBytes("kk-kk-"));
}

}  // namespace
}  // namespace glos::test
