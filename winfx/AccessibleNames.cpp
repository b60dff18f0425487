#include "winfx/AccessibleNames.h"

#include <oleacc.h>

namespace winfx {

namespace {

// The services' class and interface, and the name property (oleacc.h declares them; their
// definitions live in oleacc's import library, which the program does not link).
constexpr CLSID kAccPropServicesClass = {
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr IID kAccPropServicesInterface = {
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr GUID kNameProperty = {
    0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};

}  // namespace

AccessibleNames::AccessibleNames() = default;

AccessibleNames::~AccessibleNames() { Clear(); }

HRESULT AccessibleNames::Set(HWND hwnd, const WideString& name) {
  if (hwnd == nullptr || !::IsWindow(hwnd)) return E_INVALIDARG;
  if (count_ == kMostNamed) return E_OUTOFMEMORY;
  if (!services_) {
    const HRESULT created = ::CoCreateInstance(kAccPropServicesClass, nullptr, CLSCTX_INPROC_SERVER,
                                               kAccPropServicesInterface, services_.ReceiveVoid());
    if (FAILED(created)) return created;
  }
  const HRESULT set = services_->SetHwndPropStr(hwnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                                kNameProperty, name.c_str());
  if (SUCCEEDED(set)) named_[count_++] = hwnd;
  return set;
}

void AccessibleNames::Clear() {
  MSAAPROPID property = kNameProperty;
  for (int i = 0; i < count_; ++i) {
    services_->ClearHwndProps(named_[i], static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &property, 1);
  }
  count_ = 0;
  services_.Reset();
}

}  // namespace winfx
