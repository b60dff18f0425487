// WidgetInstallation: the installation's steps, from a downloaded archive to the new
// version in place: put right what a killed run left, check the archive's signature, check
// the free space, extract into a staging folder, close a running widget with the operator's
// leave, move into place and remove the old files, and delete the archive. It tells the
// screen what happens through InstallationScreen and logs its durations.
#pragma once

#include <string>
#include <vector>

#include "archive/CZipExtractor.h"
#include "install/InstallationScreen.h"
#include "install/WidgetStart.h"
#include "settings/CSetupUtil.h"
#include "winfx/ScopedHandle.h"
#include "winfx/WidePath.h"

class CStagedInstall;

class WidgetInstallation {
 public:
  // Free space the installation needs besides the archive's uncompressed size: the file
  // system's share (up to a cluster per entry) and a margin for the folders and the plan.
  static constexpr unsigned long long kSpacePerEntry = 4096;
  static constexpr unsigned long long kSpaceMargin = 1024 * 1024;
  // How long the widget's processes get to end after they were asked to close.
  static constexpr unsigned long kCloseWaitMs = 10000;

  // For the installation folder (no trailing backslash). publicKey: the vendor's key
  // (ArchiveSignature::kPublicKeySize bytes), or null to install unchecked. log: where the
  // steps' durations and refusals go. archiveWasThere: the archive was in the folder
  // before the confirmation (not downloaded by this run).
  WidgetInstallation(std::string folder, const unsigned char* publicKey, InstallationScreen* screen,
                     CSetupUtil* log, bool archiveWasThere);

  // Runs the steps. True when the new version is in place, with the archive and its
  // signature deleted. False after a failure that the screen was told of: the folder then
  // holds the old version as it was (or what the next run puts right), and the archive
  // stays only after a failure the operator can mend without the vendor (space, a file in
  // use, no permission to write).
  bool Run();
  // After a successful Run: starts the widget that Run put in place (see WidgetStart);
  // false when it did not start (logged).
  bool StartWidget();

  // True when error, the reason an extraction or a move failed, lies with this machine
  // (space, a file in use, no permission to write), so the archive is worth keeping.
  static bool IsLocalFault(unsigned long error);

 private:
  // Puts right what a killed run left, asking to close a widget that holds its files;
  // false after the screen was told why not.
  bool RecoverLeftovers(CStagedInstall* staged);
  // Opens the archive into *checked (readers only; empty when it cannot be opened) and,
  // with the vendor's key, checks it against its signature through that handle.
  bool VerifyArchive(winfx::ScopedHandle* checked);
  // Compares the open archive's size (with the margins) with the free space.
  bool CheckFreeSpace();
  // Asks the operator, then the programs started from files, to close, and waits for them.
  // True when all of them ended (or there were none).
  bool CloseProgramsUsing(const std::vector<winfx::WideString>& files);
  // Deletes the archive and its signature: they go and come together.
  void DeleteArchive();
  // Tells the screen and returns false.
  bool Fail(InstallationScreen::Failure failure);

  std::string m_folder;
  std::string m_archive;
  std::string m_signature;
  const unsigned char* m_publicKey;
  InstallationScreen& m_screen;
  CSetupUtil& m_log;
  bool m_archiveWasThere;
  CZipExtractor m_zip;
  WidgetStart m_start;
};
