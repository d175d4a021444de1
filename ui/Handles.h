// Scoped owners of the window code's handles: GDI objects and shell drops.
#pragma once

#include "ui/Platform.h"

namespace glos {

// Owns a GDI object (a font) and deletes it when destroyed or replaced.
class ScopedGdiObject {
 public:
  ScopedGdiObject() = default;
  explicit ScopedGdiObject(HGDIOBJ object) : object_(object) {}
  ScopedGdiObject(const ScopedGdiObject&) = delete;
  ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;
  ~ScopedGdiObject() { reset(); }

  HGDIOBJ get() const { return object_; }
  // Deletes the object held, if any, and takes the given one instead.
  void reset(HGDIOBJ object = nullptr) {
    if (object_ != nullptr) DeleteObject(object_);
    object_ = object;
  }

 private:
  HGDIOBJ object_ = nullptr;
};

// Owns the drop handle of WM_DROPFILES and releases it with DragFinish.
class ScopedDrop {
 public:
  explicit ScopedDrop(HDROP drop) : drop_(drop) {}
  ScopedDrop(const ScopedDrop&) = delete;
  ScopedDrop& operator=(const ScopedDrop&) = delete;
  ~ScopedDrop() {
    if (drop_ != nullptr) DragFinish(drop_);
  }
  HDROP get() const { return drop_; }

 private:
  HDROP drop_;
};

}  // namespace glos
