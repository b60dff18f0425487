#include "app/CSetupApp.h"

#include "app/CSetupHubDlg.h"
#include "app/ProductConstants.h"
#include "winfx/MessageBox.h"
#include "winfx/SingleInstance.h"

namespace {

// The name is held, but no installer's screen showed within kFindScreenMs: something else
// holds it, or an installer that shows nothing. The operator is told rather than left
// with no window at all.
constexpr DWORD kFindScreenMs = 2000;
constexpr char kNoScreenText[] =
    "Quillon위젯 설치프로그램이 이미 실행 중인 것으로 보이지만 그 화면을 찾을 수 없습니다. "
    "실행 중인 설치프로그램을 끝내거나 컴퓨터를 다시 시작한 후 다시 시도해 주세요.";

}  // namespace

// The one application object of the installer.
CSetupApp theApp;

bool CSetupApp::InitInstance() {
  // A second start (a second click, say) must not install into the same folder beside the
  // first: it shows the running installer instead and ends.
  winfx::SingleInstance instance(product::kInstanceName);
  if (!instance.IsFirst()) {
    if (!winfx::BringDialogForward(product::kHubTitle, kFindScreenMs)) {
      winfx::AppMessageBox(kNoScreenText);
    }
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
