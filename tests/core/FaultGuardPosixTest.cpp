// RunGuarded on POSIX: a mapped file truncated underneath fails the work instead of the process;
// faults outside the view are left to whoever handled them before.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include "core/FaultGuard.h"
#include "core/MappedFile.h"
#include "tests/support/TestSupport.h"

namespace glos {
namespace {

using test::Bytes;
using test::TempDir;
using test::U8;
using test::WriteFile;

constexpr std::size_t kPage = 4096;

struct Probe {
  const volatile std::uint8_t* address;
  std::size_t length;
  unsigned sum;
  std::size_t reached;  // bytes read before the work stopped
};

void ReadAll(void* context) {
  auto* probe = static_cast<Probe*>(context);
  for (std::size_t i = 0; i < probe->length; ++i) {
    probe->sum += probe->address[i];
    probe->reached = i + 1;
  }
}

// A mapped file of four pages whose last three are then cut off through another path.
class TruncatedMapping {
 public:
  TruncatedMapping() : path_(dir_.file(u"shrinking.bin")) {
    WriteFile(path_, Bytes(4 * kPage, 1));
    file_.open(path_.c_str(), true);
  }
  void Truncate() { ASSERT_EQ(::truncate(U8(path_).c_str(), kPage), 0); }
  const MappedFile& file() const { return file_; }

 private:
  TempDir dir_;
  std::u16string path_;
  MappedFile file_;
};

bool SameAction(int signal, const struct sigaction& before) {
  struct sigaction now;
  sigaction(signal, nullptr, &now);
  // The C library may add flags of its own (SA_RESTORER) when an action is set again.
  return now.sa_sigaction == before.sa_sigaction &&
         (now.sa_flags & SA_SIGINFO) == (before.sa_flags & SA_SIGINFO);
}

TEST(FaultGuardPosixTest, WorkThatFinishesSucceedsAndLeavesTheHandlersAsTheyWere) {
  struct sigaction bus;
  struct sigaction segv;
  sigaction(SIGBUS, nullptr, &bus);
  sigaction(SIGSEGV, nullptr, &segv);
  TruncatedMapping mapping;
  ASSERT_FALSE(mapping.file().failed());
  Probe probe{mapping.file().data(), 4 * kPage, 0, 0};
  EXPECT_TRUE(RunGuarded(mapping.file().data(), mapping.file().size(), ReadAll, &probe));
  EXPECT_EQ(probe.sum, 4 * kPage);
  EXPECT_TRUE(SameAction(SIGBUS, bus));
  EXPECT_TRUE(SameAction(SIGSEGV, segv));
}

TEST(FaultGuardPosixTest, AFileTruncatedUnderneathFailsTheWorkAndTheGuardWorksAgain) {
  struct sigaction bus;
  sigaction(SIGBUS, nullptr, &bus);
  TruncatedMapping mapping;
  ASSERT_FALSE(mapping.file().failed());
  mapping.Truncate();
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    Probe probe{mapping.file().data(), 4 * kPage, 0, 0};
    EXPECT_FALSE(RunGuarded(mapping.file().data(), mapping.file().size(), ReadAll, &probe));
    EXPECT_EQ(probe.reached, kPage);
    EXPECT_TRUE(SameAction(SIGBUS, bus));
  }
  Probe inside{mapping.file().data(), kPage, 0, 0};
  EXPECT_TRUE(RunGuarded(mapping.file().data(), kPage, ReadAll, &inside));
}

TEST(FaultGuardPosixTest, AFaultInAnOuterRunsViewEndsBothRuns) {
  struct sigaction bus;
  sigaction(SIGBUS, nullptr, &bus);
  TruncatedMapping mapping;
  ASSERT_FALSE(mapping.file().failed());
  mapping.Truncate();
  std::uint8_t other[16] = {};
  Probe probe{mapping.file().data(), 4 * kPage, 0, 0};
  bool innerReturned = false;
  auto inner = [&] {
    RunGuarded(other, sizeof other, ReadAll, &probe);
    innerReturned = true;
  };
  EXPECT_FALSE(RunGuardedCall(mapping.file().data(), mapping.file().size(), inner));
  EXPECT_FALSE(innerReturned);
  EXPECT_EQ(probe.reached, kPage);
  EXPECT_TRUE(SameAction(SIGBUS, bus));
}

TEST(FaultGuardPosixDeathTest, AFaultOutsideTheViewIsNotTaken) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TruncatedMapping mapping;
  ASSERT_FALSE(mapping.file().failed());
  mapping.Truncate();
  // The guarded view is the first page only; the work reads past it into the lost pages.
  Probe probe{mapping.file().data(), 4 * kPage, 0, 0};
  EXPECT_DEATH(RunGuarded(mapping.file().data(), kPage, ReadAll, &probe), "");
}

}  // namespace
}  // namespace glos

#endif
