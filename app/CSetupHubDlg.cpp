#include "app/CSetupHubDlg.h"

#include <cstdlib>

#include "app/ProductConstants.h"
#include "download/HttpDownloadWnd.h"
#include "res/resource.h"
#include "winfx/AppInfo.h"
#include "winfx/Dpi.h"
#include "winfx/Format.h"
#include "winfx/ScopedGdi.h"
#include "winfx/WidePath.h"

CSetupHubDlg* g_pHub = nullptr;

namespace {

// Shown and logged when a queued file cannot be downloaded; %s is its address. The
// trailing blank belongs to the text.
constexpr char kDownloadFailedFormat[] =
    "[LumoTrelbin] %s 다운로드 실패했습니다. [끝내기] 후 다시 시도해 주세요. ";

// Appended to the file name on the status line while a download waits to try again; the
// retry number and the most retries there are.
constexpr char kRetryStatusFormat[] = " (재시도 %d/%d)";

// The signature's few bytes come before the archive without a sign on the screen: the
// operator sees one file name and one bar rising over the archive.
bool ShowsOnScreen(const std::string& name) { return name != product::kArchiveSignatureFile; }

}  // namespace

CSetupHubDlg::CSetupHubDlg() : winfx::Dialog(IDD_SETUP_HUB) {}

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
    case WM_DOWNLOAD_PROGRESS:
      return Result(OnDownloadProgress(wParam, lParam));
    case WM_DOWNLOAD_RETRY:
      return Result(OnDownloadRetry(wParam, lParam));
    case WM_DOWNLOAD_RESULT:
      return Result(OnDownloadResult(wParam, lParam));
    case WM_DPICHANGED:
      OnDpiChanged(wParam, lParam);
      return FALSE;  // the dialog manager's own handling (the controls) runs as well
    case WM_PAINT:
      if (!::IsIconic(GetHwnd())) return FALSE;  // the default dialog painting
      OnPaint();
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    case WM_DESTROY:
      OnDestroy();
      return FALSE;  // the default dialog handling runs as well
    default:
      return winfx::Dialog::HandleMessage(message, wParam, lParam);
  }
}

BOOL CSetupHubDlg::OnInitDialog() {
  winfx::Dialog::OnInitDialog();
  SetIcons(winfx::WindowDpi(GetHwnd()));
  g_pHub = this;
  ::SetWindowTextW(GetHwnd(), winfx::ToWide(product::kHubTitle).c_str());
  SetUp();
  SetTimer(kRunScreenTimer, kStepPeriodMs);
  return TRUE;
}

void CSetupHubDlg::SetUp() {
  m_exe_str = ProgramFolderOf(winfx::ExecutablePath());
  m_util.Init(m_exe_str);
  m_exeLine = "[m_exe_str] " + m_exe_str;
  m_util.WriteLog(m_exeLine);

  // Invisible: it has no size. It exists to receive the worker thread's end message.
  m_pDownload = std::make_unique<HttpDownloadWnd>();
  m_pDownload->Create(GetHwnd(), kDownloadWindowId, WS_CHILD | WS_VISIBLE, RECT{0, 0, 0, 0});
}

void CSetupHubDlg::OnTimer(UINT_PTR id) {
  switch (id) {
    case kRunScreenTimer:
      OnRunScreenTimer();
      break;
    case kQueueTimer:
      OnQueueTimer();
      break;
    default:
      ::DefWindowProcW(GetHwnd(), WM_TIMER, id, 0);
      break;
  }
}

void CSetupHubDlg::OnRunScreenTimer() {
  KillTimer(kRunScreenTimer);
  ::SetWindowPos(GetHwnd(), nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER);
  CenterWindow();
  // The whole installation happens inside this modal run: its loop delivers the queue
  // timer and the download window's messages.
  INT_PTR result = m_step1Dlg.DoModal();
  EndDialog(result == IDOK ? IDOK : IDCANCEL);
}

void CSetupHubDlg::QueueWidgetDownloads(std::string serverUrl, std::string folder) {
  m_serverUrl = serverUrl;
  // One level only; an existing folder or a failure is left to the download to find.
  ::CreateDirectoryW(winfx::WidePath(folder).c_str(), nullptr);

  // The signature first: a vendor that serves none is found before the archive's bytes
  // are spent. Without the vendor's key there is nothing to check it with.
  std::vector<const char*> files;
  if (product::kArchivePublicKey != nullptr) files.push_back(product::kArchiveSignatureFile);
  files.push_back(product::kArchiveFile);
  for (const char* name : files) {
    std::string url = m_serverUrl + "/update/" + name;
    std::string path = folder + "\\" + name;
    if (m_util.FileExists(path)) continue;
    AppendDownload(url, path, name);
  }
  SetTimer(kQueueTimer, kStepPeriodMs);
}

void CSetupHubDlg::OnQueueTimer() {
  KillTimer(kQueueTimer);
  if (m_downloadUrls.empty()) {
    m_step1Dlg.InstallFromArchive();
    return;
  }
  m_pDownload->SetDownloadInfo(GetHwnd(), m_downloadUrls[0], m_downloadPaths[0]);
  if (ShowsOnScreen(m_downloadNames[0])) m_step1Dlg.SetStatus(m_downloadNames[0]);
  if (m_pDownload->StartDownload() < 0) {
    // Not started (bad address, file not creatable): dropped without a message.
    RemoveFirstDownload();
    SetTimer(kQueueTimer, kStepPeriodMs);
  }
}

LRESULT CSetupHubDlg::OnDownloadProgress(WPARAM percent, LPARAM) {
  if (m_downloadNames.empty() || !ShowsOnScreen(m_downloadNames[0])) return 1;
  m_step1Dlg.SetProgress(static_cast<int>(percent));
  return 1;
}

LRESULT CSetupHubDlg::OnDownloadRetry(WPARAM retry, LPARAM maxRetries) {
  if (m_downloadNames.empty()) return 1;  // no transfer of the queue's
  m_step1Dlg.SetStatus(m_downloadNames[0] + winfx::Format(kRetryStatusFormat, static_cast<int>(retry),
                                                          static_cast<int>(maxRetries)));
  return 1;
}

LRESULT CSetupHubDlg::OnDownloadResult(WPARAM, LPARAM succeeded) {
  if (m_downloadUrls.empty()) return 1;  // no transfer of the queue's
  if (succeeded) {
    RemoveFirstDownload();
    SetTimer(kQueueTimer, kStepPeriodMs);
    return 1;
  }
  // The queue stops here, the failed item still first; the operator leaves and retries.
  // A file that was fetched without a sign on the screen is named there now.
  if (!ShowsOnScreen(m_downloadNames[0])) m_step1Dlg.SetStatus(m_downloadNames[0]);
  m_message = winfx::Format(kDownloadFailedFormat, m_downloadUrls[0].c_str());
  m_util.WriteLog(m_message);
  m_step1Dlg.ShowFailure(m_message);
  return 1;
}

void CSetupHubDlg::AppendDownload(const std::string& url, const std::string& path,
                                  const std::string& name) {
  m_downloadUrls.push_back(url);
  m_downloadPaths.push_back(path);
  m_downloadNames.push_back(name);
}

void CSetupHubDlg::RemoveFirstDownload() {
  if (m_downloadUrls.empty()) return;
  m_downloadUrls.erase(m_downloadUrls.begin());
  m_downloadPaths.erase(m_downloadPaths.begin());
  m_downloadNames.erase(m_downloadNames.begin());
}

void CSetupHubDlg::SetIcons(UINT dpi) {
  m_dpi = dpi;
  const HINSTANCE module = ::GetModuleHandleA(nullptr);
  auto load = [&](int metric) {
    const int side = winfx::SystemMetricForDpi(metric, dpi);
    return winfx::ScopedIcon(static_cast<HICON>(::LoadImageA(
        module, MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, side, side, LR_DEFAULTCOLOR)));
  };
  winfx::ScopedIcon bigIcon = load(SM_CXICON);
  winfx::ScopedIcon smallIcon = load(SM_CXSMICON);
  ::SendMessageA(GetHwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon.Get()));
  ::SendMessageA(GetHwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon.Get()));
  // The window shows the new icons from here on; the ones it had go.
  m_bigIcon = std::move(bigIcon);
  m_smallIcon = std::move(smallIcon);
}

void CSetupHubDlg::OnDpiChanged(WPARAM wParam, LPARAM lParam) {
  SetIcons(winfx::DpiOfChange(wParam));
  winfx::TakeSuggestedRect(GetHwnd(), lParam);
  ::InvalidateRect(GetHwnd(), nullptr, TRUE);
}

void CSetupHubDlg::OnPaint() {
  winfx::ScopedPaint paint(GetHwnd());
  ::SendMessageA(GetHwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.Get()), 0);
  RECT client;
  ::GetClientRect(GetHwnd(), &client);
  const int side = winfx::SystemMetricForDpi(SM_CXICON, m_dpi);
  int x = (client.right - client.left - side + 1) / 2;
  int y = (client.bottom - client.top - side + 1) / 2;
  ::DrawIconEx(paint.Get(), x, y, m_bigIcon.Get(), side, side, 0, nullptr, DI_NORMAL);
}

HICON CSetupHubDlg::OnQueryDragIcon() { return m_bigIcon.Get(); }

void CSetupHubDlg::OnDestroy() {
  // Ends a transfer still running or waiting to try again (without waiting for a stalled
  // server); what it received stays in its part file for the next run.
  m_pDownload.reset();
}
