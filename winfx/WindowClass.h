// Window classes of this module.
#pragma once

#include <windows.h>

namespace winfx {

// Registers the window class name (ASCII) as a Unicode class with windowProc, an arrow cursor and the window colour
// as background, unless a class of that name is registered already.
void RegisterWindowClass(const char* name, WNDPROC windowProc);

}  // namespace winfx
