// Message boxes of the application: each is owned by the main window's last active popup,
// so it is modal to what the operator sees of the program whatever window is active.
#pragma once

#include <windows.h>

#include <string>

namespace winfx {

// The owner for a box of the application: the main window's last active popup (the
// main window itself when it has none); the thread's active window when no main window
// runs (tests); null when there is neither.
HWND MessageBoxOwner();

// Shows text in a modal box owned by MessageBoxOwner() with caption. Returns the button
// pressed (IDOK, IDCANCEL, ...).
int OwnedMessageBox(const std::string& text, const std::string& caption, UINT type = MB_OK);

// OwnedMessageBox with the application name as caption.
int AppMessageBox(const std::string& text, UINT type = MB_OK);

}  // namespace winfx
