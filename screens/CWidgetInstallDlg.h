// CWidgetInstallDlg: the installation screen. It shows the agreement page, takes the
// installation folder, hands it to the hub's download queue on "동의설치", shows the
// download's progress and file name, and finally installs from the downloaded archive.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "archive/CZipExtractor.h"
#include "screens/CWebBrowser2.h"
#include "winfx/Dialog.h"
#include "winfx/ProgressCtrl.h"
#include "winfx/ScopedGdi.h"
#include "winfx/ScopedHandle.h"

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
  // tells the operator, starts the widget and ends the screen with IDOK. Nothing reads the
  // archive before its signature was checked (with the vendor's key built in). When the
  // archive fails that check, cannot be opened or extracted, the screen stays open with its status line (and, for
  // a failed extraction, a message box) telling so, and "끝내기" enabled again. The
  // archive is removed after a success and when it failed its own checks; after a
  // failure of this machine's (space, a file in use) it stays for the next run.
  void InstallFromArchive();
  // Enables "끝내기" again (it leads to the quit question) and shows text in a box owned
  // by the screen; an empty text shows no box.
  void ShowFailure(const std::string& text);

 protected:
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  BOOL OnInitDialog() override;
  // "동의설치": takes the folder, locks it (edit box and picker disabled with both
  // buttons) and starts the downloads. Does nothing once confirmed.
  void OnOK() override;
  // "끝내기" and Esc: asks before leaving.
  void OnCancel() override;

 private:
  void OnBrowseFolder();
  void OnPaint();
  void OnDestroy();
  // With the vendor's key built in: checks the archive against its signature before
  // anything reads its contents, and holds it open in *checked (readers only) on success.
  // False after a failed check, with both files deleted, the status line, the box and a
  // log line saying so (or, with no archive at all, the open failure's status line).
  // Without a key: true, nothing checked.
  bool VerifyArchive(const std::string& archive, winfx::ScopedHandle* checked);
  // Deletes the archive and its signature: they go and come together.
  void DeleteArchive();
  // Compares the open archive's uncompressed size (with a margin) with the free space of
  // the installation volume. False, with the space box shown, when it does not fit.
  bool CheckFreeSpace();
  // For files in use (empty: nothing to do, true): asks the operator whether the widget
  // may be closed; on OK asks the programs started from those files to close and waits
  // up to 10 s. True when all of them ended; false after Cancel or when one still runs.
  bool CloseProgramsUsing(const std::vector<std::string>& files);
  // A failure of the installation step (the archive stays): status line, 끝내기, box.
  void FailInstallation(const std::string& text);

  std::unique_ptr<CSkinBitmap> m_pSkin;
  winfx::ScopedFont m_titleFont;
  std::string m_title;
  std::string m_installFolder;
  // Set by the confirmation: the folder is locked from then on.
  bool m_confirmed = false;
  // The archive was in the folder before the confirmation (so it was not downloaded).
  bool m_archiveWasThere = false;
  CZipExtractor m_zip;
  winfx::ProgressCtrl m_progress;
  CWebBrowser2 m_browser;
};
