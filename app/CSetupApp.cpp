#include "app/CSetupApp.h"

#include "app/CSetupHubDlg.h"
#include "app/ProductConstants.h"
#include "winfx/SingleInstance.h"

// The one application object of the installer.
CSetupApp theApp;

bool CSetupApp::InitInstance() {
  // A second start (a second click, say) must not install into the same folder beside the
  // first: it shows the running installer instead and ends.
  winfx::SingleInstance instance(product::kInstanceName);
  if (!instance.IsFirst()) {
    winfx::BringDialogForward(product::kHubTitle);
    return false;
  }

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
