#include "winfx/ProgressCtrl.h"

#include <commctrl.h>

namespace winfx {

void ProgressCtrl::SetRange(int low, int high) {
  ::SendMessageA(hwnd_, PBM_SETRANGE, 0, MAKELPARAM(low, high));
}

int ProgressCtrl::SetPos(int position) {
  return static_cast<int>(::SendMessageA(hwnd_, PBM_SETPOS, static_cast<WPARAM>(position), 0));
}

}  // namespace winfx
