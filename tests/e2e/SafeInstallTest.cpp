// Installing over an existing installation with the real QuillonSetup.exe under Wine: the
// folder holds the complete old version or the complete new one, whatever happens.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "archive/CZipExtractor.h"
#include "install/CStagedInstall.h"
#include "tests/support/InstallerFixture.h"
#include "tools/uidriver/MovePause.h"
#include "winfx/FileTree.h"
#include "winfx/ScopedHandle.h"

namespace {

using testing_support::FileState;
using testing_support::FileStates;
using testing_support::InstallerFixture;
using testing_support::LinuxLink;
using testing_support::PathExists;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

constexpr char kDoneText[] = "Quillon위젯 설치가 완료되었습니다. 위젯이 실행됩니다.";
constexpr char kExtractFailedText[] =
    "Quillon위젯 압축해제에 실패했습니다. [끝내기] 후 다시 시도해 주세요.";
constexpr char kCloseWidgetQuestion[] =
    "Quillon위젯이 실행 중입니다. [확인]을 누르면 위젯을 종료하고 설치를 계속합니다.";
constexpr char kInUseFailedText[] =
    "Quillon위젯이 실행 중이어서 설치하지 못했습니다. [끝내기] 후 다시 시도해 주세요.";
constexpr char kInstallFailedText[] =
    "Quillon위젯 설치에 실패했습니다. [끝내기] 후 다시 시도해 주세요.";
constexpr char kOldVersion[] = "version=0.9\r\n";
constexpr char kNewVersion[] = "version=1.0\r\n";

class SafeInstallTest : public InstallerFixture {
 protected:
  // The files a complete new version holds, as the new archive gives them.
  std::map<std::string, FileState> NewVersion() {
    std::string archive = *workFolder_ / "new.zip";
    std::string folder = *workFolder_ / "new";
    EXPECT_TRUE(WriteFileBytes(archive, WidgetArchive()));
    CZipExtractor zip;
    EXPECT_TRUE(zip.Open(archive.c_str()));
    EXPECT_TRUE(zip.ExtractAll(folder.c_str()));
    return FileStates(folder);
  }

  // Starts the installed widget and waits for its window; it stays running.
  std::unique_ptr<uidriver::Process> StartInstalledWidget() {
    auto widget = std::make_unique<uidriver::Process>(installFolder_ + "\\QuillonWidget.exe", "");
    EXPECT_TRUE(widget->Started());
    EXPECT_TRUE(uidriver::WaitUntil([] { return WidgetWindow() != nullptr; }, 20000));
    return widget;
  }

  // Confirms, answers the question about the running widget with button, and answers the
  // box that follows with OK; returns that box's text ("" when a box is missing).
  std::string ConfirmAndAnswerCloseQuestion(int button) {
    Confirm(installFolder_);
    HWND question = driver_->WaitForBox(driver_->AppCaption(), 120000);
    if (question == nullptr) return "";
    EXPECT_EQ(kCloseWidgetQuestion, driver_->AnswerBox(question, button));
    HWND box = driver_->WaitForBox(driver_->AppCaption(), 120000);
    return box != nullptr ? driver_->AnswerBox(box, IDOK) : "";
  }

  // The installation folder's files, without the trace a started widget leaves.
  std::map<std::string, FileState> InstalledFiles() const {
    std::map<std::string, FileState> files = FolderStates();
    files.erase("widget_started.txt");
    // The installed release's record, kept by the installer for its next run.
    files.erase(".QuillonRelease");
    files.erase(".QuillonRelease.sig");
    return files;
  }

  // Installs over the folder and kills the installer halfway through its moves (stopped
  // before the second staged file moves in, through the watch hook, MovePause.h): the
  // folder mixes the versions.
  void KillDuringTheMoves() {
    StartInstaller();
    uidriver::MovePauseEvents pause(driver_->Program().Id());
    ASSERT_TRUE(pause.IsValid());
    ASSERT_TRUE(driver_->PauseMovesAt(2));
    Confirm(installFolder_);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(pause.Paused(), 120000));
    ASSERT_TRUE(PathExists(installFolder_ + "\\" + CStagedInstall::kBackupName));
    ASSERT_TRUE(KillInstallerHard());
  }

  bool NoWorkFolders() const {
    return !PathExists(installFolder_ + "\\" + CStagedInstall::kStagingName) &&
           !PathExists(installFolder_ + "\\" + CStagedInstall::kBackupName);
  }
};

TEST_F(SafeInstallTest, ALastEntryWithABadCrcLeavesTheOldInstallationIntact) {
  InstallOldVersion();
  std::map<std::string, FileState> old = FolderStates();
  ServeArchive(BadCrcWidgetArchive());
  StartInstaller();
  Confirm(installFolder_);
  HWND box = driver_->WaitForBox(driver_->AppCaption(), 120000);
  ASSERT_NE(nullptr, box);
  EXPECT_EQ(kExtractFailedText, driver_->AnswerBox(box, IDOK));
  EXPECT_EQ("압축해제 실패...", driver_->Status());

  // The archive failed its own check: it goes. The old version is as it was.
  EXPECT_FALSE(PathExists(installFolder_ + "\\Quillon_Widget.zip"));
  EXPECT_TRUE(NoWorkFolders());
  EXPECT_EQ(old, FolderStates());
  EXPECT_EQ(nullptr, WidgetWindow());
  QuitThroughQuitButton();
}

TEST_F(SafeInstallTest, AnInstallerKilledDuringTheMovesLeavesAVersionTheNextRunInstallsOver) {
  InstallOldVersion();
  std::map<std::string, FileState> old = FolderStates();
  KillDuringTheMoves();
  // Killed halfway, the folder mixes the versions; the archive stays.
  EXPECT_NE(old, FolderStates());
  EXPECT_TRUE(PathExists(installFolder_ + "\\Quillon_Widget.zip"));

  // The next run puts the old version back, then installs the new one from the archive
  // (which the record names: it is not fetched again).
  QueueArchiveFaults("404");
  StartInstaller();
  Confirm(installFolder_);
  HWND box = driver_->WaitForBox(driver_->AppCaption(), 120000);
  ASSERT_NE(nullptr, box);
  EXPECT_EQ(kDoneText, driver_->AnswerBox(box, IDOK));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_TRUE(NoWorkFolders());
  EXPECT_FALSE(PathExists(installFolder_ + "\\Quillon_Widget.zip"));
  EXPECT_EQ(NewVersion(), InstalledFiles());
  EXPECT_EQ(kNewVersion, ReadFileBytes(installFolder_ + "\\version.txt"));
}

// The longest path a plain extraction into the folder holds (259 characters) is longer in
// the staging folder and longer still among the old files moved aside. It installs all
// the same, and again over itself (its old copy read-only, beside an old file the new
// version lacks), with no work folder left either time.
TEST_F(SafeInstallTest, ThePathsAPlainExtractionHoldsInstallAndReinstallOverThemselves) {
  std::string folder = *workFolder_ / "QuillonWidget";
  ASSERT_LE(folder.size(), static_cast<size_t>(QUILLON_LONG_FOLDER_LENGTH));
  folder += std::string(QUILLON_LONG_FOLDER_LENGTH - folder.size(), 'x');
  installFolder_ = folder;
  const std::string deep = folder + "\\deep\\" + std::string(100, 'd');
  const std::string longest = deep + "\\" + std::string(259 - deep.size() - 5, 'f') + ".txt";
  ASSERT_EQ(259u, longest.size());
  const std::string content = "the longest path a plain extraction holds\r\n";
  ServeArchive(LongPathWidgetArchive());

  StartInstaller();
  EXPECT_EQ(kDoneText, ConfirmAndAnswer(folder));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_EQ(content, ReadFileBytes(longest));
  EXPECT_TRUE(NoWorkFolders());

  uidriver::EndProcessesNamed("QuillonWidget.exe");
  ASSERT_TRUE(::SetFileAttributesA(longest.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(WriteFileBytes(deep + "\\keep.txt", "old only"));
  StartInstaller();
  EXPECT_EQ(kDoneText, ConfirmAndAnswer(folder));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_EQ(content, ReadFileBytes(longest));
  EXPECT_FALSE(::GetFileAttributesA(longest.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ("old only", ReadFileBytes(deep + "\\keep.txt"));
  EXPECT_TRUE(NoWorkFolders());
  EXPECT_FALSE(PathExists(folder + "\\Quillon_Widget.zip"));
}

// The installation folder's config is a link to a folder outside it (with a note of the
// operator's beside the old widget.ini), and the new version brings config\widget.ini.
// What the link points to keeps its files, contents and times. Where the system moves a
// link itself, the link goes aside like an old file and the new version is installed;
// where it cannot (Wine), the installation is refused before anything moves and the old
// version stays with its link.
TEST_F(SafeInstallTest, ALinkToAFolderOutsideKeepsThatFoldersFiles) {
  InstallOldVersion();
  testing_support::TempFolder outside("outside");
  const std::string config = installFolder_ + "\\config";
  ASSERT_TRUE(::MoveFileExA((config + "\\widget.ini").c_str(), (outside / "widget.ini").c_str(), 0));
  ASSERT_TRUE(WriteFileBytes(outside / "notes.txt", "the operator's own notes"));
  ASSERT_TRUE(::RemoveDirectoryA(config.c_str()));
  const std::map<std::string, FileState> outsideBefore = FileStates(outside.Path());
  LinuxLink link(config, outside.Path());
  if (!link.Made()) GTEST_SKIP() << "links are made from the Linux side of Wine";
  const winfx::WideString linkPath = winfx::ExtendedLengthPath(config);
  const bool linksMove = winfx::FileTree::OpensLinkItself(linkPath);
  const std::map<std::string, FileState> old = FileStates(installFolder_);

  StartInstaller();
  const std::string box = ConfirmAndAnswer(installFolder_);
  EXPECT_EQ(outsideBefore, FileStates(outside.Path()));
  EXPECT_TRUE(NoWorkFolders());
  if (linksMove) {
    EXPECT_EQ(kDoneText, box);
    EXPECT_TRUE(driver_->WaitForExit(20000));
    EXPECT_EQ(NewVersion(), InstalledFiles());
  } else {
    EXPECT_EQ(kInstallFailedText, box);
    QuitThroughQuitButton();
    EXPECT_EQ(winfx::EntryKind::kLink, winfx::FileTree::KindOf(linkPath));
    // The archive stays (the link is the folder's own, which the operator can mend).
    std::map<std::string, FileState> now = FileStates(installFolder_);
    EXPECT_EQ(1u, now.erase("Quillon_Widget.zip"));
    EXPECT_EQ(1u, now.erase("Quillon_Widget.zip.meta"));
    EXPECT_EQ(1u, now.erase("Quillon_Widget.zip.meta.sig"));
    EXPECT_EQ(old, now);
  }
}

TEST_F(SafeInstallTest, ARunningWidgetIsClosedOnOkAndTheNewOneStarted) {
  InstallOldVersion();
  std::unique_ptr<uidriver::Process> old = StartInstalledWidget();
  StartInstaller();
  EXPECT_EQ(kDoneText, ConfirmAndAnswerCloseQuestion(IDOK));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_TRUE(old->WaitForExit(20000)) << "the old widget still runs";

  // The new version, complete, and the new widget started from it.
  EXPECT_TRUE(NoWorkFolders());
  ASSERT_TRUE(uidriver::WaitUntil([] { return WidgetWindow() != nullptr; }, 20000));
  DWORD newWidget = 0;
  ::GetWindowThreadProcessId(WidgetWindow(), &newWidget);
  EXPECT_NE(old->Id(), newWidget);
  EXPECT_EQ(NewVersion(), InstalledFiles());
}

TEST_F(SafeInstallTest, ARunningWidgetKeptOnCancelLeavesTheOldVersionAndTheArchive) {
  InstallOldVersion();
  std::unique_ptr<uidriver::Process> old = StartInstalledWidget();
  std::map<std::string, FileState> before = FolderStates();
  StartInstaller();
  EXPECT_EQ(kInUseFailedText, ConfirmAndAnswerCloseQuestion(IDCANCEL));
  EXPECT_EQ("설치 실패...", driver_->Status());
  EXPECT_TRUE(old->IsRunning());
  EXPECT_TRUE(NoWorkFolders());
  // Every old file as it was; the downloaded archive and its record are all that is new.
  std::map<std::string, FileState> after = FolderStates();
  EXPECT_EQ(WidgetArchive(), after["Quillon_Widget.zip"].bytes);
  EXPECT_EQ(1u, after.count("Quillon_Widget.zip.meta"));
  EXPECT_EQ(1u, after.count("Quillon_Widget.zip.meta.sig"));
  after.erase("Quillon_Widget.zip");
  after.erase("Quillon_Widget.zip.meta");
  after.erase("Quillon_Widget.zip.meta.sig");
  EXPECT_EQ(before, after);
  QuitThroughQuitButton();
}

TEST_F(SafeInstallTest, AWidgetStartedFromAHalfMovedFolderIsClosedBeforeTheRecovery) {
  InstallOldVersion();
  ASSERT_NO_FATAL_FAILURE(KillDuringTheMoves());
  // The widget started from the mixed folder holds a file the recovery must take back.
  std::unique_ptr<uidriver::Process> widget = StartInstalledWidget();
  // The release record is fetched afresh by every run, before anything else happens.
  auto withoutRecord = [this] {
    std::map<std::string, FileState> files = InstalledFiles();
    files.erase("Quillon_Widget.zip.meta");
    files.erase("Quillon_Widget.zip.meta.sig");
    return files;
  };
  const std::map<std::string, FileState> mixed = withoutRecord();

  // Kept on Cancel: nothing is touched, and the next run asks again.
  StartInstaller();
  EXPECT_EQ(kInUseFailedText, ConfirmAndAnswerCloseQuestion(IDCANCEL));
  EXPECT_TRUE(widget->IsRunning());
  EXPECT_EQ(mixed, withoutRecord());
  QuitThroughQuitButton();

  // Closed on OK: the old version is put back and the new one installed over it.
  StartInstaller();
  EXPECT_EQ(kDoneText, ConfirmAndAnswerCloseQuestion(IDOK));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_TRUE(widget->WaitForExit(20000)) << "the widget still runs";
  EXPECT_TRUE(NoWorkFolders());
  EXPECT_EQ(NewVersion(), InstalledFiles());
}

TEST_F(SafeInstallTest, AFileAnotherProgramHoldsIsNamedAndTheOldVersionStays) {
  InstallOldVersion();
  std::map<std::string, FileState> before = FolderStates();
  // Held as a scanner or a backup program holds a file: reads and writes shared, not its
  // removal, so it cannot be moved aside.
  const std::string program = installFolder_ + "\\QuillonWidget.exe";
  winfx::ScopedHandle held(::CreateFileA(program.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held.IsValid());
  StartInstaller();
  EXPECT_EQ("Quillon위젯 설치에 실패했습니다. 파일(" + program +
                ")을 다른 프로그램이 사용하고 있습니다. 그 프로그램을 닫고 [끝내기] 후 다시 시도해 주세요.",
            ConfirmAndAnswer(installFolder_));
  EXPECT_EQ("설치 실패...", driver_->Status());
  // The keys go on from 끝내기.
  HWND quit = ::GetDlgItem(driver_->Screen(), IDCANCEL);
  EXPECT_TRUE(uidriver::WaitUntil([&] { return driver_->FocusedWindow() == quit; }, 10000));
  EXPECT_TRUE(::IsWindowEnabled(quit));
  EXPECT_TRUE(NoWorkFolders());
  std::map<std::string, FileState> after = FolderStates();
  EXPECT_EQ(WidgetArchive(), after["Quillon_Widget.zip"].bytes);
  after.erase("Quillon_Widget.zip");
  after.erase("Quillon_Widget.zip.meta");
  after.erase("Quillon_Widget.zip.meta.sig");
  EXPECT_EQ(before, after);
  QuitThroughQuitButton();
}

}  // namespace
