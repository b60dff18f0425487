// Names a screen reader announces for windows whose own text says nothing (a "..." button,
// a hosted control, an area the program paints), given by dynamic annotation: the system's
// accessibility services (oleacc, created through COM from its registration, never
// imported) answer the name for the window's client object. The windows keep their texts.
#pragma once

#include <windows.h>

#include "winfx/ScopedCom.h"
#include "winfx/WidePath.h"

struct IAccPropServices;

namespace winfx {

class AccessibleNames {
 public:
  AccessibleNames();
  ~AccessibleNames();
  AccessibleNames(const AccessibleNames&) = delete;
  AccessibleNames& operator=(const AccessibleNames&) = delete;

  // Names hwnd's client object for screen readers; returns what the services answered (S_OK,
  // or the failure: no services, a window that is gone, E_OUTOFMEMORY past kMostNamed).
  // Needs COM on this thread.
  HRESULT Set(HWND hwnd, const WideString& name);
  // Takes every name given back (before the windows go).
  void Clear();

 private:
  static constexpr int kMostNamed = 4;

  ComPtr<IAccPropServices> services_;
  HWND named_[kMostNamed] = {};
  int count_ = 0;
};

}  // namespace winfx
