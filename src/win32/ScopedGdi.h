// Holders that give back what GDI lends at the end of their scope, on every way out of it: a
// window's device context, a font selected into one, and a GDI object that the program made.
// GDI objects are a per-process quota (10000 by default); a leaked one is never reclaimed
// before the process ends.
#pragma once

#include <windows.h>

namespace vxt::win32 {

// The device context of a window (of the screen for nullptr), from GetDC; null when none was
// given.
class ScopedGetDC {
 public:
  explicit ScopedGetDC(HWND hwnd) : hwnd_(hwnd), hdc_(GetDC(hwnd)) {}
  ~ScopedGetDC() {
    if (hdc_) ReleaseDC(hwnd_, hdc_);
  }
  ScopedGetDC(const ScopedGetDC&) = delete;
  ScopedGetDC& operator=(const ScopedGetDC&) = delete;
  operator HDC() const { return hdc_; }

 private:
  HWND hwnd_;
  HDC hdc_;
};

// A font selected into a device context until the end of the scope, when the context's
// previous font comes back: a context must not be released, nor a font deleted, while the one
// holds the other. Declared after the context's holder, so that it ends first.
class ScopedSelectFont {
 public:
  ScopedSelectFont(HDC hdc, HGDIOBJ font)
      : hdc_(hdc), previous_(hdc && font ? SelectObject(hdc, font) : nullptr) {}
  ~ScopedSelectFont() {
    if (previous_) SelectObject(hdc_, previous_);
  }
  ScopedSelectFont(const ScopedSelectFont&) = delete;
  ScopedSelectFont& operator=(const ScopedSelectFont&) = delete;

 private:
  HDC hdc_;
  HGDIOBJ previous_;
};

// A GDI object of the program's own making (a font, a brush), deleted when the holder ends or
// takes another. Stock objects need no holder.
template <typename T>
class ScopedGdiObj {
 public:
  ScopedGdiObj() = default;
  explicit ScopedGdiObj(T object) : object_(object) {}
  ~ScopedGdiObj() { Reset(nullptr); }
  ScopedGdiObj(const ScopedGdiObj&) = delete;
  ScopedGdiObj& operator=(const ScopedGdiObj&) = delete;
  void Reset(T object) {
    if (object_) DeleteObject(object_);
    object_ = object;
  }
  T Get() const { return object_; }

 private:
  T object_ = nullptr;
};

using ScopedFont = ScopedGdiObj<HFONT>;

}  // namespace vxt::win32
