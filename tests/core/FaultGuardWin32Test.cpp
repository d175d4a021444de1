// RunGuarded on Windows: which exceptions the guard takes, and recovery from a real fault.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>

#include "core/FaultGuard.h"

namespace glos {
namespace {

constexpr std::size_t kRegion = 64 * 1024;

// A reserved, uncommitted address range: every access to it faults.
class ReservedRegion {
 public:
  ReservedRegion() : base_(VirtualAlloc(nullptr, kRegion, MEM_RESERVE, PAGE_NOACCESS)) {}
  ReservedRegion(const ReservedRegion&) = delete;
  ReservedRegion& operator=(const ReservedRegion&) = delete;
  ~ReservedRegion() {
    if (base_ != nullptr) VirtualFree(base_, 0, MEM_RELEASE);
  }
  std::uint8_t* at(std::size_t offset) const { return static_cast<std::uint8_t*>(base_) + offset; }

 private:
  void* base_;
};

// Stands in for the rest of the process: registered last, it resumes after any exception the
// guard declined, committing the page when the exception was a real access to the region.
class Fallback {
 public:
  Fallback() : handle_(AddVectoredExceptionHandler(0, &Fallback::Handle)) { declined = 0; }
  Fallback(const Fallback&) = delete;
  Fallback& operator=(const Fallback&) = delete;
  ~Fallback() { RemoveVectoredExceptionHandler(handle_); }

  // Atomic, so that the compiler cannot assume it unchanged across a faulting access.
  static inline std::atomic<int> declined = 0;

 private:
  static LONG CALLBACK Handle(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if ((record->ExceptionFlags & EXCEPTION_NONCONTINUABLE) != 0) return EXCEPTION_CONTINUE_SEARCH;
    MEMORY_BASIC_INFORMATION memory;
    if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2) {
      void* address = reinterpret_cast<void*>(record->ExceptionInformation[1]);
      if (VirtualQuery(address, &memory, sizeof memory) != 0 && memory.State == MEM_RESERVE &&
          VirtualAlloc(address, 1, MEM_COMMIT, PAGE_READWRITE) == nullptr) {
        return EXCEPTION_CONTINUE_SEARCH;
      }
    }
    ++declined;
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  void* handle_;
};

struct Probe {
  volatile std::uint8_t* address;
  bool write;
  std::atomic<int> steps;  // the work's progress, stored before an access that may fault
};

void Touch(void* context) {
  auto* probe = static_cast<Probe*>(context);
  ++probe->steps;
  if (probe->write) {
    *probe->address = 1;
  } else {
    static_cast<void>(*probe->address);
  }
  ++probe->steps;
}

TEST(FaultGuardWin32Test, WorkWithoutFaultCompletes) {
  std::uint8_t view[16] = {};
  Probe probe{view + 3, true, 0};
  EXPECT_TRUE(RunGuarded(view, sizeof view, Touch, &probe));
  EXPECT_EQ(probe.steps.load(), 2);
  EXPECT_EQ(view[3], 1);
}

TEST(FaultGuardWin32Test, FaultsInsideTheViewEndTheWork) {
  ReservedRegion region;
  for (const bool write : {false, true}) {
    for (const std::size_t offset : {std::size_t{0}, std::size_t{5000}, kRegion - 1}) {
      Probe probe{region.at(offset), write, 0};
      EXPECT_FALSE(RunGuarded(region.at(0), kRegion, Touch, &probe)) << offset;
      EXPECT_EQ(probe.steps.load(), 1) << offset;
    }
  }
}

TEST(FaultGuardWin32Test, FaultsOutsideTheViewAreLeftToOthers) {
  ReservedRegion region;
  Fallback fallback;
  for (const std::size_t offset : {std::size_t{8192}, kRegion - 4096}) {
    Probe probe{region.at(offset), false, 0};
    EXPECT_TRUE(RunGuarded(region.at(4096), 4096, Touch, &probe)) << offset;
    EXPECT_EQ(probe.steps.load(), 2) << offset;
  }
  EXPECT_EQ(Fallback::declined.load(), 2);
}

struct Raised {
  const char* name;
  DWORD code;
  std::size_t offset;  // data address of the exception, from the view's start
  bool caught;
};

class FaultGuardCodeTest : public testing::TestWithParam<Raised> {};

struct Exception {
  DWORD code;
  ULONG_PTR address;
};

void Raise(void* context) {
  const auto* exception = static_cast<const Exception*>(context);
  // Read access at the address; the third word is the I/O status an in-page error carries.
  const ULONG_PTR arguments[3] = {0, exception->address, 0xC000009C};
  RaiseException(exception->code, 0, 3, arguments);
}

TEST_P(FaultGuardCodeTest, TakesOnlyMemoryFaultsInsideTheView) {
  Fallback fallback;
  std::uint8_t view[64] = {};
  Exception exception{GetParam().code, reinterpret_cast<ULONG_PTR>(view) + GetParam().offset};
  EXPECT_EQ(RunGuarded(view, sizeof view, Raise, &exception), !GetParam().caught);
  EXPECT_EQ(Fallback::declined.load(), GetParam().caught ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, FaultGuardCodeTest,
    testing::Values(Raised{"InPageAtStart", EXCEPTION_IN_PAGE_ERROR, 0, true},
                    Raised{"InPageAtLastByte", EXCEPTION_IN_PAGE_ERROR, 63, true},
                    Raised{"InPageJustPastEnd", EXCEPTION_IN_PAGE_ERROR, 64, false},
                    Raised{"AccessInside", EXCEPTION_ACCESS_VIOLATION, 10, true},
                    Raised{"AccessFarPastEnd", EXCEPTION_ACCESS_VIOLATION, 1000, false},
                    Raised{"AccessJustBefore", EXCEPTION_ACCESS_VIOLATION, SIZE_MAX, false},
                    Raised{"DivideByZero", EXCEPTION_INT_DIVIDE_BY_ZERO, 10, false},
                    Raised{"Misalignment", EXCEPTION_DATATYPE_MISALIGNMENT, 10, false}),
    [](const testing::TestParamInfo<Raised>& info) { return std::string(info.param.name); });

TEST(FaultGuardWin32Test, AFaultInAnOuterRunsViewEndsBothRuns) {
  ReservedRegion region;
  std::uint8_t other[16] = {};
  Probe probe{region.at(100), false, 0};
  std::atomic<bool> innerReturned = false;
  auto inner = [&] {
    RunGuarded(other, sizeof other, Touch, &probe);
    innerReturned = true;
  };
  EXPECT_FALSE(RunGuardedCall(region.at(0), kRegion, inner));
  EXPECT_FALSE(innerReturned.load());
  EXPECT_EQ(probe.steps.load(), 1);
  // Neither run's handler stays: the same access now reaches the rest of the process.
  Fallback fallback;
  Touch(&probe);
  EXPECT_EQ(Fallback::declined.load(), 1);
}

TEST(FaultGuardWin32Test, NothingStaysInstalledAfterwards) {
  ReservedRegion region;
  Probe inside{region.at(100), false, 0};
  EXPECT_FALSE(RunGuarded(region.at(0), kRegion, Touch, &inside));
  // The same address, now unguarded, reaches the rest of the process.
  Fallback fallback;
  Touch(&inside);
  EXPECT_EQ(Fallback::declined.load(), 1);
}

}  // namespace
}  // namespace glos

#endif
