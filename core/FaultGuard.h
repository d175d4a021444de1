// Runs a piece of work that reads or writes a mapped view, turning a fault inside that view
// (storage that fails, a file truncated underneath) into a failed result instead of a crash.
#pragma once

#include <cstddef>

namespace glos {

// Calls work(context). Returns false when a memory fault at an address inside
// [view, view + size) interrupted it; faults elsewhere are not caught. The work must keep
// nothing that needs a destructor on its stack: a fault abandons its frames. Guarded runs may go
// on in several threads at once, and one may run inside another; each guards its own view, and a
// fault in an outer run's view, met inside an inner run, ends both.
bool RunGuarded(const void* view, std::size_t size, void (*work)(void* context), void* context);

// The same for a callable, such as a lambda whose captures are references: it is called with no
// arguments. The rule on destructors holds for it and for all it calls.
template <typename Work>
bool RunGuardedCall(const void* view, std::size_t size, Work& work) {
  return RunGuarded(
      view, size, [](void* context) { (*static_cast<Work*>(context))(); }, &work);
}

}  // namespace glos
