#include "app/CSetupHubDlg.h"

#include <cstdlib>

#include "app/ProductConstants.h"
#include "res/resource.h"
#include "winfx/AppInfo.h"

CSetupHubDlg* g_pHub = nullptr;

CSetupHubDlg::CSetupHubDlg()
    : winfx::Dialog(IDD_SETUP_HUB),
      m_hIcon(::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

CSetupHubDlg::~CSetupHubDlg() = default;

std::string CSetupHubDlg::ProgramFolderOf(const std::string& exePath) {
  char drive[_MAX_DRIVE] = {};
  char dir[_MAX_DIR] = {};
  _splitpath(exePath.c_str(), drive, dir, nullptr, nullptr);
  std::string folder = std::string(drive) + dir;
  if (!folder.empty()) folder.pop_back();  // the trailing backslash
  return folder;
}

INT_PTR CSetupHubDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      OnTimer(wParam);
      return TRUE;
    case WM_PAINT:
      if (!::IsIconic(GetHwnd())) return FALSE;  // the default dialog painting
      OnPaint();
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    case WM_DESTROY:
      OnDestroy();
      return TRUE;
    default:
      return winfx::Dialog::HandleMessage(message, wParam, lParam);
  }
}

BOOL CSetupHubDlg::OnInitDialog() {
  winfx::Dialog::OnInitDialog();
  ::SendMessageA(GetHwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  ::SendMessageA(GetHwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  g_pHub = this;
  ::SetWindowTextA(GetHwnd(), product::kHubTitle);
  SetUp();
  SetTimer(kRunScreenTimer, kStepPeriodMs);
  return TRUE;
}

void CSetupHubDlg::SetUp() {
  m_exe_str = ProgramFolderOf(winfx::ExecutablePath());
  m_util.Init(m_exe_str);
  m_exeLine = "[m_exe_str] " + m_exe_str;
  m_util.WriteLog(m_exeLine);
  // Having no size, the download window is never seen.
  m_pDownload = std::make_unique<HttpDownloadWnd>();
  m_pDownload->Create(GetHwnd(), kDownloadWindowId, WS_CHILD | WS_VISIBLE, RECT{0, 0, 0, 0});
}

void CSetupHubDlg::OnTimer(UINT_PTR id) {
  switch (id) {
    case kRunScreenTimer:
      OnRunScreenTimer();
      break;
    default:
      ::DefWindowProcA(GetHwnd(), WM_TIMER, id, 0);
      break;
  }
}

void CSetupHubDlg::OnRunScreenTimer() {
  KillTimer(kRunScreenTimer);
  ::SetWindowPos(GetHwnd(), nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER);
  CenterWindow();
  EndDialog(IDCANCEL);
}

void CSetupHubDlg::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(GetHwnd(), &ps);
  ::SendMessageA(GetHwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  ::GetClientRect(GetHwnd(), &client);
  int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  ::DrawIcon(dc, x, y, m_hIcon);
  ::EndPaint(GetHwnd(), &ps);
}

HICON CSetupHubDlg::OnQueryDragIcon() { return m_hIcon; }

void CSetupHubDlg::OnDestroy() {
  // Destroying the download window stops a transfer that still runs.
  m_pDownload.reset();
}
