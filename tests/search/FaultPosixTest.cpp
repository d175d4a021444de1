// Faults that only POSIX lets a test make: a disk that fills up while the translation file is
// written, and a target truncated while an operation has it mapped (Windows refuses to truncate
// a mapped file).
#ifndef _WIN32

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "core/FaultGuard.h"
#include "core/MappedFile.h"
#include "engine/Extract.h"
#include "engine/ImageSections.h"
#include "engine/WriteBack.h"
#include "search/Search.h"
#include "tests/support/StatusCapture.h"
#include "tests/support/TestSupport.h"

namespace glos::test {
namespace {

namespace fs = std::filesystem;

// Pages are at most 64 KiB on the systems we build for; cutting a file to kKept bytes makes
// every page from kPage on lie past its end.
constexpr std::size_t kPage = 1 << 16;
constexpr std::size_t kKept = 100;

void Truncate(const std::u16string& path, std::size_t size) {
  ASSERT_EQ(::truncate(U8(path).c_str(), static_cast<off_t>(size)), 0);
}

// The codes of the reports captured, in order.
std::vector<StatusCode> Codes(const StatusCapture& capture) {
  std::vector<StatusCode> codes;
  for (const Report& r : capture.reports()) codes.push_back(r.code);
  return codes;
}

class FaultPosixTest : public ::testing::Test {
 protected:
  void HoldsAfterTruncationBetweenEntries(std::size_t second);
  TempDir dir_;
  Settings settings_;
};

// A target of many short strings: its translation text is several times its size.
Bytes ManyStrings(std::size_t size) {
  Bytes bytes;
  while (bytes.size() + 5 <= size) bytes.insert(bytes.end(), {'W', 'o', 'r', 'd', 0});
  bytes.resize(size, 0);
  return bytes;
}

// Runs work in a child whose files may not grow past 16 KiB (a write past the limit fails with
// EFBIG once SIGXFSZ is ignored); true when work returned true there.
bool HoldsWithSmallFileLimit(const std::function<bool()>& work) {
  const pid_t child = fork();
  if (child == -1) return false;
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{16 * 1024, 16 * 1024};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(90);
    _exit(work() ? 0 : 91);
  }
  int status = 0;
  return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(FaultPosixTest, DiskFullWhileWritingTheTranslationFileGives524AndKeepsTheOldOne) {
  const auto target = dir_.file(u"full.dll");
  WriteFile(target, ManyStrings(64 * 1024));
  WriteFile(target + u".ttt", ToBytes("[Glosmorin]\r\n0x00000000,0004=Wort\r\n"));
  // The ~280 KiB translation text cannot be written whole.
  EXPECT_TRUE(HoldsWithSmallFileLimit([&] {
    const FileOutcome outcome = ExtractFile(settings_, target.c_str(), nullptr);
    return outcome.code == kStatusCannotSave && std::u16string(outcome.path) == target + u".ttt";
  }));
  EXPECT_EQ(ReadFile(target + u".ttt"), ToBytes("[Glosmorin]\r\n0x00000000,0004=Wort\r\n"));
  // Nothing of the failed attempt is left beside them.
  std::vector<std::string> names;
  for (const auto& item : fs::directory_iterator(fs::path(dir_.path()))) {
    names.push_back(item.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"full.dll", "full.dll.ttt"}));
}

TEST_F(FaultPosixTest, AJournalThatCannotBeWrittenLeavesTheTargetAsItWasItsTimeToo) {
  const auto target = dir_.file(u"full.dll");
  WriteFile(target, ManyStrings(64 * 1024));
  std::string entries = "[Glosmorin]";
  for (int at = 0; at + 4 <= 64 * 1024; at += 5) {
    char line[32];
    std::snprintf(line, sizeof line, "\r\n0x%08X,0004=WORD", at);
    entries += line;
  }
  WriteFile(target + u".ttt", ToBytes(entries));
  fs::remove_all(fs::path(TestStateHome()));
  ::utimensat(AT_FDCWD, U8(target).c_str(), nullptr, 0);
  struct stat before = {};
  ASSERT_EQ(::stat(U8(target).c_str(), &before), 0);
  const Bytes original = ReadFile(target);
  // The ~64 KiB journal cannot be written.
  EXPECT_TRUE(HoldsWithSmallFileLimit([&] {
    settings_.undoJournal = true;
    return WriteBackFile(settings_, target.c_str(), nullptr).code == kStatusJournalFailed;
  }));
  EXPECT_EQ(ReadFile(target), original);
  struct stat after = {};
  ASSERT_EQ(::stat(U8(target).c_str(), &after), 0);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

TEST_F(FaultPosixTest, ScanOfAMappingTruncatedBeforehandFailsUnderTheGuard) {
  const auto path = dir_.file(u"cut.dll");
  WriteFile(path, ManyStrings(3 * kPage));
  MappedFile file(path.c_str(), /*readOnly=*/true);
  ASSERT_FALSE(file.failed());
  Truncate(path, kKept);
  OutputOwner output;
  auto scan = [&] { ScanImage(settings_, output.buffer(), file.data(), file.size()); };
  EXPECT_FALSE(RunGuardedCall(file.data(), static_cast<std::size_t>(file.size()), scan));
}

TEST_F(FaultPosixTest, TwoThreadScanOfAMappingTruncatedBeforehandFailsOnEitherSide) {
  const auto path = dir_.file(u"cut.bin");
  WriteFile(path, Bytes(3 * kPage, 'a'));
  MappedFile file(path.c_str(), /*readOnly=*/true);
  ASSERT_FALSE(file.failed());
  Truncate(path, kKept);
  const std::uint8_t find[] = {'a', 'a'};
  // The cut before the kept bytes, in them and after them: one side or both fault.
  for (std::uint64_t cut : {std::uint64_t{0}, std::uint64_t{kKept / 2}, std::uint64_t{2 * kPage}}) {
    std::uint64_t visits = 0;
    bool faulted = false;
    ScanMatchesOnTwoThreads(
        file, find, 2,
        [](void* context, std::uint64_t) { return ++*static_cast<std::uint64_t*>(context) > 0; },
        &visits, cut, 1000, faulted);
    EXPECT_TRUE(faulted) << cut;
  }
}

// True while some open file description holds a lock on path, as every operation's MappedFile
// does from just after it has taken the file's size.
bool IsLocked(int fd) {
  struct flock probe = {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  return ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

TEST_F(FaultPosixTest, ExtractOfATargetTruncatedWhileItIsScannedGives520) {
  // A sparse target of zeros takes a while to scan and finds nothing when it is not cut: the
  // second thread cuts it as soon as the operation holds it, so the scan meets the missing
  // pages. Should the scan ever win the race, the next attempt decides.
  const auto target = dir_.file(u"sparse.dll");
  const std::string native = U8(target);
  StatusCode result = kStatusNone;
  for (int attempt = 0; attempt < 3 && result != kStatusScanFailed; ++attempt) {
    WriteFile(target, {});
    fs::resize_file(fs::path(target), std::uint64_t{64} << 20);
    const int fd = ::open(native.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::atomic<bool> done{false};
    std::thread cutter([&] {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (!done && std::chrono::steady_clock::now() < deadline) {
        if (IsLocked(fd)) {
          EXPECT_EQ(::ftruncate(fd, kKept), 0);
          return;
        }
      }
    });
    const FileOutcome outcome = ExtractFile(settings_, target.c_str(), nullptr);
    result = outcome.code;
    done = true;
    cutter.join();
    ::close(fd);
    EXPECT_TRUE(result == kStatusScanFailed || result == kStatusNoString) << result;
    EXPECT_EQ(std::u16string(outcome.path), target);
  }
  EXPECT_EQ(result, kStatusScanFailed);
  EXPECT_FALSE(FileExists(target + u".ttt"));
}

TEST_F(FaultPosixTest, WriteBackOfATargetTruncatedBetweenEntriesGives523AndKeepsEarlierWrites) {
  // The first entry is cut (517), and the report cuts the target; the second entry's slot then
  // lies past its end: far on, or in the bytes already read with the first, which must not make
  // the file grow again when they go back, or close enough to join the first's run, whose part
  // before the cut must still go back.
  for (const std::size_t second : {2 * kPage + 8, kPage / 2, std::size_t{0x200}}) {
    SCOPED_TRACE(second);
    HoldsAfterTruncationBetweenEntries(second);
  }
}

void FaultPosixTest::HoldsAfterTruncationBetweenEntries(std::size_t second) {
  const auto target = dir_.file(u"cut.dll");
  WriteFile(target, Bytes(3 * kPage, '.'));
  char head[32];
  std::snprintf(head, sizeof head, "0x%08zX", second);
  WriteFile(target + u".ttt", ToBytes(std::string("[Glosmorin]\r\n0x00000008,0003=abcdef\r\n") +
                                      head + ",0004=late\r\n"));
  StatusCapture capture;
  capture.onReport = [&](StatusCode code) {
    if (code == kStatusCutBytes) Truncate(target, kKept);
  };
  const FileOutcome outcome = WriteBackFile(settings_, target.c_str(), nullptr);
  EXPECT_EQ(outcome.code, kStatusCannotMap);
  EXPECT_EQ(std::u16string(outcome.path), target);
  EXPECT_EQ(Codes(capture), std::vector<StatusCode>{kStatusCutBytes});
  const Bytes left = ReadFile(target);
  ASSERT_EQ(left.size(), kKept);
  EXPECT_EQ(std::string(left.begin() + 8, left.begin() + 11), "abc");
}

TEST_F(FaultPosixTest, SearchOfATargetTruncatedAtTheFirstMatchGives523) {
  const auto target = dir_.file(u"cut.bin");
  Bytes content(3 * kPage, '.');
  std::copy_n("MARK", 4, content.begin() + 8);
  std::copy_n("MARK", 4, content.begin() + 2 * kPage + 8);
  WriteFile(target, content);
  char16_t find[260] = u"MARK";
  char16_t none[260] = {};
  SearchContext context;
  context.pattern = BuildSearchPattern(settings_, find, none);
  StatusCapture capture;
  capture.onReport = [&](StatusCode code) {
    if (code == kStatusFound) Truncate(target, kKept);
  };
  EXPECT_EQ(SearchFile(settings_, target.c_str(), &context).code, kStatusCannotMap);
  EXPECT_EQ(Codes(capture), std::vector<StatusCode>{kStatusFound});
}

}  // namespace
}  // namespace glos::test

#endif  // _WIN32
