// Screen-reader names by dynamic annotation: the calls the screen makes, on a real window,
// and the name a client reads back where the system's accessibility services answer it.
#include "winfx/AccessibleNames.h"

#include <gtest/gtest.h>
#include <oleacc.h>

#include "winfx/ScopedCom.h"
#include "winfx/ScopedHandle.h"

namespace {

// The name a screen reader gets for hwnd's client object; "" when none.
std::wstring ClientName(HWND hwnd) {
  winfx::ComPtr<IAccessible> object;
  if (FAILED(::AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                          object.ReceiveVoid()))) {
    return L"(no object)";
  }
  VARIANT self;
  ::VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  if (FAILED(object->get_accName(self, &name)) || name == nullptr) return L"";
  std::wstring text(name, ::SysStringLen(name));
  ::SysFreeString(name);
  return text;
}

// Wine's accessibility services are created, but keep no annotation (E_NOTIMPL).
bool UnderWine() {
  return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

TEST(AccessibleNamesTest, AButtonIsNamedWithoutChangingItsText) {
  winfx::CoInitialization com;
  winfx::ScopedWindow button(::CreateWindowExW(0, L"BUTTON", L"...", WS_POPUP | BS_PUSHBUTTON, 0,
                                               0, 40, 20, nullptr, nullptr, nullptr, nullptr));
  ASSERT_TRUE(button);
  {
    winfx::AccessibleNames names;
    const HRESULT set = names.Set(button.Get(), L"설치 폴더 찾아보기");
    RecordProperty("SetHwndPropStr", static_cast<int>(set));
    // The services came from their registration (a class that is not there would answer
    // REGDB_E_CLASSNOTREG); only Wine's do not keep the name.
    EXPECT_EQ(UnderWine() ? E_NOTIMPL : S_OK, set);
    if (set == S_OK) {
      EXPECT_EQ(L"설치 폴더 찾아보기", ClientName(button.Get()));
    }
    wchar_t text[16] = {};
    ::GetWindowTextW(button.Get(), text, 16);
    EXPECT_STREQ(L"...", text);
  }
  // Cleared with the names' owner: the window's own text answers again.
  EXPECT_EQ(L"...", ClientName(button.Get()));
}

TEST(AccessibleNamesTest, AWindowThatIsGoneIsRefused) {
  winfx::CoInitialization com;
  HWND gone = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                                nullptr);
  ::DestroyWindow(gone);
  winfx::AccessibleNames names;
  EXPECT_EQ(E_INVALIDARG, names.Set(gone, L"x"));
}

}  // namespace
