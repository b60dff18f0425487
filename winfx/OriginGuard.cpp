#include "winfx/OriginGuard.h"

#include <exdisp.h>
#include <exdispid.h>

namespace winfx {

namespace {

// The text of an event's string argument, passed as a BSTR or by reference to a VARIANT
// holding one; null when it is none.
const wchar_t* TextOf(const VARIANT& value) {
  if (V_VT(&value) == VT_BSTR) return V_BSTR(&value);
  if (V_VT(&value) == (VT_BYREF | VT_BSTR)) return V_BSTRREF(&value) ? *V_BSTRREF(&value) : nullptr;
  if (V_VT(&value) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&value) != nullptr &&
      V_VT(V_VARIANTREF(&value)) == VT_BSTR) {
    return V_BSTR(V_VARIANTREF(&value));
  }
  return nullptr;
}

// Argument `position` of an event, counted as declared (IDispatch passes them last first);
// null when the event has fewer.
const VARIANT* Argument(const DISPPARAMS* params, UINT position) {
  if (params == nullptr || position >= params->cArgs) return nullptr;
  return &params->rgvarg[params->cArgs - 1 - position];
}

// Sets the event's Cancel argument (VARIANT_BOOL by reference) at position.
void Cancel(const DISPPARAMS* params, UINT position) {
  const VARIANT* cancel = Argument(params, position);
  if (cancel != nullptr && V_VT(cancel) == (VT_BYREF | VT_BOOL) && V_BOOLREF(cancel) != nullptr) {
    *V_BOOLREF(cancel) = VARIANT_TRUE;
  }
}

// The last argument is Cancel in every event cancelled here but NewWindow3.
void CancelLast(const DISPPARAMS* params) {
  if (params != nullptr && params->cArgs > 0) Cancel(params, params->cArgs - 1);
}

}  // namespace

STDMETHODIMP OriginGuard::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IInternetSecurityManager) {
    *out = static_cast<IInternetSecurityManager*>(this);
  } else if (iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
    *out = static_cast<IDispatch*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) OriginGuard::AddRef() { return ++refs_; }

STDMETHODIMP_(ULONG) OriginGuard::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP OriginGuard::SetSecuritySite(IInternetSecurityMgrSite*) { return INET_E_DEFAULT_ACTION; }

STDMETHODIMP OriginGuard::GetSecuritySite(IInternetSecurityMgrSite** site) {
  if (site != nullptr) *site = nullptr;
  return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP OriginGuard::MapUrlToZone(LPCWSTR url, DWORD* zone, DWORD) {
  if (allowed_.Matches(url)) return INET_E_DEFAULT_ACTION;
  if (zone == nullptr) return E_INVALIDARG;
  *zone = URLZONE_UNTRUSTED;
  return S_OK;
}

STDMETHODIMP OriginGuard::GetSecurityId(LPCWSTR, BYTE*, DWORD*, DWORD_PTR) {
  return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP OriginGuard::ProcessUrlAction(LPCWSTR, DWORD, BYTE*, DWORD, BYTE*, DWORD, DWORD, DWORD) {
  return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP OriginGuard::QueryCustomPolicy(LPCWSTR, REFGUID, BYTE**, DWORD*, BYTE*, DWORD, DWORD) {
  return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP OriginGuard::SetZoneMapping(DWORD, LPCWSTR, DWORD) { return INET_E_DEFAULT_ACTION; }

STDMETHODIMP OriginGuard::GetZoneMappings(DWORD, IEnumString** patterns, DWORD) {
  if (patterns != nullptr) *patterns = nullptr;
  return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP OriginGuard::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP OriginGuard::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP OriginGuard::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

STDMETHODIMP OriginGuard::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                 EXCEPINFO*, UINT*) {
  switch (id) {
    case DISPID_BEFORENAVIGATE2: {
      // (pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel), for the page and
      // for each of its frames.
      const VARIANT* url = Argument(params, 1);
      if (url == nullptr || !allowed_.Matches(TextOf(*url))) CancelLast(params);
      return S_OK;
    }
    case DISPID_NEWWINDOW2:  // (ppDisp, Cancel)
      CancelLast(params);
      return S_OK;
    case DISPID_NEWWINDOW3:  // (ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl)
      Cancel(params, 1);
      return S_OK;
    case DISPID_FILEDOWNLOAD: {
      // (ActiveDocument, Cancel): the control announces the pages it shows this way too
      // (ActiveDocument true); only a file to be saved or run is cancelled.
      const VARIANT* document = params != nullptr && params->cArgs >= 2 ? Argument(params, 0) : nullptr;
      const bool isDocument = document != nullptr && V_VT(document) == VT_BOOL &&
                              V_BOOL(document) != VARIANT_FALSE;
      if (!isDocument) CancelLast(params);
      return S_OK;
    }
    case DISPID_NAVIGATEERROR:
      // (pDisp, URL, TargetFrameName, StatusCode, Cancel): no error page with its links;
      // the area stays as it was (blank before the agreement page has come).
      CancelLast(params);
      return S_OK;
    default:
      return S_OK;
  }
}

}  // namespace winfx
