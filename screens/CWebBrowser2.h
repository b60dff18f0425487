// CWebBrowser2: drives the WebBrowser ActiveX control hosted in a dialog (a winfx
// AxHostWindow) through its dispatch interface IWebBrowser2, one IDispatch::Invoke per
// member. The installer sets Silent and calls Navigate, after it has allowed the control
// the pages of the agreement's origin only.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

class CWebBrowser2 {
 public:
  // Dispatch id of IWebBrowser2::Navigate.
  static constexpr DISPID kNavigateDispId = 104;
  // Dispatch id of the IWebBrowser2::Silent property.
  static constexpr DISPID kSilentDispId = 551;

  // Binds to the control's host window (a child of the dialog); null unbinds.
  void Attach(HWND host) { m_hWnd = host; }
  HWND GetHwnd() const { return m_hWnd; }

  // From now on the control shows the pages of url's origin (its scheme, host and port)
  // only: it is kept from every other address (see winfx::AxHostWindow::AllowOrigin).
  void AllowOnlyOriginOf(const std::string& url);

  // Silent: true keeps the control's own dialogs (script errors among them) from showing.
  void SetSilent(bool silent);

  // Opens url (ANSI) in the control. Each VARIANT pointer (flags, target frame name,
  // post data, headers) may be null. Does nothing when no control runs in the host.
  void Navigate(const std::string& url, VARIANT* flags, VARIANT* targetFrameName,
                VARIANT* postData, VARIANT* headers);

 private:
  // IDispatch::Invoke of member id on the control; nothing when no control runs.
  void Invoke(DISPID id, WORD kind, DISPPARAMS* params);

  HWND m_hWnd = nullptr;
};
