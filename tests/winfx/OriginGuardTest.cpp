// The leash of a hosted browser: the origin comparison (winfx::UrlOrigin), the zones and
// event answers of winfx::OriginGuard, and what the site (winfx::AxSite) tells the control.
#include <windows.h>
#include <exdispid.h>
#include <mshtmdid.h>
#include <mshtmhst.h>
#include <urlmon.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "winfx/AxSite.h"
#include "winfx/OriginGuard.h"
#include "winfx/UrlOrigin.h"

namespace {

using winfx::ComPtr;
using winfx::OriginGuard;
using winfx::UrlOrigin;

constexpr wchar_t kVendor[] = L"http://update.vendor.example";

TEST(UrlOriginTest, TheSameSchemeHostAndPortMatchWhateverThePathAndCase) {
  UrlOrigin vendor(kVendor);
  for (const wchar_t* url :
       {L"http://update.vendor.example", L"http://update.vendor.example/",
        L"http://update.vendor.example/Orlo_venta/install_agree.asp?x=1#top",
        L"HTTP://Update.VENDOR.example/a", L"http://update.vendor.example:80/a",
        L"http://update.vendor.example:/a", L"http://update.vendor.example:0080/a",
        L"http://update.vendor.example?q", L"http://update.vendor.example#f",
        L"http://update.vendor.example/a\\b"}) {
    EXPECT_TRUE(vendor.Matches(url)) << url;
  }
  UrlOrigin loopback(L"https://127.0.0.1:47310/Orlo_venta/install_agree.asp");
  EXPECT_TRUE(loopback.Matches(L"https://127.0.0.1:47310/update/x"));
  EXPECT_TRUE(UrlOrigin(L"https://a.example").Matches(L"https://a.example:443/"));
}

TEST(UrlOriginTest, AnotherSchemeHostOrPortIsAnotherOrigin) {
  UrlOrigin vendor(kVendor);
  for (const wchar_t* url :
       {L"https://update.vendor.example/", L"http://update.vendor.example:8080/",
        L"http://update.vendor.example:443/", L"http://vendor.example/",
        L"http://update.vendor.example.evil.example/", L"http://evil.update.vendor.example/",
        L"http://update.vendor.example./", L"http://update-vendor.example/",
        L"ftp://update.vendor.example/"}) {
    EXPECT_FALSE(vendor.Matches(url)) << url;
  }
  UrlOrigin loopback(L"http://127.0.0.1:47310");
  for (const wchar_t* url : {L"http://localhost:47310/", L"http://2130706433:47310/",
                             L"http://0x7f.0.0.1:47310/", L"http://127.0.0.1/"}) {
    EXPECT_FALSE(loopback.Matches(url)) << url;
  }
}

TEST(UrlOriginTest, AddressesThatMightLeadElsewhereNeverMatch) {
  UrlOrigin vendor(kVendor);
  for (const wchar_t* url : {
           // A user name or password before the host, or the vendor's name in one.
           L"http://update.vendor.example@evil.example/",
           L"http://user:pw@update.vendor.example/",
           L"http://update.vendor.example:80@evil.example/",
           L"http://update.vendor.example\\@evil.example/",
           L"http://evil.example#@update.vendor.example/",
           L"http://evil.example?@update.vendor.example/",
           L"http://evil.example\\update.vendor.example/", L"http://update.vendor.example\\a",
           // Escapes, characters beyond ASCII, blanks and controls in the host.
           L"http://update%2evendor.example/", L"http://update.vendor.example%2f.evil/",
           L"http://update.vendor\uFF0Eexample/", L"http://\u00FCpdate.vendor.example/",
           L"http://update.vendor.example\t.evil/", L"http://update.vendor.example .evil/",
           L" http://update.vendor.example/", L"http://[::1]/",
           // Ports that are no ports.
           L"http://update.vendor.example:80:80/", L"http://update.vendor.example:65616/",
           L"http://update.vendor.example:4294967376/", L"http://update.vendor.example:+80/",
           // Not an address with a host at all.
           L"http:update.vendor.example/", L"http:/update.vendor.example/",
           L"http:\\\\update.vendor.example/", L"http://", L"http://:80/", L"", L"http",
           // Other schemes, however the rest reads.
           L"javascript:location='http://update.vendor.example/'",
           L"file:///C:/Windows/win.ini", L"file://update.vendor.example/share",
           L"C:\\Windows\\win.ini", L"about:blank", L"res://ieframe.dll/navcancl.htm",
           L"mk:@MSITStore:C:\\x.chm::/a.htm", L"vbscript:msgbox(1)"}) {
    EXPECT_FALSE(vendor.Matches(url)) << url;
  }
  EXPECT_FALSE(vendor.Matches(nullptr));
}

TEST(UrlOriginTest, NoOriginMatchesNothing) {
  for (const wchar_t* allowed : {L"", L"about:blank", L"file:///C:/", L"http://user@host/"}) {
    UrlOrigin origin(allowed);
    EXPECT_TRUE(origin.IsEmpty()) << allowed;
    EXPECT_FALSE(origin.Matches(allowed)) << allowed;
    EXPECT_FALSE(origin.Matches(L"http://host/")) << allowed;
  }
  EXPECT_FALSE(UrlOrigin().Matches(kVendor));
  // A host longer than any host name is no origin either.
  const std::wstring longHost = L"http://" + std::wstring(UrlOrigin::kMaxHostLength + 1, L'a');
  EXPECT_TRUE(UrlOrigin(longHost.c_str()).IsEmpty());
  EXPECT_FALSE(UrlOrigin((longHost.substr(0, longHost.size() - 1)).c_str()).IsEmpty());
}

ComPtr<OriginGuard> VendorGuard() {
  ComPtr<OriginGuard> guard = ComPtr<OriginGuard>::Adopt(new OriginGuard());
  guard->SetAllowedOrigin(UrlOrigin(kVendor));
  return guard;
}

TEST(OriginGuardTest, EveryAddressButTheVendorsIsInTheRestrictedZone) {
  ComPtr<OriginGuard> guard = VendorGuard();
  DWORD zone = 12345;
  EXPECT_EQ(INET_E_DEFAULT_ACTION,
            guard->MapUrlToZone(L"http://update.vendor.example/Orlo_venta/install_agree.asp", &zone, 0));
  EXPECT_EQ(12345u, zone);  // the system's own mapping decides
  for (const wchar_t* url : {L"http://evil.example/", L"https://update.vendor.example/",
                             L"file:///C:/Windows/win.ini", L"about:blank",
                             L"res://ieframe.dll/dnserror.htm", L"javascript:1"}) {
    zone = URLZONE_INTERNET;
    EXPECT_EQ(S_OK, guard->MapUrlToZone(url, &zone, 0)) << url;
    EXPECT_EQ(static_cast<DWORD>(URLZONE_UNTRUSTED), zone) << url;
  }
  // Before an origin is allowed, the vendor's address is restricted as well.
  ComPtr<OriginGuard> fresh = ComPtr<OriginGuard>::Adopt(new OriginGuard());
  EXPECT_EQ(S_OK, fresh->MapUrlToZone(kVendor, &zone, 0));
  EXPECT_EQ(static_cast<DWORD>(URLZONE_UNTRUSTED), zone);
}

// One event as the control raises it: the arguments in declaration order, with the Cancel
// argument (a VARIANT_BOOL by reference to this object's own) at position cancelAt;
// Invoke receives them last first.
class Event {
 public:
  Event(DISPID id, std::vector<VARIANT> declared, size_t cancelAt) : id_(id) {
    VARIANT cancel;
    V_VT(&cancel) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&cancel) = &cancel_;
    declared.insert(declared.begin() + static_cast<std::ptrdiff_t>(cancelAt), cancel);
    args_.assign(declared.rbegin(), declared.rend());
  }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  // Raises the event on guard; true when the guard set Cancel.
  bool CancelledBy(OriginGuard* guard) {
    cancel_ = VARIANT_FALSE;
    DISPPARAMS params = {args_.data(), nullptr, static_cast<UINT>(args_.size()), 0};
    guard->Invoke(id_, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                  nullptr, nullptr);
    return cancel_ == VARIANT_TRUE;
  }

 private:
  DISPID id_;
  std::vector<VARIANT> args_;
  VARIANT_BOOL cancel_ = VARIANT_FALSE;
};

VARIANT Empty() {
  VARIANT v;
  ::VariantInit(&v);
  return v;
}

VARIANT Bool(bool value) {
  VARIANT v;
  V_VT(&v) = VT_BOOL;
  V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

// BeforeNavigate2 with the address as the control passes it (a VARIANT by reference that
// holds a BSTR); true when the guard cancelled it.
bool NavigationCancelled(OriginGuard* guard, const wchar_t* url) {
  VARIANT address;
  V_VT(&address) = VT_BSTR;
  V_BSTR(&address) = ::SysAllocString(url);
  VARIANT byRef;
  V_VT(&byRef) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&byRef) = &address;
  Event event(DISPID_BEFORENAVIGATE2, {Empty(), byRef, Empty(), Empty(), Empty(), Empty()}, 6);
  const bool cancelled = event.CancelledBy(guard);
  ::SysFreeString(V_BSTR(&address));
  return cancelled;
}

TEST(OriginGuardTest, NavigationsLeaveTheVendorsOriginOnlyCancelled) {
  ComPtr<OriginGuard> guard = VendorGuard();
  EXPECT_FALSE(NavigationCancelled(guard.Get(), L"http://update.vendor.example/Orlo_venta/install_agree.asp"));
  EXPECT_FALSE(NavigationCancelled(guard.Get(), L"http://UPDATE.vendor.example:80/other.asp"));
  for (const wchar_t* url : {L"http://evil.example/", L"http://update.vendor.example@evil.example/",
                             L"C:\\Windows\\win.ini", L"file:///C:/Windows/win.ini",
                             L"javascript:alert(1)", L"about:blank", L"res://ieframe.dll/navcancl.htm"}) {
    EXPECT_TRUE(NavigationCancelled(guard.Get(), url)) << url;
  }
}

TEST(OriginGuardTest, NewWindowsFileDownloadsAndErrorPagesAreCancelled) {
  ComPtr<OriginGuard> guard = VendorGuard();
  EXPECT_TRUE(Event(DISPID_NEWWINDOW2, {Empty()}, 1).CancelledBy(guard.Get()));
  EXPECT_TRUE(Event(DISPID_NEWWINDOW3, {Empty(), Empty(), Empty(), Empty()}, 1).CancelledBy(guard.Get()));

  // A file to save or run is cancelled; the announcement of a page that is shown is not.
  EXPECT_TRUE(Event(DISPID_FILEDOWNLOAD, {Bool(false)}, 1).CancelledBy(guard.Get()));
  EXPECT_FALSE(Event(DISPID_FILEDOWNLOAD, {Bool(true)}, 1).CancelledBy(guard.Get()));
  // The older form, without ActiveDocument.
  EXPECT_TRUE(Event(DISPID_FILEDOWNLOAD, {}, 0).CancelledBy(guard.Get()));

  EXPECT_TRUE(Event(DISPID_NAVIGATEERROR, {Empty(), Empty(), Empty(), Empty()}, 4).CancelledBy(guard.Get()));

  // Events that decide nothing leave Cancel alone, and malformed ones are ignored.
  EXPECT_FALSE(Event(DISPID_DOCUMENTCOMPLETE, {Empty()}, 1).CancelledBy(guard.Get()));
  EXPECT_EQ(S_OK, guard->Invoke(DISPID_BEFORENAVIGATE2, IID_NULL, 0, DISPATCH_METHOD, nullptr,
                                nullptr, nullptr, nullptr));
}

TEST(AxSiteTest, TheHostInfoAsksForNoBordersNewWindowsOrHiddenScrollBars) {
  winfx::AxSite site(nullptr);
  ComPtr<IDocHostUIHandler> handler;
  ASSERT_EQ(S_OK, site.QueryInterface(IID_IDocHostUIHandler, handler.ReceiveVoid()));
  DOCHOSTUIINFO info = {};
  info.cbSize = sizeof(info);
  ASSERT_EQ(S_OK, handler->GetHostInfo(&info));
  for (DWORD flag : {DOCHOSTUIFLAG_NO3DBORDER, DOCHOSTUIFLAG_NO3DOUTERBORDER,
                     DOCHOSTUIFLAG_DISABLE_HELP_MENU, DOCHOSTUIFLAG_DISABLE_SCRIPT_INACTIVE,
                     DOCHOSTUIFLAG_DISABLE_UNTRUSTEDPROTOCOL,
                     DOCHOSTUIFLAG_ENABLE_REDIRECT_NOTIFICATION}) {
    EXPECT_EQ(flag, info.dwFlags & flag) << std::hex << flag;
  }
  for (DWORD flag : {DOCHOSTUIFLAG_OPENNEWWIN, DOCHOSTUIFLAG_SCROLL_NO, DOCHOSTUIFLAG_DIALOG}) {
    EXPECT_EQ(0u, info.dwFlags & flag) << std::hex << flag;
  }
  EXPECT_EQ(nullptr, info.pchHostCss);
  // No context menu: the handler says it showed its own (none).
  POINT point = {0, 0};
  EXPECT_EQ(S_OK, handler->ShowContextMenu(0, &point, nullptr, nullptr));
  IDispatch* external = reinterpret_cast<IDispatch*>(1);
  handler->GetExternal(&external);
  EXPECT_EQ(nullptr, external);
}

}  // namespace
