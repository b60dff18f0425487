// A fixture for tests that run the real QuillonSetup.exe against the loopback vendor
// server: a program folder of its own with logging on, control of what the server offers,
// the server's request log, a fresh installation folder, and clean-up of the desktop link
// and of a started widget.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TestSupport.h"
#include "tools/uidriver/InstallerDriver.h"

namespace testing_support {

class InstallerFixture : public ::testing::Test {
 protected:
  // The test build's QuillonSetup.exe against the vendor server of the test build.
  InstallerFixture();
  // Another installer of the test build (its Unix path; copied as QuillonSetup.exe) against
  // the vendor server whose root folder is vendorRoot (a Unix path).
  InstallerFixture(const std::string& setupExe, const std::string& vendorRoot);
  ~InstallerFixture() override;

  // What the vendor server offers as /update/Quillon_Widget.zip.
  void ServeArchive(const std::string& bytes);
  void ServeWidgetArchive();        // the packed stand-in widget
  void ServeNoArchive();            // a 404
  static std::string WidgetArchive();           // bytes of the packed stand-in widget
  static std::string BrokenWidgetArchive();     // the same with an entry that is refused
  static std::string OldWidgetArchive();        // version 0.9, other stored times
  static std::string BadCrcWidgetArchive();     // the last entry fails its CRC
  // The widget with deep\d...\f...txt besides, whose path in a folder of
  // QUILLON_LONG_FOLDER_LENGTH characters is 259 characters long.
  static std::string LongPathWidgetArchive();
  // The widget with files whose names are stored in UTF-8 (flagged), stored 2022-07-08
  // 09:10:12: 문서\설명서.txt, 说明.txt, 日本語\ファイル.txt and 😀.txt, each holding its
  // name in UTF-8 and a line break, and a copy of the widget as 日本語\위젯😀.exe.
  static std::string UnicodeWidgetArchive();

  // How the vendor server publishes the release record of the served archive, one change
  // per line (see vendor/vendor_server.py): "version 0.9", "expired", "file NAME",
  // "of NAME" (the record of update file NAME), "other-key", "second-key", "oversize",
  // "none"; "" for the record as published (version 1.0, signed with the vendor's key).
  void ServeRelease(const std::string& lines);

  // The old version (version 0.9), extracted into the installation folder as an earlier
  // installation left it.
  void InstallOldVersion();

  // Every file of the installation folder with its state, but for the lock file a running
  // installer holds there.
  std::map<std::string, FileState> FolderStates() const;

  // Faults for the next requests of the archive, one per request in order, as the vendor
  // server reads them ("close@50%,503,ok"; see vendor/vendor_server.py).
  void QueueArchiveFaults(const std::string& faults);
  // The same for the requests of update file name.
  void QueueFaults(const std::string& name, const std::string& faults);
  // The body that a "replace=Quillon_Widget.zip.next" fault puts in the archive's place.
  void StageNextArchive(const std::string& bytes);

  // Log lines of the requests that reached the server since the fixture started:
  // "GET /path", then tab-separated "name: value" headers and the answer.
  std::vector<std::string> Requests() const;
  bool Requested(const std::string& path) const;
  // The log lines of the requests for the archive.
  std::vector<std::string> ArchiveRequests() const;

  // Starts the installer and waits for its screen.
  void StartInstaller();
  // The same as Explorer starts it: with its own folder as the current one.
  void StartInstallerInItsFolder();
  // The same with the WebBrowser control's libraries switched off for this one run (the
  // installer runs under another file name, which gets its own DLL overrides).
  void StartInstallerWithoutBrowserControl();

  // Types folder into the screen, starts recording its status line and progress bar, and
  // confirms with "동의설치".
  void Confirm(const std::string& folder);
  // Confirms folder as Confirm does, waits for the app's first message box, answers it with
  // OK and returns its text; "(no box)" when none came.
  std::string ConfirmAndAnswer(const std::string& folder);

  // After a shown failure: "끝내기" is enabled, its question is owned by the screen and,
  // answered with OK, ends the program.
  void QuitThroughQuitButton();

  // Ends the installer as a power cut would: SIGKILL to the Linux process that runs it
  // (Wine starts Unix programs given by path), then waits for its end. True when it ended.
  bool KillInstallerHard();

  // Esc, then OK on the quit question: the program ends.
  void QuitThroughEscape();

  // The desktop link the installation makes, and its target read back through the shell.
  static std::string DesktopLinkPath();
  static std::string LinkTarget(const std::string& linkPath);

  // The stand-in widget's window, or null when it does not run.
  static HWND WidgetWindow();

  std::unique_ptr<TempFolder> programFolder_;
  std::unique_ptr<TempFolder> workFolder_;   // a parent for installation folders
  std::string installFolder_;                // not created: the installer does that
  std::unique_ptr<uidriver::InstallerDriver> driver_;

 private:
  void StartInstallerNamed(const std::string& exeName, const std::string& currentFolder = "");
  // What a failed start leaves to see: whether the installer runs, the windows there are,
  // its log and the requests the vendor server has had.
  std::string StartFailureReport() const;
  std::string ServedArchivePath() const;
  std::string RequestLogPath() const;
  std::string FaultsPath() const;       // the vendor server's queued archive faults
  std::string NextArchivePath() const;  // what a "replace=" fault serves next
  std::string ReleasePath() const;  // the vendor server's release lines

  std::string vendorRoot_;  // Windows path
  size_t requestLogStart_ = 0;
  std::string overriddenApp_;

  // A test that runs past kTestBoundMs (well inside ctest's limit) has its installer
  // ended by the watchdog, with a line that says so: every wait of the test then returns
  // and the test fails with its messages instead of being cut off by ctest.
  static constexpr DWORD kTestBoundMs = 300000;
  winfx::ScopedHandle testEnded_;
  std::atomic<DWORD> installerId_{0};
  std::thread watchdog_;
};

}  // namespace testing_support
