// Write-back killed with SIGKILL at many points of its run, then undone or run again: the real
// console program on a target large enough that kills land before, in and after the journal and
// the patching.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>

#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A folder for the test's files, in memory where the system has one: a kill tests what the
// page cache holds when the process dies, and without waits for the disk the patching takes a
// larger share of a run.
class WorkFolder {
 public:
  WorkFolder() {
    const fs::path shm = "/dev/shm";
    std::error_code ec;
    const fs::path base = fs::is_directory(shm, ec) ? shm : fs::temp_directory_path();
    path_ = base / ("glos-kill-" + std::to_string(::getpid()));
    fs::create_directories(path_ / "state");
  }
  ~WorkFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string file(const char* name) const { return (path_ / name).string(); }

  // The size of the one undo journal, 0 when there is none.
  std::uintmax_t JournalSize() const {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path_ / "state", ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (it->path().extension() == ".undo") return fs::file_size(it->path(), ec);
    }
    return 0;
  }

  // Runs the console program with args and its journals in this folder. With a kill time, it
  // is killed with SIGKILL that long after it started, or, with afterJournal, that long after
  // its journal changed. Returns the exit status, -1 when it was killed, and when the journal
  // changed (from the start, -1 when it did not).
  struct Outcome {
    int status;
    std::chrono::microseconds journalAt;
  };
  Outcome Run(const std::vector<std::string>& args, std::chrono::microseconds kill = kNever,
              bool afterJournal = false) const {
    const std::uintmax_t before = JournalSize();
    const auto start = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
      std::string program = GLOS_BINARY_DIR "/cli/glosmorin-cli";
      std::vector<char*> argv = {program.data()};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::setenv("XDG_STATE_HOME", (path_ / "state").c_str(), 1);
      if (std::freopen("/dev/null", "w", stdout) == nullptr) ::_exit(127);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    auto since = [&] {
      return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    };
    Outcome outcome{-1, std::chrono::microseconds{-1}};
    int status = 0;
    auto deadline = start + kill;
    for (;;) {
      if (::waitpid(child, &status, WNOHANG) == child) {
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return outcome;
      }
      if (outcome.journalAt.count() < 0 && JournalSize() != before) {
        outcome.journalAt = since();
        if (afterJournal) deadline = Clock::now() + kill;
      }
      if (kill != kNever && (!afterJournal || outcome.journalAt.count() >= 0) &&
          Clock::now() >= deadline) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        return outcome;
      }
      std::this_thread::sleep_for(std::chrono::microseconds{20});
    }
  }

  static constexpr std::chrono::microseconds kNever = std::chrono::microseconds::max();

 private:
  fs::path path_;
};

TEST(KillPointTest, UndoAndRunningAgainAfterAKillAtAnyPoint) {
  WorkFolder dir;
  const std::string target = dir.file("big.bin");
  // 8 MiB of noise with 50,000 slots of 12 bytes, one every 167 bytes; the second run's
  // slots overlap the first run's by half and add as many again.
  constexpr std::size_t kSize = 8u << 20;
  constexpr std::size_t kEntries = 50000;
  constexpr std::size_t kStride = kSize / kEntries;
  Bytes original(kSize);
  std::mt19937 noise(13);
  for (auto& b : original) b = static_cast<std::uint8_t>(noise());
  std::string first = "[Glosmorin]";
  std::string second = "[Glosmorin]";
  char line[64];
  for (std::size_t i = 0; i < kEntries; ++i) {
    std::snprintf(line, sizeof line, "\r\n0x%08zX,0012=first%07zu", i * kStride, i);
    first += line;
    std::snprintf(line, sizeof line, "\r\n0x%08zX,0012=again%07zu", i * kStride + 6, i);
    second += line;
  }
  WriteFile(U16(dir.file("first.ttt")), ToBytes(first + "\r\n"));
  WriteFile(U16(dir.file("second.ttt")), ToBytes(second + "\r\n"));
  auto writeBack = [&](const char* ttt, std::chrono::microseconds kill = WorkFolder::kNever,
                       bool afterJournal = false) {
    fs::copy_file(dir.file(ttt), target + ".ttt", fs::copy_options::overwrite_existing);
    return dir.Run({"writeback", target}, kill, afterJournal);
  };
  auto bytes = [&] {
    Bytes data(fs::file_size(target));
    std::FILE* file = std::fopen(target.c_str(), "rb");
    if (file == nullptr || std::fread(data.data(), 1, data.size(), file) != data.size())
      data.clear();
    if (file != nullptr) std::fclose(file);
    return data;
  };

  // The bytes of uninterrupted runs, how long a first run takes and when its journal appears.
  WriteFile(U16(target), original);
  const auto start = Clock::now();
  const WorkFolder::Outcome calibration = writeBack("first.ttt");
  const auto took = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
  ASSERT_EQ(calibration.status, 0);
  ASSERT_GE(calibration.journalAt.count(), 0);
  const Bytes afterFirst = bytes();
  ASSERT_EQ(writeBack("second.ttt").status, 0);
  const Bytes afterBoth = bytes();
  ASSERT_EQ(dir.Run({"undo", target}).status, 0);
  ASSERT_TRUE(bytes() == original);

  // Half the points spread over the whole run from its start, half over the time after the
  // journal changed. Each point is used four times: the first run killed, then undone or run
  // again; the second run (extending the first's journal) killed, then undone or run again.
  constexpr int kPoints = 10;
  int landed[3] = {};  // target unchanged, partly patched, fully patched
  for (int point = 0; point < kPoints; ++point) {
    const bool afterJournal = point % 2 == 1;
    const auto span = afterJournal ? took - calibration.journalAt : took;
    const auto kill = span * (point / 2) / (kPoints / 2 - 1);
    for (int variant = 0; variant < 4; ++variant) {
      SCOPED_TRACE(testing::Message()
                   << "kill " << kill.count() << " us after "
                   << (afterJournal ? "the journal" : "the start") << ", variant " << variant);
      const bool secondRun = variant >= 2;
      const char* ttt = secondRun ? "second.ttt" : "first.ttt";
      if (secondRun) {
        ASSERT_EQ(writeBack("first.ttt").status, 0);
      }
      const Bytes& before = secondRun ? afterFirst : original;
      const Bytes& expected = secondRun ? afterBoth : afterFirst;
      writeBack(ttt, kill, afterJournal);
      const Bytes killed = bytes();
      ++landed[killed == before ? 0 : killed == expected ? 2 : 1];
      if (variant % 2 == 1) {
        ASSERT_EQ(writeBack(ttt).status, 0);
        ASSERT_TRUE(bytes() == expected);
      }
      if (dir.JournalSize() == 0) {
        // Killed before its journal was in place: nothing may have changed.
        ASSERT_TRUE(bytes() == original);
        continue;
      }
      ASSERT_EQ(dir.Run({"undo", target}).status, 0);
      ASSERT_TRUE(bytes() == original);
      ASSERT_EQ(dir.JournalSize(), 0u);
    }
  }
  std::printf("%d kill points: %d left the target as it was, %d partly patched, %d patched\n",
              kPoints * 4, landed[0], landed[1], landed[2]);
  EXPECT_GT(landed[1], 0) << "no kill landed while the target was being patched";
}

}  // namespace
}  // namespace glos::test

#endif  // _WIN32
