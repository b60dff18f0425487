// CSetupHubDlg: the program's main window and the owner of all installer state. It shows
// only a small start-up line, then drives the installation with window timers.
#pragma once

#include <memory>
#include <string>

#include "download/HttpDownloadWnd.h"
#include "settings/CSetupUtil.h"
#include "winfx/Dialog.h"

class CSetupHubDlg : public winfx::Dialog {
 public:
  // Hub timers; each handler kills its own timer first, so every arming fires once.
  static constexpr UINT_PTR kRunScreenTimer = 1;
  static constexpr UINT kStepPeriodMs = 50;
  // Child window id of the invisible download window.
  static constexpr UINT kDownloadWindowId = 21002;

  CSetupHubDlg();
  ~CSetupHubDlg() override;

  // The program folder for an executable path: drive and folder without the trailing
  // backslash ("C:\Setup\x.exe" gives "C:\Setup", "C:\x.exe" gives "C:").
  static std::string ProgramFolderOf(const std::string& exePath);

  // The settings, log and shell-utility object bound to the program folder.
  CSetupUtil m_util;

 protected:
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  BOOL OnInitDialog() override;

 private:
  void SetUp();
  void OnTimer(UINT_PTR id);
  void OnRunScreenTimer();
  void OnPaint();
  HICON OnQueryDragIcon();
  void OnDestroy();

  std::string m_exeLine;
  std::string m_exe_str;
  // The download window: created in SetUp, destroyed with the hub.
  std::unique_ptr<HttpDownloadWnd> m_pDownload;
  HICON m_hIcon;
};

// The hub, once its dialog is initialised; never cleared.
extern CSetupHubDlg* g_pHub;
