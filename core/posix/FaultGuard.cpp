// The guard around work on a mapped view, on POSIX.
//
// POSIX platform layer, fault guard. Only the signal handling behind RunGuarded lives here: for
// the length of the work, handlers for SIGBUS (a mapped file truncated underneath, or storage
// that fails) and SIGSEGV take a fault whose address lies inside the view back to RunGuarded with
// siglongjmp. Any other fault goes to the handler that was there before, exactly as if the guard
// did not exist.
#include "core/FaultGuard.h"

#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <mutex>

namespace glos {
namespace {

struct Guard {
  sigjmp_buf jump;
  std::uintptr_t begin;
  std::uintptr_t end;
  Guard* outer;  // the guard of the run this one runs inside, if any
  Guard* owner;  // after a fault: the guard whose view it hit, this one or an outer one
};

// The guard of this thread's running work, if any. Volatile: it is read in a signal handler.
thread_local Guard* volatile tActiveGuard = nullptr;

// The handlers that were installed before the guard's; process-wide, as handlers are. They are
// installed while at least one guarded run is under way on any thread.
struct sigaction gPreviousBus;
struct sigaction gPreviousSegv;
std::mutex gHandlerLock;
int gGuardedRuns = 0;

void OnFault(int signal, siginfo_t* info, void*) {
  Guard* guard = tActiveGuard;
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  // Only a fault the system raised (si_code > 0) at an address of a guarded view is taken: the
  // innermost run ends first, and passes the fault on when the view was an outer run's.
  for (Guard* g = guard; g != nullptr && info->si_code > 0; g = g->outer) {
    if (address >= g->begin && address < g->end) {
      guard->owner = g;
      tActiveGuard = nullptr;
      siglongjmp(guard->jump, 1);
    }
  }
  // Not ours: put the earlier handler back. Returning re-runs the faulting instruction, which
  // now reaches that handler; a signal sent by a process is raised again for it instead.
  sigaction(signal, signal == SIGBUS ? &gPreviousBus : &gPreviousSegv, nullptr);
  if (info->si_code <= 0) raise(signal);
}

// Installs the handlers when the first guarded run starts and restores the earlier ones when the
// last one ends, so that runs on several threads, or one inside another, share them.
class HandlerScope {
 public:
  HandlerScope() {
    const std::lock_guard<std::mutex> hold(gHandlerLock);
    if (gGuardedRuns == 0) {
      struct sigaction action = {};
      action.sa_sigaction = OnFault;
      action.sa_flags = SA_SIGINFO;
      sigemptyset(&action.sa_mask);
      if (sigaction(SIGBUS, &action, &gPreviousBus) != 0) return;
      if (sigaction(SIGSEGV, &action, &gPreviousSegv) != 0) {
        sigaction(SIGBUS, &gPreviousBus, nullptr);
        return;
      }
    }
    ++gGuardedRuns;
    installed_ = true;
  }
  HandlerScope(const HandlerScope&) = delete;
  HandlerScope& operator=(const HandlerScope&) = delete;
  ~HandlerScope() {
    if (!installed_) return;
    const std::lock_guard<std::mutex> hold(gHandlerLock);
    if (--gGuardedRuns != 0) return;
    sigaction(SIGSEGV, &gPreviousSegv, nullptr);
    sigaction(SIGBUS, &gPreviousBus, nullptr);
  }
  bool installed() const { return installed_; }

 private:
  bool installed_ = false;
};

}  // namespace

namespace {

// Runs work under guard, which the caller has filled in; null when it completed, else the guard
// whose view a fault hit (guard itself, or one of the runs it lies inside).
Guard* RunUnder(Guard& run, void (*work)(void* context), void* context) {
  // Read again after the jump, so kept where the jump cannot have left it stale.
  Guard* volatile const guard = &run;
  HandlerScope scope;
  // Without the handlers a fault would end the process; failing the work is the safer answer.
  if (!scope.installed()) return guard;
  // sigsetjmp saves the signal mask, so the jump from the handler unblocks the signal again.
  if (sigsetjmp(guard->jump, 1) != 0) {
    tActiveGuard = guard->outer;
    return guard->owner;
  }
  tActiveGuard = guard;
  work(context);
  tActiveGuard = guard->outer;
  return nullptr;
}

}  // namespace

bool RunGuarded(const void* view, std::size_t size, void (*work)(void* context), void* context) {
  Guard guard;
  guard.begin = reinterpret_cast<std::uintptr_t>(view);
  guard.end = guard.begin + size;
  // A run inside another guards its own view; the outer one's comes back when it ends.
  guard.outer = tActiveGuard;
  guard.owner = &guard;
  Guard* const faulted = RunUnder(guard, work, context);
  if (faulted != nullptr && faulted != &guard) {
    // The fault hit an outer run's view: that run ends too, one level at a time, each with its
    // handler scope closed first.
    guard.outer->owner = faulted;
    siglongjmp(guard.outer->jump, 1);
  }
  return faulted == nullptr;
}

}  // namespace glos
