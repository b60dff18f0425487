// The real QuillonSetup.exe started under Wine: its start-up window and log line.
#include <gtest/gtest.h>

#include "app/ProductConstants.h"
#include "tests/support/TestSupport.h"
#include "tools/uidriver/InstallerDriver.h"

namespace {

using testing_support::CopyInto;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::TodaysLogPath;
using testing_support::WriteFileBytes;

constexpr char kHubCaption[] = "LumoPOS 설치";
// Boxes carry the executable's name.
constexpr char kAppCaption[] = "QuillonSetup";
constexpr char kNoScreenText[] =
    "Quillon위젯 설치프로그램이 이미 실행 중인 것으로 보이지만 그 화면을 찾을 수 없습니다. "
    "실행 중인 설치프로그램을 끝내거나 컴퓨터를 다시 시작한 후 다시 시도해 주세요.";

std::string InstallerExe() { return testing_support::FromUnixPath(QUILLON_SETUP_EXE); }

TEST(HubStartupTest, ShowsTheStartLineThenShrinksToNothingAndOpensTheScreen) {
  TempFolder folder("hub");
  std::string exe = CopyInto(InstallerExe(), folder.Path());
  ASSERT_FALSE(exe.empty());

  uidriver::Process setup(exe, "");
  ASSERT_TRUE(setup.Started());
  HWND hub = uidriver::WaitForDialog(kHubCaption, setup.Id(), 20000);
  ASSERT_NE(nullptr, hub);
  EXPECT_EQ("프로그램 설치를 시작합니다...", uidriver::ItemText(hub, -1));
  EXPECT_TRUE(::GetWindowLongA(hub, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  EXPECT_FALSE(::GetWindowLongA(hub, GWL_STYLE) & WS_CAPTION);

  // Timer 1 (50 ms) shrinks the hub to 0 by 0 and opens the install screen, owned by
  // the hub, which stays (with its invisible download window) while the screen runs.
  HWND screen = uidriver::WaitForDialog(uidriver::kScreenCaption, setup.Id(), 20000);
  ASSERT_NE(nullptr, screen);
  EXPECT_EQ(hub, ::GetWindow(screen, GW_OWNER));
  SIZE size = uidriver::WindowSize(hub);
  EXPECT_EQ(0, size.cx);
  EXPECT_EQ(0, size.cy);
  HWND download = ::GetDlgItem(hub, 21002);
  ASSERT_NE(nullptr, download);
  EXPECT_TRUE(::GetWindowLongA(download, GWL_STYLE) & WS_CHILD);
  SIZE downloadSize = uidriver::WindowSize(download);
  EXPECT_EQ(0, downloadSize.cx * downloadSize.cy);
  setup.Kill();
}

TEST(HubStartupTest, ASecondStartLeavesTheRunningInstallerAlone) {
  TempFolder first("hub-first");
  TempFolder second("hub-second");
  uidriver::Process running(CopyInto(InstallerExe(), first.Path()), "");
  ASSERT_TRUE(running.Started());
  HWND screen = uidriver::WaitForDialog(uidriver::kScreenCaption, running.Id(), 20000);
  ASSERT_NE(nullptr, screen);

  // The second copy ends by itself without a window of its own; the first goes on.
  uidriver::Process again(CopyInto(InstallerExe(), second.Path()), "");
  ASSERT_TRUE(again.Started());
  ASSERT_TRUE(again.WaitForExit(20000));
  EXPECT_EQ(0u, again.ExitCode());
  EXPECT_TRUE(running.IsRunning());
  EXPECT_TRUE(::IsWindowVisible(screen));
  running.Kill();

  // Once the first has ended, a new start runs as usual.
  uidriver::Process next(CopyInto(InstallerExe(), second.Path()), "");
  ASSERT_TRUE(next.Started());
  EXPECT_NE(nullptr, uidriver::WaitForDialog(uidriver::kScreenCaption, next.Id(), 20000));
  next.Kill();
}

// Another installer of the machine, in another session or elevated, holds the machine-wide
// name: one made open to all, or one whose security lets no other program open it. It
// shows no screen here (this test holds the name): the second one says so in a box.
TEST(HubStartupTest, AnInstallerOfAnotherSessionOrElevatedKeepsASecondOneOut) {
  SECURITY_DESCRIPTOR closed;
  ASSERT_TRUE(::InitializeSecurityDescriptor(&closed, SECURITY_DESCRIPTOR_REVISION));
  ACL empty;  // a DACL without entries: nobody is granted anything
  ASSERT_TRUE(::InitializeAcl(&empty, sizeof(empty), ACL_REVISION));
  ASSERT_TRUE(::SetSecurityDescriptorDacl(&closed, TRUE, &empty, FALSE));
  SECURITY_ATTRIBUTES closedToOthers = {sizeof(closedToOthers), &closed, FALSE};
  const std::string name = std::string("Global\\") + product::kInstanceName;
  for (SECURITY_ATTRIBUTES* security : {static_cast<SECURITY_ATTRIBUTES*>(nullptr), &closedToOthers}) {
    const bool closedName = security != nullptr;
    winfx::ScopedHandle other(::CreateMutexA(security, FALSE, name.c_str()));
    ASSERT_TRUE(other.IsValid());
    TempFolder folder("hub-other");
    uidriver::Process second(CopyInto(InstallerExe(), folder.Path()), "");
    ASSERT_TRUE(second.Started());
    // It tells the operator, and ends without a screen of its own.
    HWND box = uidriver::WaitForDialog(kAppCaption, second.Id(), 20000);
    EXPECT_NE(nullptr, box) << "no box; closed name: " << closedName;
    if (box != nullptr) {
      EXPECT_EQ(kNoScreenText, uidriver::MessageBoxText(box));
      ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    EXPECT_EQ(nullptr, uidriver::FindDialog(uidriver::kScreenCaption, second.Id()));
    const bool ended = second.WaitForExit(20000);
    if (!ended) second.Kill();
    ASSERT_TRUE(ended) << "the second installer went on; closed name: " << closedName;
    EXPECT_EQ(0u, second.ExitCode()) << closedName;
  }
}

TEST(HubStartupTest, WritesTheStartupLineWhenDebugIsOn) {
  TempFolder folder("hub-log");
  std::string exe = CopyInto(InstallerExe(), folder.Path());
  ASSERT_TRUE(WriteFileBytes(folder / "info.ini", "[COMMON]\r\nDEBUG=1\r\n"));
  ASSERT_TRUE(::CreateDirectoryA((folder / "log").c_str(), nullptr));

  uidriver::Process setup(exe, "");
  ASSERT_TRUE(setup.Started());
  ASSERT_NE(nullptr, uidriver::WaitForDialog(kHubCaption, setup.Id(), 20000));
  setup.Kill();

  std::string log = ReadFileBytes(TodaysLogPath(folder.Path()));
  std::string expected = "] [m_exe_str] " + folder.Path() + "\r\n";
  // "[YYYY/MM/DD hh:mm:ss" is 20 bytes.
  ASSERT_EQ(20 + expected.size(), log.size()) << log;
  EXPECT_EQ('[', log[0]);
  EXPECT_EQ(expected, log.substr(log.size() - expected.size())) << log;
}

}  // namespace
