// The install screen of the real QuillonSetup.exe, acted on through its windows under Wine.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "tests/support/InstallerFixture.h"

namespace {

using testing_support::FromUnixPath;
using testing_support::InstallerFixture;
using testing_support::PathExists;

constexpr char kAgreementPath[] = "/Orlo_venta/install_agree.asp";

class InstallScreenTest : public InstallerFixture {
 protected:
  // A visible dialog owned by the screen other than except (the folder picker, a box), or
  // null after timeoutMs.
  HWND WaitForOwnedDialogOtherThan(HWND except, DWORD timeoutMs) {
    HWND found = nullptr;
    uidriver::WaitUntil(
        [&] {
          found = nullptr;
          for (HWND w = ::GetTopWindow(nullptr); w != nullptr; w = ::GetWindow(w, GW_HWNDNEXT)) {
            char className[16] = {};
            ::GetClassNameA(w, className, sizeof(className));
            if (w != except && ::GetWindow(w, GW_OWNER) == driver_->Screen() &&
                lstrcmpA(className, "#32770") == 0 && ::IsWindowVisible(w)) {
              found = w;
            }
          }
          return found != nullptr;
        },
        timeoutMs);
    return found;
  }
  HWND WaitForOwnedDialog(DWORD timeoutMs) { return WaitForOwnedDialogOtherThan(nullptr, timeoutMs); }
};

// A top-level window of the test program, standing for another program the operator
// switched to.
class ForeignWindow {
 public:
  ForeignWindow()
      : hwnd_(::CreateWindowExA(0, "STATIC", "another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                10, 10, 200, 100, nullptr, nullptr, nullptr, nullptr)) {}
  ~ForeignWindow() {
    if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
  }
  // Puts this window in front of the screen, then asks for the foreground until the
  // installer's user-interface thread (that of screen) has no active window any more, asking
  // again whenever it is taken back (without a window manager the programs' own late focus
  // events can hand it to the desktop). True once the installer is inactive; false when it
  // did not come to that, the window merely in front.
  bool BringToFront(HWND screen) {
    ::SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    GUITHREADINFO installer = {};
    installer.cbSize = sizeof(installer);
    const DWORD thread = ::GetWindowThreadProcessId(screen, nullptr);
    return uidriver::WaitUntil(
        [&] {
          if (::GetForegroundWindow() != hwnd_) ::SetForegroundWindow(hwnd_);
          return ::GetForegroundWindow() == hwnd_ && ::GetGUIThreadInfo(thread, &installer) &&
                 installer.hwndActive == nullptr;
        },
        10000);
  }

 private:
  HWND hwnd_;
};

TEST_F(InstallScreenTest, OpensWithTheDefaultFolderAndTheAgreementPage) {
  StartInstaller();
  HWND screen = driver_->Screen();
  EXPECT_EQ("C:\\QuillonWidget", driver_->FolderText());
  EXPECT_EQ("", driver_->Status());
  EXPECT_EQ(0, driver_->Progress());
  EXPECT_EQ(100, static_cast<int>(::SendMessageA(::GetDlgItem(screen, uidriver::kProgressBar),
                                                 PBM_GETRANGE, FALSE, 0)));
  EXPECT_TRUE(driver_->InstallEnabled());
  EXPECT_TRUE(driver_->QuitEnabled());

  // A caption and a modal frame, no system menu (so no close box).
  LONG style = ::GetWindowLongA(screen, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_FALSE(style & WS_SYSMENU);
  EXPECT_FALSE(::GetWindowLongA(::GetDlgItem(screen, uidriver::kFolderEdit), GWL_STYLE) &
               ES_AUTOHSCROLL);

  // The browser control asks the vendor server for the agreement page.
  EXPECT_TRUE(uidriver::WaitUntil([&] { return Requested(kAgreementPath); }, 20000));

  EXPECT_TRUE(driver_->SavePicture(FromUnixPath(QUILLON_ARTIFACTS_DIR) + "\\install-screen.bmp", true));
}

TEST_F(InstallScreenTest, WithoutABrowserControlTheScreenStillWorks) {
  StartInstallerWithoutBrowserControl();
  EXPECT_NE(nullptr, ::GetDlgItem(driver_->Screen(), uidriver::kBrowserControl));
  EXPECT_EQ("C:\\QuillonWidget", driver_->FolderText());

  Confirm(installFolder_);
  HWND box = driver_->WaitForBox(driver_->AppCaption(), 120000);
  ASSERT_NE(nullptr, box);
  EXPECT_EQ("Quillon위젯 설치가 완료되었습니다. 위젯이 실행됩니다.", driver_->AnswerBox(box, IDOK));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  // The page would have been asked for at start-up, long before the archive; the program
  // has ended, so no request of its can still come.
  EXPECT_TRUE(Requested("/update/Quillon_Widget.zip"));
  EXPECT_FALSE(Requested(kAgreementPath));
}

TEST_F(InstallScreenTest, ConfirmingDisablesInstallLeavesQuitAndUsesTheFolderAsTyped) {
  std::string folder = *workFolder_ / "설치 폴더 (위젯)";
  StartInstaller();
  Confirm(folder);
  HWND box = driver_->WaitForBox(driver_->AppCaption(), 120000);
  ASSERT_NE(nullptr, box);
  // "동의설치" is disabled from the click until the end; "끝내기" stays, with the focus.
  EXPECT_FALSE(driver_->InstallEnabled());
  EXPECT_TRUE(driver_->QuitEnabled());
  driver_->AnswerBox(box, IDOK);
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_TRUE(PathExists(folder + "\\QuillonWidget.exe"));
  EXPECT_EQ(folder + "\\QuillonWidget.exe", LinkTarget(DesktopLinkPath()));
}

TEST_F(InstallScreenTest, AfterConfirmationTheFolderCannotBeChanged) {
  StartInstaller();
  Confirm(installFolder_);
  ASSERT_TRUE(uidriver::WaitUntil([&] { return !driver_->BrowseEnabled(); }, 10000));
  EXPECT_FALSE(driver_->FolderEditEnabled());
  EXPECT_FALSE(driver_->InstallEnabled());
  EXPECT_TRUE(driver_->QuitEnabled());

  // Commands that still reach the screen (a posted picker click, a second confirmation
  // with another folder) change nothing: the installation goes where it was confirmed.
  std::string other = *workFolder_ / "other";
  driver_->TypeFolder(other);
  ::PostMessageA(driver_->Screen(), WM_COMMAND, MAKEWPARAM(uidriver::kBrowseButton, BN_CLICKED), 0);
  ::PostMessageA(driver_->Screen(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  HWND box = driver_->WaitForBox(driver_->AppCaption(), 120000);
  ASSERT_NE(nullptr, box);
  EXPECT_EQ(nullptr, WaitForOwnedDialogOtherThan(box, 0));
  EXPECT_EQ("Quillon위젯 설치가 완료되었습니다. 위젯이 실행됩니다.", driver_->AnswerBox(box, IDOK));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_TRUE(PathExists(installFolder_ + "\\QuillonWidget.exe"));
  EXPECT_FALSE(PathExists(other));
  EXPECT_EQ(1u, ArchiveRequests().size());
}

// The screen's commands are posted to it, so the screen is not activated by them (a pressed
// key would need it in the foreground, a posted click activates it). The owner is the screen
// whether or not the other program won the foreground (without a window manager that is not
// certain); a run where it did not records so as a test property.
TEST_F(InstallScreenTest, ABoxIsOwnedByTheScreenWhileAnotherProgramIsActive) {
  StartInstaller();
  driver_->TypeFolder("");
  ForeignWindow other;
  if (!other.BringToFront(driver_->Screen())) RecordProperty("box", "other program merely in front");
  ::PostMessageA(driver_->Screen(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  HWND box = driver_->WaitForBox(driver_->AppCaption());
  ASSERT_NE(nullptr, box);
  EXPECT_EQ(driver_->Screen(), ::GetWindow(box, GW_OWNER));
  EXPECT_EQ("설치경로를 입력해 주세요.", driver_->AnswerBox(box, IDOK));

  // The quit question too.
  if (!other.BringToFront(driver_->Screen())) RecordProperty("quit", "other program merely in front");
  ::PostMessageA(driver_->Screen(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  HWND quit = driver_->WaitForBox("확인");
  ASSERT_NE(nullptr, quit);
  EXPECT_EQ(driver_->Screen(), ::GetWindow(quit, GW_OWNER));
  driver_->AnswerBox(quit, IDOK);
  EXPECT_TRUE(driver_->WaitForExit(20000));
}

TEST_F(InstallScreenTest, TabMovesTheFocusIntoTheBrowserAndBackWhileKeysStayInThePage) {
  StartInstaller();
  HWND browser = ::GetDlgItem(driver_->Screen(), uidriver::kBrowserControl);
  auto inBrowser = [&](HWND w) { return w != nullptr && (w == browser || ::IsChild(browser, w)); };
  ASSERT_TRUE(uidriver::WaitUntil([&] { return driver_->FocusedWindow() != nullptr; }, 10000));

  // Tab after Tab, each once the focus has moved on, reaches the browser.
  HWND focus = driver_->FocusedWindow();
  for (int tabs = 0; tabs < 6 && !inBrowser(focus); ++tabs) {
    driver_->PressKey(VK_TAB, focus);
    ASSERT_TRUE(uidriver::WaitUntil([&] { return driver_->FocusedWindow() != focus; }, 10000))
        << "Tab did not move the focus";
    focus = driver_->FocusedWindow();
  }
  ASSERT_TRUE(inBrowser(focus)) << "Tab never reached the browser";

  // An arrow key goes to the page rather than moving the focus among the screen's
  // controls; Esc, pressed after it, still leads to the quit question. Keys are handled
  // in order, so once the question is there the arrow key has been handled too.
  driver_->PressKey(VK_DOWN, focus);
  driver_->PressKey(VK_ESCAPE, focus);
  HWND quit = driver_->WaitForBox(uidriver::kQuitCaption);
  ASSERT_NE(nullptr, quit);
  driver_->AnswerBox(quit, IDCANCEL);
  ASSERT_TRUE(uidriver::WaitUntil([&] { return inBrowser(driver_->FocusedWindow()); }, 10000))
      << "the focus left the browser";

  // One more Tab leaves the browser for the screen's controls.
  focus = driver_->FocusedWindow();
  driver_->PressKey(VK_TAB, focus);
  ASSERT_TRUE(uidriver::WaitUntil([&] { return !inBrowser(driver_->FocusedWindow()); }, 10000));
  EXPECT_EQ(driver_->Screen(), ::GetParent(driver_->FocusedWindow()));
}

TEST_F(InstallScreenTest, ACancelledFolderPickerChangesNothing) {
  StartInstaller();
  driver_->ClickBrowse();
  HWND picker = WaitForOwnedDialog(20000);
  ASSERT_NE(nullptr, picker);
  ::PostMessageA(picker, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_TRUE(uidriver::WaitUntil([&] { return !::IsWindow(picker); }, 10000));
  EXPECT_EQ("C:\\QuillonWidget", driver_->FolderText());
  EXPECT_TRUE(driver_->InstallEnabled());
}

TEST_F(InstallScreenTest, AFailedExtractionIsReportedWithoutLinkOrStart) {
  ServeArchive(BrokenWidgetArchive());
  StartInstaller();
  Confirm(installFolder_);
  HWND box = driver_->WaitForBox(driver_->AppCaption(), 120000);
  ASSERT_NE(nullptr, box);
  EXPECT_EQ("Quillon위젯 압축해제에 실패했습니다. [끝내기] 후 다시 시도해 주세요.",
            driver_->AnswerBox(box, IDOK));
  EXPECT_EQ("압축해제 실패...", driver_->Status());
  EXPECT_FALSE(driver_->InstallEnabled());
  EXPECT_TRUE(driver_->QuitEnabled());

  // The refused archive is gone, nothing was written outside the folder, no link, no widget.
  EXPECT_FALSE(PathExists(installFolder_ + "\\Quillon_Widget.zip"));
  EXPECT_FALSE(PathExists(*workFolder_ / "outside.txt"));
  EXPECT_FALSE(PathExists(DesktopLinkPath()));
  EXPECT_EQ(nullptr, WidgetWindow());
  EXPECT_TRUE(driver_->Program().IsRunning());
  QuitThroughEscape();
}

}  // namespace
