// The three operations on targets that fail them from outside: read-only, held by another
// writer, deleted between the walk and the open, too large to map; and translation files that
// cannot be read or replaced. Each run goes through the walker, as a real run does.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>

#include "core/MappedFile.h"
#include "core/Walker.h"
#include "run/Run.h"
#include "tests/support/StatusCapture.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

namespace fs = std::filesystem;

enum class Op { Extract, WriteBack, Search, Replace };

const char* OpName(Op op) {
  switch (op) {
    case Op::Extract:
      return "Extract";
    case Op::WriteBack:
      return "WriteBack";
    case Op::Search:
      return "Search";
    case Op::Replace:
      return "Replace";
  }
  return "";
}

// A target of 4 KiB with two strings, its translation file, and a Search pattern that matches.
Bytes TargetBytes() {
  Bytes bytes(4096, 0xFF);
  const std::string strings = std::string("Hello world") + '\0' + "Second string" + '\0';
  std::copy(strings.begin(), strings.end(), bytes.begin() + 100);
  return bytes;
}
const char kTranslation[] = "[Glosmorin]\r\n0x00000064,0011=Hallo Welt\r\n";

// What happens to the target between the walker finding it and the operation opening it.
using Interference = void (*)(const std::u16string& target);

struct Walk {
  Interference interfere = nullptr;
  SearchContext search;
};

FileOutcome Interfered(const Settings& settings, const char16_t* path, void* context) {
  auto* walk = static_cast<Walk*>(context);
  if (walk->interfere != nullptr) walk->interfere(path);
  return OperationForMode(settings)(settings, path, &walk->search);
}

class FaultTest : public ::testing::Test {
 protected:
  FaultTest() : target_(dir_.file(u"target.dll")) {
    WriteFile(target_, TargetBytes());
    WriteFile(target_ + u".ttt", ToBytes(kTranslation));
  }

  // Runs op over the target through the walker; returns the last report.
  Report Run(Op op, Interference interfere = nullptr) {
    Settings settings;
    SetMode(settings, op == Op::Extract     ? Mode::Extract
                      : op == Op::WriteBack ? Mode::WriteBack
                                            : Mode::Search);
    char16_t find[260] = u"world";
    char16_t replacement[260] = u"WORLD";
    char16_t none[260] = {};
    Walk walk;
    walk.search.pattern =
        BuildSearchPattern(settings, find, op == Op::Replace ? replacement : none);
    walk.interfere = interfere;
    capture_.clear();
    WalkPattern(settings, target_.c_str(), Interfered, &walk);
    return capture_.reports().empty() ? Report{} : capture_.reports().back();
  }

  TempDir dir_;
  std::u16string target_;
  StatusCapture capture_;
};

struct FaultCase {
  const char* name;
  Interference interfere;  // made before the run, or during it for DeletedAfterTheWalk
  bool duringWalk;
  StatusCode extract, writeBack, search, replace;
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

void MakeReadOnly(const std::u16string& path) {
  fs::permissions(fs::path(path),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}
void Delete(const std::u16string& path) { fs::remove(fs::path(path)); }
void GrowTo5GiB(const std::u16string& path) {
  fs::resize_file(fs::path(path), (std::uint64_t{5} << 30) + 7);
}

class FaultCaseTest : public FaultTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultCaseTest, EachOperationGivesItsCodeAndLeavesTheFilesAlone) {
  const FaultCase& c = GetParam();
  if (!c.duringWalk) c.interfere(target_);
  const bool big = c.interfere == GrowTo5GiB;
  for (const Op op : {Op::Extract, Op::WriteBack, Op::Search, Op::Replace}) {
    SCOPED_TRACE(OpName(op));
    if (c.duringWalk) WriteFile(target_, TargetBytes());
    WriteFile(target_ + u".ttt", ToBytes(kTranslation));
    const StatusCode expected = op == Op::Extract     ? c.extract
                                : op == Op::WriteBack ? c.writeBack
                                : op == Op::Search    ? c.search
                                                      : c.replace;
    const Report last = Run(op, c.duringWalk ? c.interfere : nullptr);
    EXPECT_EQ(last.code, expected);
    if (IsErrorStatus(expected)) {
      // The line names the target, and no match was found in a file that could not be opened.
      EXPECT_EQ(last.text, U8(target_));
      EXPECT_EQ(capture_.reports().size(), 1u);
      EXPECT_EQ(ReadFile(target_ + u".ttt"), ToBytes(kTranslation));
    }
    if (!big && FileExists(target_)) {
      EXPECT_EQ(ReadFile(target_), TargetBytes());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultCaseTest,
    ::testing::Values(
        // Without a write permission bit the target is read-only, for root too. Extract writes
        // the same translation file again.
        FaultCase{"ReadOnlyTarget", MakeReadOnly, false, kStatusExtracted, kStatusCannotMap,
                  kStatusSearchDone, kStatusCannotMap},
        FaultCase{"DeletedAfterTheWalk", Delete, true, kStatusCannotMap, kStatusCannotMap,
                  kStatusCannotMap, kStatusCannotMap},
        // Sparse: it takes no room on disk. Files of 4 GiB or more are never mapped.
        FaultCase{"Sparse5GiB", GrowTo5GiB, false, kStatusCannotMap, kStatusCannotMap,
                  kStatusCannotMap, kStatusCannotMap}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FaultTest, ATargetHeldByAnotherWriterIsNotOpenedByAnyOperation) {
  MappedFile other(target_.c_str(), /*readOnly=*/false);
  ASSERT_FALSE(other.failed());
  other.data()[0] = 'X';
  for (const Op op : {Op::Extract, Op::WriteBack, Op::Search, Op::Replace}) {
    SCOPED_TRACE(OpName(op));
    EXPECT_EQ(Run(op), (Report{kStatusCannotMap, U8(target_)}));
  }
  other.close();
  Bytes expected = TargetBytes();
  expected[0] = 'X';
  EXPECT_EQ(ReadFile(target_), expected);
  EXPECT_EQ(ReadFile(target_ + u".ttt"), ToBytes(kTranslation));
}

TEST_F(FaultTest, ATranslationFileHeldByAWriterIs522AndTheOthersAreApplied) {
  WriteFile(target_ + u".tt1", ToBytes("[Glosmorin]\r\n0x00000070,0013=Zweite Zeile\r\n"));
  MappedFile held((target_ + u".ttt").c_str(), /*readOnly=*/false);
  ASSERT_FALSE(held.failed());
  Run(Op::WriteBack);
  // In whichever order the search yields them.
  std::vector<Report> reports = capture_.reports();
  std::sort(reports.begin(), reports.end(),
            [](const Report& a, const Report& b) { return a.code < b.code; });
  const std::vector<Report> expected = {{kStatusWrittenBack, U8(target_ + u".tt1")},
                                        {kStatusCannotOpen, U8(target_ + u".ttt")}};
  EXPECT_EQ(reports, expected);
  const Bytes patched = ReadFile(target_);
  EXPECT_EQ(std::string(patched.begin() + 100, patched.begin() + 112),
            std::string("Hello world") + '\0');
  EXPECT_EQ(std::string(patched.begin() + 112, patched.begin() + 126),
            std::string("Zweite Zeile") + '\0' + '\0');
}

TEST_F(FaultTest, AReadOnlyTranslationFileIsNotReplacedBy524) {
  WriteFile(target_ + u".ttt", ToBytes("edited by hand"));
  MakeReadOnly(target_ + u".ttt");
  EXPECT_EQ(Run(Op::Extract), (Report{kStatusCannotSave, U8(target_ + u".ttt")}));
  EXPECT_EQ(ReadFile(target_ + u".ttt"), ToBytes("edited by hand"));
}

}  // namespace
}  // namespace glos::test
