// CWebBrowser2: drives the WebBrowser ActiveX control hosted in a dialog (a winfx
// AxHostWindow) through its dispatch interface IWebBrowser2, one IDispatch::Invoke per
// member. Only Navigate is used by the installer.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

class CWebBrowser2 {
 public:
  // Dispatch id of IWebBrowser2::Navigate.
  static constexpr DISPID kNavigateDispId = 104;

  // Binds to the control's host window (a child of the dialog); null unbinds.
  void Attach(HWND host) { m_hWnd = host; }
  HWND GetHwnd() const { return m_hWnd; }

  // Opens url (ANSI) in the control. Each VARIANT pointer (flags, target frame name,
  // post data, headers) may be null. Does nothing when no control runs in the host.
  void Navigate(const std::string& url, VARIANT* flags, VARIANT* targetFrameName,
                VARIANT* postData, VARIANT* headers);

 private:
  HWND m_hWnd = nullptr;
};
