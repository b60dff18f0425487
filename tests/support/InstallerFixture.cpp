#include "tests/support/InstallerFixture.h"

#include <cstdio>
#include <sstream>

#include "archive/CZipExtractor.h"
#include "install/CStagedInstall.h"
#include "tests/support/WideFiles.h"

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
  ::DeleteFileW(AnsiToUtf16(DesktopLinkPath()).c_str());
  requestLogStart_ = ReadFileBytes(RequestLogPath()).size();
  ServeWidgetArchive();
  testEnded_.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = test != nullptr ? std::string(test->test_suite_name()) + "." + test->name() : "";
  watchdog_ = std::thread([this, name] {
    if (::WaitForSingleObject(testEnded_.Get(), kTestBoundMs) != WAIT_TIMEOUT) return;
    std::fprintf(stderr, "[watchdog] %s ran past %lu s: its installer is ended\n", name.c_str(),
                 kTestBoundMs / 1000);
    std::fflush(stderr);
    winfx::ScopedHandle installer(::OpenProcess(PROCESS_TERMINATE, FALSE, installerId_.load()));
    if (installer) ::TerminateProcess(installer.Get(), 98);
  });
}

InstallerFixture::~InstallerFixture() {
  ::SetEvent(testEnded_.Get());
  watchdog_.join();
  driver_.reset();
  // A started widget would outlive the test (and hold its output open).
  uidriver::EndProcessesNamed("QuillonWidget.exe");
  ::DeleteFileA(FaultsPath().c_str());
  ::DeleteFileA(NextArchivePath().c_str());
  ::DeleteFileA(ReleasePath().c_str());
  if (!overriddenApp_.empty()) ::RegDeleteTreeA(HKEY_CURRENT_USER, overriddenApp_.c_str());
  ::DeleteFileW(AnsiToUtf16(DesktopLinkPath()).c_str());
}

std::string InstallerFixture::ServedArchivePath() const {
  return vendorRoot_ + "\\update\\Quillon_Widget.zip";
}

std::string InstallerFixture::RequestLogPath() const { return vendorRoot_ + "\\requests.log"; }

std::string InstallerFixture::FaultsPath() const { return vendorRoot_ + "\\faults"; }

std::string InstallerFixture::NextArchivePath() const { return ServedArchivePath() + ".next"; }

std::string InstallerFixture::ReleasePath() const { return vendorRoot_ + "\\release"; }

void InstallerFixture::ServeRelease(const std::string& lines) {
  ASSERT_TRUE(WriteFileBytes(ReleasePath(), lines + "\n"));
}

std::map<std::string, FileState> InstallerFixture::FolderStates() const {
  std::map<std::string, FileState> files = FileStates(installFolder_);
  files.erase(CStagedInstall::kLockName);
  return files;
}

void InstallerFixture::InstallOldVersion() {
  std::string archive = *workFolder_ / "old.zip";
  ASSERT_TRUE(WriteFileBytes(archive, OldWidgetArchive()));
  CZipExtractor zip;
  ASSERT_TRUE(zip.Open(archive.c_str()));
  ASSERT_TRUE(zip.ExtractAll(installFolder_.c_str()));
  zip.Close();
  ASSERT_EQ("version=0.9\r\n", ReadFileBytes(installFolder_ + "\\version.txt"));
}

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

std::string InstallerFixture::OldWidgetArchive() {
  return ReadFileBytes(FromUnixPath(QUILLON_TEST_OLD_ARCHIVE));
}

std::string InstallerFixture::BadCrcWidgetArchive() {
  return ReadFileBytes(FromUnixPath(QUILLON_TEST_BADCRC_ARCHIVE));
}

std::string InstallerFixture::LongPathWidgetArchive() {
  return ReadFileBytes(FromUnixPath(QUILLON_TEST_LONG_ARCHIVE));
}

std::string InstallerFixture::UnicodeWidgetArchive() {
  return ReadFileBytes(FromUnixPath(QUILLON_TEST_UNICODE_ARCHIVE));
}

void InstallerFixture::QueueArchiveFaults(const std::string& faults) {
  QueueFaults("Quillon_Widget.zip", faults);
}

void InstallerFixture::QueueFaults(const std::string& name, const std::string& faults) {
  ASSERT_TRUE(WriteFileBytes(FaultsPath(), name + " " + faults + "\n"));
}

void InstallerFixture::StageNextArchive(const std::string& bytes) {
  ASSERT_TRUE(WriteFileBytes(NextArchivePath(), bytes));
}

std::vector<std::string> InstallerFixture::Requests() const {
  std::string log = ReadFileBytes(RequestLogPath());
  std::istringstream lines(log.size() > requestLogStart_ ? log.substr(requestLogStart_) : "");
  std::vector<std::string> requests;
  for (std::string line; std::getline(lines, line);) requests.push_back(line);
  return requests;
}

namespace {

bool IsRequestFor(const std::string& line, const std::string& path) {
  return line.substr(0, line.find('\t')) == "GET " + path;
}

}  // namespace

bool InstallerFixture::Requested(const std::string& path) const {
  for (const std::string& request : Requests()) {
    if (IsRequestFor(request, path)) return true;
  }
  return false;
}

std::vector<std::string> InstallerFixture::ArchiveRequests() const {
  std::vector<std::string> lines;
  for (const std::string& request : Requests()) {
    if (IsRequestFor(request, "/update/Quillon_Widget.zip")) lines.push_back(request);
  }
  return lines;
}

void InstallerFixture::StartInstaller() { StartInstallerNamed("QuillonSetup.exe"); }

void InstallerFixture::StartInstallerInItsFolder() {
  StartInstallerNamed("QuillonSetup.exe", programFolder_->Path());
}

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

void InstallerFixture::StartInstallerNamed(const std::string& exeName,
                                           const std::string& currentFolder) {
  driver_ = std::make_unique<uidriver::InstallerDriver>(*programFolder_ / exeName);
  const bool started = driver_->Start(uidriver::kAppearBoundMs, currentFolder);
  installerId_ = driver_->Program().Id();
  ASSERT_TRUE(started) << "the install screen did not appear; " << StartFailureReport();
}

std::string InstallerFixture::StartFailureReport() const {
  const uidriver::Process& installer = driver_->Program();
  const DWORD code = installer.ExitCode();
  std::string requests;
  for (const std::string& request : Requests()) requests += request + "\n";
  return (code == STILL_ACTIVE ? "the installer (" + std::to_string(installer.Id()) + ") runs"
                               : "the installer ended with " + std::to_string(code)) +
         "\nwindows:\n" + uidriver::DescribeTopWindows() + "its log:\n" +
         ReadFileBytes(TodaysLogPath(programFolder_->Path())) +
         "\nthe vendor server's requests (the agreement page once the screen navigates):\n" +
         requests;
}

void InstallerFixture::Confirm(const std::string& folder) {
  driver_->TypeFolder(folder);
  ASSERT_TRUE(driver_->StartRecording()) << "the watch hook could not be set";
  driver_->ClickInstall();
}

std::string InstallerFixture::ConfirmAndAnswer(const std::string& folder) {
  Confirm(folder);
  HWND box = driver_->WaitForBox(driver_->AppCaption(), 120000);
  return box != nullptr ? driver_->AnswerBox(box, IDOK) : "(no box)";
}

void InstallerFixture::QuitThroughQuitButton() {
  ASSERT_TRUE(driver_->QuitEnabled());
  driver_->ClickQuit();
  HWND quit = driver_->WaitForBox(uidriver::kQuitCaption);
  ASSERT_NE(nullptr, quit);
  EXPECT_EQ(driver_->Screen(), ::GetWindow(quit, GW_OWNER));
  EXPECT_EQ("설치프로그램을 종료하시겠습니까?", driver_->AnswerBox(quit, IDOK));
  EXPECT_TRUE(driver_->WaitForExit(20000));
}

void InstallerFixture::QuitThroughEscape() {
  ASSERT_TRUE(driver_->PressEscape()) << "the screen did not come to the foreground";
  HWND quit = driver_->WaitForBox("확인");
  ASSERT_NE(nullptr, quit);
  EXPECT_EQ("설치프로그램을 종료하시겠습니까?", driver_->AnswerBox(quit, IDOK));
  EXPECT_TRUE(driver_->WaitForExit(20000));
}

bool InstallerFixture::KillInstallerHard() {
  // The Linux process one of whose arguments is the installer in this fixture's own program
  // folder: the first one where Wine runs natively, a later one where qemu runs Wine. The
  // pattern is written so that no argument of the shell or grep matches it.
  const std::string& folder = programFolder_->Path();
  const std::string unique = folder.substr(folder.find_last_of('\\') + 1);
  const std::string script =
      "for p in /proc/[0-9]*; do tr '\\000' '\\n' < $p/cmdline 2>/dev/null | "
      "grep -qx '.*" + unique + ".*QuillonSetup.*[.]exe' && kill -KILL ${p#/proc/}; done";
  uidriver::Process shell("Z:\\bin\\sh", "-c \"" + script + "\"");
  return driver_->WaitForExit(20000);
}

std::string InstallerFixture::DesktopLinkPath() {
  return uidriver::DesktopFolder() + "\\Quillon위젯.lnk";
}

std::string InstallerFixture::LinkTarget(const std::string& linkPath) {
  return uidriver::ShellLinkTarget(linkPath);
}

HWND InstallerFixture::WidgetWindow() { return ::FindWindowA("QuillonWidgetStandIn", nullptr); }

}  // namespace testing_support
