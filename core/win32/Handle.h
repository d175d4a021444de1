// Scoped owners of Win32 handles, shared by the Windows platform files.
//
// Windows platform layer: only the files in core/win32 include <windows.h>; each one provides one
// platform-neutral facility of core/ through the Win32 API. This header holds the small wrappers
// they use so that every handle is released on every path.
#pragma once

#include <windows.h>

#include "core/win32/WideText.h"

namespace glos::win32 {

// Owns a kernel handle (file, mapping, ...) and closes it on destruction. Null and
// INVALID_HANDLE_VALUE both mean "none".
class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() { reset(); }

  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

  // Gives up ownership without closing.
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }

  // Closes the handle now, if there is one, and takes the given one instead.
  void reset(HANDLE handle = nullptr) {
    if (valid()) CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

// Owns a mapped view and unmaps it on destruction.
class ScopedView {
 public:
  explicit ScopedView(void* view) : view_(view) {}
  ScopedView(const ScopedView&) = delete;
  ScopedView& operator=(const ScopedView&) = delete;
  ~ScopedView() {
    if (view_ != nullptr) UnmapViewOfFile(view_);
  }

  void* get() const { return view_; }
  void* release() {
    void* view = view_;
    view_ = nullptr;
    return view;
  }

 private:
  void* view_ = nullptr;
};

}  // namespace glos::win32
