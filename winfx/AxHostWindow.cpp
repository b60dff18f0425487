#include "winfx/AxHostWindow.h"

#include <oleidl.h>

#include <string>

#include "winfx/WidePath.h"
#include "winfx/WindowClass.h"

namespace winfx {

// The container side of the in-place protocol: client site, in-place site and in-place
// frame in one object. It lives exactly as long as its host window, so its reference
// count only answers the control's AddRef/Release and never frees it.
class AxHostWindow::Site : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
 public:
  explicit Site(HWND host) : host_(host) {}
  virtual ~Site() = default;

  // IUnknown (shared by the three interfaces).
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
      *out = static_cast<IOleInPlaceFrame*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return refs_ > 1 ? --refs_ : 1; }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP GetContainer(IOleContainer** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (for both the in-place site and the frame): the host window.
  STDMETHODIMP GetWindow(HWND* out) override {
    *out = host_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                LPRECT position, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO info) override {
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *doc = nullptr;
    ::GetClientRect(host_, position);
    *clip = *position;
    info->fMDIApp = FALSE;
    info->hwndFrame = ::GetParent(host_);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleInPlaceUIWindow / IOleInPlaceFrame: no menus, tool space or accelerators.
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

 private:
  HWND host_;
  ULONG refs_ = 1;
};

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

bool AxHostWindow::TranslateAccelerator(MSG* msg) {
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
  site_ = std::make_unique<Site>(hwnd_);
  IOleClientSite* clientSite = static_cast<IOleClientSite*>(site_.get());
  control->SetClientSite(clientSite);
  RECT rect;
  ::GetClientRect(hwnd_, &rect);
  if (FAILED(control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, clientSite, 0, hwnd_, &rect))) {
    control->Close(OLECLOSE_NOSAVE);
    control->SetClientSite(nullptr);
    return;
  }
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
  if (!control_) return;
  ComPtr<IOleInPlaceObject> inPlace = control_.QueryInterface<IOleInPlaceObject>(IID_IOleInPlaceObject);
  if (inPlace) inPlace->InPlaceDeactivate();
  control_->Close(OLECLOSE_NOSAVE);
  control_->SetClientSite(nullptr);
  control_.Reset();
}

}  // namespace winfx
