// The archive's signature, end to end: the real QuillonSetup.exe (built with the test key)
// under Wine against the loopback vendor server, which signs what it serves with the test
// key's private half unless told otherwise. Nothing the vendor did not sign is extracted.
#include <gtest/gtest.h>

#include <map>

#include "app/ProductConstants.h"
#include "tests/support/InstallerFixture.h"

namespace {

using testing_support::FileState;
using testing_support::InstallerFixture;
using testing_support::PathExists;
using testing_support::ReadFileBytes;
using testing_support::TodaysLogPath;
using testing_support::WriteFileBytes;

constexpr char kArchivePath[] = "/update/Quillon_Widget.zip";
constexpr char kSignaturePath[] = "/update/Quillon_Widget.zip.sig";
constexpr char kDoneText[] = "Quillon위젯 설치가 완료되었습니다. 위젯이 실행됩니다.";
constexpr char kRefusedText[] =
    "Quillon위젯 설치파일의 서명을 확인하지 못했습니다. [끝내기] 후 다시 시도해 주세요.";
constexpr char kRefusedStatus[] = "서명 확인 실패...";

class SignatureTest : public InstallerFixture {
 protected:
  std::string Archive() const { return installFolder_ + "\\Quillon_Widget.zip"; }
  std::string Signature() const { return installFolder_ + "\\Quillon_Widget.zip.sig"; }

  // The position of the first request for path in the server's log, or -1.
  int RequestIndex(const std::string& path) const {
    const std::vector<std::string> requests = Requests();
    for (size_t i = 0; i < requests.size(); ++i) {
      if (requests[i].substr(0, requests[i].find('\t')) == "GET " + path) return static_cast<int>(i);
    }
    return -1;
  }

  // Runs the installer on the folder and expects the refusal: the box, the status line,
  // the old installation exactly as it was, neither file left, no link, no widget, and
  // the reason in the program folder's log. Ends the installer.
  void ExpectRefused(const std::map<std::string, FileState>& before, const std::string& reason) {
    StartInstaller();
    EXPECT_EQ(kRefusedText, ConfirmAndAnswer(installFolder_));
    EXPECT_EQ(kRefusedStatus, driver_->Status());
    EXPECT_EQ(before, FolderStates());
    EXPECT_FALSE(PathExists(Archive()));
    EXPECT_FALSE(PathExists(Signature()));
    EXPECT_FALSE(PathExists(DesktopLinkPath()));
    EXPECT_EQ(nullptr, WidgetWindow());
    const std::string log = ReadFileBytes(TodaysLogPath(programFolder_->Path()));
    EXPECT_NE(std::string::npos, log.find("] [install] 서명 확인 실패 : " + reason + "\r\n")) << log;
    QuitThroughQuitButton();
  }
};

TEST_F(SignatureTest, TheVendorsPairInstallsSignatureFirstAndBothGoAfterwards) {
  ASSERT_NE(nullptr, product::kArchivePublicKey) << "the test build carries the test key";
  StartInstaller();
  EXPECT_EQ(kDoneText, ConfirmAndAnswer(installFolder_));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  const int signature = RequestIndex(kSignaturePath);
  ASSERT_NE(-1, signature);
  EXPECT_LT(signature, RequestIndex(kArchivePath));
  EXPECT_FALSE(PathExists(Archive()));
  EXPECT_FALSE(PathExists(Signature()));
  EXPECT_TRUE(PathExists(installFolder_ + "\\QuillonWidget.exe"));
}

TEST_F(SignatureTest, AnArchiveTheKeyDidNotSignReachesNothingOfTheFolder) {
  InstallOldVersion();
  const std::map<std::string, FileState> before = FolderStates();
  {
    SCOPED_TRACE("another zip served with the original's signature");
    StageNextArchive(WidgetArchive());
    ServeSignature("of Quillon_Widget.zip.next");
    ServeArchive(OldWidgetArchive());
    ExpectRefused(before, "MISMATCH");
  }
  ServeWidgetArchive();
  {
    SCOPED_TRACE("the archive signed with another key");
    ServeSignature("other-key");
    ExpectRefused(before, "MISMATCH");
  }
  {
    SCOPED_TRACE("a signature of garbage bytes");
    ServeSignature("garbage");
    ExpectRefused(before, "SIGNATURE_MALFORMED");
  }
  // Both were deleted: the next run fetches the vendor's pair afresh and installs it.
  ServeSignature("sign");
  StartInstaller();
  EXPECT_EQ(kDoneText, ConfirmAndAnswer(installFolder_));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_EQ("version=1.0\r\n", ReadFileBytes(installFolder_ + "\\version.txt"));
}

TEST_F(SignatureTest, AFileAlreadyInTheFolderThatTheKeyDidNotSignGoesUnread) {
  InstallOldVersion();
  const std::map<std::string, FileState> before = FolderStates();
  for (const std::string& bytes : {OldWidgetArchive(), std::string("not a zip\r\n")}) {
    ASSERT_TRUE(WriteFileBytes(Archive(), bytes));
    ExpectRefused(before, "MISMATCH");
  }
  EXPECT_FALSE(Requested(kArchivePath));
}

TEST_F(SignatureTest, AMissingSignatureIsADownloadFailureBeforeTheArchiveIsFetched) {
  InstallOldVersion();
  const std::map<std::string, FileState> before = FolderStates();
  ServeSignature("none");
  StartInstaller();
  EXPECT_EQ("[LumoTrelbin] " + std::string(product::kServerUrl) + kSignaturePath +
                " 다운로드 실패했습니다. [끝내기] 후 다시 시도해 주세요. ",
            ConfirmAndAnswer(installFolder_));
  EXPECT_EQ("Quillon_Widget.zip.sig", driver_->Status());
  EXPECT_FALSE(Requested(kArchivePath));
  EXPECT_EQ(before, FolderStates());
  QuitThroughQuitButton();
}

}  // namespace
