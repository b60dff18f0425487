// Scoped owners for GDI: objects made with Create*/Load*, device contexts from GetDC,
// CreateCompatibleDC and BeginPaint, and objects selected into a context. Nothing calls
// DeleteObject, DeleteDC, ReleaseDC or EndPaint by hand.
#pragma once

#include <windows.h>

#include "winfx/ScopedHandle.h"

namespace winfx {

// A GDI object of type T (HBITMAP, HFONT, HBRUSH, HPEN, HRGN) made by the program and
// deleted with DeleteObject. Objects from GetStockObject must not be put here.
template <typename T>
struct GdiObjectTraits {
  using Handle = T;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DeleteObject(h); }
};
template <typename T>
using ScopedGdiObject = ScopedGeneric<GdiObjectTraits<T>>;
using ScopedBitmap = ScopedGdiObject<HBITMAP>;
using ScopedFont = ScopedGdiObject<HFONT>;
using ScopedBrush = ScopedGdiObject<HBRUSH>;
using ScopedPen = ScopedGdiObject<HPEN>;

// A device context made with CreateCompatibleDC or CreateDC, deleted with DeleteDC.
struct CreatedDCTraits {
  using Handle = HDC;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DeleteDC(h); }
};
using ScopedCreatedDC = ScopedGeneric<CreatedDCTraits>;

// The client-area context of a window (GetDC), or with wholeWindow the context of the whole
// window with its frame (GetWindowDC); released with ReleaseDC at scope exit. Get() is null
// when the window has no context (not a window, say).
class ScopedGetDC {
 public:
  explicit ScopedGetDC(HWND hwnd, bool wholeWindow = false)
      : hwnd_(hwnd), hdc_(wholeWindow ? ::GetWindowDC(hwnd) : ::GetDC(hwnd)) {}
  ~ScopedGetDC() {
    if (hdc_ != nullptr) ::ReleaseDC(hwnd_, hdc_);
  }
  ScopedGetDC(const ScopedGetDC&) = delete;
  ScopedGetDC& operator=(const ScopedGetDC&) = delete;

  HDC Get() const { return hdc_; }
  explicit operator bool() const { return hdc_ != nullptr; }

 private:
  HWND hwnd_;
  HDC hdc_;
};

// Selects object (a bitmap, font, brush or pen; not a region) into hdc and selects the
// previous object back at scope exit, so the object is free again before either is
// deleted. Succeeded() is false when the object could not be selected.
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC hdc, HGDIOBJ object) : hdc_(hdc), old_(::SelectObject(hdc, object)) {}
  ~ScopedSelectObject() {
    if (Succeeded()) ::SelectObject(hdc_, old_);
  }
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

  bool Succeeded() const { return old_ != nullptr && old_ != HGDI_ERROR; }

 private:
  HDC hdc_;
  HGDIOBJ old_;
};

// Sets the background mode of hdc and restores the previous one at scope exit.
class ScopedBkMode {
 public:
  ScopedBkMode(HDC hdc, int mode) : hdc_(hdc), old_(::SetBkMode(hdc, mode)) {}
  ~ScopedBkMode() {
    if (old_ != 0) ::SetBkMode(hdc_, old_);
  }
  ScopedBkMode(const ScopedBkMode&) = delete;
  ScopedBkMode& operator=(const ScopedBkMode&) = delete;

 private:
  HDC hdc_;
  int old_;
};

// BeginPaint for a WM_PAINT handler, EndPaint at scope exit.
class ScopedPaint {
 public:
  explicit ScopedPaint(HWND hwnd) : hwnd_(hwnd), paint_(), hdc_(::BeginPaint(hwnd, &paint_)) {}
  ~ScopedPaint() {
    if (hdc_ != nullptr) ::EndPaint(hwnd_, &paint_);
  }
  ScopedPaint(const ScopedPaint&) = delete;
  ScopedPaint& operator=(const ScopedPaint&) = delete;

  HDC Get() const { return hdc_; }
  explicit operator bool() const { return hdc_ != nullptr; }
  // The area to repaint, in client coordinates.
  const RECT& PaintRect() const { return paint_.rcPaint; }

 private:
  HWND hwnd_;
  PAINTSTRUCT paint_;
  HDC hdc_;
};

}  // namespace winfx
