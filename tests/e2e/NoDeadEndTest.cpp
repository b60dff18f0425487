// Failures that the next run gets past by itself, with the real QuillonSetup.exe under Wine:
// an archive that cannot install is fetched again, and a folder another installer works in,
// or with a link of one of the installer's names, is left alone until it is free.
#include <gtest/gtest.h>

#include "install/CStagedInstall.h"
#include "tests/support/InstallerFixture.h"
#include "winfx/ScopedHandle.h"

namespace {

using testing_support::FromUnixPath;
using testing_support::InstallerFixture;
using testing_support::LinuxLink;
using testing_support::ListTree;
using testing_support::PathExists;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;

constexpr char kDoneText[] = "Quillon위젯 설치가 완료되었습니다. 위젯이 실행됩니다.";
constexpr char kExtractFailedText[] =
    "Quillon위젯 압축해제에 실패했습니다. [끝내기] 후 다시 시도해 주세요.";
constexpr char kFolderLockedText[] =
    "다른 설치프로그램이 이 폴더에 Quillon위젯을 설치하고 있습니다. 설치가 끝난 후 다시 시도해 주세요.";

class NoDeadEndTest : public InstallerFixture {};

TEST_F(NoDeadEndTest, AnArchiveNoFolderCanHoldIsDeletedAndTheFixedOneDownloadedNextRun) {
  // "Data" (a file) and "data\x.txt": no Windows folder holds both.
  ServeArchive(ReadFileBytes(FromUnixPath(QUILLON_TEST_INSTALL_ARCHIVES) + "\\case_clash_folder_first.zip"));
  StartInstaller();
  EXPECT_EQ(kExtractFailedText, ConfirmAndAnswer(installFolder_));
  QuitThroughQuitButton();
  EXPECT_FALSE(PathExists(installFolder_ + "\\Quillon_Widget.zip"));
  EXPECT_FALSE(PathExists(installFolder_ + "\\Quillon_Widget.zip.meta"));

  ServeWidgetArchive();
  StartInstaller();
  EXPECT_EQ(kDoneText, ConfirmAndAnswer(installFolder_));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_EQ(2u, ArchiveRequests().size());
  EXPECT_EQ("version=1.0\r\n", ReadFileBytes(installFolder_ + "\\version.txt"));
}

TEST_F(NoDeadEndTest, APlanLargerThanTheProcessCouldHoldIsSetAsideAndTheRunInstalls) {
  // 1.5 GB, sparse, where a killed run leaves its plan: read whole, it would end the process.
  const std::string backup = installFolder_ + "\\" + CStagedInstall::kBackupName;
  ASSERT_TRUE(::CreateDirectoryA(installFolder_.c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA(backup.c_str(), nullptr));
  {
    winfx::ScopedHandle plan(::CreateFileA((backup + "\\" + CStagedInstall::kPlanName).c_str(),
                                           GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(plan.IsValid());
    LARGE_INTEGER size;
    size.QuadPart = 1536LL << 20;
    ASSERT_TRUE(::SetFilePointerEx(plan.Get(), size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(::SetEndOfFile(plan.Get()));
  }
  StartInstaller();
  EXPECT_EQ(kDoneText, ConfirmAndAnswer(installFolder_));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_EQ(0u, driver_->Program().ExitCode());
  EXPECT_EQ("version=1.0\r\n", ReadFileBytes(installFolder_ + "\\version.txt"));
  EXPECT_FALSE(PathExists(backup));
}

TEST_F(NoDeadEndTest, AFolderAnotherInstallerHoldsIsLeftAloneUntilItIsFree) {
  ASSERT_TRUE(::CreateDirectoryA(installFolder_.c_str(), nullptr));
  const std::string lock = installFolder_ + "\\" + CStagedInstall::kLockName;
  {
    // Held as another installer (of another session, say) holds it: open, without sharing.
    winfx::ScopedHandle other(::CreateFileA(lock.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    ASSERT_TRUE(other.IsValid());
    StartInstaller();
    EXPECT_EQ(kFolderLockedText, ConfirmAndAnswer(installFolder_));
    // Nothing fetched, nothing written, and the screen takes a confirmation again.
    EXPECT_FALSE(Requested("/update/Quillon_Widget.zip.meta"));
    EXPECT_TRUE(ArchiveRequests().empty());
    EXPECT_EQ(std::vector<std::string>{std::string(CStagedInstall::kLockName)}, ListTree(installFolder_));
    EXPECT_TRUE(driver_->InstallEnabled());
    EXPECT_TRUE(driver_->FolderEditEnabled());
  }
  // The other installer has ended: the same screen installs.
  driver_->ClickInstall();
  HWND box = driver_->WaitForBox(driver_->AppCaption(), 120000);
  ASSERT_NE(nullptr, box);
  EXPECT_EQ(kDoneText, driver_->AnswerBox(box, IDOK));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_FALSE(PathExists(lock));
  EXPECT_TRUE(PathExists(installFolder_ + "\\QuillonWidget.exe"));
}

TEST_F(NoDeadEndTest, ALinkOfAnInstallersOwnNameIsNeverFollowedAndTheFolderInstallsOnceItGoes) {
  ASSERT_TRUE(::CreateDirectoryA(installFolder_.c_str(), nullptr));
  TempFolder outside("outside-links");
  const std::string precious = outside / "precious.txt";
  ASSERT_TRUE(WriteFileBytes(precious, "kept as it is"));
  StartInstaller();
  // The lock (deleted on close), a part file (written and truncated) and the archive
  // (deleted after the installation), each leading to a file outside the folder.
  for (const char* name : {CStagedInstall::kLockName, "Quillon_Widget.zip.part", "Quillon_Widget.zip"}) {
    LinuxLink link(installFolder_ + "\\" + name, precious);
    if (!link.Made()) GTEST_SKIP() << "links are made from the Linux side of Wine";
    EXPECT_EQ(std::string("설치 폴더에 다른 곳을 가리키는 링크(") + name +
                  ")가 있습니다. 링크를 지운 후 다시 시도해 주세요.",
              ConfirmAndAnswer(installFolder_));
    EXPECT_EQ("kept as it is", ReadFileBytes(precious)) << name;
    EXPECT_EQ(std::vector<std::string>{"precious.txt"}, ListTree(outside.Path())) << name;
    EXPECT_FALSE(Requested("/update/Quillon_Widget.zip.meta")) << name;
    EXPECT_TRUE(driver_->InstallEnabled()) << name;
  }
  // The links are gone: the same screen installs.
  driver_->ClickInstall();
  HWND box = driver_->WaitForBox(driver_->AppCaption(), 120000);
  ASSERT_NE(nullptr, box);
  EXPECT_EQ(kDoneText, driver_->AnswerBox(box, IDOK));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_EQ("kept as it is", ReadFileBytes(precious));
  EXPECT_TRUE(PathExists(installFolder_ + "\\QuillonWidget.exe"));
}

TEST_F(NoDeadEndTest, AFolderOrFileSquattingAnInstallersOwnNameIsNamedOrClearedAndTheFolderInstalls) {
  ASSERT_TRUE(::CreateDirectoryA(installFolder_.c_str(), nullptr));
  const std::string archive = installFolder_ + "\\Quillon_Widget.zip";
  const std::string staging = installFolder_ + "\\" + CStagedInstall::kStagingName;
  // A folder that holds something in the archive's place, and a file in the staging
  // folder's: each is named, nothing is requested, and it stays as it is.
  ASSERT_TRUE(::CreateDirectoryA(archive.c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(archive + "\\mine.txt", "the operator's own"));
  ASSERT_TRUE(WriteFileBytes(staging, "not a folder"));
  StartInstaller();
  for (const std::string& name : {std::string("Quillon_Widget.zip"), std::string(CStagedInstall::kStagingName)}) {
    EXPECT_EQ("설치 폴더 안의 " + name +
                  "은(는) 설치프로그램이 쓰는 이름입니다. 지우거나 다른 곳으로 옮긴 후 다시 시도해 주세요.",
              ConfirmAndAnswer(installFolder_));
    EXPECT_FALSE(Requested("/update/Quillon_Widget.zip.meta")) << name;
    EXPECT_TRUE(driver_->InstallEnabled()) << name;
    if (name == "Quillon_Widget.zip") {
      ASSERT_TRUE(::DeleteFileA((archive + "\\mine.txt").c_str()));
    }
  }
  EXPECT_EQ("not a folder", ReadFileBytes(staging));
  ASSERT_TRUE(::DeleteFileA(staging.c_str()));
  // What is left is an empty folder in the archive's place: it is removed, and the same
  // screen installs.
  EXPECT_EQ(kDoneText, ConfirmAndAnswer(installFolder_));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_TRUE(PathExists(installFolder_ + "\\QuillonWidget.exe"));
  EXPECT_FALSE(PathExists(archive));
}

}  // namespace
