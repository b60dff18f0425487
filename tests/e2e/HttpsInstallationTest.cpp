// The installation over HTTPS, end to end: installers linked for https://127.0.0.1:port
// against loopback vendor servers that speak TLS with certificates of the tests' own CAs.
// The test CA is trusted the way an operator's machine would trust it: in the prefix's
// LocalMachine\Root store.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/ProductConstants.h"
#include "tests/support/InstallerFixture.h"
#include "tests/support/RootCertificate.h"
#include "winfx/InternetHandle.h"
#include "winfx/Url.h"

namespace {

using testing_support::FromUnixPath;
using testing_support::InstallerFixture;
using testing_support::PathExists;
using testing_support::ReadFileBytes;
using testing_support::TrustRootCertificate;

constexpr char kArchivePath[] = "/update/Quillon_Widget.zip";
constexpr char kDoneText[] = "Quillon위젯 설치가 완료되었습니다. 위젯이 실행됩니다.";

// The HTTP status of a GET of url over TLS by a client that accepts any certificate; 0 when
// no answer came. Shows that a server is up and serving, whatever its certificate.
DWORD StatusIgnoringCertificates(const std::string& url) {
  winfx::ParsedUrl parsed;
  if (!winfx::ParseUrl(url, &parsed)) return 0;
  winfx::ScopedInternetHandle internet(
      ::InternetOpenA("QuillonTest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  winfx::ScopedInternetHandle connection(
      ::InternetConnectA(internet.Get(), parsed.server.c_str(), parsed.port, nullptr, nullptr,
                         INTERNET_SERVICE_HTTP, 0, 0));
  winfx::ScopedInternetHandle request(::HttpOpenRequestA(
      connection.Get(), "GET", parsed.object.c_str(), nullptr, nullptr, nullptr,
      INTERNET_FLAG_SECURE | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
          INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID,
      0));
  if (!request) return 0;
  DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_REVOCATION |
                SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
  ::InternetSetOptionA(request.Get(), INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof(flags));
  if (!::HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0)) return 0;
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!::HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                        &size, nullptr)) {
    return 0;
  }
  return status;
}

// One installer and its TLS server; the test CA trusted in every case, so a failure comes
// from the server's certificate alone.
class HttpsInstallationTest : public InstallerFixture {
 protected:
  HttpsInstallationTest(const char* exe, const char* root, const char* url)
      : InstallerFixture(exe, root), url_(url) {}

  void SetUp() override {
    ASSERT_TRUE(TrustRootCertificate(FromUnixPath(QUILLON_TEST_CA_DER)));
  }

  // Starts the installer, confirms the installation folder and returns the text of the
  // first message box of the app.
  std::string InstallAndAnswerBox() {
    StartInstaller();
    if (HasFatalFailure()) return "(no installer)";
    return ConfirmAndAnswer(installFolder_);
  }

  // The failure box of the first download from this installer's server: the release
  // record, which comes before the archive.
  std::string FailureText() const {
    return "[LumoTrelbin] " + url_ + kArchivePath + ".meta" +
           " 다운로드 실패했습니다. [끝내기] 후 다시 시도해 주세요. ";
  }

  // A refused certificate: the failure box, no archive behind, and the server saw no request
  // for it (the connection ended in the handshake). Yet the same server hands the archive to
  // a client that accepts any certificate: the certificate alone made the difference.
  void ExpectRefusedCertificate() {
    EXPECT_EQ(FailureText(), InstallAndAnswerBox());
    EXPECT_EQ("Quillon_Widget.zip.meta 다운로드 실패 (서버 인증서 확인 실패)...", driver_->Status());
    EXPECT_FALSE(PathExists(installFolder_ + "\\Quillon_Widget.zip"));
    EXPECT_FALSE(PathExists(installFolder_ + "\\QuillonWidget.exe"));
    EXPECT_FALSE(Requested(kArchivePath));
    EXPECT_EQ(static_cast<DWORD>(HTTP_STATUS_OK), StatusIgnoringCertificates(url_ + kArchivePath));
    EXPECT_TRUE(Requested(kArchivePath));
  }

  std::string url_;
};

class TrustedCertificateTest : public HttpsInstallationTest {
 protected:
  TrustedCertificateTest()
      : HttpsInstallationTest(QUILLON_HTTPS_LOOPBACK_EXE, QUILLON_HTTPS_LOOPBACK_ROOT,
                              QUILLON_HTTPS_LOOPBACK_URL) {}
};

class UntrustedCaTest : public HttpsInstallationTest {
 protected:
  UntrustedCaTest()
      : HttpsInstallationTest(QUILLON_HTTPS_STRANGER_EXE, QUILLON_HTTPS_STRANGER_ROOT,
                              QUILLON_HTTPS_STRANGER_URL) {}
};

class OtherHostNameTest : public HttpsInstallationTest {
 protected:
  OtherHostNameTest()
      : HttpsInstallationTest(QUILLON_HTTPS_OTHERHOST_EXE, QUILLON_HTTPS_OTHERHOST_ROOT,
                              QUILLON_HTTPS_OTHERHOST_URL) {}
};

TEST_F(TrustedCertificateTest, TheInstallationCompletesOverHttps) {
  EXPECT_EQ(kDoneText, InstallAndAnswerBox());
  EXPECT_TRUE(driver_->WaitForExit(20000)) << "the installer did not end";
  EXPECT_TRUE(Requested(kArchivePath));
  // The agreement page came over the same TLS server, through the browser control.
  EXPECT_TRUE(uidriver::WaitUntil([&] { return Requested(product::kAgreementPath); }, 20000));
  EXPECT_TRUE(PathExists(installFolder_ + "\\QuillonWidget.exe"));
  EXPECT_TRUE(PathExists(installFolder_ + "\\docs\\읽어보기.txt"));
  EXPECT_FALSE(PathExists(installFolder_ + "\\Quillon_Widget.zip"));
  EXPECT_TRUE(PathExists(DesktopLinkPath()));
}

TEST_F(UntrustedCaTest, ACertificateOfAnUnknownCaEndsWithTheFailureBox) {
  ExpectRefusedCertificate();
}

TEST_F(OtherHostNameTest, ACertificateForAnotherHostNameEndsWithTheFailureBox) {
  ExpectRefusedCertificate();
}

}  // namespace
