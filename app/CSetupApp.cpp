#include "app/CSetupApp.h"

#include "app/CSetupHubDlg.h"

// The one application object of the installer.
CSetupApp theApp;

bool CSetupApp::InitInstance() {
  // The install screen hosts the web browser control. (Three-dimensional dialog
  // controls are the system's own look on every supported Windows: nothing to enable.)
  EnableControlContainer();

  CSetupHubDlg hub;
  // The hub is the main window while it runs; the screen it opens is owned by it.
  SetMainDialog(&hub);
  hub.DoModal();
  SetMainDialog(nullptr);
  // The hub has ended the installation either way: leave without a message loop.
  return false;
}
