// The vendor's release record, end to end: the real QuillonSetup.exe (built with the two
// test keys) under Wine against the loopback vendor server, which publishes the record of
// what it serves with vendor/publish and the first test key unless told otherwise. Nothing
// the record does not name, to the byte, is extracted; nothing older than what is installed
// is installed; no download reads past its bounds.
#include <gtest/gtest.h>

#include <map>

#include "app/ProductConstants.h"
#include "tests/support/InstallerFixture.h"
#include "tools/uidriver/UiDriver.h"

namespace {

using testing_support::FileState;
using testing_support::InstallerFixture;
using testing_support::PathExists;
using testing_support::ReadFileBytes;
using testing_support::TodaysLogPath;
using testing_support::WriteFileBytes;

constexpr char kArchivePath[] = "/update/Quillon_Widget.zip";
constexpr char kRecordPath[] = "/update/Quillon_Widget.zip.meta";
constexpr char kRecordSignaturePath[] = "/update/Quillon_Widget.zip.meta.sig";
constexpr char kDoneText[] = "Quillon위젯 설치가 완료되었습니다. 위젯이 실행됩니다.";
constexpr char kRefusedStatus[] = "설치정보 확인 실패...";

class ReleaseInstallTest : public InstallerFixture {
 protected:
  std::string InFolder(const std::string& name) const { return installFolder_ + "\\" + name; }

  // The position of the first request for path in the server's log, or -1.
  int RequestIndex(const std::string& path) const {
    const std::vector<std::string> requests = Requests();
    for (size_t i = 0; i < requests.size(); ++i) {
      if (requests[i].substr(0, requests[i].find('\t')) == "GET " + path) return static_cast<int>(i);
    }
    return -1;
  }

  std::string Log() const { return ReadFileBytes(TodaysLogPath(programFolder_->Path())); }

  // A whole installation of what the server offers; the program ends, and so does the
  // widget it started (its trace goes with it).
  void Install() {
    StartInstaller();
    EXPECT_EQ(kDoneText, ConfirmAndAnswer(installFolder_));
    EXPECT_TRUE(driver_->WaitForExit(20000));
    EXPECT_TRUE(uidriver::WaitUntil([] { return WidgetWindow() != nullptr; }, 20000));
    uidriver::EndProcessesNamed("QuillonWidget.exe");
    ::DeleteFileA(InFolder("widget_started.txt").c_str());
  }

  // Runs the installer on the folder and expects the record's refusal with text: the
  // status line, the folder exactly as it was, no archive fetched or left, no widget, and
  // the reason in the log. Ends the installer.
  void ExpectRefused(const std::string& text, const std::string& reason) {
    const std::map<std::string, FileState> before = FolderStates();
    const size_t archiveRequests = ArchiveRequests().size();
    StartInstaller();
    EXPECT_EQ(text, ConfirmAndAnswer(installFolder_));
    EXPECT_EQ(kRefusedStatus, driver_->Status());
    EXPECT_EQ(before, FolderStates());
    EXPECT_EQ(archiveRequests, ArchiveRequests().size());
    EXPECT_EQ(nullptr, WidgetWindow());
    EXPECT_NE(std::string::npos, Log().find("] [release] 설치정보 확인 실패 : " + reason + "\r\n"))
        << Log();
    QuitThroughQuitButton();
  }

  // Runs the installer and expects the download failure box for path; ends the installer.
  void ExpectDownloadFailure(const std::string& path) {
    StartInstaller();
    EXPECT_EQ("[LumoTrelbin] " + std::string(product::kServerUrl) + path +
                  " 다운로드 실패했습니다. [끝내기] 후 다시 시도해 주세요. ",
              ConfirmAndAnswer(installFolder_));
    QuitThroughQuitButton();
  }
};

TEST_F(ReleaseInstallTest, TheRecordComesFirstEveryRunAndIsKeptAsTheInstalledOnes) {
  ASSERT_EQ(2u, product::kArchivePublicKeyCount) << "the test build carries both test keys";
  ServeRelease("version 1.4.2");
  Install();
  const int record = RequestIndex(kRecordPath);
  ASSERT_NE(-1, record);
  EXPECT_LT(record, RequestIndex(kRecordSignaturePath));
  EXPECT_LT(RequestIndex(kRecordSignaturePath), RequestIndex(kArchivePath));
  for (const char* gone : {"Quillon_Widget.zip", "Quillon_Widget.zip.meta", "Quillon_Widget.zip.meta.sig"}) {
    EXPECT_FALSE(PathExists(InFolder(gone))) << gone;
  }
  EXPECT_NE(std::string::npos, ReadFileBytes(InFolder(".QuillonRelease")).find("version: 1.4.2\n"));
  EXPECT_TRUE(PathExists(InFolder(".QuillonRelease.sig")));

  // The same version again is a repair; a record signed with the second key installs, and
  // the record of the last run is fetched afresh (never taken from the folder).
  ServeRelease("version 1.4.2\nsecond-key");
  ASSERT_TRUE(WriteFileBytes(InFolder("Quillon_Widget.zip.meta"), "format: 1\n"));
  Install();
  EXPECT_EQ(2u, ArchiveRequests().size());
  EXPECT_NE(std::string::npos, ReadFileBytes(InFolder(".QuillonRelease")).find("version: 1.4.2\n"));
}

TEST_F(ReleaseInstallTest, AnOlderReleaseThanTheInstalledOneIsRefusedAndAnOldArchiveLeftIsNeverRead) {
  ServeRelease("version 2.0");
  Install();
  const std::string keptRecord = ReadFileBytes(InFolder(".QuillonRelease"));
  {
    SCOPED_TRACE("an older archive the vendor signed, served as the current one");
    ServeArchive(OldWidgetArchive());
    ServeRelease("version 1.9");
    ExpectRefused("서버의 Quillon위젯(1.9)이 설치된 버전(2.0)보다 낮아 설치하지 않습니다.",
                  "OLDER_THAN_INSTALLED");
    EXPECT_EQ("version=1.0\r\n", ReadFileBytes(InFolder("version.txt")));
    EXPECT_EQ(keptRecord, ReadFileBytes(InFolder(".QuillonRelease")));
  }
  {
    SCOPED_TRACE("an old archive left in the folder, the current release served");
    ASSERT_TRUE(WriteFileBytes(InFolder("Quillon_Widget.zip"), OldWidgetArchive()));
    ServeWidgetArchive();
    ServeRelease("version 2.1");
    Install();
    EXPECT_EQ("version=1.0\r\n", ReadFileBytes(InFolder("version.txt")));
    EXPECT_NE(std::string::npos, Log().find("받아 둔 설치파일 확인"));
    EXPECT_NE(std::string::npos, ReadFileBytes(InFolder(".QuillonRelease")).find("version: 2.1\n"));
  }
  {
    SCOPED_TRACE("a kept record changed by hand counts as none");
    std::string changed = ReadFileBytes(InFolder(".QuillonRelease"));
    changed.replace(changed.find("version: 2.1"), 12, "version: 9.9");
    ASSERT_TRUE(WriteFileBytes(InFolder(".QuillonRelease"), changed));
    ServeRelease("version 2.0");
    Install();
    EXPECT_NE(std::string::npos, Log().find("설치된 버전의 설치정보가 바뀌었습니다(NOT_SIGNED)"));
  }
}

TEST_F(ReleaseInstallTest, ARecordThatFailsACheckIsRefusedWithItsBox) {
  InstallOldVersion();
  const struct {
    const char* lines;
    const char* text;
    const char* reason;
  } cases[] = {
      {"other-key", "Quillon위젯 설치정보의 서명을 확인하지 못했습니다. [끝내기] 후 다시 시도해 주세요.",
       "NOT_SIGNED"},
      {"file Other_Widget.zip",
       "Quillon위젯 설치정보가 다른 설치파일의 것입니다. [끝내기] 후 다시 시도해 주세요.", "OTHER_FILE"},
      {"expired",
       "Quillon위젯 설치정보의 유효기간이 지났습니다. 컴퓨터의 날짜와 시간을 확인하고 [끝내기] 후 다시 "
       "시도해 주세요.",
       "EXPIRED"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines);
    ServeRelease(c.lines);
    ExpectRefused(c.text, c.reason);
  }
  {
    SCOPED_TRACE("a record over 4 KiB is a failed download, its bytes never kept");
    ServeRelease("oversize");
    const std::map<std::string, FileState> before = FolderStates();
    ExpectDownloadFailure(kRecordPath);
    EXPECT_EQ(before, FolderStates());
  }
  {
    SCOPED_TRACE("a record without end stops at its cap");
    ServeRelease("");
    QueueFaults("Quillon_Widget.zip.meta", "endless");
    ExpectDownloadFailure(kRecordPath);
    EXPECT_FALSE(PathExists(InFolder("Quillon_Widget.zip.meta.part")));
  }
  EXPECT_TRUE(ArchiveRequests().empty());
  // Mended: the next run installs.
  Install();
  EXPECT_EQ("version=1.0\r\n", ReadFileBytes(InFolder("version.txt")));
}

TEST_F(ReleaseInstallTest, AnArchiveOutsideTheRecordsBoundsIsNeverWrittenPastItsLength) {
  const ULONGLONG length = WidgetArchive().size();
  {
    SCOPED_TRACE("a Content-Length other than the record's length");
    QueueArchiveFaults("length+3");
    ExpectDownloadFailure(kArchivePath);
    EXPECT_FALSE(PathExists(InFolder("Quillon_Widget.zip")));
    EXPECT_FALSE(PathExists(InFolder("Quillon_Widget.zip.part")));
  }
  {
    SCOPED_TRACE("a body that never ends");
    QueueArchiveFaults("endless");
    ExpectDownloadFailure(kArchivePath);
    EXPECT_FALSE(PathExists(InFolder("Quillon_Widget.zip")));
    EXPECT_FALSE(PathExists(InFolder("Quillon_Widget.zip.part")));
  }
  {
    SCOPED_TRACE("an archive of the right length but another hash in the folder");
    const size_t requestsBefore = ArchiveRequests().size();
    std::string other = WidgetArchive();
    other[other.size() / 2] ^= 0x55;
    ASSERT_EQ(length, other.size());
    ASSERT_TRUE(WriteFileBytes(InFolder("Quillon_Widget.zip"), other));
    Install();
    EXPECT_EQ(requestsBefore + 1, ArchiveRequests().size());
    EXPECT_TRUE(PathExists(InFolder("QuillonWidget.exe")));
  }
}

TEST_F(ReleaseInstallTest, QuitDuringADownloadKeepsThePartForTheNextRun) {
  QueueArchiveFaults("stall@40%");
  StartInstaller();
  Confirm(installFolder_);
  ASSERT_TRUE(driver_->WaitForStatus("Quillon_Widget.zip"));
  // The bar shows the bytes before the stall once they are in the part.
  ASSERT_TRUE(driver_->WaitForProgress(30));
  EXPECT_FALSE(driver_->InstallEnabled());
  EXPECT_TRUE(driver_->QuitEnabled());
  EXPECT_EQ(driver_->Screen(), ::GetParent(driver_->FocusedWindow()));
  EXPECT_EQ(::GetDlgItem(driver_->Screen(), IDCANCEL), driver_->FocusedWindow());
  QuitThroughQuitButton();
  const std::string part = ReadFileBytes(InFolder("Quillon_Widget.zip.part"));
  EXPECT_GE(part.size(), WidgetArchive().size() * 30 / 100);
  EXPECT_EQ(WidgetArchive().substr(0, part.size()), part);

  Install();
  const std::vector<std::string> requests = ArchiveRequests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_NE(std::string::npos, requests[1].find("Range: bytes=" + std::to_string(part.size()) + "-"));
  EXPECT_TRUE(PathExists(InFolder("QuillonWidget.exe")));
}

}  // namespace
