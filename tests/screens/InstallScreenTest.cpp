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
  // A dialog of the installer owned by the screen (the folder picker), or null.
  HWND WaitForOwnedDialog(DWORD timeoutMs) {
    HWND found = nullptr;
    uidriver::WaitUntil(
        [&] {
          found = nullptr;
          for (HWND w = ::GetTopWindow(nullptr); w != nullptr; w = ::GetWindow(w, GW_HWNDNEXT)) {
            if (w != driver_->Screen() && ::GetWindow(w, GW_OWNER) == driver_->Screen() &&
                ::IsWindowVisible(w)) {
              found = w;
            }
          }
          return found != nullptr;
        },
        timeoutMs);
    return found;
  }
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

  uidriver::SaveScreenshot(screen, FromUnixPath(QUILLON_ARTIFACTS_DIR) + "\\install-screen.bmp");
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

TEST_F(InstallScreenTest, ConfirmingDisablesTheButtonsAndUsesTheFolderAsTyped) {
  std::string folder = *workFolder_ / "설치 폴더 (위젯)";
  StartInstaller();
  Confirm(folder);
  HWND box = driver_->WaitForBox(driver_->AppCaption(), 120000);
  ASSERT_NE(nullptr, box);
  // Disabled from the click until the end.
  EXPECT_FALSE(driver_->InstallEnabled());
  EXPECT_FALSE(driver_->QuitEnabled());
  driver_->AnswerBox(box, IDOK);
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_TRUE(PathExists(folder + "\\QuillonWidget.exe"));
  EXPECT_EQ(folder + "\\QuillonWidget.exe", LinkTarget(DesktopLinkPath()));
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
  EXPECT_FALSE(driver_->QuitEnabled());

  // The archive is gone, nothing was written outside the folder, no link, no widget.
  EXPECT_FALSE(PathExists(installFolder_ + "\\Quillon_Widget.zip"));
  EXPECT_FALSE(PathExists(*workFolder_ / "outside.txt"));
  EXPECT_FALSE(PathExists(DesktopLinkPath()));
  EXPECT_EQ(nullptr, WidgetWindow());
  EXPECT_TRUE(driver_->Program().IsRunning());

  driver_->PressEscape();
  HWND quit = driver_->WaitForBox("확인");
  ASSERT_NE(nullptr, quit);
  driver_->AnswerBox(quit, IDOK);
  EXPECT_TRUE(driver_->WaitForExit(20000));
}

}  // namespace
