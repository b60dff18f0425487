#include "winfx/WinApp.h"

#include <commctrl.h>

#include "winfx/AxHostWindow.h"
#include "winfx/Dialog.h"
#include "winfx/DllSearch.h"
#include "winfx/ScopedCom.h"

namespace winfx {

namespace {
WinApp* g_app = nullptr;
}  // namespace

WinApp::WinApp() { g_app = this; }

WinApp::~WinApp() {
  if (g_app == this) g_app = nullptr;
}

WinApp* WinApp::Current() { return g_app; }

HWND WinApp::MainWindow() const { return mainDialog_ != nullptr ? mainDialog_->GetHwnd() : nullptr; }

int WinApp::Run() {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  if (!InitInstance()) return 0;
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

bool WinApp::EnableControlContainer() {
  if (!ole_) ole_ = std::make_unique<OleInitialization>();
  AxHostWindow::Register();
  return ole_->Succeeded();
}

}  // namespace winfx

// The entry point of every program built on this layer: it restricts where DLLs are loaded
// from before any window or COM call can load one, then runs the one application object.
// (The static constructors that ran before it load no DLL.)
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  winfx::RestrictDllSearch();
  winfx::WinApp* app = winfx::WinApp::Current();
  return app != nullptr ? app->Run() : 1;
}
