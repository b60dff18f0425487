#include "app/CSetupHubDlg.h"

#include <cstdlib>

#include "app/ProductConstants.h"
#include "download/HttpDownloadWnd.h"
#include "download/PartFile.h"
#include "install/WidgetInstallation.h"
#include "res/resource.h"
#include "winfx/AppInfo.h"
#include "winfx/Dpi.h"
#include "winfx/Format.h"
#include "winfx/Saturating.h"
#include "winfx/ScopedGdi.h"
#include "winfx/Stopwatch.h"
#include "winfx/WidePath.h"

CSetupHubDlg* g_pHub = nullptr;

namespace {

// Shown and logged when a queued file cannot be downloaded; %s is its address. The
// trailing blank belongs to the text.
constexpr char kDownloadFailedFormat[] =
    "[LumoTrelbin] %s 다운로드 실패했습니다. [끝내기] 후 다시 시도해 주세요. ";

// The status line after a failed download: the file's name and the cause in a few words
// (without a known cause, the name alone).
constexpr char kDownloadFailedStatusFormat[] = "%s 다운로드 실패 (%s)...";
constexpr char kDownloadFailedStatusPlain[] = "%s 다운로드 실패...";
constexpr char kCauseHttpStatusFormat[] = "서버 응답 %ld";
constexpr char kCauseNoConnection[] = "서버에 연결할 수 없음";
constexpr char kCauseConnectionLost[] = "연결이 끊어짐";
constexpr char kCauseCertificate[] = "서버 인증서 확인 실패";
constexpr char kCauseDiskFull[] = "디스크 공간 부족";
constexpr char kCauseWriteFailed[] = "파일 저장 실패";
constexpr char kCauseStalled[] = "전송이 멈춤";
constexpr char kCauseWrongLength[] = "파일 크기가 다름";
constexpr char kCauseRedirect[] = "다른 주소로 이동됨";

// Appended to the file name on the status line while a download waits to try again; the
// retry number and the most retries there are.
constexpr char kRetryStatusFormat[] = " (재시도 %d/%d)";

// The release record's refusals: the status line, the box (the versions offered and held
// where they decide) and the log line with the reason.
constexpr char kReleaseRefusedStatus[] = "설치정보 확인 실패...";
constexpr char kReleaseNotSignedText[] =
    "Quillon위젯 설치정보의 서명을 확인하지 못했습니다. [끝내기] 후 다시 시도해 주세요.";
constexpr char kReleaseMalformedText[] =
    "Quillon위젯 설치정보를 읽지 못했습니다. [끝내기] 후 다시 시도해 주세요.";
constexpr char kReleaseOtherFileText[] =
    "Quillon위젯 설치정보가 다른 설치파일의 것입니다. [끝내기] 후 다시 시도해 주세요.";
constexpr char kReleaseExpiredText[] =
    "Quillon위젯 설치정보의 유효기간이 지났습니다. 컴퓨터의 날짜와 시간을 확인하고 [끝내기] 후 다시 시도해 주세요.";
constexpr char kReleaseBelowFloorFormat[] =
    "서버의 Quillon위젯(%s)이 이 설치프로그램이 받는 가장 낮은 버전(%s)보다 낮아 설치하지 않습니다.";
constexpr char kReleaseOlderFormat[] =
    "서버의 Quillon위젯(%s)이 설치된 버전(%s)보다 낮아 설치하지 않습니다.";
constexpr char kReleaseRefusedLine[] = "[release] 설치정보 확인 실패 : %s";
constexpr char kKeptRecordChangedLine[] =
    "[release] 설치된 버전의 설치정보가 바뀌었습니다(%s): 설치정보가 없는 것으로 봅니다";
constexpr char kPresentArchiveLine[] = "[release] 받아 둔 설치파일 확인 %.1f ms : %s";

// The record's two small files come before the archive without a sign on the screen: the
// operator sees one file name and one bar rising over the archive.
bool ShowsOnScreen(const std::string& name) { return name == product::kArchiveFile; }

// The few words that name why a download failed; "" when no cause is known.
std::string CauseWords(const HttpDownloadEngine::Failure& failure) {
  using Cause = HttpDownloadEngine::FailureCause;
  switch (failure.cause) {
    case Cause::kNone: return "";
    case Cause::kHttpStatus: return winfx::Format(kCauseHttpStatusFormat, failure.httpStatus);
    case Cause::kNoConnection: return kCauseNoConnection;
    case Cause::kConnectionLost: return kCauseConnectionLost;
    case Cause::kCertificate: return kCauseCertificate;
    case Cause::kDiskFull: return kCauseDiskFull;
    case Cause::kWriteFailed: return kCauseWriteFailed;
    case Cause::kStalled: return kCauseStalled;
    case Cause::kWrongLength: return kCauseWrongLength;
    case Cause::kRedirect: return kCauseRedirect;
  }
  return "";
}

// The status line's text after the download of name failed for failure.
std::string DownloadFailedStatus(const std::string& name, const HttpDownloadEngine::Failure& failure) {
  const std::string words = CauseWords(failure);
  return words.empty() ? winfx::Format(kDownloadFailedStatusPlain, name.c_str())
                       : winfx::Format(kDownloadFailedStatusFormat, name.c_str(), words.c_str());
}

ReleaseRecord::Keys BuiltInKeys() {
  return {product::kArchivePublicKeys, product::kArchivePublicKeyCount};
}

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
    case WM_DOWNLOAD_QUEUE_STEP:
      OnQueueStep();
      return TRUE;
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
    default:
      ::DefWindowProcW(GetHwnd(), WM_TIMER, id, 0);
      break;
  }
}

void CSetupHubDlg::OnRunScreenTimer() {
  KillTimer(kRunScreenTimer);
  ::SetWindowPos(GetHwnd(), nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER);
  CenterWindow();
  // The whole installation happens inside this modal run: its loop delivers the queue's
  // steps and the download window's messages.
  INT_PTR result = m_step1Dlg.DoModal();
  EndDialog(result == IDOK ? IDOK : IDCANCEL);
}

void CSetupHubDlg::QueueWidgetDownloads(std::string serverUrl, std::string folder) {
  // The folder exists: the screen made (or checked) it and holds it.
  m_serverUrl = serverUrl;
  m_folder = folder;
  m_releaseAccepted = false;
  m_archiveDigestKnown = false;

  // Without the vendor's keys there is nothing to check a record with: the archive alone,
  // unless it is there.
  if (product::kArchivePublicKeyCount == 0) {
    if (!m_util.FileExists(winfx::JoinPath(m_folder, product::kArchiveFile))) {
      AppendDownload(product::kArchiveFile);
    }
    PostQueueStep();
    return;
  }
  // The record is the vendor's word of today: what an earlier run left of it is not used.
  for (const char* name : {product::kReleaseRecordFile, product::kReleaseSignatureFile}) {
    const std::string path = winfx::JoinPath(m_folder, name);
    for (const char* suffix : {"", PartFile::kPartSuffix, PartFile::kResumeSuffix}) {
      ::DeleteFileW(winfx::WidePath(path + suffix).c_str());
    }
    AppendDownload(name);
  }
  PostQueueStep();
}

bool CSetupHubDlg::AcceptRelease() {
  const ReleaseRecord::Keys keys = BuiltInKeys();
  const std::string recordPath = winfx::JoinPath(m_folder, product::kReleaseRecordFile);
  const std::string signaturePath = winfx::JoinPath(m_folder, product::kReleaseSignatureFile);
  // Neither file is worth anything to the next run after a refusal: it fetches both afresh.
  auto forgetOffered = [&] {
    ::DeleteFileW(winfx::WidePath(recordPath).c_str());
    ::DeleteFileW(winfx::WidePath(signaturePath).c_str());
  };
  ReleaseRecord installed;
  ReleaseRecord::Verdict verdict =
      ReleaseRecord::FromFiles(recordPath, signaturePath, keys, &m_release);
  if (verdict == ReleaseRecord::Verdict::kValid) {
    // A kept record that no longer verifies says nothing of what is installed.
    const ReleaseRecord::Verdict kept = ReleaseRecord::ReadKept(m_folder, keys, &installed);
    if (kept != ReleaseRecord::Verdict::kValid && kept != ReleaseRecord::Verdict::kMissing) {
      m_util.WriteLog(winfx::Format(kKeptRecordChangedLine, ReleaseRecord::VerdictName(kept)));
    }
    verdict = m_release.Check(product::kArchiveFile, ReleaseRecord::NowUtc(),
                            product::kMinArchiveVersion,
                            kept == ReleaseRecord::Verdict::kValid ? &installed : nullptr);
  }
  if (verdict != ReleaseRecord::Verdict::kValid) {
    forgetOffered();
    RefuseRelease(verdict, installed);
    return false;
  }
  m_releaseAccepted = true;

  const std::string archivePath = winfx::JoinPath(m_folder, product::kArchiveFile);
  const bool download = !PresentArchiveMatches(archivePath);
  // Room for the archive and what it unpacks to is made sure of before its bytes come.
  const unsigned long long needed = winfx::SaturatingAdd(
      download ? m_release.Length() : 0,
      WidgetInstallation::SpaceNeeded(m_release.Unpacked(), m_release.Entries()));
  ULARGE_INTEGER available;
  if (::GetDiskFreeSpaceExW(winfx::WidePath(m_folder).c_str(), &available, nullptr, nullptr) &&
      available.QuadPart < needed) {
    forgetOffered();
    m_step1Dlg.ReportNoSpace(needed, available.QuadPart);
    return false;
  }
  if (download) AppendDownload(product::kArchiveFile);
  return true;
}

bool CSetupHubDlg::PresentArchiveMatches(const std::string& path) {
  winfx::ScopedHandle archive(::CreateFileW(winfx::WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!archive) return false;
  const winfx::Stopwatch checkTime;
  const bool matches = m_release.Mismatch(archive.Get(), nullptr, m_archiveDigest) == nullptr;
  m_util.WriteLog(winfx::Format(kPresentArchiveLine, checkTime.Milliseconds(),
                                matches ? "OK" : "MISMATCH"));
  archive.Reset();
  // Another release's archive, or a damaged one: it goes, and the record's comes.
  if (!matches) ::DeleteFileW(winfx::WidePath(path).c_str());
  m_archiveDigestKnown = matches;
  return matches;
}

void CSetupHubDlg::RefuseRelease(ReleaseRecord::Verdict verdict, const ReleaseRecord& installed) {
  // The box's text (a format with the offered version and the one it falls below).
  const char* text = kReleaseNotSignedText;
  const char* below = product::kMinArchiveVersion;
  switch (verdict) {
    case ReleaseRecord::Verdict::kMalformed:
    case ReleaseRecord::Verdict::kTooLarge:
      text = kReleaseMalformedText;
      break;
    case ReleaseRecord::Verdict::kOtherFile:
      text = kReleaseOtherFileText;
      break;
    case ReleaseRecord::Verdict::kExpired:
      text = kReleaseExpiredText;
      break;
    case ReleaseRecord::Verdict::kBelowFloor:
      text = kReleaseBelowFloorFormat;
      break;
    case ReleaseRecord::Verdict::kOlderThanInstalled:
      text = kReleaseOlderFormat;
      below = installed.Version().c_str();
      break;
    default:
      break;
  }
  m_util.WriteLog(winfx::Format(kReleaseRefusedLine, ReleaseRecord::VerdictName(verdict)));
  m_step1Dlg.SetStatus(kReleaseRefusedStatus);
  m_step1Dlg.ShowFailure(winfx::Format(text, m_release.Version().c_str(), below));
}

void CSetupHubDlg::PostQueueStep() {
  // Nothing waits between the steps: each begins as soon as the one before has returned
  // to the message loop (the download window has then closed the worker it ended).
  if (m_queueStepPosted) return;
  m_queueStepPosted = ::PostMessageW(GetHwnd(), WM_DOWNLOAD_QUEUE_STEP, 0, 0) != FALSE;
}

void CSetupHubDlg::OnQueueStep() {
  m_queueStepPosted = false;
  if (m_downloadUrls.empty()) {
    // A record that never came (its download could not start) leaves nothing to check
    // the archive against: only a build without keys installs unchecked.
    if (!m_releaseAccepted && product::kArchivePublicKeyCount != 0) {
      m_step1Dlg.ReportNoArchive();
      return;
    }
    m_step1Dlg.InstallFromArchive(m_releaseAccepted ? &m_release : nullptr,
                                  m_archiveDigestKnown ? m_archiveDigest : nullptr);
    return;
  }
  m_pDownload->SetDownloadInfo(GetHwnd(), m_downloadUrls[0], m_downloadPaths[0],
                               LimitsFor(m_downloadNames[0]));
  if (ShowsOnScreen(m_downloadNames[0])) m_step1Dlg.SetStatus(m_downloadNames[0]);
  if (m_pDownload->StartDownload() < 0) {
    // Not started (bad address, file not creatable): dropped without a message.
    RemoveFirstDownload();
    PostQueueStep();
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
    const std::string name = m_downloadNames[0];
    RemoveFirstDownload();
    if (name == product::kArchiveFile) m_archiveDigestKnown = m_pDownload->LastDigest(m_archiveDigest);
    // The record is whole with its signature: it decides what comes next.
    if (name == product::kReleaseSignatureFile && !AcceptRelease()) return 1;
    PostQueueStep();
    return 1;
  }
  // The queue stops here, the failed item still first; the operator leaves and retries.
  // The status line names the file (also one fetched without a sign on the screen) and
  // the cause; the box keeps its one text.
  m_step1Dlg.SetStatus(DownloadFailedStatus(m_downloadNames[0], m_pDownload->LastFailure()));
  m_message = winfx::Format(kDownloadFailedFormat, m_downloadUrls[0].c_str());
  m_util.WriteLog(m_message);
  m_step1Dlg.ShowFailure(m_message);
  return 1;
}

void CSetupHubDlg::AppendDownload(const std::string& name) {
  m_downloadUrls.push_back(m_serverUrl + "/update/" + name);
  m_downloadPaths.push_back(winfx::JoinPath(m_folder, name));
  m_downloadNames.push_back(name);
}

HttpDownloadEngine::Limits CSetupHubDlg::LimitsFor(const std::string& name) const {
  HttpDownloadEngine::Limits limits;
  if (name == product::kReleaseRecordFile) {
    limits.maxBytes = ReleaseRecord::kMaxRecordSize;
  } else if (name == product::kReleaseSignatureFile) {
    limits.maxBytes = ReleaseRecord::kMaxSignatureSize;
  } else if (m_releaseAccepted) {
    limits.maxBytes = m_release.Length();
    limits.exactLength = m_release.Length();
    limits.hash = true;
  }
  return limits;
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
