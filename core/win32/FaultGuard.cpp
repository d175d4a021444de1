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
};

thread_local Guard* tCurrentGuard = nullptr;

[[noreturn]] __attribute__((noinline)) void RecoverFromFault() {
  __builtin_longjmp(tCurrentGuard->jump, 1);
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
  const Guard* guard = tCurrentGuard;
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (guard == nullptr) return EXCEPTION_CONTINUE_SEARCH;
  if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION &&
      record->ExceptionCode != EXCEPTION_IN_PAGE_ERROR) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  if (record->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
  const std::uintptr_t address = record->ExceptionInformation[1];
  if (address < guard->begin || address - guard->begin >= guard->size) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
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

}  // namespace

bool RunGuarded(const void* view, std::size_t size, void (*work)(void* context), void* context) {
  Guard guard{reinterpret_cast<std::uintptr_t>(view), size, {}};
  VectoredHandler handler;
  // Without the handler a fault would end the process; refusing the work is the safer failure.
  if (!handler.installed()) return false;
  Guard* const outer = tCurrentGuard;
  tCurrentGuard = &guard;
  const bool completed = CallUnderGuard(guard, work, context);
  tCurrentGuard = outer;
  return completed;
}

}  // namespace glos
