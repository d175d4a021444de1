// The seed corpora of the fuzz targets, every finding among them, replayed through the same
// checks in every build: native, sanitized, and the Windows build under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "fuzz/FuzzChecks.h"
#include "tests/support/TestSupport.h"

namespace glos::fuzz {
void PrintTo(const FuzzTarget& target, std::ostream* out) { *out << target.name; }
}  // namespace glos::fuzz

namespace glos::test {
namespace {

namespace fs = std::filesystem;

fs::path CorpusDirectory(const std::string& target) {
  std::string dir = std::string(GLOS_SOURCE_DIR) + "/fuzz/corpus/" + target;
  if (IsWindowsBuild()) {
    std::replace(dir.begin(), dir.end(), '/', '\\');
    dir = "Z:" + dir;
  }
  return fs::path(U16(dir));
}

class FuzzReplayTest : public ::testing::TestWithParam<fuzz::FuzzTarget> {};

TEST_P(FuzzReplayTest, EverySeedHolds) {
  const fuzz::FuzzTarget& target = GetParam();
  const fs::path dir = CorpusDirectory(target.name);
  std::vector<fs::path> seeds;
  for (const auto& item : fs::directory_iterator(dir)) {
    if (item.is_regular_file()) seeds.push_back(item.path());
  }
  std::sort(seeds.begin(), seeds.end());
  ASSERT_FALSE(seeds.empty()) << "no seeds in " << U8(dir.u16string());
  for (const fs::path& seed : seeds) {
    const Bytes bytes = ReadFile(seed.u16string());
    EXPECT_EQ(target.check(bytes.data(), bytes.size()), "") << U8(seed.filename().u16string());
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplayTest, ::testing::ValuesIn(fuzz::kFuzzTargets),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace glos::test
