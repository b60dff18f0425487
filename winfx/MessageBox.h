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

// Shows text in a modal box owned by MessageBoxOwner() with caption (both code page 949,
// shown as UTF-16). Returns the button pressed (IDOK, IDCANCEL, ...). A window's own box:
// type is shown as it is.
int OwnedMessageBox(const std::string& text, const std::string& caption, UINT type = MB_OK);

// OwnedMessageBox with the application name as caption, the application's box: an OK or
// OK/Cancel box that names no icon gets the exclamation icon (and its sound).
int AppMessageBox(const std::string& text, UINT type = MB_OK);

// type as AppMessageBox shows it.
UINT AppMessageBoxType(UINT type);

}  // namespace winfx
