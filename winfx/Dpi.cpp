#include "winfx/Dpi.h"

#include "winfx/ScopedGdi.h"

namespace winfx {

namespace {

// A function of user32 that older systems lack, or null there. user32 is loaded in every
// program with windows, so nothing is loaded here.
template <typename Function>
Function User32Function(const char* name) {
  HMODULE user32 = ::GetModuleHandleA("user32.dll");
  // Through void*: a FARPROC and the function's own type have different signatures.
  return user32 != nullptr
             ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(user32, name)))
             : nullptr;
}

UINT ScreenDpi() {
  ScopedGetDC screen(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen.Get(), LOGPIXELSY) : 0;
  return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

}  // namespace

UINT WindowDpi(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  const auto getDpiForWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
  const UINT dpi = getDpiForWindow != nullptr ? getDpiForWindow(window) : 0;
  return dpi != 0 ? dpi : ScreenDpi();
}

int ScaleToDpi(int value, UINT dpi) { return ::MulDiv(value, static_cast<int>(dpi), kDefaultDpi); }

int SystemMetricForDpi(int index, UINT dpi) {
  using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);
  const auto getSystemMetricsForDpi =
      User32Function<GetSystemMetricsForDpiFunction>("GetSystemMetricsForDpi");
  if (getSystemMetricsForDpi != nullptr) return getSystemMetricsForDpi(index, dpi);
  return ::MulDiv(::GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(ScreenDpi()));
}

void TakeSuggestedRect(HWND window, LPARAM lParam) {
  const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
  if (suggested == nullptr) return;
  ::SetWindowPos(window, nullptr, suggested->left, suggested->top,
                 suggested->right - suggested->left, suggested->bottom - suggested->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace winfx
