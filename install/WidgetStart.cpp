#include "install/WidgetStart.h"

#include <exdisp.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include "winfx/Format.h"
#include "winfx/ScopedCom.h"
#include "winfx/WidePath.h"

namespace {

// Lines of the daily log.
constexpr char kNotHeldLine[] = "[install] 위젯을 실행하지 않습니다. 파일을 열 수 없습니다. %s";
constexpr char kShellFailedLine[] =
    "[install] 바탕화면 셸로 위젯을 실행할 수 없어 직접 실행합니다. (hr : 0x%08lX)";
constexpr char kStartFailedLine[] = "[install] 위젯 실행 실패 %s";

// A VARIANT holding text, freed at scope exit.
struct TextVariant {
  explicit TextVariant(const winfx::WideString& text) : bstr(text) {
    ::VariantInit(&value);
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = bstr.Get();
  }
  winfx::ScopedBstr bstr;
  VARIANT value;
};

}  // namespace

bool WidgetStart::Hold(const std::string& folder, const std::string& program) {
  m_folder = folder;
  m_program = program;
  m_held.Reset(::CreateFileW(winfx::WidePath(program).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  return m_held.IsValid();
}

bool WidgetStart::GoesThroughShell(TOKEN_ELEVATION_TYPE type, bool hasLinkedToken) {
  return type == TokenElevationTypeFull && hasLinkedToken;
}

bool WidgetStart::ThisProcessGoesThroughShell() {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
  winfx::ScopedHandle token(raw);
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  TOKEN_LINKED_TOKEN linked = {};
  DWORD size = 0;
  if (!::GetTokenInformation(token.Get(), TokenElevationType, &type, sizeof(type), &size)) return false;
  const bool hasLinked =
      ::GetTokenInformation(token.Get(), TokenLinkedToken, &linked, sizeof(linked), &size) != FALSE;
  winfx::ScopedHandle linkedToken(hasLinked ? linked.LinkedToken : nullptr);
  return GoesThroughShell(type, hasLinked);
}

bool WidgetStart::Start(CSetupUtil* log) {
  if (!m_held) {
    log->WriteLog(winfx::Format(kNotHeldLine, m_program.c_str()));
    return false;
  }
  // A file that is no Windows program is not started; handed to the desktop's shell, it
  // would fail there without a word to the installer.
  DWORD kind = 0;
  const bool isProgram = ::GetBinaryTypeW(winfx::WidePath(m_program).c_str(), &kind) != FALSE;
  bool started = false;
  if (isProgram && ThisProcessGoesThroughShell()) {
    const HRESULT result = StartThroughShell();
    started = SUCCEEDED(result);
    if (!started) log->WriteLog(winfx::Format(kShellFailedLine, static_cast<unsigned long>(result)));
  }
  if (isProgram && !started) {
    started = reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, nullptr, winfx::WidePath(m_program).c_str(), L"",
                                                        winfx::WidePath(m_folder).c_str(), SW_SHOW)) > 32;
  }
  if (!started) log->WriteLog(winfx::Format(kStartFailedLine, m_program.c_str()));
  m_held.Reset();
  return started;
}

HRESULT WidgetStart::StartThroughShell() const {
  // The desktop's folder view, and from it the shell's own automation object: what it
  // starts runs in the desktop's (the operator's) process, with the operator's token.
  // (The screen's thread has OLE initialised already; this only balances its own.)
  winfx::CoInitialization com;
  winfx::ComPtr<IShellWindows> windows;
  HRESULT result = ::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                                      IID_IShellWindows, windows.ReceiveVoid());
  if (FAILED(result)) return result;
  VARIANT desktop;
  ::VariantInit(&desktop);
  V_VT(&desktop) = VT_I4;
  V_I4(&desktop) = CSIDL_DESKTOP;
  VARIANT none;
  ::VariantInit(&none);
  long window = 0;
  winfx::ComPtr<IDispatch> found;
  result = windows->FindWindowSW(&desktop, &none, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                                 found.Receive());
  if (result != S_OK || !found) return FAILED(result) ? result : E_FAIL;
  winfx::ComPtr<IServiceProvider> services = found.QueryInterface<IServiceProvider>(IID_IServiceProvider);
  winfx::ComPtr<IShellBrowser> browser;
  winfx::ComPtr<IShellView> view;
  winfx::ComPtr<IDispatch> background;
  if (!services ||
      FAILED(result = services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.ReceiveVoid())) ||
      FAILED(result = browser->QueryActiveShellView(view.Receive())) ||
      FAILED(result = view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.ReceiveVoid()))) {
    return FAILED(result) ? result : E_NOINTERFACE;
  }
  winfx::ComPtr<IShellFolderViewDual> folderView =
      background.QueryInterface<IShellFolderViewDual>(IID_IShellFolderViewDual);
  winfx::ComPtr<IDispatch> application;
  if (!folderView || FAILED(result = folderView->get_Application(application.Receive()))) {
    return FAILED(result) ? result : E_NOINTERFACE;
  }
  winfx::ComPtr<IShellDispatch2> shell = application.QueryInterface<IShellDispatch2>(IID_IShellDispatch2);
  if (!shell) return E_NOINTERFACE;
  winfx::ScopedBstr file(winfx::ToWide(m_program));
  TextVariant arguments(L"");
  TextVariant folder(winfx::ToWide(m_folder));
  TextVariant operation(L"");
  VARIANT show;
  ::VariantInit(&show);
  V_VT(&show) = VT_I4;
  V_I4(&show) = SW_SHOWNORMAL;
  return shell->ShellExecute(file.Get(), arguments.value, folder.value, operation.value, show);
}
