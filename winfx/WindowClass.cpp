#include "winfx/WindowClass.h"

namespace winfx {

void RegisterWindowClass(const char* name, WNDPROC windowProc) {
  HINSTANCE instance = ::GetModuleHandleA(nullptr);
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof(wc);
  if (::GetClassInfoExA(instance, name, &wc)) return;
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = windowProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = name;
  ::RegisterClassExA(&wc);
}

}  // namespace winfx
