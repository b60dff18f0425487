// Application message boxes: the caption is always the application name.
#pragma once

#include <windows.h>

#include <string>

namespace winfx {

// Shows text in a modal box owned by the thread's active window (or none) with the
// application name as caption. Returns the button pressed (IDOK, IDCANCEL, ...).
int AppMessageBox(const std::string& text, UINT type = MB_OK);

}  // namespace winfx
