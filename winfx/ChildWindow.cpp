#include "winfx/ChildWindow.h"

#include "winfx/WidePath.h"
#include "winfx/WindowClass.h"

namespace winfx {

ChildWindow::ChildWindow() = default;

ChildWindow::~ChildWindow() { Destroy(); }

bool ChildWindow::Create(HWND parent, UINT id, DWORD style, const RECT& rect) {
  if (hwnd_ != nullptr) return false;
  RegisterWindowClass(kClassName, &ChildWindow::WindowProc);
  // WindowProc sets hwnd_ at WM_NCCREATE, so the handlers of the creation messages see it.
  HWND hwnd = ::CreateWindowExW(0, ToWide(kClassName).c_str(), L"", style, rect.left, rect.top,
                                rect.right - rect.left, rect.bottom - rect.top, parent,
                                reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                ::GetModuleHandleW(nullptr), this);
  return hwnd != nullptr;
}

void ChildWindow::Destroy() {
  if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
}

LRESULT ChildWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefaultHandling(message, wParam, lParam);
}

LRESULT ChildWindow::DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK ChildWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  ChildWindow* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<ChildWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<ChildWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  // Messages before WM_NCCREATE (WM_GETMINMAXINFO) have no object yet.
  if (self == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  LRESULT result = self->HandleMessage(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
  }
  return result;
}

}  // namespace winfx
