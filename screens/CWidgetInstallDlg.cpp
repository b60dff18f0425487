#include "screens/CWidgetInstallDlg.h"

#include <shellapi.h>
#include <shlobj.h>

#include "app/CSetupHubDlg.h"
#include "app/ProductConstants.h"
#include "archive/ArchiveSignature.h"
#include "res/resource.h"
#include "screens/CSkinBitmap.h"
#include "screens/CStagedInstall.h"
#include "winfx/Format.h"
#include "winfx/MessageBox.h"
#include "winfx/RunningProgram.h"
#include "winfx/ScopedCom.h"

namespace {

// Title font: 12 units high, bold, default character set, Swiss family with default pitch.
constexpr int kTitleHeight = 12;
constexpr int kTitleWeight = FW_BOLD;
constexpr DWORD kTitlePitchAndFamily = FF_SWISS | DEFAULT_PITCH;
constexpr char kTitleFace[] = "굴림";

// The title sits over the banner: left + 10, top + 5, right - 50, top + 50 of the client area.
constexpr UINT kTitleFormat = DT_SINGLELINE | DT_VCENTER;

// Folder picker: file-system folders only, with an edit box, in the new dialog style.
constexpr UINT kBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
constexpr char kBrowseTitle[] = "파일이 저장될 폴더를 선택하세요";
constexpr size_t kBrowsePathSize = 512;

constexpr char kEmptyFolderText[] = "설치경로를 입력해 주세요.";
constexpr char kQuitText[] = "설치프로그램을 종료하시겠습니까?";
constexpr char kQuitCaption[] = "확인";
constexpr char kOpenFailedStatus[] = "압축파일 오픈 실패 = 1...";
constexpr char kExtractingStatus[] = "압축해제중입니다.기다려 주세요...";
constexpr char kExtractFailedStatus[] = "압축해제 실패...";
constexpr char kExtractFailedText[] =
    "Quillon위젯 압축해제에 실패했습니다. [끝내기] 후 다시 시도해 주세요.";
// Free space the installation needs besides the archive's uncompressed size: the file
// system's share (up to a cluster per entry) and a margin for the folders and the plan.
constexpr unsigned long long kSpacePerEntry = 4096;
constexpr unsigned long long kSpaceMargin = 1024 * 1024;
constexpr char kNoSpaceStatus[] = "디스크 공간 부족...";
constexpr char kNoSpaceFormat[] =
    "Quillon위젯을 설치할 디스크 공간이 부족합니다. 필요한 공간: %.1fMB, 남은 공간: %.1fMB. "
    "[끝내기] 후 공간을 확보하고 다시 시도해 주세요.";
// Asked when a file to replace is in use (a running widget); OK closes the widget.
constexpr char kCloseWidgetQuestion[] =
    "Quillon위젯이 실행 중입니다. [확인]을 누르면 위젯을 종료하고 설치를 계속합니다.";
// How long the widget's processes get to end after they were asked to close.
constexpr DWORD kCloseWaitMs = 10000;
constexpr char kInUseFailedText[] =
    "Quillon위젯이 실행 중이어서 설치하지 못했습니다. [끝내기] 후 다시 시도해 주세요.";
constexpr char kInstallFailedStatus[] = "설치 실패...";
constexpr char kInstallFailedText[] =
    "Quillon위젯 설치에 실패했습니다. [끝내기] 후 다시 시도해 주세요.";
// The archive does not carry the vendor's signature (or the signature is missing).
constexpr char kVerifyFailedStatus[] = "서명 확인 실패...";
constexpr char kVerifyFailedText[] =
    "Quillon위젯 설치파일의 서명을 확인하지 못했습니다. [끝내기] 후 다시 시도해 주세요.";
constexpr char kVerifyFailedLine[] = "[install] 서명 확인 실패 : %s";
constexpr char kDoneStatus[] = "설치완료...";
constexpr char kDoneText[] = "Quillon위젯 설치가 완료되었습니다. 위젯이 실행됩니다.";

std::string JoinPath(const std::string& folder, const std::string& name) {
  return folder + "\\" + name;
}

// The durations of the extraction and of the move into place, in the program folder's log.
constexpr char kExtractTimeLine[] = "[install] 압축해제 %.1f ms";
constexpr char kMoveTimeLine[] = "[install] 파일 이동 %.1f ms";
constexpr char kVerifyTimeLine[] = "[install] 서명 확인 %.1f ms";

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return now;
}

double MillisecondsSince(const LARGE_INTEGER& start) {
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(Now().QuadPart - start.QuadPart) * 1000.0 /
         static_cast<double>(frequency.QuadPart);
}

double Megabytes(unsigned long long bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

// True when the extractor's failure (its last error) lies in the archive itself: a CRC or
// length that differs, data that does not inflate, a refused name or method. Any other
// error is local to this machine (space, access, a file in use).
bool IsArchiveFault(DWORD error) {
  switch (error) {
    case ERROR_CRC:
    case ERROR_INVALID_DATA:
    case ERROR_INVALID_NAME:
    case ERROR_NOT_SUPPORTED:
      return true;
    default:
      return false;
  }
}

}  // namespace

CWidgetInstallDlg::CWidgetInstallDlg() : winfx::Dialog(IDD_WIDGET_INSTALL) {}

CWidgetInstallDlg::~CWidgetInstallDlg() = default;

INT_PTR CWidgetInstallDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_BROWSE_FOLDER && HIWORD(wParam) == BN_CLICKED) {
        OnBrowseFolder();
        return TRUE;
      }
      return winfx::Dialog::HandleMessage(message, wParam, lParam);
    case WM_PAINT:
      OnPaint();
      return TRUE;
    case WM_DESTROY:
      OnDestroy();
      return FALSE;  // the default dialog handling runs as well
    default:
      return winfx::Dialog::HandleMessage(message, wParam, lParam);
  }
}

BOOL CWidgetInstallDlg::OnInitDialog() {
  winfx::Dialog::OnInitDialog();
  m_titleFont.Reset(::CreateFontA(kTitleHeight, 0, 0, 0, kTitleWeight, FALSE, FALSE, FALSE,
                                  DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                  DEFAULT_QUALITY, kTitlePitchAndFamily, kTitleFace));
  m_title = product::kInstallTitle;
  m_pSkin = std::make_unique<CSkinBitmap>(IDB_BANNER);
  m_progress.Attach(GetItem(IDC_INSTALL_PROGRESS));
  m_browser.Attach(GetItem(IDC_AGREEMENT_BROWSER));

  SetItemText(IDC_INSTALL_FOLDER, product::kDefaultFolder);
  m_progress.SetRange(0, 100);
  CenterWindow();
  m_browser.Navigate(std::string(product::kServerUrl) + product::kAgreementPath, nullptr,
                     nullptr, nullptr, nullptr);
  return TRUE;
}

void CWidgetInstallDlg::OnPaint() {
  winfx::ScopedPaint paint(GetHwnd());
  if (m_pSkin) m_pSkin->Draw(GetHwnd(), 0, 0, 0, 0, 0, 0);

  RECT client;
  ::GetClientRect(GetHwnd(), &client);
  RECT title = {client.left + 10, client.top + 5, client.right - 50, client.top + 50};
  winfx::ScopedBkMode transparent(paint.Get(), TRANSPARENT);
  ::SetTextColor(paint.Get(), RGB(0, 0, 0));
  winfx::ScopedSelectObject font(paint.Get(), m_titleFont.Get());
  ::DrawTextA(paint.Get(), m_title.c_str(), -1, &title, kTitleFormat);
}

void CWidgetInstallDlg::OnBrowseFolder() {
  if (m_confirmed) return;
  BROWSEINFOA info = {};
  info.hwndOwner = GetHwnd();
  info.lpszTitle = kBrowseTitle;
  info.ulFlags = kBrowseFlags;
  winfx::ScopedCoMem<ITEMIDLIST> chosen(::SHBrowseForFolderA(&info));
  if (!chosen) return;

  char path[kBrowsePathSize] = {};
  if (!::SHGetPathFromIDListA(chosen.Get(), path) || path[0] == '\0') return;
  m_installFolder = JoinPath(path, product::kPickedFolderName);
  SetItemText(IDC_INSTALL_FOLDER, m_installFolder);
}

void CWidgetInstallDlg::OnOK() {
  // Enter or a posted command after the confirmation must not queue a second download.
  if (m_confirmed) return;
  std::string folder = GetItemText(IDC_INSTALL_FOLDER);
  if (folder.empty()) {
    winfx::AppMessageBox(kEmptyFolderText);
    return;
  }
  m_confirmed = true;
  m_installFolder = folder;
  // From here on the folder is the one the queue downloads into and the installation uses.
  for (int id : {IDOK, IDCANCEL, IDC_INSTALL_FOLDER, IDC_BROWSE_FOLDER}) EnableItem(id, false);
  m_archiveWasThere = g_pHub->m_util.FileExists(JoinPath(m_installFolder, product::kArchiveFile)) != 0;
  g_pHub->QueueWidgetDownloads(product::kServerUrl, m_installFolder);
}

void CWidgetInstallDlg::OnCancel() {
  if (winfx::OwnedMessageBox(kQuitText, kQuitCaption, MB_OKCANCEL) == IDOK) EndDialog(IDCANCEL);
}

void CWidgetInstallDlg::ShowFailure(const std::string& text) {
  EnableItem(IDCANCEL, true);
  if (!text.empty()) winfx::AppMessageBox(text);
}

void CWidgetInstallDlg::SetProgress(int percent) { m_progress.SetPos(percent); }

void CWidgetInstallDlg::SetStatus(std::string text) { SetItemText(IDC_INSTALL_STATUS, text); }

void CWidgetInstallDlg::InstallFromArchive() {
  std::string archive = JoinPath(m_installFolder, product::kArchiveFile);
  std::string program = JoinPath(m_installFolder, product::kWidgetProgram);

  m_zip.SetLogFolder(m_installFolder);
  CStagedInstall staged(m_installFolder);
  // What a killed run left is put right before anything else is written.
  if (!staged.RecoverLeftovers()) {
    FailInstallation(kInstallFailedText);
    return;
  }
  // The checked archive stays open without sharing for writers until the extraction has
  // ended: nothing can swap it in between.
  winfx::ScopedHandle checked;
  if (!VerifyArchive(archive, &checked)) return;
  if (!m_zip.Open(archive.c_str())) {
    checked.Reset();
    // A download that is no zip is of no use to the next run; a file that was there
    // before the confirmation is not the installer's to remove.
    if (!m_archiveWasThere) DeleteArchive();
    SetStatus(kOpenFailedStatus);
    ShowFailure("");
    return;
  }
  if (!CheckFreeSpace()) {
    m_zip.Close();
    return;
  }
  SetStatus(kExtractingStatus);
  const LARGE_INTEGER extractStart = Now();
  const bool prepared = staged.PrepareStaging();
  const int extracted = prepared ? m_zip.ExtractAll(staged.StagingFolder().c_str()) : 0;
  const DWORD error = prepared ? ::GetLastError() : ERROR_CANNOT_MAKE;
  m_zip.Close();
  checked.Reset();
  g_pHub->m_util.WriteLog(winfx::Format(kExtractTimeLine, MillisecondsSince(extractStart)));
  if (!extracted) {
    // Nothing of the new version reaches the folder. An archive that failed its own
    // checks goes; after a local failure it stays for the next run.
    staged.DiscardStaging();
    if (IsArchiveFault(error)) DeleteArchive();
    SetStatus(kExtractFailedStatus);
    ShowFailure(kExtractFailedText);
    return;
  }
  // A file may also be held by something that is no program of its own: checked again.
  if (!CloseProgramsUsing(staged.TargetsInUse()) || !staged.TargetsInUse().empty()) {
    // Nothing is moved; the archive stays for the next run.
    staged.DiscardStaging();
    FailInstallation(kInUseFailedText);
    return;
  }
  const LARGE_INTEGER moveStart = Now();
  const bool moved = staged.MoveIntoPlace();
  g_pHub->m_util.WriteLog(winfx::Format(kMoveTimeLine, MillisecondsSince(moveStart)));
  if (!moved) {
    FailInstallation(kInstallFailedText);
    return;
  }
  staged.RemoveOldFiles();
  DeleteArchive();
  SetStatus(kDoneStatus);
  g_pHub->m_util.CreateShortcut(program, product::kShortcutFile, product::kShortcutDescription,
                                1, 0, 0, 1);
  winfx::AppMessageBox(kDoneText);
  ::ShellExecuteA(nullptr, nullptr, program.c_str(), "", nullptr, SW_SHOW);
  EndDialog(IDOK);
}

bool CWidgetInstallDlg::VerifyArchive(const std::string& archive, winfx::ScopedHandle* checked) {
  if (product::kArchivePublicKey == nullptr) return true;
  checked->Reset(::CreateFileA(archive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  const DWORD openError = *checked ? ERROR_SUCCESS : ::GetLastError();
  if (openError == ERROR_FILE_NOT_FOUND || openError == ERROR_PATH_NOT_FOUND) {
    // No archive at all (its download never started): nothing to check or to remove.
    SetStatus(kOpenFailedStatus);
    ShowFailure("");
    return false;
  }
  const LARGE_INTEGER start = Now();
  std::string signature;
  ArchiveSignature::Verdict verdict = ArchiveSignature::ReadSignatureFile(
      JoinPath(m_installFolder, product::kArchiveSignatureFile), &signature);
  if (verdict == ArchiveSignature::Verdict::kGenuine) {
    verdict = *checked ? ArchiveSignature(product::kArchivePublicKey).Verify(checked->Get(), signature)
                       : ArchiveSignature::Verdict::kArchiveUnreadable;
  }
  g_pHub->m_util.WriteLog(winfx::Format(kVerifyTimeLine, MillisecondsSince(start)));
  if (verdict == ArchiveSignature::Verdict::kGenuine) return true;
  // The pair is at fault, not this machine: the next run fetches both afresh.
  checked->Reset();
  DeleteArchive();
  g_pHub->m_util.WriteLog(winfx::Format(kVerifyFailedLine, ArchiveSignature::VerdictName(verdict)));
  SetStatus(kVerifyFailedStatus);
  ShowFailure(kVerifyFailedText);
  return false;
}

void CWidgetInstallDlg::DeleteArchive() {
  ::DeleteFileA(JoinPath(m_installFolder, product::kArchiveFile).c_str());
  ::DeleteFileA(JoinPath(m_installFolder, product::kArchiveSignatureFile).c_str());
}

bool CWidgetInstallDlg::CheckFreeSpace() {
  unsigned long long total = 0;
  unsigned long entries = 0;
  ULARGE_INTEGER available;
  // Without these figures the extraction itself finds out (and reports) what is wrong.
  if (!m_zip.GetTotalSize(&total, &entries) ||
      !::GetDiskFreeSpaceExA(m_installFolder.c_str(), &available, nullptr, nullptr)) {
    return true;
  }
  const unsigned long long needed = total + entries * kSpacePerEntry + kSpaceMargin;
  if (available.QuadPart >= needed) return true;
  SetStatus(kNoSpaceStatus);
  ShowFailure(winfx::Format(kNoSpaceFormat, Megabytes(needed), Megabytes(available.QuadPart)));
  return false;
}

bool CWidgetInstallDlg::CloseProgramsUsing(const std::vector<std::string>& files) {
  if (files.empty()) return true;
  if (winfx::AppMessageBox(kCloseWidgetQuestion, MB_OKCANCEL) != IDOK) return false;
  std::vector<std::unique_ptr<winfx::RunningProgram>> programs;
  for (const std::string& file : files) {
    programs.push_back(std::make_unique<winfx::RunningProgram>(file));
    programs.back()->AskToClose();
  }
  const DWORD start = ::GetTickCount();
  bool ended = true;
  for (const auto& program : programs) {
    const DWORD spent = ::GetTickCount() - start;
    ended = program->WaitForEnd(spent < kCloseWaitMs ? kCloseWaitMs - spent : 0) && ended;
  }
  return ended;
}

void CWidgetInstallDlg::FailInstallation(const std::string& text) {
  SetStatus(kInstallFailedStatus);
  ShowFailure(text);
}

void CWidgetInstallDlg::OnDestroy() {
  m_titleFont.Reset();
  m_pSkin.reset();
}
