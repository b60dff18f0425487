// A fixture for tests that run the real QuillonSetup.exe against the loopback vendor
// server: a program folder of its own with logging on, control of what the server offers,
// the server's request log, a fresh installation folder, and clean-up of the desktop link
// and of a started widget.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
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

  // Request lines ("GET /path") that reached the server since the fixture started.
  std::vector<std::string> Requests() const;
  bool Requested(const std::string& path) const;

  // Starts the installer and waits for its screen.
  void StartInstaller();
  // The same with the WebBrowser control's libraries switched off for this one run (the
  // installer runs under another file name, which gets its own DLL overrides).
  void StartInstallerWithoutBrowserControl();

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
  void StartInstallerNamed(const std::string& exeName);
  std::string ServedArchivePath() const;
  std::string RequestLogPath() const;

  std::string vendorRoot_;  // Windows path
  size_t requestLogStart_ = 0;
  std::string overriddenApp_;
};

}  // namespace testing_support
