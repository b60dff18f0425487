#include "winfx/MessageBox.h"

#include "winfx/AppInfo.h"
#include "winfx/WidePath.h"
#include "winfx/WinApp.h"

namespace winfx {

HWND MessageBoxOwner() {
  HWND main = WinApp::Current() != nullptr ? WinApp::Current()->MainWindow() : nullptr;
  if (main == nullptr) return ::GetActiveWindow();
  HWND popup = ::GetLastActivePopup(main);
  return popup != nullptr ? popup : main;
}

int OwnedMessageBox(const std::string& text, const std::string& caption, UINT type) {
  return ::MessageBoxW(MessageBoxOwner(), ToWide(text).c_str(), ToWide(caption).c_str(), type);
}

UINT AppMessageBoxType(UINT type) {
  const UINT buttons = type & MB_TYPEMASK;
  if ((type & MB_ICONMASK) == 0 && (buttons == MB_OK || buttons == MB_OKCANCEL)) {
    type |= MB_ICONEXCLAMATION;
  }
  return type;
}

int AppMessageBox(const std::string& text, UINT type) {
  return OwnedMessageBox(text, AppName(), AppMessageBoxType(type));
}

}  // namespace winfx
