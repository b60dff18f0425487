#include "winfx/WindowClass.h"

#include "winfx/WidePath.h"

namespace winfx {

void RegisterWindowClass(const char* name, WNDPROC windowProc) {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  // A Unicode class: its windows get their texts and messages as UTF-16.
  const WideString wideName = ToWide(name);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  if (::GetClassInfoExW(instance, wideName.c_str(), &wc)) return;
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = windowProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = wideName.c_str();
  ::RegisterClassExW(&wc);
}

}  // namespace winfx
