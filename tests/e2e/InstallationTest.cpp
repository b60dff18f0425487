// The whole installation, end to end: the real QuillonSetup.exe under Wine, driven through
// its windows, against the loopback vendor server.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/ProductConstants.h"
#include "tests/support/InstallerFixture.h"
#include "tests/support/WideFiles.h"

namespace {

using testing_support::InstallerFixture;
using testing_support::PathExists;
using testing_support::ReadFileBytes;
using testing_support::TodaysLogPath;

constexpr char kArchivePath[] = "/update/Quillon_Widget.zip";
constexpr char kDoneText[] = "Quillon위젯 설치가 완료되었습니다. 위젯이 실행됩니다.";
constexpr char kOpenFailedStatus[] = "압축파일 오픈 실패 = 1...";
constexpr char kQuitText[] = "설치프로그램을 종료하시겠습니까?";

// FILETIME of a stored zip time (local), as the extractor sets it (UTC).
FILETIME StoredTimeAsUtc(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  SYSTEMTIME local = {year, month, 0, day, hour, minute, second, 0};
  FILETIME localTime, utc;
  ::SystemTimeToFileTime(&local, &localTime);
  ::LocalFileTimeToFileTime(&localTime, &utc);
  return utc;
}

class InstallationTest : public InstallerFixture {
 protected:
  // Confirms the installation folder and waits for the first message box of the app.
  HWND ConfirmAndWaitForBox(const std::string& folder) {
    Confirm(folder);
    return driver_->WaitForBox(driver_->AppCaption(), 120000);
  }
};

TEST_F(InstallationTest, DownloadsExtractsLinksAndStartsTheWidget) {
  StartInstaller();
  HWND box = ConfirmAndWaitForBox(installFolder_);
  ASSERT_NE(nullptr, box);
  std::string text = driver_->AnswerBox(box, IDOK);
  driver_->StopRecording();
  EXPECT_EQ(kDoneText, text);
  EXPECT_TRUE(driver_->WaitForExit(20000)) << "the installer did not end";

  // Every position the bar was given: strictly rising (no value twice, never 0), ending
  // at 100.
  std::vector<int> progress = driver_->ProgressHistory();
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(100, progress.back());
  EXPECT_LT(0, progress.front());
  EXPECT_EQ(progress.end(), std::adjacent_find(progress.begin(), progress.end(), std::greater_equal<int>()))
      << ::testing::PrintToString(progress);

  // Every text the status line was given, in order: the file name, the extraction, the end.
  std::vector<std::string> expected = {"Quillon_Widget.zip", "압축해제중입니다.기다려 주세요...",
                                       "설치완료..."};
  EXPECT_EQ(expected, driver_->StatusHistory());

  // The archive's files and folders, with their stored times, its empty folder too; the
  // archive is gone.
  EXPECT_FALSE(PathExists(installFolder_ + "\\Quillon_Widget.zip"));
  EXPECT_TRUE(testing_support::IsFolder(installFolder_ + "\\cache"));
  for (const char* file : {"QuillonWidget.exe", "config\\widget.ini", "skins\\default\\skin.txt",
                           "skins\\default\\fonts\\font.txt", "docs\\읽어보기.txt"}) {
    std::string path = installFolder_ + "\\" + file;
    ASSERT_TRUE(PathExists(path)) << path;
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(::GetFileAttributesExW(testing_support::AnsiToUtf16(path).c_str(), GetFileExInfoStandard, &data));
    FILETIME stored = StoredTimeAsUtc(2024, 5, 1, 10, 20, 30);
    EXPECT_EQ(0, ::CompareFileTime(&stored, &data.ftLastWriteTime)) << path;
    EXPECT_EQ(0, ::CompareFileTime(&stored, &data.ftCreationTime)) << path;
  }

  // The desktop link starts the installed widget, which runs from the folder, in it (the
  // installer itself runs in another).
  EXPECT_EQ(installFolder_ + "\\QuillonWidget.exe", LinkTarget(DesktopLinkPath()));
  ASSERT_TRUE(uidriver::WaitUntil([] { return WidgetWindow() != nullptr; }, 20000));
  std::string trace = ReadFileBytes(installFolder_ + "\\widget_started.txt");
  EXPECT_NE(std::string::npos, trace.find("folder=" + installFolder_ + "\r\n")) << trace;
  EXPECT_NE(std::string::npos, trace.find("current=" + installFolder_ + "\r\n")) << trace;
  EXPECT_TRUE(Requested(kArchivePath));
}

TEST_F(InstallationTest, AnArchiveAlreadyInTheFolderIsNotDownloaded) {
  ASSERT_TRUE(::CreateDirectoryA(installFolder_.c_str(), nullptr));
  ASSERT_TRUE(testing_support::WriteFileBytes(installFolder_ + "\\Quillon_Widget.zip", WidgetArchive()));
  StartInstaller();
  HWND box = ConfirmAndWaitForBox(installFolder_);
  ASSERT_NE(nullptr, box);
  EXPECT_EQ(kDoneText, driver_->AnswerBox(box, IDOK));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  // Only its record was fetched, and both are gone after the installation.
  EXPECT_FALSE(Requested(kArchivePath));
  EXPECT_TRUE(Requested(std::string(kArchivePath) + ".meta"));
  EXPECT_TRUE(PathExists(installFolder_ + "\\QuillonWidget.exe"));
  EXPECT_FALSE(PathExists(installFolder_ + "\\Quillon_Widget.zip"));
  EXPECT_FALSE(PathExists(installFolder_ + "\\Quillon_Widget.zip.meta"));
}

TEST_F(InstallationTest, AFailedDownloadIsReportedAndEscapeLeaves) {
  QueueArchiveFaults("404");
  StartInstaller();
  HWND box = ConfirmAndWaitForBox(installFolder_);
  ASSERT_NE(nullptr, box);
  std::string url = std::string(product::kServerUrl) + kArchivePath;
  EXPECT_EQ("[LumoTrelbin] " + url + " 다운로드 실패했습니다. [끝내기] 후 다시 시도해 주세요. ",
            driver_->AnswerBox(box, IDOK));
  driver_->StopRecording();

  // The screen stays as the download left it: the bar where it was, the file name shown
  // with the cause, the folder locked, "끝내기" enabled again, and no file behind.
  EXPECT_EQ(0, driver_->Progress());
  EXPECT_EQ("Quillon_Widget.zip 다운로드 실패 (서버 응답 404)...", driver_->Status());
  EXPECT_FALSE(driver_->InstallEnabled());
  EXPECT_TRUE(driver_->QuitEnabled());
  EXPECT_FALSE(driver_->FolderEditEnabled());
  EXPECT_FALSE(PathExists(installFolder_ + "\\Quillon_Widget.zip"));

  // The failure is in the program folder's log.
  std::string log = ReadFileBytes(TodaysLogPath(programFolder_->Path()));
  EXPECT_NE(std::string::npos, log.find("] [LumoTrelbin] " + url + " 다운로드 실패했습니다. "
                                        "[끝내기] 후 다시 시도해 주세요. \r\n"))
      << log;
  QuitThroughEscape();
}

TEST_F(InstallationTest, ADownloadThatIsNotAZipIsReportedAndRemoved) {
  ServeArchive("this is not a zip archive\r\n");
  StartInstaller();
  Confirm(installFolder_);
  EXPECT_TRUE(driver_->WaitForStatus(kOpenFailedStatus)) << driver_->Status();
  ASSERT_TRUE(uidriver::WaitUntil([&] { return driver_->QuitEnabled(); }, 60000));
  EXPECT_FALSE(PathExists(installFolder_ + "\\Quillon_Widget.zip"));
  EXPECT_TRUE(Requested(kArchivePath));
  EXPECT_EQ(nullptr, WidgetWindow());
  QuitThroughQuitButton();
}

// The picker and the operator may name a folder whose parents do not exist yet: they are
// made with it.
TEST_F(InstallationTest, AFolderWhoseParentsAreMissingIsMadeWithThem) {
  std::string folder = *workFolder_ / "missing\\deeper\\QuillonWidget";
  StartInstaller();
  EXPECT_EQ(kDoneText, ConfirmAndAnswer(folder));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_TRUE(PathExists(folder + "\\QuillonWidget.exe"));
}

TEST_F(InstallationTest, AnEmptyFolderTextOnlyAsksForOne) {
  StartInstaller();
  driver_->TypeFolder("");
  driver_->ClickInstall();
  HWND box = driver_->WaitForBox(driver_->AppCaption());
  ASSERT_NE(nullptr, box);
  EXPECT_EQ("설치경로를 입력해 주세요.", driver_->AnswerBox(box, IDOK));
  EXPECT_TRUE(driver_->InstallEnabled());
  EXPECT_TRUE(driver_->QuitEnabled());
  EXPECT_EQ("", driver_->FolderText());
  EXPECT_FALSE(Requested(kArchivePath));
  EXPECT_TRUE(driver_->Program().IsRunning());
}

TEST_F(InstallationTest, ACancelledQuitQuestionKeepsTheScreen) {
  StartInstaller();
  driver_->ClickQuit();
  HWND quit = driver_->WaitForBox("확인");
  ASSERT_NE(nullptr, quit);
  EXPECT_EQ(kQuitText, driver_->AnswerBox(quit, IDCANCEL));
  EXPECT_TRUE(driver_->Program().IsRunning());
  EXPECT_EQ(product::kDefaultFolder, driver_->FolderText());
  EXPECT_TRUE(driver_->InstallEnabled());

  // Answered with OK, the program ends without installing anything.
  driver_->ClickQuit();
  quit = driver_->WaitForBox("확인");
  ASSERT_NE(nullptr, quit);
  driver_->AnswerBox(quit, IDOK);
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_FALSE(Requested(kArchivePath));
}

TEST_F(InstallationTest, AWidgetThatCannotBeStartedIsToldWithItsPathAndStaysInstalled) {
  // The archive's QuillonWidget.exe is no program: it installs, and does not start.
  const std::string archive = ReadFileBytes(testing_support::FromUnixPath(QUILLON_TEST_INSTALL_ARCHIVES) +
                                            "\\unstartable_widget.zip");
  ASSERT_FALSE(archive.empty());
  ServeArchive(archive);
  StartInstaller();
  EXPECT_EQ(kDoneText, ConfirmAndAnswer(installFolder_));
  const std::string program = installFolder_ + "\\QuillonWidget.exe";
  HWND box = driver_->WaitForBox(driver_->AppCaption(), 20000);
  ASSERT_NE(nullptr, box);
  EXPECT_EQ("Quillon위젯(" + program + ")을 실행하지 못했습니다. 설치는 완료되었으니 위젯을 직접 실행해 주세요.",
            driver_->AnswerBox(box, IDOK));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_EQ("this is no program\r\n", ReadFileBytes(program));
  EXPECT_TRUE(PathExists(DesktopLinkPath()));
}

// An installer whose vendor server is an address where nothing listens.
class NoServerInstallationTest : public InstallerFixture {
 protected:
  NoServerInstallationTest() : InstallerFixture(QUILLON_NO_SERVER_EXE, QUILLON_VENDOR_ROOT) {}
};

TEST_F(NoServerInstallationTest, TheStatusLineSaysTheServerCannotBeReached) {
  StartInstaller();
  const std::string text = ConfirmAndAnswer(installFolder_);
  EXPECT_EQ(0u, text.find("[LumoTrelbin] ")) << text;
  EXPECT_NE(std::string::npos, text.find(" 다운로드 실패했습니다. [끝내기] 후 다시 시도해 주세요. ")) << text;
  // The first download, the release record, is the one that fails.
  EXPECT_EQ("Quillon_Widget.zip.meta 다운로드 실패 (서버에 연결할 수 없음)...", driver_->Status());
  QuitThroughEscape();
}

}  // namespace
