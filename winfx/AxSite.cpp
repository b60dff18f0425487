#include "winfx/AxSite.h"

#include <mshtmdid.h>
#include <olectl.h>

namespace winfx {

// Pictures, videos and background sounds as a browser shows them (a host that answers
// this property must ask for them); no Java applets, ActiveX controls (neither downloaded
// nor run) or binary behaviours. Scripts stay on: the vendor's page may need them. File
// downloads have no flag here: the guard cancels them.
const DWORD AxSite::kDownloadControl = DLCTL_DLIMAGES | DLCTL_VIDEOS | DLCTL_BGSOUNDS |
                                       DLCTL_NO_JAVA | DLCTL_NO_DLACTIVEXCTLS |
                                       DLCTL_NO_RUNACTIVEXCTLS | DLCTL_NO_BEHAVIORS;

// No 3-D borders around the page or its frames; no help menu; scripts only while the page
// is active; protocols not known to be safe refused; redirects not followed inside the
// engine but handed back as navigations, so the guard sees their targets. Not set: opening
// links in a new window (DOCHOSTUIFLAG_OPENNEWWIN) and hiding the scroll bars
// (DOCHOSTUIFLAG_SCROLL_NO): the page shows the ones its length needs.
const DWORD AxSite::kHostUiFlags =
    DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_NO3DOUTERBORDER | DOCHOSTUIFLAG_DISABLE_HELP_MENU |
    DOCHOSTUIFLAG_DISABLE_SCRIPT_INACTIVE | DOCHOSTUIFLAG_DISABLE_UNTRUSTEDPROTOCOL |
    DOCHOSTUIFLAG_ENABLE_REDIRECT_NOTIFICATION;

AxSite::AxSite(HWND host) : host_(host), guard_(ComPtr<OriginGuard>::Adopt(new OriginGuard())) {}

AxSite::~AxSite() = default;

bool AxSite::OpensAnotherWindow(const MSG& msg) {
  if (msg.message != WM_KEYDOWN) return false;
  if (::GetKeyState(VK_CONTROL) >= 0 || ::GetKeyState(VK_MENU) < 0) return false;
  switch (msg.wParam) {
    case 'N':  // a new browser window
    case 'O':  // the "open" address box
    case 'L':
    case 'P':  // the print dialog
      return true;
    default:
      return false;
  }
}

STDMETHODIMP AxSite::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
    *out = static_cast<IOleClientSite*>(this);
  } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
    *out = static_cast<IOleInPlaceSite*>(this);
  } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
    *out = static_cast<IOleInPlaceFrame*>(this);
  } else if (iid == IID_IDocHostUIHandler) {
    *out = static_cast<IDocHostUIHandler*>(this);
  } else if (iid == IID_IDispatch) {
    *out = static_cast<IDispatch*>(this);
  } else if (iid == IID_IServiceProvider) {
    *out = static_cast<IServiceProvider*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP AxSite::GetContainer(IOleContainer** out) {
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP AxSite::GetWindow(HWND* out) {
  *out = host_;
  return S_OK;
}

STDMETHODIMP AxSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                      LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
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

STDMETHODIMP AxSite::GetHostInfo(DOCHOSTUIINFO* info) {
  if (info == nullptr) return E_POINTER;
  info->dwFlags = kHostUiFlags;
  info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
  return S_OK;
}

STDMETHODIMP AxSite::TranslateAccelerator(LPMSG msg, const GUID*, DWORD) {
  // S_OK: handled, so the engine does not act on it.
  return msg != nullptr && OpensAnotherWindow(*msg) ? S_OK : S_FALSE;
}

STDMETHODIMP AxSite::GetOptionKeyPath(LPOLESTR* key, DWORD) {
  if (key != nullptr) *key = nullptr;
  return S_FALSE;
}

STDMETHODIMP AxSite::GetExternal(IDispatch** out) {
  // The page's window.external is null: the host offers scripts nothing.
  if (out != nullptr) *out = nullptr;
  return S_FALSE;
}

STDMETHODIMP AxSite::TranslateUrl(DWORD, LPWSTR, LPWSTR* out) {
  if (out != nullptr) *out = nullptr;
  return S_FALSE;
}

STDMETHODIMP AxSite::FilterDataObject(IDataObject*, IDataObject** out) {
  if (out != nullptr) *out = nullptr;
  return S_FALSE;
}

STDMETHODIMP AxSite::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP AxSite::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP AxSite::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result,
                            EXCEPINFO*, UINT*) {
  if (id != DISPID_AMBIENT_DLCONTROL || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  if (result == nullptr) return E_POINTER;
  V_VT(result) = VT_I4;
  V_I4(result) = static_cast<LONG>(kDownloadControl);
  return S_OK;
}

STDMETHODIMP AxSite::QueryService(REFGUID service, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (service != SID_SInternetSecurityManager) return E_NOINTERFACE;
  return guard_->QueryInterface(iid, out);
}

}  // namespace winfx
