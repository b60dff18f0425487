#include "screens/CWebBrowser2.h"

#include <oleauto.h>

#include "winfx/AxHostWindow.h"
#include "winfx/ScopedCom.h"
#include "winfx/WidePath.h"

namespace {

// A VARIANT* argument passed by reference, as a null pointer when the caller gives none.
VARIANTARG ByRefVariant(VARIANT* value) {
  VARIANTARG arg;
  ::VariantInit(&arg);
  V_VT(&arg) = VT_VARIANT | VT_BYREF;
  V_VARIANTREF(&arg) = value;
  return arg;
}

}  // namespace

void CWebBrowser2::AllowOnlyOriginOf(const std::string& url) {
  winfx::AxHostWindow* host = winfx::AxHostWindow::FromHwnd(m_hWnd);
  if (host != nullptr) host->AllowOrigin(winfx::ToWide(url).c_str());
}

void CWebBrowser2::Navigate(const std::string& url, VARIANT* flags, VARIANT* targetFrameName,
                            VARIANT* postData, VARIANT* headers) {
  winfx::ScopedBstr address(winfx::ToWide(url));
  // IDispatch takes the arguments last to first.
  VARIANTARG args[5];
  args[4].vt = VT_BSTR;
  args[4].bstrVal = address.Get();
  args[3] = ByRefVariant(flags);
  args[2] = ByRefVariant(targetFrameName);
  args[1] = ByRefVariant(postData);
  args[0] = ByRefVariant(headers);
  DISPPARAMS params = {args, nullptr, 5, 0};
  Invoke(kNavigateDispId, DISPATCH_METHOD, &params);
}

void CWebBrowser2::SetSilent(bool silent) {
  VARIANTARG value;
  ::VariantInit(&value);
  V_VT(&value) = VT_BOOL;
  V_BOOL(&value) = silent ? VARIANT_TRUE : VARIANT_FALSE;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {&value, &named, 1, 1};
  Invoke(kSilentDispId, DISPATCH_PROPERTYPUT, &params);
}

void CWebBrowser2::Invoke(DISPID id, WORD kind, DISPPARAMS* params) {
  winfx::AxHostWindow* host = winfx::AxHostWindow::FromHwnd(m_hWnd);
  if (host == nullptr) return;
  winfx::ComPtr<IDispatch> dispatch = host->GetDispatch();
  if (!dispatch) return;
  dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, params, nullptr, nullptr, nullptr);
}
