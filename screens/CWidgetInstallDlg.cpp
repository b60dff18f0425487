#include "screens/CWidgetInstallDlg.h"

#include <shellapi.h>
#include <shlobj.h>

#include "app/CSetupHubDlg.h"
#include "app/ProductConstants.h"
#include "res/resource.h"
#include "screens/CSkinBitmap.h"
#include "winfx/MessageBox.h"
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
constexpr char kDoneStatus[] = "설치완료...";
constexpr char kDoneText[] = "Quillon위젯 설치가 완료되었습니다. 위젯이 실행됩니다.";

std::string JoinPath(const std::string& folder, const std::string& name) {
  return folder + "\\" + name;
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
  m_installFolder = GetItemText(IDC_INSTALL_FOLDER);
  if (m_installFolder.empty()) {
    winfx::AppMessageBox(kEmptyFolderText);
    return;
  }
  EnableItem(IDOK, false);
  EnableItem(IDCANCEL, false);
  g_pHub->QueueWidgetDownloads(product::kServerUrl, m_installFolder);
}

void CWidgetInstallDlg::OnCancel() {
  if (::MessageBoxA(GetHwnd(), kQuitText, kQuitCaption, MB_OKCANCEL) == IDOK) {
    EndDialog(IDCANCEL);
  }
}

void CWidgetInstallDlg::SetProgress(int percent) { m_progress.SetPos(percent); }

void CWidgetInstallDlg::SetStatus(std::string text) { SetItemText(IDC_INSTALL_STATUS, text); }

void CWidgetInstallDlg::InstallFromArchive() {
  std::string archive = JoinPath(m_installFolder, product::kArchiveFile);
  std::string program = JoinPath(m_installFolder, product::kWidgetProgram);

  m_zip.SetLogFolder(m_installFolder);
  if (!m_zip.Open(archive.c_str())) {
    // Whatever is at the archive path stays there.
    SetStatus(kOpenFailedStatus);
    return;
  }
  SetStatus(kExtractingStatus);
  int extracted = m_zip.ExtractAll(m_installFolder.c_str());
  m_zip.Close();
  ::DeleteFileA(archive.c_str());

  if (!extracted) {
    // A partly extracted widget is not an installation: no link, no start. The buttons
    // stay disabled; Esc still leads to the quit question.
    SetStatus(kExtractFailedStatus);
    winfx::AppMessageBox(kExtractFailedText);
    return;
  }
  SetStatus(kDoneStatus);
  g_pHub->m_util.CreateShortcut(program, product::kShortcutFile, product::kShortcutDescription,
                                1, 0, 0, 1);
  winfx::AppMessageBox(kDoneText);
  ::ShellExecuteA(nullptr, nullptr, program.c_str(), "", nullptr, SW_SHOW);
  EndDialog(IDOK);
}

void CWidgetInstallDlg::OnDestroy() {
  m_titleFont.Reset();
  m_pSkin.reset();
}
