// Guarded work on a mapped view on Win32: a vectored exception handler that abandons the work.
//
// Windows platform layer, fault recovery. Only the vectored exception handler behind RunGuarded
// and its way back into RunGuarded live here. The handler accepts an access violation or an
// in-page error only when the faulting data address lies inside the guarded view; it then resumes
// the thread in a recovery function that jumps back to RunGuarded, so no frame of the work is
// unwound and no structured exception handling is involved.
#include "core/FaultGuard.h"

#include <cstdint>

#include "core/win32/Handle.h"

namespace glos {
namespace {

struct Guard {
  std::uintptr_t begin;
  std::size_t size;
  void* jump[5];  // the buffer of __builtin_setjmp
  Guard* outer;   // the guard of the run this one runs inside, if any
  Guard* owner;   // after a fault: the guard whose view it hit, this one or an outer one
};

thread_local Guard* tCurrentGuard = nullptr;

[[noreturn]] __attribute__((noinline)) void RecoverFromFault() {
  __builtin_longjmp(tCurrentGuard->jump, 1);
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
  Guard* guard = tCurrentGuard;
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (guard == nullptr) return EXCEPTION_CONTINUE_SEARCH;
  if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION &&
      record->ExceptionCode != EXCEPTION_IN_PAGE_ERROR) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  if (record->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
  const std::uintptr_t address = record->ExceptionInformation[1];
  // The innermost run ends first, and passes the fault on when the view was an outer run's.
  Guard* owner = guard;
  while (owner != nullptr && (address < owner->begin || address - owner->begin >= owner->size)) {
    owner = owner->outer;
  }
  if (owner == nullptr) return EXCEPTION_CONTINUE_SEARCH;
  guard->owner = owner;
  // Resume as if the faulting code had called RecoverFromFault: below the faulting frame, with
  // room to spare, and with the stack aligned as a function entry expects (16n + 8).
  CONTEXT* context = info->ContextRecord;
  context->Rsp = ((context->Rsp - 256) & ~DWORD64{15}) - 8;
  context->Rip = reinterpret_cast<DWORD64>(&RecoverFromFault);
  return EXCEPTION_CONTINUE_EXECUTION;
}

// Removes a vectored handler when the guarded call ends, on every path.
class VectoredHandler {
 public:
  VectoredHandler() : handle_(AddVectoredExceptionHandler(1, OnException)) {}
  VectoredHandler(const VectoredHandler&) = delete;
  VectoredHandler& operator=(const VectoredHandler&) = delete;
  ~VectoredHandler() {
    if (handle_ != nullptr) RemoveVectoredExceptionHandler(handle_);
  }
  bool installed() const { return handle_ != nullptr; }

 private:
  void* handle_;
};

// Kept apart from RunGuarded so that the jump target's frame holds nothing but the call.
__attribute__((noinline)) bool CallUnderGuard(Guard& guard, void (*work)(void*), void* context) {
  if (__builtin_setjmp(guard.jump) != 0) return false;
  work(context);
  return true;
}

// Runs work under guard, which the caller has filled in; null when it completed, else the guard
// whose view a fault hit (guard itself, or one of the runs it lies inside).
Guard* RunUnder(Guard& guard, void (*work)(void* context), void* context) {
  VectoredHandler handler;
  // Without the handler a fault would end the process; refusing the work is the safer failure.
  if (!handler.installed()) return &guard;
  tCurrentGuard = &guard;
  const bool completed = CallUnderGuard(guard, work, context);
  tCurrentGuard = guard.outer;
  return completed ? nullptr : guard.owner;
}

}  // namespace

bool RunGuarded(const void* view, std::size_t size, void (*work)(void* context), void* context) {
  Guard guard{reinterpret_cast<std::uintptr_t>(view), size, {}, tCurrentGuard, nullptr};
  guard.owner = &guard;
  Guard* const faulted = RunUnder(guard, work, context);
  if (faulted != nullptr && faulted != &guard) {
    // The fault hit an outer run's view: that run ends too, one level at a time, each with its
    // handler removed first.
    guard.outer->owner = faulted;
    __builtin_longjmp(guard.outer->jump, 1);
  }
  return faulted == nullptr;
}

}  // namespace glos
