#include "tests/support/InstallerFixture.h"

#include <sstream>

namespace testing_support {

namespace {

// Wine's per-program settings.
constexpr char kAppDefaultsKey[] = "Software\\Wine\\AppDefaults\\";

}  // namespace

InstallerFixture::InstallerFixture() : InstallerFixture(QUILLON_SETUP_EXE, QUILLON_VENDOR_ROOT) {}

InstallerFixture::InstallerFixture(const std::string& setupExe, const std::string& vendorRoot)
    : programFolder_(std::make_unique<TempFolder>("setup")),
      workFolder_(std::make_unique<TempFolder>("work")),
      installFolder_(*workFolder_ / "QuillonWidget"),
      vendorRoot_(FromUnixPath(vendorRoot)) {
  ::CopyFileA(FromUnixPath(setupExe).c_str(), (*programFolder_ / "QuillonSetup.exe").c_str(), FALSE);
  WriteFileBytes(*programFolder_ / "info.ini", "[COMMON]\r\nDEBUG=1\r\n");
  ::CreateDirectoryA((*programFolder_ / "log").c_str(), nullptr);
  ::DeleteFileA(DesktopLinkPath().c_str());
  requestLogStart_ = ReadFileBytes(RequestLogPath()).size();
  ServeWidgetArchive();
}

InstallerFixture::~InstallerFixture() {
  driver_.reset();
  // A started widget would outlive the test (and hold its output open).
  uidriver::EndProcessesNamed("QuillonWidget.exe");
  if (!overriddenApp_.empty()) ::RegDeleteTreeA(HKEY_CURRENT_USER, overriddenApp_.c_str());
  ::DeleteFileA(DesktopLinkPath().c_str());
}

std::string InstallerFixture::ServedArchivePath() const {
  return vendorRoot_ + "\\update\\Quillon_Widget.zip";
}

std::string InstallerFixture::RequestLogPath() const { return vendorRoot_ + "\\requests.log"; }

void InstallerFixture::ServeArchive(const std::string& bytes) {
  ASSERT_TRUE(WriteFileBytes(ServedArchivePath(), bytes));
}

void InstallerFixture::ServeWidgetArchive() { ServeArchive(WidgetArchive()); }

void InstallerFixture::ServeNoArchive() { ::DeleteFileA(ServedArchivePath().c_str()); }

std::string InstallerFixture::WidgetArchive() {
  return ReadFileBytes(FromUnixPath(QUILLON_TEST_WIDGET_ARCHIVE));
}

std::string InstallerFixture::BrokenWidgetArchive() {
  return ReadFileBytes(FromUnixPath(QUILLON_TEST_BROKEN_ARCHIVE));
}

std::vector<std::string> InstallerFixture::Requests() const {
  std::string log = ReadFileBytes(RequestLogPath());
  std::istringstream lines(log.size() > requestLogStart_ ? log.substr(requestLogStart_) : "");
  std::vector<std::string> requests;
  for (std::string line; std::getline(lines, line);) requests.push_back(line);
  return requests;
}

bool InstallerFixture::Requested(const std::string& path) const {
  for (const std::string& request : Requests()) {
    if (request == "GET " + path) return true;
  }
  return false;
}

void InstallerFixture::StartInstaller() { StartInstallerNamed("QuillonSetup.exe"); }

void InstallerFixture::StartInstallerWithoutBrowserControl() {
  const std::string name = "QuillonSetupNoBrowser.exe";
  ASSERT_TRUE(::CopyFileA((*programFolder_ / "QuillonSetup.exe").c_str(),
                          (*programFolder_ / name).c_str(), FALSE));
  overriddenApp_ = kAppDefaultsKey + name;
  std::string overrides = overriddenApp_ + "\\DllOverrides";
  for (const char* dll : {"ieframe", "shdocvw"}) {
    // An empty value switches the library off for that program.
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueA(HKEY_CURRENT_USER, overrides.c_str(), dll, REG_SZ, "", 1));
  }
  StartInstallerNamed(name);
}

void InstallerFixture::StartInstallerNamed(const std::string& exeName) {
  driver_ = std::make_unique<uidriver::InstallerDriver>(*programFolder_ / exeName);
  ASSERT_TRUE(driver_->Start()) << "the install screen did not appear";
}

std::string InstallerFixture::DesktopLinkPath() {
  return uidriver::DesktopFolder() + "\\Quillon위젯.lnk";
}

std::string InstallerFixture::LinkTarget(const std::string& linkPath) {
  return uidriver::ShellLinkTarget(linkPath);
}

HWND InstallerFixture::WidgetWindow() { return ::FindWindowA("QuillonWidgetStandIn", nullptr); }

}  // namespace testing_support
