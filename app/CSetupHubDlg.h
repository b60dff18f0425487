// CSetupHubDlg: the program's main window and the owner of all installer state. It shows
// only a small start-up line, runs the install screen, and downloads the files the screen
// needs through its download queue: each step of the queue is a message the hub posts to
// itself, handled at once by whichever message loop runs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "archive/ReleaseRecord.h"
#include "download/HttpDownloadEngine.h"
#include "screens/CWidgetInstallDlg.h"
#include "settings/CSetupUtil.h"
#include "winfx/Dialog.h"
#include "winfx/ScopedHandle.h"

class HttpDownloadWnd;

class CSetupHubDlg : public winfx::Dialog {
 public:
  // The start-up timer, which kills itself first, so its arming fires once.
  static constexpr UINT_PTR kRunScreenTimer = 1;
  static constexpr UINT kStepPeriodMs = 50;
  // The hub's private message: the next step of the download queue.
  static constexpr UINT WM_DOWNLOAD_QUEUE_STEP = WM_APP + 0x20;
  // Child window id of the download window.
  static constexpr UINT kDownloadWindowId = 21002;

  CSetupHubDlg();
  ~CSetupHubDlg() override;

  // The program folder for an executable path: drive and folder without the trailing
  // backslash ("C:\Setup\x.exe" gives "C:\Setup", "C:\x.exe" gives "C:").
  static std::string ProgramFolderOf(const std::string& exePath);

  // For folder (which exists: the screen has taken it), queues the release record and its signature (always
  // afresh, each within its cap; with the vendor's keys built in) or else the archive
  // (unless it is there), and posts the queue's step, which downloads the queue and then has
  // the screen install. Once the record has arrived and passed its checks, the archive is
  // queued within the record's bounds, unless one of the record's length and SHA-256 is in
  // the folder already. Only the archive's download shows its name and progress.
  void QueueWidgetDownloads(std::string serverUrl, std::string folder);

  // The settings, log and shell-utility object bound to the program folder.
  CSetupUtil m_util;

 protected:
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  BOOL OnInitDialog() override;

 private:
  void SetUp();
  void OnTimer(UINT_PTR id);
  void OnRunScreenTimer();
  // Posts the queue's next step, unless one is posted already (a step runs once).
  void PostQueueStep();
  // The first queued file to the download window, or with the queue empty the installation.
  void OnQueueStep();
  LRESULT OnDownloadProgress(WPARAM percent, LPARAM);
  // Before a wait between attempts: the status line shows the file name and the retry
  // (" (재시도 1/4)"); the progress bar keeps its value.
  LRESULT OnDownloadRetry(WPARAM retry, LPARAM maxRetries);
  LRESULT OnDownloadResult(WPARAM, LPARAM succeeded);
  // The record and its signature have arrived: checks them (signature, file, expiry,
  // versions) and queues the archive within the record's bounds, after the free-space
  // check. False after the screen was told why not (the queue stops).
  bool AcceptRelease();
  // The archive in the folder is the record's (length and SHA-256, which is then known);
  // one that is not is deleted.
  bool PresentArchiveMatches(const std::string& path);
  // Tells the screen and the log why the record offered (m_release) was refused.
  void RefuseRelease(ReleaseRecord::Verdict verdict, const ReleaseRecord& installed);
  // Loads the application icon at the big and small icon sizes of dpi and gives both to the
  // window (task bar, Alt+Tab); the icons it had before are destroyed.
  void SetIcons(UINT dpi);
  // The hub moved to a monitor of another scale: it takes the suggested rectangle, its icons
  // for that scale, and redraws.
  void OnDpiChanged(WPARAM wParam, LPARAM lParam);
  void OnPaint();
  HICON OnQueryDragIcon();
  void OnDestroy();

  // The queue is three parallel arrays; these two keep them the same length and remove
  // only from the front.
  void AppendDownload(const std::string& name);
  // What the download of a queued file may bring: the record and its signature are capped,
  // the archive is bounded and hashed by the accepted record, anything else is free.
  HttpDownloadEngine::Limits LimitsFor(const std::string& name) const;
  void RemoveFirstDownload();

  CWidgetInstallDlg m_step1Dlg;
  std::string m_message;
  std::string m_exeLine;
  std::string m_exe_str;
  std::string m_serverUrl;
  std::vector<std::string> m_downloadUrls;
  std::vector<std::string> m_downloadPaths;
  std::vector<std::string> m_downloadNames;
  // The installation folder of the last filling.
  std::string m_folder;
  // This run's release record (accepted once it passed its checks), and the archive's
  // SHA-256 once known (from its download or the check of the one present).
  ReleaseRecord m_release;
  bool m_releaseAccepted = false;
  bool m_archiveDigestKnown = false;
  unsigned char m_archiveDigest[winfx::Sha256::kSize] = {};
  std::unique_ptr<HttpDownloadWnd> m_pDownload;
  bool m_queueStepPosted = false;
  UINT m_dpi = 0;  // the icons are made for this DPI
  winfx::ScopedIcon m_bigIcon;
  winfx::ScopedIcon m_smallIcon;
};

// The hub, once its dialog is initialised; never cleared.
extern CSetupHubDlg* g_pHub;
