// Hosts an ActiveX control in place inside a child window. A dialog template names the
// window class kClassName with the control's class id as the window text, e.g.
//   CONTROL "{8856F961-340A-11D0-A96B-00C04FD705A2}", 1007, "WinFxAxHost", WS_CHILD, ...
// and the control is created and in-place activated at that rectangle when the dialog
// is built. A control that cannot be created leaves the window as an empty area.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <ole2.h>

#include <memory>

#include "winfx/ScopedCom.h"

namespace winfx {

class AxHostWindow {
 public:
  static constexpr char kClassName[] = "WinFxAxHost";

  // Registers the window class once per process. Needs OLE initialised on the thread
  // that creates the windows (WinApp::EnableControlContainer does both).
  static void Register();

  // The host behind a window of kClassName, or null.
  static AxHostWindow* FromHwnd(HWND hwnd);

  // The hosted control's dispatch interface; empty when no control runs.
  ComPtr<IDispatch> GetDispatch() const;

  // Offers a key message to the control (IOleInPlaceActiveObject::TranslateAccelerator),
  // so that keys reach its page; true when the control used it.
  bool TranslateAccelerator(MSG* msg);

  ~AxHostWindow();
  AxHostWindow(const AxHostWindow&) = delete;
  AxHostWindow& operator=(const AxHostWindow&) = delete;

 private:
  class Site;

  explicit AxHostWindow(HWND hwnd);
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void OnCreate();
  void OnSize();
  void OnSetFocus();
  void OnDestroy();

  HWND hwnd_;
  std::unique_ptr<Site> site_;
  ComPtr<IOleObject> control_;
};

}  // namespace winfx
