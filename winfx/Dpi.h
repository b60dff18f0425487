// DPI for windows that draw for themselves: the DPI a window is shown at, lengths and system
// metrics at a DPI, and what WM_DPICHANGED tells. Works on every Windows from Vista on (the
// per-monitor functions are looked up at run time) and under Wine.
#pragma once

#include <windows.h>

namespace winfx {

// 100 %: the DPI that lengths given in pixels are meant for.
constexpr UINT kDefaultDpi = 96;

// The DPI window is shown at: GetDpiForWindow where user32 has it (Windows 10 1607 on,
// Wine), else the screen's LOGPIXELSY; kDefaultDpi when neither answers.
UINT WindowDpi(HWND window);

// value, a length in pixels at kDefaultDpi, at dpi: rounded to the nearest pixel.
int ScaleToDpi(int value, UINT dpi);

// A system metric (SM_CXICON, ...) at dpi: GetSystemMetricsForDpi where user32 has it, else
// the metric at the system's DPI scaled to dpi.
int SystemMetricForDpi(int index, UINT dpi);

// The new DPI that WM_DPICHANGED's wParam carries.
inline UINT DpiOfChange(WPARAM wParam) { return HIWORD(wParam); }

// Moves and sizes window to the rectangle WM_DPICHANGED suggests (its lParam, in screen
// coordinates), without activating it or changing its place in the z-order.
void TakeSuggestedRect(HWND window, LPARAM lParam);

}  // namespace winfx
