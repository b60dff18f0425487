// CWidgetInstallDlg: the installation screen. It shows the agreement page, takes the
// installation folder, hands it to the hub's download queue on "동의설치", shows the
// download's progress and file name, and finally installs from the downloaded archive.
#pragma once

#include <memory>
#include <string>

#include "archive/CZipExtractor.h"
#include "screens/CWebBrowser2.h"
#include "winfx/Dialog.h"
#include "winfx/ProgressCtrl.h"
#include "winfx/ScopedGdi.h"

class CSkinBitmap;

class CWidgetInstallDlg : public winfx::Dialog {
 public:
  CWidgetInstallDlg();
  ~CWidgetInstallDlg() override;

  // The progress bar's position (its range is 0..100); values are not checked.
  void SetProgress(int percent);
  // The status line's text.
  void SetStatus(std::string text);
  // Extracts the archive in the installation folder, deletes it, makes the desktop link,
  // tells the operator, starts the widget and ends the screen with IDOK. When the archive
  // cannot be opened or extracted, the screen stays open with its status line (and, for
  // a failed extraction, a message box) telling so.
  void InstallFromArchive();

 protected:
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  BOOL OnInitDialog() override;
  // "동의설치": takes the folder and starts the downloads.
  void OnOK() override;
  // "끝내기" and Esc: asks before leaving.
  void OnCancel() override;

 private:
  void OnBrowseFolder();
  void OnPaint();
  void OnDestroy();

  std::unique_ptr<CSkinBitmap> m_pSkin;
  winfx::ScopedFont m_titleFont;
  std::string m_title;
  std::string m_installFolder;
  CZipExtractor m_zip;
  winfx::ProgressCtrl m_progress;
  CWebBrowser2 m_browser;
};
