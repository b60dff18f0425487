// CSetupHubDlg: the program's main window and the owner of all installer state. It shows
// only a small start-up line, runs the install screen, and downloads the files the screen
// needs through its download queue, driven by window timers.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "screens/CWidgetInstallDlg.h"
#include "settings/CSetupUtil.h"
#include "winfx/Dialog.h"
#include "winfx/ScopedHandle.h"

class HttpDownloadWnd;

class CSetupHubDlg : public winfx::Dialog {
 public:
  // Hub timers; each handler kills its own timer first, so every arming fires once.
  static constexpr UINT_PTR kRunScreenTimer = 1;
  static constexpr UINT_PTR kQueueTimer = 111;
  static constexpr UINT kStepPeriodMs = 50;
  // Child window id of the download window.
  static constexpr UINT kDownloadWindowId = 21002;

  CSetupHubDlg();
  ~CSetupHubDlg() override;

  // The program folder for an executable path: drive and folder without the trailing
  // backslash ("C:\Setup\x.exe" gives "C:\Setup", "C:\x.exe" gives "C:").
  static std::string ProgramFolderOf(const std::string& exePath);

  // Queues, for folder (which exists: the screen has taken it), the archive's signature
  // (with the vendor's key built in) and the widget archive, each unless it is already there, and arms the queue timer,
  // which downloads the queue and then has the screen install. Only the archive's download
  // shows its name and progress on the screen.
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
  void OnQueueTimer();
  LRESULT OnDownloadProgress(WPARAM percent, LPARAM);
  // Before a wait between attempts: the status line shows the file name and the retry
  // (" (재시도 1/4)"); the progress bar keeps its value.
  LRESULT OnDownloadRetry(WPARAM retry, LPARAM maxRetries);
  LRESULT OnDownloadResult(WPARAM, LPARAM succeeded);
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
  void AppendDownload(const std::string& url, const std::string& path, const std::string& name);
  void RemoveFirstDownload();

  CWidgetInstallDlg m_step1Dlg;
  std::string m_message;
  std::string m_exeLine;
  std::string m_exe_str;
  std::string m_serverUrl;
  std::vector<std::string> m_downloadUrls;
  std::vector<std::string> m_downloadPaths;
  std::vector<std::string> m_downloadNames;
  std::unique_ptr<HttpDownloadWnd> m_pDownload;
  UINT m_dpi = 0;  // the icons are made for this DPI
  winfx::ScopedIcon m_bigIcon;
  winfx::ScopedIcon m_smallIcon;
};

// The hub, once its dialog is initialised; never cleared.
extern CSetupHubDlg* g_pHub;
