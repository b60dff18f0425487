// Keeps a hosted WebBrowser control to the pages of one origin, in two roles of one COM
// object: the security manager the control asks for through its site (every address but
// the allowed origin's is in the Restricted zone: no script, no ActiveX, no downloads
// there), and the sink of the control's DWebBrowserEvents2 (navigations elsewhere,
// new windows, file downloads and error pages are cancelled). Its reference count frees
// it; owners hold it in a ComPtr (ComPtr::Adopt after new).
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <urlmon.h>

#include "winfx/UrlOrigin.h"

namespace winfx {

class OriginGuard final : public IInternetSecurityManager, public IDispatch {
 public:
  // Allows nothing until SetAllowedOrigin.
  OriginGuard() = default;
  OriginGuard(const OriginGuard&) = delete;
  OriginGuard& operator=(const OriginGuard&) = delete;

  // From now on the pages of origin are allowed (an empty origin allows none).
  void SetAllowedOrigin(const UrlOrigin& origin) { allowed_ = origin; }

  // IUnknown (shared by both roles; IDispatch answers for DIID_DWebBrowserEvents2 too).
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IInternetSecurityManager: the allowed origin keeps the system's own mapping; every
  // other address, whatever its scheme, is URLZONE_UNTRUSTED. The rest is the default.
  STDMETHODIMP SetSecuritySite(IInternetSecurityMgrSite* site) override;
  STDMETHODIMP GetSecuritySite(IInternetSecurityMgrSite** site) override;
  STDMETHODIMP MapUrlToZone(LPCWSTR url, DWORD* zone, DWORD flags) override;
  STDMETHODIMP GetSecurityId(LPCWSTR url, BYTE* id, DWORD* size, DWORD_PTR reserved) override;
  STDMETHODIMP ProcessUrlAction(LPCWSTR url, DWORD action, BYTE* policy, DWORD policySize,
                                BYTE* context, DWORD contextSize, DWORD flags,
                                DWORD reserved) override;
  STDMETHODIMP QueryCustomPolicy(LPCWSTR url, REFGUID key, BYTE** policy, DWORD* policySize,
                                 BYTE* context, DWORD contextSize, DWORD reserved) override;
  STDMETHODIMP SetZoneMapping(DWORD zone, LPCWSTR pattern, DWORD flags) override;
  STDMETHODIMP GetZoneMappings(DWORD zone, IEnumString** patterns, DWORD flags) override;

  // IDispatch: the events of DWebBrowserEvents2 (no type information).
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

 private:
  ~OriginGuard() = default;

  UrlOrigin allowed_;
  ULONG refs_ = 1;
};

}  // namespace winfx
