// CWidgetInstallDlg: the installation screen. It shows the agreement page, takes the
// installation folder, hands it to the hub's download queue on "동의설치", shows the
// download's progress and file name, and finally installs from the downloaded archive.
#pragma once

#include <memory>
#include <string>

#include "install/InstallationFolder.h"
#include "install/InstallationScreen.h"
#include "screens/CWebBrowser2.h"
#include "winfx/AccessibleNames.h"
#include "winfx/Dialog.h"
#include "winfx/ProgressCtrl.h"
#include "winfx/ScopedGdi.h"

class CSkinBitmap;
class ReleaseRecord;

class CWidgetInstallDlg : public winfx::Dialog, private InstallationScreen {
 public:
  CWidgetInstallDlg();
  ~CWidgetInstallDlg() override;

  // The progress bar's position (its range is 0..100); values are not checked.
  void SetProgress(int percent);
  // The status line's text.
  void SetStatus(std::string text);
  // Installs the downloaded archive into the installation folder (see WidgetInstallation:
  // release is the checked record it must match, or null; digest its SHA-256 when known,
  // or null; both are used before this returns), makes the desktop link, tells the
  // operator, starts the widget (one that does not start is told in a box with its path;
  // the installation stays) and ends the screen with IDOK. When the installation
  // fails, the screen stays open with its status line (and, for most failures, a message
  // box) telling so. While the quit question is open, the installation waits for its
  // answer (and does not run when the operator leaves).
  void InstallFromArchive(const ReleaseRecord* release, const unsigned char* digest);
  // Enables "끝내기" again (it leads to the quit question), gives it the focus and shows
  // text in a box owned by the screen; an empty text shows no box.
  void ShowFailure(const std::string& text);
  // Tells of too little space on the installation volume (needed and available bytes).
  void ReportNoSpace(unsigned long long needed, unsigned long long available);
  // Tells that there is no archive to install (as a missing or unreadable one is told).
  void ReportNoArchive();

 protected:
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  BOOL OnInitDialog() override;
  // "동의설치": takes the folder (InstallationFolder: made where missing, checked, held
  // and locked until the screen ends; edit box and picker disabled with both buttons) and
  // starts the downloads. Does nothing once confirmed; a folder that cannot be taken is
  // told of in a box, and the screen takes a confirmation again.
  void OnOK() override;
  // "끝내기" and Esc: asks before leaving, also while the downloads run or wait to try
  // again (leaving stops the transfer; its part stays for the next run). Nothing while the
  // installation itself runs.
  void OnCancel() override;

 private:
  // Makes the title's font and the banner for dpi (a bitmap of the banner's size there).
  void ApplyDpi(UINT dpi);
  void OnBrowseFolder();
  // Shows text in a box and gives the focus to the folder field: the folder is not taken.
  void RefuseFolder(const std::string& text);
  void OnPaint();
  // The screen moved to a monitor of another scale: it takes the suggested rectangle, makes
  // its font and banner anew and redraws. The dialog manager places the controls.
  void OnDpiChanged(WPARAM wParam, LPARAM lParam);
  void OnDestroy();
  // The box text for a folder that could not be taken, naming it and the way out.
  std::string RefusalText(InstallationFolder::Reason reason, const std::string& folder) const;
  // InstallationScreen: what the installation's steps tell and ask, in the screen's texts.
  void OnExtracting() override;
  void OnFailure(Failure failure, const std::string& path) override;
  bool AllowClosingWidget() override;

  // What the screen draws itself is made for this DPI.
  UINT m_dpi = 0;
  std::unique_ptr<CSkinBitmap> m_pSkin;
  winfx::ScopedFont m_titleFont;
  std::string m_title;
  std::string m_installFolder;
  // Set by the confirmation: the folder is locked from then on.
  bool m_confirmed = false;
  // The archive was in the folder before the confirmation (so it was not downloaded).
  bool m_archiveWasThere = false;
  // The quit question is open; the installation the hub asked for meanwhile waits for it.
  bool m_askingToQuit = false;
  bool m_installWaiting = false;
  const ReleaseRecord* m_waitingRelease = nullptr;
  const unsigned char* m_waitingDigest = nullptr;
  // The installation's steps run.
  bool m_installing = false;
  // Held from the confirmation until the screen ends.
  InstallationFolder m_folder;
  // The screen reader's names of the picker, the browser area and the banner.
  winfx::AccessibleNames m_names;
  winfx::ProgressCtrl m_progress;
  CWebBrowser2 m_browser;
};
