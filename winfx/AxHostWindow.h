// Hosts an ActiveX control in place inside a child window. A dialog template names the
// window class kClassName with the control's class id as the window text, e.g.
//   CONTROL "{8856F961-340A-11D0-A96B-00C04FD705A2}", 1007, "WinFxAxHost", WS_CHILD, ...
// and the control is created and in-place activated at that rectangle when the dialog
// is built. A control that cannot be created leaves the window as an empty area.
//
// A hosted WebBrowser control is kept on a leash (see AxSite and OriginGuard): no context
// menu, new windows, downloads, ActiveX or Java, and pages only of the origin allowed with
// AllowOrigin; until then none.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <ole2.h>

#include <memory>

#include "winfx/ScopedCom.h"

namespace winfx {

class AxSite;

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

  // Lets the hosted browser show the pages of url's origin (its scheme, host and port) and
  // no others; a url that is no plain http:// or https:// address allows none.
  void AllowOrigin(const wchar_t* url);

  // Offers a key message to the control (IOleInPlaceActiveObject::TranslateAccelerator),
  // so that keys reach its page; true when the control used it, and for the keys that
  // would open another window (AxSite::OpensAnotherWindow), which the control never sees.
  bool TranslateAccelerator(MSG* msg);

  ~AxHostWindow();
  AxHostWindow(const AxHostWindow&) = delete;
  AxHostWindow& operator=(const AxHostWindow&) = delete;

 private:
  explicit AxHostWindow(HWND hwnd);
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void OnCreate();
  void OnSize();
  void OnSetFocus();
  void OnDestroy();

  HWND hwnd_;
  std::unique_ptr<AxSite> site_;
  ComPtr<IOleObject> control_;
  // The guard's connection to the control's DWebBrowserEvents2.
  ScopedAdvise events_;
};

}  // namespace winfx
