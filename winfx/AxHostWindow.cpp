#include "winfx/AxHostWindow.h"

#include <exdisp.h>
#include <oleidl.h>

#include <string>

#include "winfx/AxSite.h"
#include "winfx/UrlOrigin.h"
#include "winfx/WidePath.h"
#include "winfx/WindowClass.h"

namespace winfx {

void AxHostWindow::Register() { RegisterWindowClass(kClassName, &AxHostWindow::WindowProc); }

AxHostWindow* AxHostWindow::FromHwnd(HWND hwnd) {
  char className[32] = {};
  if (hwnd == nullptr || !::GetClassNameA(hwnd, className, sizeof(className)) ||
      lstrcmpiA(className, kClassName) != 0) {
    return nullptr;
  }
  return reinterpret_cast<AxHostWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

AxHostWindow::AxHostWindow(HWND hwnd) : hwnd_(hwnd) {}

AxHostWindow::~AxHostWindow() = default;

ComPtr<IDispatch> AxHostWindow::GetDispatch() const {
  return control_.QueryInterface<IDispatch>(IID_IDispatch);
}

void AxHostWindow::AllowOrigin(const wchar_t* url) {
  if (site_) site_->Guard()->SetAllowedOrigin(UrlOrigin(url));
}

bool AxHostWindow::TranslateAccelerator(MSG* msg) {
  // Swallowed here, the key reaches neither the control nor the dialog.
  if (AxSite::OpensAnotherWindow(*msg)) return true;
  ComPtr<IOleInPlaceActiveObject> active =
      control_.QueryInterface<IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject);
  return active && active->TranslateAccelerator(msg) == S_OK;
}

LRESULT CALLBACK AxHostWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  AxHostWindow* self = reinterpret_cast<AxHostWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    self = new AxHostWindow(hwnd);
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (self == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  LRESULT result = self->HandleMessage(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    delete self;
  }
  return result;
}

LRESULT AxHostWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      OnCreate();
      return 0;
    case WM_SIZE:
      OnSize();
      return 0;
    case WM_SETFOCUS:
      OnSetFocus();
      return 0;
    case WM_GETDLGCODE:
      // Arrow keys and characters go to the page; Tab, Enter and Esc stay the dialog's.
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    default:
      return ::DefWindowProcW(hwnd_, message, wParam, lParam);
  }
}

void AxHostWindow::OnCreate() {
  char text[64] = {};
  ::GetWindowTextA(hwnd_, text, sizeof(text));
  ::SetWindowTextA(hwnd_, "");
  CLSID clsid;
  if (FAILED(::CLSIDFromString(ToWide(text).c_str(), &clsid))) return;

  ComPtr<IOleObject> control;
  if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                control.ReceiveVoid()))) {
    return;
  }
  site_ = std::make_unique<AxSite>(hwnd_);
  IOleClientSite* clientSite = static_cast<IOleClientSite*>(site_.get());
  control->SetClientSite(clientSite);
  RECT rect;
  ::GetClientRect(hwnd_, &rect);
  if (FAILED(control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, clientSite, 0, hwnd_, &rect))) {
    control->Close(OLECLOSE_NOSAVE);
    control->SetClientSite(nullptr);
    return;
  }
  // A WebBrowser control reports its navigations to the guard (other controls offer no
  // such events, and nothing is connected).
  events_.Advise(control.Get(), DIID_DWebBrowserEvents2, static_cast<IDispatch*>(site_->Guard()));
  control_ = std::move(control);
}

void AxHostWindow::OnSize() {
  ComPtr<IOleInPlaceObject> inPlace = control_.QueryInterface<IOleInPlaceObject>(IID_IOleInPlaceObject);
  if (!inPlace) return;
  RECT rect;
  ::GetClientRect(hwnd_, &rect);
  inPlace->SetObjectRects(&rect, &rect);
}

void AxHostWindow::OnSetFocus() {
  // Tabbing onto the host hands the focus on to the control, which takes it into its page.
  if (!control_) return;
  RECT rect;
  ::GetClientRect(hwnd_, &rect);
  control_->DoVerb(OLEIVERB_UIACTIVATE, nullptr, static_cast<IOleClientSite*>(site_.get()), 0,
                   hwnd_, &rect);
}

void AxHostWindow::OnDestroy() {
  events_.Reset();
  if (!control_) return;
  ComPtr<IOleInPlaceObject> inPlace = control_.QueryInterface<IOleInPlaceObject>(IID_IOleInPlaceObject);
  if (inPlace) inPlace->InPlaceDeactivate();
  control_->Close(OLECLOSE_NOSAVE);
  control_->SetClientSite(nullptr);
  control_.Reset();
}

}  // namespace winfx
