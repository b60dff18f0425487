#include "screens/CWidgetInstallDlg.h"

#include <shlobj.h>

#include <string>

#include "app/CSetupHubDlg.h"
#include "app/ProductConstants.h"
#include "archive/ReleaseRecord.h"
#include "install/WidgetInstallation.h"
#include "res/resource.h"
#include "screens/BannerPicture.h"
#include "screens/CSkinBitmap.h"
#include "winfx/Dpi.h"
#include "winfx/Format.h"
#include "winfx/MessageBox.h"
#include "winfx/ScopedCom.h"
#include "winfx/WidePath.h"

using winfx::JoinPath;

namespace {

// Title font: 12 pixels high at 96 DPI, bold, default character set, Swiss family with
// default pitch.
constexpr int kTitleHeight = 12;
constexpr int kTitleWeight = FW_BOLD;
constexpr DWORD kTitlePitchAndFamily = FF_SWISS | DEFAULT_PITCH;
constexpr char kTitleFace[] = "굴림";

// The title sits over the banner: at 96 DPI left + 10, top + 5, right - 50, top + 50 of the
// client area; these grow with the DPI.
constexpr int kTitleLeft = 10;
constexpr int kTitleTop = 5;
constexpr int kTitleRightGap = 50;
constexpr int kTitleBottom = 50;
constexpr UINT kTitleFormat = DT_SINGLELINE | DT_VCENTER;

// Folder picker: file-system folders only, with an edit box, in the new dialog style.
constexpr UINT kBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
constexpr char kBrowseTitle[] = "파일이 저장될 폴더를 선택하세요";
constexpr size_t kBrowsePathSize = 512;

constexpr char kEmptyFolderText[] = "설치경로를 입력해 주세요.";
// The folder's name has a character the installation cannot name its files with.
constexpr char kFolderNameText[] = "설치경로에 사용할 수 없는 문자가 있습니다. 다른 폴더를 선택해 주세요.";
constexpr char kQuitText[] = "설치프로그램을 종료하시겠습니까?";
constexpr char kQuitCaption[] = "확인";
constexpr char kFolderLockedText[] =
    "다른 설치프로그램이 이 폴더에 Quillon위젯을 설치하고 있습니다. 설치가 끝난 후 다시 시도해 주세요.";
// One of the installer's own names in the folder is a link that leads out of it.
constexpr char kOwnNameLinkFormat[] =
    "설치 폴더에 다른 곳을 가리키는 링크(%s)가 있습니다. 링크를 지운 후 다시 시도해 주세요.";
// One of the installer's own names in the folder is a folder where a file belongs, or
// the other way round.
constexpr char kOwnNameInTheWayFormat[] =
    "설치 폴더 안의 %s은(는) 설치프로그램이 쓰는 이름입니다. 지우거나 다른 곳으로 옮긴 후 다시 시도해 주세요.";
// A folder the installation cannot stand on: %s is the folder, the sentence its cause and
// the way out.
constexpr char kCannotMakeFormat[] =
    "설치 폴더(%s)를 만들 수 없습니다. 드라이브와 폴더 이름을 확인하거나 다른 폴더를 선택해 주세요.";
constexpr char kNoPermissionFormat[] =
    "설치 폴더(%s)를 만들 권한이 없습니다. 다른 폴더를 선택하거나 관리자 권한으로 실행해 주세요.";
constexpr char kFolderLinkFormat[] =
    "설치 폴더(%s)나 그 상위 폴더가 다른 곳을 가리키는 링크입니다. 다른 폴더를 선택해 주세요.";
constexpr char kForeignOwnerFormat[] =
    "설치 폴더(%s)의 소유자가 다른 사용자입니다. 다른 폴더를 선택해 주세요.";
constexpr char kOpenToOthersFormat[] =
    "설치 폴더(%s)는 다른 사용자도 바꿀 수 있으며 그 권한을 고칠 수 없습니다. 다른 폴더를 선택하거나 "
    "관리자 권한으로 실행해 주세요.";
constexpr char kLockFailedFormat[] =
    "설치 폴더(%s)에 파일을 만들 수 없습니다. 다른 폴더를 선택하거나 관리자 권한으로 실행해 주세요.";
constexpr char kOpenFailedStatus[] = "압축파일 오픈 실패 = 1...";
constexpr char kExtractingStatus[] = "압축해제중입니다.기다려 주세요...";
constexpr char kExtractFailedStatus[] = "압축해제 실패...";
constexpr char kExtractFailedText[] =
    "Quillon위젯 압축해제에 실패했습니다. [끝내기] 후 다시 시도해 주세요.";
constexpr char kNoSpaceStatus[] = "디스크 공간 부족...";
constexpr char kNoSpaceFormat[] =
    "Quillon위젯을 설치할 디스크 공간이 부족합니다. 필요한 공간: %.1fMB, 남은 공간: %.1fMB. "
    "[끝내기] 후 공간을 확보하고 다시 시도해 주세요.";
// Asked when a file to replace is in use (a running widget); OK closes the widget.
constexpr char kCloseWidgetQuestion[] =
    "Quillon위젯이 실행 중입니다. [확인]을 누르면 위젯을 종료하고 설치를 계속합니다.";
constexpr char kInUseFailedText[] =
    "Quillon위젯이 실행 중이어서 설치하지 못했습니다. [끝내기] 후 다시 시도해 주세요.";
// A file to replace or to put back is held by another program: %s is its full path.
constexpr char kFileInUseFormat[] =
    "Quillon위젯 설치에 실패했습니다. 파일(%s)을 다른 프로그램이 사용하고 있습니다. "
    "그 프로그램을 닫고 [끝내기] 후 다시 시도해 주세요.";
// What a killed run left could not be put right: %s names the work folders left.
constexpr char kLeftoversFormat[] =
    "Quillon위젯 설치에 실패했습니다. 이전 설치가 중단되며 남은 작업 폴더(%s)를 정리하지 못했습니다. "
    "컴퓨터를 다시 시작한 후 다시 시도하고, 그래도 안 되면 그 폴더를 지운 후 다시 시도해 주세요.";
constexpr char kInstallFailedStatus[] = "설치 실패...";
constexpr char kInstallFailedText[] =
    "Quillon위젯 설치에 실패했습니다. [끝내기] 후 다시 시도해 주세요.";
// The archive does not carry the vendor's signature (or the signature is missing).
constexpr char kVerifyFailedStatus[] = "서명 확인 실패...";
constexpr char kVerifyFailedText[] =
    "Quillon위젯 설치파일의 서명을 확인하지 못했습니다. [끝내기] 후 다시 시도해 주세요.";
// A work folder to put right, or a folder in the way, is nested deeper than the installer
// walks folders.
constexpr char kTooDeepText[] =
    "설치 폴더 안에 너무 깊게 중첩된 폴더가 있어 설치하지 못했습니다. 그 폴더를 지운 후 다시 시도해 주세요.";
constexpr char kDoneStatus[] = "설치완료...";
constexpr char kDoneText[] = "Quillon위젯 설치가 완료되었습니다. 위젯이 실행됩니다.";
// After the completion box, the widget (%s, its program) did not start.
constexpr char kNotStartedFormat[] =
    "Quillon위젯(%s)을 실행하지 못했습니다. 설치는 완료되었으니 위젯을 직접 실행해 주세요.";

// Names a screen reader announces for what shows no text of its own (the picker's "...",
// the agreement page, the banner that the screen paints with the product's title).
constexpr char kBrowseButtonName[] = "설치 폴더 찾아보기";
constexpr char kAgreementName[] = "사용권 계약서";

double Megabytes(unsigned long long bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

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
    case WM_DPICHANGED:
      OnDpiChanged(wParam, lParam);
      return FALSE;  // the dialog manager's own handling (the controls) runs as well
    case WM_DESTROY:
      OnDestroy();
      return FALSE;  // the default dialog handling runs as well
    default:
      return winfx::Dialog::HandleMessage(message, wParam, lParam);
  }
}

BOOL CWidgetInstallDlg::OnInitDialog() {
  winfx::Dialog::OnInitDialog();
  ApplyDpi(winfx::WindowDpi(GetHwnd()));
  m_title = product::kInstallTitle;
  m_progress.Attach(GetItem(IDC_INSTALL_PROGRESS));
  m_browser.Attach(GetItem(IDC_AGREEMENT_BROWSER));

  SetItemText(IDC_INSTALL_FOLDER, product::kDefaultFolder);
  m_progress.SetRange(0, 100);
  CenterWindow();
  // The agreement page and nothing else: its own origin only, no script error boxes.
  const std::string agreement = std::string(product::kServerUrl) + product::kAgreementPath;
  m_browser.AllowOnlyOriginOf(agreement);
  m_browser.SetSilent(true);
  m_browser.Navigate(agreement, nullptr, nullptr, nullptr, nullptr);
  m_names.Set(GetItem(IDC_BROWSE_FOLDER), winfx::ToWide(kBrowseButtonName));
  m_names.Set(GetItem(IDC_AGREEMENT_BROWSER), winfx::ToWide(kAgreementName));
  m_names.Set(GetHwnd(), winfx::ToWide(m_title));
  return TRUE;
}

void CWidgetInstallDlg::ApplyDpi(UINT dpi) {
  m_dpi = dpi;
  m_titleFont.Reset(::CreateFontW(winfx::ScaleToDpi(kTitleHeight, dpi), 0, 0, 0, kTitleWeight,
                                  FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, kTitlePitchAndFamily,
                                  winfx::ToWide(kTitleFace).c_str()));
  // At 100 % the banner is bitmap 131, as it always was. At any other scale it is drawn at
  // its size there, from its description: never a stretched bitmap.
  auto skin = std::make_unique<CSkinBitmap>();
  if (dpi == winfx::kDefaultDpi) {
    skin->LoadFromResource(IDB_BANNER);
  } else {
    skin->Attach(BannerPicture(winfx::ScaleToDpi(BannerPicture::kWidth, dpi),
                               winfx::ScaleToDpi(BannerPicture::kHeight, dpi))
                     .ToBitmap());
  }
  m_pSkin = std::move(skin);
}

void CWidgetInstallDlg::OnPaint() {
  winfx::ScopedPaint paint(GetHwnd());
  if (m_pSkin) m_pSkin->Draw(paint.Get(), 0, 0);

  RECT client;
  ::GetClientRect(GetHwnd(), &client);
  RECT title = {client.left + winfx::ScaleToDpi(kTitleLeft, m_dpi),
                client.top + winfx::ScaleToDpi(kTitleTop, m_dpi),
                client.right - winfx::ScaleToDpi(kTitleRightGap, m_dpi),
                client.top + winfx::ScaleToDpi(kTitleBottom, m_dpi)};
  winfx::ScopedBkMode transparent(paint.Get(), TRANSPARENT);
  ::SetTextColor(paint.Get(), RGB(0, 0, 0));
  winfx::ScopedSelectObject font(paint.Get(), m_titleFont.Get());
  ::DrawTextW(paint.Get(), winfx::ToWide(m_title).c_str(), -1, &title, kTitleFormat);
}

void CWidgetInstallDlg::OnDpiChanged(WPARAM wParam, LPARAM lParam) {
  ApplyDpi(winfx::DpiOfChange(wParam));
  winfx::TakeSuggestedRect(GetHwnd(), lParam);
  ::InvalidateRect(GetHwnd(), nullptr, TRUE);
}

void CWidgetInstallDlg::OnBrowseFolder() {
  if (m_confirmed) return;
  const winfx::WideString title = winfx::ToWide(kBrowseTitle);
  BROWSEINFOW info = {};
  info.hwndOwner = GetHwnd();
  info.lpszTitle = title.c_str();
  info.ulFlags = kBrowseFlags;
  winfx::ScopedCoMem<ITEMIDLIST> chosen(::SHBrowseForFolderW(&info));
  if (!chosen) return;

  wchar_t path[kBrowsePathSize] = {};
  if (!::SHGetPathFromIDListW(chosen.Get(), path) || path[0] == L'\0') return;
  // The field shows the folder as picked, also a name without a code page 949 form (the
  // confirmation refuses that one with a box).
  const winfx::WideString folder = JoinPath(path, winfx::ToWide(product::kPickedFolderName));
  m_installFolder = winfx::ToShownAnsi(folder);
  SetItemText(IDC_INSTALL_FOLDER, folder);
}

void CWidgetInstallDlg::OnOK() {
  // Enter or a posted command after the confirmation must not queue a second download.
  if (m_confirmed) return;
  bool exact = false;
  std::string folder = winfx::ToAnsi(GetItemTextWide(IDC_INSTALL_FOLDER), &exact);
  if (folder.empty()) {
    RefuseFolder(kEmptyFolderText);
    return;
  }
  if (!exact) {
    RefuseFolder(kFolderNameText);
    return;
  }
  // Nothing is fetched or written before the folder is one the installation can stand on.
  const InstallationFolder::Reason refused = m_folder.Take(folder, &g_pHub->m_util);
  if (refused != InstallationFolder::Reason::kTaken) {
    RefuseFolder(RefusalText(refused, folder));
    return;
  }
  m_confirmed = true;
  m_installFolder = folder;
  // From here on the folder is the one the queue downloads into and the installation uses.
  // "끝내기" stays: a download that stalls must not leave the operator without a way out.
  // The focus goes to it before the button that holds it is disabled (a disabled control
  // keeps no focus, and the keys then reach nothing).
  MoveFocusBeforeDisabling({IDOK, IDC_INSTALL_FOLDER, IDC_BROWSE_FOLDER}, IDCANCEL);
  for (int id : {IDOK, IDC_INSTALL_FOLDER, IDC_BROWSE_FOLDER}) EnableItem(id, false);
  m_archiveWasThere = g_pHub->m_util.FileExists(JoinPath(m_installFolder, product::kArchiveFile)) != 0;
  g_pHub->QueueWidgetDownloads(product::kServerUrl, m_installFolder);
}

std::string CWidgetInstallDlg::RefusalText(InstallationFolder::Reason reason,
                                           const std::string& folder) const {
  using Reason = InstallationFolder::Reason;
  switch (reason) {
    case Reason::kTaken:
      break;
    case Reason::kCannotMake:
      return winfx::Format(kCannotMakeFormat, folder.c_str());
    case Reason::kNoPermission:
      return winfx::Format(kNoPermissionFormat, folder.c_str());
    case Reason::kLink:
      return winfx::Format(kFolderLinkFormat, folder.c_str());
    case Reason::kForeignOwner:
      return winfx::Format(kForeignOwnerFormat, folder.c_str());
    case Reason::kOpenToOthers:
      return winfx::Format(kOpenToOthersFormat, folder.c_str());
    case Reason::kOwnNameLink:
      return winfx::Format(kOwnNameLinkFormat, m_folder.OwnName().c_str());
    case Reason::kOwnNameInTheWay:
      return winfx::Format(kOwnNameInTheWayFormat, m_folder.OwnName().c_str());
    case Reason::kLocked:
      return kFolderLockedText;
    case Reason::kLockFailed:
      return winfx::Format(kLockFailedFormat, folder.c_str());
  }
  return "";
}

void CWidgetInstallDlg::OnCancel() {
  // A box of the installation's own is the only way a click gets here then.
  if (m_installing || m_askingToQuit) return;
  m_askingToQuit = true;
  const bool leave = winfx::OwnedMessageBox(kQuitText, kQuitCaption, MB_OKCANCEL) == IDOK;
  m_askingToQuit = false;
  if (leave) {
    // The hub's end stops a running transfer; what it received stays for the next run.
    EndDialog(IDCANCEL);
    return;
  }
  if (m_installWaiting) {
    m_installWaiting = false;
    InstallFromArchive(m_waitingRelease, m_waitingDigest);
  }
}

void CWidgetInstallDlg::RefuseFolder(const std::string& text) {
  winfx::AppMessageBox(text);
  FocusItem(IDC_INSTALL_FOLDER);
}

void CWidgetInstallDlg::ShowFailure(const std::string& text) {
  EnableItem(IDCANCEL, true);
  // The box hands the focus back to 끝내기, the one way on from here.
  FocusItem(IDCANCEL);
  if (!text.empty()) winfx::AppMessageBox(text);
}

void CWidgetInstallDlg::SetProgress(int percent) { m_progress.SetPos(percent); }

void CWidgetInstallDlg::SetStatus(std::string text) { SetItemText(IDC_INSTALL_STATUS, text); }

void CWidgetInstallDlg::ReportNoArchive() { OnFailure(Failure::kNoArchive, ""); }

void CWidgetInstallDlg::InstallFromArchive(const ReleaseRecord* release, const unsigned char* digest) {
  if (m_askingToQuit) {
    m_installWaiting = true;
    m_waitingRelease = release;
    m_waitingDigest = digest;
    return;
  }
  m_installing = true;
  WidgetInstallation installation(m_installFolder, release, digest, this, &g_pHub->m_util,
                                  m_archiveWasThere);
  const bool installed = installation.Run();
  m_installing = false;
  if (!installed) return;
  const std::string program = JoinPath(m_installFolder, product::kWidgetProgram);
  SetStatus(kDoneStatus);
  g_pHub->m_util.CreateShortcut(program, product::kShortcutFile, product::kShortcutDescription,
                                1, 0, 0, 1);
  winfx::AppMessageBox(kDoneText);
  // The installation stays as it is; the operator learns that the widget did not start.
  if (!installation.StartWidget()) winfx::AppMessageBox(winfx::Format(kNotStartedFormat, program.c_str()));
  EndDialog(IDOK);
}

void CWidgetInstallDlg::OnExtracting() { SetStatus(kExtractingStatus); }

void CWidgetInstallDlg::OnFailure(Failure failure, const std::string& path) {
  switch (failure) {
    case Failure::kNoArchive:
      SetStatus(kOpenFailedStatus);
      ShowFailure("");
      return;
    case Failure::kNotSigned:
      SetStatus(kVerifyFailedStatus);
      ShowFailure(kVerifyFailedText);
      return;
    case Failure::kExtractFailed:
      SetStatus(kExtractFailedStatus);
      ShowFailure(kExtractFailedText);
      return;
    case Failure::kWidgetRunning:
      SetStatus(kInstallFailedStatus);
      ShowFailure(kInUseFailedText);
      return;
    case Failure::kFileInUse:
      SetStatus(kInstallFailedStatus);
      ShowFailure(winfx::Format(kFileInUseFormat, path.c_str()));
      return;
    case Failure::kLeftoversStay:
      SetStatus(kInstallFailedStatus);
      ShowFailure(path.empty() ? std::string(kInstallFailedText) : winfx::Format(kLeftoversFormat, path.c_str()));
      return;
    case Failure::kMoveFailed:
      SetStatus(kInstallFailedStatus);
      ShowFailure(kInstallFailedText);
      return;
    case Failure::kTooDeep:
      SetStatus(kInstallFailedStatus);
      ShowFailure(kTooDeepText);
      return;
  }
}

void CWidgetInstallDlg::ReportNoSpace(unsigned long long needed, unsigned long long available) {
  SetStatus(kNoSpaceStatus);
  ShowFailure(winfx::Format(kNoSpaceFormat, Megabytes(needed), Megabytes(available)));
}

bool CWidgetInstallDlg::AllowClosingWidget() {
  return winfx::AppMessageBox(kCloseWidgetQuestion, MB_OKCANCEL) == IDOK;
}

void CWidgetInstallDlg::OnDestroy() {
  m_names.Clear();
  m_folder.Release();
  m_titleFont.Reset();
  m_pSkin.reset();
}
