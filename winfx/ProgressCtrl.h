// A progress bar control of a dialog, bound by its window handle.
#pragma once

#include <windows.h>

namespace winfx {

class ProgressCtrl {
 public:
  void Attach(HWND hwnd) { hwnd_ = hwnd; }
  HWND GetHwnd() const { return hwnd_; }

  // PBM_SETRANGE with low and high (0..65535).
  void SetRange(int low, int high);
  // PBM_SETPOS; returns the previous position.
  int SetPos(int position);

 private:
  HWND hwnd_ = nullptr;
};

}  // namespace winfx
