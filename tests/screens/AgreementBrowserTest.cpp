// The agreement browser on its leash: the real WebBrowser control hosted by
// winfx::AxHostWindow in this test program, driven through CWebBrowser2 against the
// loopback vendor server. (Wine has no HTML engine here: pages are fetched, never drawn.)
#include <windows.h>
#include <exdisp.h>
#include <exdispid.h>
#include <mshtmdid.h>
#include <mshtmhst.h>
#include <servprov.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <string>
#include <vector>

#include "app/ProductConstants.h"
#include "screens/CWebBrowser2.h"
#include "tests/support/InstallerFixture.h"
#include "winfx/AxHostWindow.h"
#include "winfx/AxSite.h"
#include "winfx/ScopedCom.h"
#include "winfx/WidePath.h"

namespace {

using winfx::ComPtr;

constexpr char kWebBrowserClsid[] = "{8856F961-340A-11D0-A96B-00C04FD705A2}";

// Pumps this thread's messages (the control works through them) until done() or timeoutMs.
// Each message goes to first (when given) before it is dispatched; true from first keeps it
// from being dispatched, as a modal loop does with the keys a host keeps.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs,
               const std::function<bool(MSG*)>& first = nullptr) {
  const DWORD start = ::GetTickCount();
  while (!done()) {
    const DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= timeoutMs) return false;
    // Woken by a message; the server's log is read again at least every 50 ms.
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(50, timeoutMs - elapsed), QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (first && first(&msg)) continue;
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }
  return true;
}

// Presses (and releases) the keys in order, as a person would, holding Ctrl for those
// marked so.
void PressKeys(const std::vector<std::pair<WORD, bool>>& keys) {
  std::vector<INPUT> inputs;
  auto add = [&](WORD vk, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
  };
  for (const auto& key : keys) {
    if (key.second) add(VK_CONTROL, false);
    add(key.first, false);
    add(key.first, true);
    if (key.second) add(VK_CONTROL, true);
  }
  ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// A second DWebBrowserEvents2 sink, connected after the host's own: it sees each
// BeforeNavigate2 once the host's guard has decided, and records the address and whether
// the navigation was cancelled.
class NavigationRecorder final : public IDispatch {
 public:
  struct Navigation {
    std::wstring url;
    bool cancelled;
  };
  std::vector<Navigation> navigations;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDispatch && iid != DIID_DWebBrowserEvents2) return E_NOINTERFACE;
    *out = static_cast<IDispatch*>(this);
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    if (id != DISPID_BEFORENAVIGATE2 || params->cArgs != 7) return S_OK;
    const VARIANT& url = params->rgvarg[5];
    const VARIANT* text = V_VT(&url) == (VT_BYREF | VT_VARIANT) ? V_VARIANTREF(&url) : &url;
    navigations.push_back({V_VT(text) == VT_BSTR && V_BSTR(text) ? V_BSTR(text) : L"",
                           *V_BOOLREF(&params->rgvarg[0]) == VARIANT_TRUE});
    return S_OK;
  }
};

class AgreementBrowserTest : public testing_support::InstallerFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ole_.Succeeded());
    winfx::AxHostWindow::Register();
    parent_ = ::CreateWindowExA(0, "STATIC", "agreement", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300,
                                nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, parent_);
    hostWindow_ = ::CreateWindowExA(0, winfx::AxHostWindow::kClassName, kWebBrowserClsid,
                                    WS_CHILD | WS_VISIBLE, 0, 0, 400, 300, parent_, nullptr,
                                    nullptr, nullptr);
    winfx::AxHostWindow* host = winfx::AxHostWindow::FromHwnd(hostWindow_);
    ASSERT_NE(nullptr, host);
    dispatch_ = host->GetDispatch();
    ASSERT_TRUE(dispatch_) << "no WebBrowser control";
    browser_.Attach(hostWindow_);
  }
  void TearDown() override {
    events_.Reset();
    if (parent_ != nullptr) ::DestroyWindow(parent_);
  }

  // The client site the host gave the control, asked for interface iid.
  template <typename T>
  ComPtr<T> SiteInterface(REFIID iid) {
    ComPtr<IOleObject> control = dispatch_.QueryInterface<IOleObject>(IID_IOleObject);
    ComPtr<IOleClientSite> site;
    if (control) control->GetClientSite(site.Receive());
    return site.QueryInterface<T>(iid);
  }

  static std::string AgreementUrl() { return std::string(product::kServerUrl) + product::kAgreementPath; }

  winfx::OleInitialization ole_;
  HWND parent_ = nullptr;
  HWND hostWindow_ = nullptr;
  ComPtr<IDispatch> dispatch_;
  CWebBrowser2 browser_;
  NavigationRecorder recorder_;
  winfx::ScopedAdvise events_;
};

TEST_F(AgreementBrowserTest, TheSiteAnswersForTheHostWithNoActiveXJavaOrBehaviours) {
  EXPECT_TRUE(SiteInterface<IDocHostUIHandler>(IID_IDocHostUIHandler));
  ComPtr<IServiceProvider> services = SiteInterface<IServiceProvider>(IID_IServiceProvider);
  ASSERT_TRUE(services);
  ComPtr<IInternetSecurityManager> manager;
  ASSERT_EQ(S_OK, services->QueryService(SID_SInternetSecurityManager, IID_IInternetSecurityManager,
                                         manager.ReceiveVoid()));
  // Nothing is allowed yet: even the agreement page is in the Restricted zone.
  DWORD zone = 0;
  EXPECT_EQ(S_OK, manager->MapUrlToZone(winfx::ToWide(AgreementUrl()).c_str(), &zone, 0));
  EXPECT_EQ(static_cast<DWORD>(URLZONE_UNTRUSTED), zone);

  ComPtr<IDispatch> ambient = SiteInterface<IDispatch>(IID_IDispatch);
  ASSERT_TRUE(ambient);
  VARIANT value;
  ::VariantInit(&value);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  ASSERT_EQ(S_OK, ambient->Invoke(DISPID_AMBIENT_DLCONTROL, IID_NULL, LOCALE_USER_DEFAULT,
                                  DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr));
  ASSERT_EQ(VT_I4, V_VT(&value));
  const DWORD flags = static_cast<DWORD>(V_I4(&value));
  for (DWORD flag : {DLCTL_NO_JAVA, DLCTL_NO_DLACTIVEXCTLS, DLCTL_NO_RUNACTIVEXCTLS,
                     DLCTL_NO_BEHAVIORS, DLCTL_DLIMAGES}) {
    EXPECT_EQ(flag, flags & flag) << std::hex << flag;
  }
  // Scripts stay on, and the page is parsed and shown, not merely fetched.
  EXPECT_EQ(0u, flags & (DLCTL_NO_SCRIPTS | DLCTL_DOWNLOADONLY));
}

TEST_F(AgreementBrowserTest, OnlyTheAgreementPagesOriginIsNavigatedTo) {
  ASSERT_TRUE(events_.Advise(dispatch_.Get(), DIID_DWebBrowserEvents2, &recorder_));
  // The same server under another host name: had it been let through, its log would
  // show the request.
  std::string otherHost = std::string(product::kServerUrl) + "/Orlo_venta/elsewhere.asp";
  const size_t loopback = otherHost.find("127.0.0.1");
  ASSERT_NE(std::string::npos, loopback) << otherHost;
  otherHost.replace(loopback, 9, "localhost");

  // Before an origin is allowed, not even the agreement page is.
  browser_.Navigate(AgreementUrl() + "?before", nullptr, nullptr, nullptr, nullptr);
  browser_.AllowOnlyOriginOf(AgreementUrl());
  browser_.SetSilent(true);
  browser_.Navigate(otherHost, nullptr, nullptr, nullptr, nullptr);
  browser_.Navigate("file:///C:/windows/win.ini", nullptr, nullptr, nullptr, nullptr);
  browser_.Navigate("javascript:location.href='http://localhost/'", nullptr, nullptr, nullptr, nullptr);
  browser_.Navigate(AgreementUrl(), nullptr, nullptr, nullptr, nullptr);

  ASSERT_TRUE(PumpUntil([&] { return recorder_.navigations.size() >= 5; }, 20000))
      << "BeforeNavigate2 came " << recorder_.navigations.size() << " times";
  const std::vector<NavigationRecorder::Navigation>& seen = recorder_.navigations;
  EXPECT_TRUE(seen[0].cancelled);
  EXPECT_EQ(winfx::ToWide(otherHost).c_str(), seen[1].url);
  EXPECT_TRUE(seen[1].cancelled);
  EXPECT_TRUE(seen[2].cancelled) << "file: address";
  EXPECT_TRUE(seen[3].cancelled) << "javascript: address";
  EXPECT_EQ(winfx::ToWide(AgreementUrl()).c_str(), seen[4].url);
  EXPECT_FALSE(seen[4].cancelled);

  // The agreement page is fetched; the cancelled ones, asked for before it, never were.
  EXPECT_TRUE(PumpUntil([&] { return Requested(product::kAgreementPath); }, 20000));
  EXPECT_FALSE(Requested("/Orlo_venta/elsewhere.asp"));
  EXPECT_FALSE(Requested(std::string(product::kAgreementPath) + "?before"));

  // Silent was set through the dispatch interface.
  ComPtr<IWebBrowser2> web = dispatch_.QueryInterface<IWebBrowser2>(IID_IWebBrowser2);
  ASSERT_TRUE(web);
  VARIANT_BOOL silent = VARIANT_FALSE;
  EXPECT_EQ(S_OK, web->get_Silent(&silent));
  EXPECT_EQ(VARIANT_TRUE, silent);
}

// Keys reach the control through its host's TranslateAccelerator, called by the screen's
// modal loop for the keys aimed at the browser.
TEST_F(AgreementBrowserTest, KeysThatWouldOpenAnotherWindowNeverReachTheControl) {
  winfx::AxHostWindow* host = winfx::AxHostWindow::FromHwnd(hostWindow_);
  ::SetForegroundWindow(parent_);
  ::SetFocus(hostWindow_);
  ASSERT_TRUE(PumpUntil([&] { HWND f = ::GetFocus(); return f == hostWindow_ || ::IsChild(hostWindow_, f); }, 10000));

  struct Press {
    WPARAM key;
    bool withCtrl;
    bool kept;          // by the host, from the control
    bool opensWindow;   // as the host judges it
  };
  std::vector<Press> presses;
  auto first = [&](MSG* msg) {
    if (msg->message != WM_KEYDOWN || msg->wParam == VK_CONTROL) return false;
    if (msg->hwnd != hostWindow_ && !::IsChild(hostWindow_, msg->hwnd)) return false;
    const bool withCtrl = ::GetKeyState(VK_CONTROL) < 0;
    const bool opens = winfx::AxSite::OpensAnotherWindow(*msg);
    const bool kept = host->TranslateAccelerator(msg);
    presses.push_back({msg->wParam, withCtrl, kept, opens});
    return kept;
  };
  PressKeys({{'N', true}, {'O', true}, {'L', true}, {'P', true}, {'N', false}, {VK_F5, false}});
  ASSERT_TRUE(PumpUntil([&] { return presses.size() >= 6; }, 10000, first))
      << presses.size() << " key presses reached the browser";
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_TRUE(presses[i].withCtrl) << i;
    EXPECT_TRUE(presses[i].opensWindow) << static_cast<char>(presses[i].key);
    EXPECT_TRUE(presses[i].kept) << static_cast<char>(presses[i].key);
  }
  // A plain N (typed into the page) and F5 (reload) are the control's.
  EXPECT_EQ(static_cast<WPARAM>('N'), presses[4].key);
  EXPECT_FALSE(presses[4].opensWindow);
  EXPECT_EQ(static_cast<WPARAM>(VK_F5), presses[5].key);
  EXPECT_FALSE(presses[5].opensWindow);
}

}  // namespace
