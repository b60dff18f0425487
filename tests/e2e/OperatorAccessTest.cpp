// What every operator meets, whatever the system: the Korean texts read back as UTF-16 under
// any code page (the suite runs these cases under code page 1252 too), a Korean folder and
// the Korean desktop link, the keyboard alone (keys pressed for real, the focus read from the
// installer's thread) through an installation, a stalled download and each failure box, and
// the icon of each kind of box.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

#include "tests/support/InstallerFixture.h"
#include "tests/support/WideFiles.h"
#include "winfx/Dpi.h"

namespace {

using testing_support::FromUnixPath;
using testing_support::InstallerFixture;
using testing_support::RemoveTree;

// What the screen and the boxes say, as UTF-16 (no code page in between).
constexpr wchar_t kScreenCaption[] = L"프로그램 설치 [단계1] (1.0.0.0)";
constexpr wchar_t kHubCaption[] = L"LumoPOS 설치";
constexpr wchar_t kEmptyFolderText[] = L"설치경로를 입력해 주세요.";
constexpr wchar_t kDoneText[] = L"Quillon위젯 설치가 완료되었습니다. 위젯이 실행됩니다.";
constexpr wchar_t kQuitText[] = L"설치프로그램을 종료하시겠습니까?";
constexpr char kKoreanFolder[] = "C:\\위젯";

std::wstring Text(HWND hwnd) {
  const winfx::WideString text = uidriver::WideWindowText(hwnd);
  return std::wstring(text.begin(), text.end());
}

bool WideExists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The icon a message box shows: that of its icon control (a static of style SS_ICON; its
// id differs between systems), or null when it shows none.
HICON BoxIcon(HWND box) {
  HICON icon = nullptr;
  for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr && icon == nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON || !::IsWindowVisible(child)) {
      continue;
    }
    DWORD_PTR answer = 0;
    ::SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer);
    icon = reinterpret_cast<HICON>(answer);
  }
  return icon;
}

class OperatorAccessTest : public InstallerFixture {
 protected:
  // The control of the screen that holds the keyboard focus, once it is an enabled one of
  // the screen (or the screen itself): null when the focus stays elsewhere or nowhere.
  HWND WaitForLiveFocus() {
    HWND focus = nullptr;
    uidriver::WaitUntil(
        [&] {
          focus = driver_->FocusedWindow();
          return focus != nullptr && ::IsWindowEnabled(focus) &&
                 (focus == driver_->Screen() || ::IsChild(driver_->Screen(), focus));
        },
        10000);
    return focus != nullptr && ::IsWindowEnabled(focus) ? focus : nullptr;
  }

  // Waits until control id of the screen holds the focus; false when it does not come.
  bool WaitForFocusOn(int id) {
    HWND control = ::GetDlgItem(driver_->Screen(), id);
    return uidriver::WaitUntil([&] { return driver_->FocusedWindow() == control; }, 10000);
  }

  // The app's box, answered by Enter pressed on it.
  std::wstring PressEnterOnBox(HWND box) {
    const std::wstring text = Text(::GetDlgItem(box, 0xFFFF));
    EXPECT_TRUE(driver_->PressKey(VK_RETURN, box));
    EXPECT_TRUE(uidriver::WaitUntil([&] { return !::IsWindow(box); }, 10000)) << "the box stayed";
    return text;
  }

  // Esc on the screen, then Enter on the quit question: the program ends.
  void LeaveByKeys() {
    ASSERT_TRUE(driver_->PressEscape());
    HWND quit = driver_->WaitForBox(uidriver::kQuitCaption);
    ASSERT_NE(nullptr, quit);
    EXPECT_EQ(kQuitText, Text(::GetDlgItem(quit, 0xFFFF)));
    PressEnterOnBox(quit);
    EXPECT_TRUE(driver_->WaitForExit(20000));
  }
};

TEST_F(OperatorAccessTest, TheScreenAndItsBoxesReadAsTheKoreanTexts) {
  RecordProperty("ansi_code_page", static_cast<int>(::GetACP()));
  StartInstaller();
  HWND screen = driver_->Screen();
  EXPECT_EQ(kScreenCaption, Text(screen));
  EXPECT_EQ(kHubCaption, Text(::GetWindow(screen, GW_OWNER)));
  EXPECT_EQ(L"동의설치", Text(::GetDlgItem(screen, IDOK)));
  EXPECT_EQ(L"끝내기", Text(::GetDlgItem(screen, IDCANCEL)));
  EXPECT_EQ(L"C:\\QuillonWidget", Text(::GetDlgItem(screen, uidriver::kFolderEdit)));

  driver_->TypeFolder("");
  driver_->ClickInstall();
  HWND box = driver_->WaitForBox(driver_->AppCaption());
  ASSERT_NE(nullptr, box);
  EXPECT_EQ(L"QuillonSetup", Text(box));
  EXPECT_EQ(kEmptyFolderText, Text(::GetDlgItem(box, 0xFFFF)));
  driver_->AnswerBox(box, IDOK);
  driver_->ClickQuit();
  HWND quit = driver_->WaitForBox(uidriver::kQuitCaption);
  ASSERT_NE(nullptr, quit);
  EXPECT_EQ(L"확인", Text(quit));
  EXPECT_EQ(kQuitText, Text(::GetDlgItem(quit, 0xFFFF)));
  driver_->AnswerBox(quit, IDOK);
  EXPECT_TRUE(driver_->WaitForExit(20000));
}

TEST_F(OperatorAccessTest, AnInstallationIntoAKoreanFolderMakesTheKoreanDesktopLink) {
  RemoveTree(kKoreanFolder);
  StartInstaller();
  Confirm(kKoreanFolder);
  HWND box = driver_->WaitForBox(driver_->AppCaption(), 120000);
  ASSERT_NE(nullptr, box);
  EXPECT_EQ(kDoneText, Text(::GetDlgItem(box, 0xFFFF)));
  driver_->AnswerBox(box, IDOK);
  EXPECT_TRUE(driver_->WaitForExit(20000));

  EXPECT_TRUE(WideExists(L"C:\\위젯\\QuillonWidget.exe"));
  EXPECT_FALSE(WideExists(L"C:\\위젯\\Quillon_Widget.zip"));
  wchar_t desktop[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_DESKTOP, nullptr, 0, desktop)));
  const std::wstring link = std::wstring(desktop) + L"\\Quillon위젯.lnk";
  EXPECT_TRUE(WideExists(link));
  EXPECT_EQ(L"C:\\위젯\\QuillonWidget.exe", testing_support::AnsiToUtf16(LinkTarget(DesktopLinkPath())));
  uidriver::EndProcessesNamed("QuillonWidget.exe");
  RemoveTree(kKoreanFolder);
}

TEST_F(OperatorAccessTest, KeysAloneCarryAnInstallationToItsEnd) {
  StartInstaller();
  HWND focus = WaitForLiveFocus();
  ASSERT_NE(nullptr, focus) << "no control of the screen has the focus";
  // Enter on 동의설치 or in the folder field confirms the default folder's installation.
  const int focusId = ::GetDlgCtrlID(focus);
  ASSERT_TRUE(focusId == IDOK || focusId == uidriver::kFolderEdit) << focusId;
  driver_->TypeFolder(installFolder_);
  ASSERT_TRUE(driver_->StartRecording());
  ASSERT_TRUE(driver_->PressEnter());
  HWND box = driver_->WaitForBox(driver_->AppCaption(), 120000);
  ASSERT_NE(nullptr, box);
  EXPECT_EQ(kDoneText, PressEnterOnBox(box));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_TRUE(testing_support::PathExists(installFolder_ + "\\QuillonWidget.exe"));
}

TEST_F(OperatorAccessTest, EscapeLeavesAStalledDownloadAndThePartStays) {
  QueueArchiveFaults("stall@50%");
  StartInstaller();
  Confirm(installFolder_);
  ASSERT_TRUE(driver_->WaitForStatus("Quillon_Widget.zip"));
  // The bar has moved: the transfer stalls now, with every button disabled.
  ASSERT_TRUE(uidriver::WaitUntil([&] { return !driver_->ProgressHistory().empty(); }, 60000));
  EXPECT_FALSE(driver_->InstallEnabled());
  HWND focus = WaitForLiveFocus();
  EXPECT_NE(nullptr, focus) << "the keys go nowhere during the download";
  LeaveByKeys();
  EXPECT_TRUE(testing_support::PathExists(installFolder_ + "\\Quillon_Widget.zip.part"));
}

TEST_F(OperatorAccessTest, AfterEachFailureBoxTheFocusIsOnQuitAndItsKeysLeave) {
  for (bool downloadFails : {true, false}) {
    SCOPED_TRACE(downloadFails ? "a failed download" : "a failed extraction");
    if (downloadFails) {
      ServeNoArchive();
    } else {
      ServeArchive(BrokenWidgetArchive());
    }
    RemoveTree(installFolder_);
    StartInstaller();
    Confirm(installFolder_);
    HWND box = driver_->WaitForBox(driver_->AppCaption(), 120000);
    ASSERT_NE(nullptr, box);
    EXPECT_NE(nullptr, BoxIcon(box)) << "a failure box without its icon";
    PressEnterOnBox(box);
    EXPECT_TRUE(WaitForFocusOn(IDCANCEL)) << "the focus is not on 끝내기";
    LeaveByKeys();
  }
}

TEST_F(OperatorAccessTest, AfterTheEmptyFolderBoxTheFocusIsInTheFolderField) {
  StartInstaller();
  ASSERT_NE(nullptr, WaitForLiveFocus());
  driver_->TypeFolder("");
  ASSERT_TRUE(driver_->PressEnter());
  HWND box = driver_->WaitForBox(driver_->AppCaption());
  ASSERT_NE(nullptr, box);
  EXPECT_EQ(kEmptyFolderText, PressEnterOnBox(box));
  EXPECT_TRUE(WaitForFocusOn(uidriver::kFolderEdit));
  EXPECT_TRUE(driver_->InstallEnabled());
  LeaveByKeys();
}

// The installation's steps name their files in code page 949: a folder without a form
// there (Chinese, say) is refused before anything is made or requested.
TEST_F(OperatorAccessTest, AFolderWhoseNameHasNoCodePage949FormIsRefused) {
  const std::wstring folder = testing_support::AnsiToUtf16(*workFolder_ / "") + L"\u8BF4\u660E";
  StartInstaller();
  ::SendMessageTimeoutW(::GetDlgItem(driver_->Screen(), uidriver::kFolderEdit), WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(folder.c_str()), SMTO_ABORTIFHUNG, 2000, nullptr);
  driver_->ClickInstall();
  HWND box = driver_->WaitForBox(driver_->AppCaption());
  ASSERT_NE(nullptr, box);
  EXPECT_EQ(L"설치경로에 사용할 수 없는 문자가 있습니다. 다른 폴더를 선택해 주세요.", PressEnterOnBox(box));
  EXPECT_TRUE(WaitForFocusOn(uidriver::kFolderEdit));
  EXPECT_TRUE(driver_->InstallEnabled());
  EXPECT_FALSE(WideExists(folder));
  EXPECT_FALSE(Requested("/update/Quillon_Widget.zip"));
  QuitThroughQuitButton();
}

// The application's boxes show the exclamation icon; the screen's quit question, a box of
// its own, shows none.
TEST_F(OperatorAccessTest, TheApplicationsBoxesShowAnIconAndTheQuitQuestionNone) {
  StartInstaller();
  driver_->TypeFolder("");
  driver_->ClickInstall();
  HWND box = driver_->WaitForBox(driver_->AppCaption());
  ASSERT_NE(nullptr, box);
  EXPECT_NE(nullptr, BoxIcon(box));
  driver_->AnswerBox(box, IDOK);
  driver_->ClickQuit();
  HWND quit = driver_->WaitForBox(uidriver::kQuitCaption);
  ASSERT_NE(nullptr, quit);
  EXPECT_EQ(nullptr, BoxIcon(quit));
  driver_->AnswerBox(quit, IDOK);
  EXPECT_TRUE(driver_->WaitForExit(20000));
}

// Pictures of the screen and of two boxes, whole windows, named after the code page and the
// DPI they were taken at (in the build tree's artifacts folder).
TEST_F(OperatorAccessTest, PicturesOfTheScreenAndTwoBoxes) {
  StartInstaller();
  const std::string stem = FromUnixPath(QUILLON_ARTIFACTS_DIR) + "\\cp" + std::to_string(::GetACP()) +
                           "-dpi" + std::to_string(winfx::WindowDpi(driver_->Screen())) + "-";
  EXPECT_TRUE(driver_->SavePicture(stem + "screen.bmp", true));
  driver_->TypeFolder("");
  driver_->ClickInstall();
  HWND box = driver_->WaitForBox(driver_->AppCaption());
  ASSERT_NE(nullptr, box);
  EXPECT_TRUE(driver_->SavePicture(stem + "empty-folder-box.bmp", true, box));
  driver_->AnswerBox(box, IDOK);
  driver_->ClickQuit();
  HWND quit = driver_->WaitForBox(uidriver::kQuitCaption);
  ASSERT_NE(nullptr, quit);
  EXPECT_TRUE(driver_->SavePicture(stem + "quit-box.bmp", true, quit));
  driver_->AnswerBox(quit, IDOK);
  EXPECT_TRUE(driver_->WaitForExit(20000));
}

}  // namespace
