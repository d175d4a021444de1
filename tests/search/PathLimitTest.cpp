// The three operations at the edge of the 260-unit path buffer: names of 259 and 260 units. No
// path reported is longer than the buffer holds.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/Directory.h"
#include "run/Run.h"
#include "tests/support/StatusCapture.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

namespace fs = std::filesystem;

// Creates a file big enough to extract, with one string in it and one "x", at its start;
// false when the platform refuses the path.
bool Create(const std::u16string& path) {
  std::ofstream out(fs::path(path), std::ios::binary);
  out << "xHello" << '\0' << std::string(505, '\xFF');
  return out.good();
}

class PathLimitTest : public ::testing::Test {
 protected:
  // Runs mode over pattern; returns the reports, each checked to fit the path buffer.
  std::vector<Report> Run(std::uint32_t mode, const std::u16string& pattern) {
    Settings settings;
    SetMode(settings, static_cast<Mode>(mode));
    StatusCapture capture;
    RunPattern(settings, pattern.c_str(), u"x", nullptr, SearchQuestions{});
    for (const Report& r : capture.reports()) {
      // A match's argument is the path followed by its offset.
      if (r.code != kStatusFound) {
        EXPECT_LT(U16(r.text).size(), kPathCapacity) << r.text;
      }
    }
    return capture.reports();
  }
  // The path of a directory under the test's own whose full path has exactly length units.
  std::u16string DirectoryOfLength(std::size_t length) {
    const std::size_t component = length - dir_.path().size() - 1;
    const auto path = dir_.file(std::u16string(component, u'd'));
    MakeDirectory(path);
    return path;
  }
  TempDir dir_;
};

TEST_F(PathLimitTest, NamesOf259UnitsAreHandledAndNamesOf260NeverReachAnOperation) {
  const std::u16string dir = DirectoryOfLength(120);
  const std::u16string fits = dir + kPathSeparator + std::u16string(259 - 121, u'a');
  const std::u16string tooLong = dir + kPathSeparator + std::u16string(260 - 121, u'b');
  ASSERT_EQ(fits.size(), 259u);
  if (!Create(fits) || !Create(tooLong)) GTEST_SKIP() << "the platform refuses such paths";
  const std::u16string all = dir + kPathSeparator + u'*';
  // Neither ".ttt" nor ".tt?" fits after the longest name: Extract cannot save, Write back finds
  // no translation file. Search needs no more room.
  EXPECT_EQ(Run(0, all), (std::vector<Report>{{kStatusCannotSave, U8(fits)}}));
  EXPECT_EQ(Run(1, all), (std::vector<Report>{{kStatusNoFile, U8(fits)}}));
  EXPECT_EQ(Run(2, all), (std::vector<Report>{{kStatusFound, U8(fits) + ":00000000"},
                                              {kStatusSearchDone, U8(fits)}}));
  // Typed in full, the 260-unit name is cut to the buffer and names no file.
  const std::vector<Report> typed = Run(2, tooLong);
  ASSERT_EQ(typed.size(), 1u);
  EXPECT_EQ(typed[0].code, kStatusNoFile);
}

}  // namespace
}  // namespace glos::test
