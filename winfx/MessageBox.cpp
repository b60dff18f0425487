#include "winfx/MessageBox.h"

#include "winfx/AppInfo.h"
#include "winfx/WinApp.h"

namespace winfx {

HWND MessageBoxOwner() {
  HWND main = WinApp::Current() != nullptr ? WinApp::Current()->MainWindow() : nullptr;
  if (main == nullptr) return ::GetActiveWindow();
  HWND popup = ::GetLastActivePopup(main);
  return popup != nullptr ? popup : main;
}

int OwnedMessageBox(const std::string& text, const std::string& caption, UINT type) {
  return ::MessageBoxA(MessageBoxOwner(), text.c_str(), caption.c_str(), type);
}

int AppMessageBox(const std::string& text, UINT type) { return OwnedMessageBox(text, AppName(), type); }

}  // namespace winfx
