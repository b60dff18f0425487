// WidgetInstallation: the installation's steps, from a downloaded archive to the new
// version in place: put right what a killed run left, check the archive against the
// vendor's release record (its length and SHA-256), extract into a
// staging folder, close a running widget with the operator's leave, move into place and
// remove the old files, keep the record as the installed release's, and delete the
// archive. It tells the screen what happens through InstallationScreen and logs its
// durations.
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
class ReleaseRecord;

class WidgetInstallation {
 public:
  // Free space the installation needs besides the archive's uncompressed size: the file
  // system's share (up to a cluster per entry) and a margin for the folders and the plan.
  static constexpr unsigned long long kSpacePerEntry = 4096;
  static constexpr unsigned long long kSpaceMargin = 1024 * 1024;
  // How long the widget's processes get to end after they were asked to close.
  static constexpr unsigned long kCloseWaitMs = 10000;

  // The space an installation of an archive that unpacks to unpacked bytes in entries
  // entries needs besides the archive itself (checked before the archive is downloaded).
  static unsigned long long SpaceNeeded(unsigned long long unpacked, unsigned long long entries);

  // For the installation folder (no trailing backslash). release: the vendor's checked
  // record of the archive (kept, not copied), or null to install unchecked. digest: the
  // archive's SHA-256 when known already (computed while it was downloaded or checked),
  // else null: it is computed over the opened archive. log: where the steps' durations and
  // refusals go. archiveWasThere: the archive was in the folder before the confirmation
  // (not downloaded by this run).
  WidgetInstallation(std::string folder, const ReleaseRecord* release, const unsigned char* digest,
                     InstallationScreen* screen, CSetupUtil* log, bool archiveWasThere);

  // Runs the steps. True when the new version is in place, with its record kept and the
  // archive and the downloaded record deleted. False after a failure that the screen was told of: the folder then
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
  // True when error, the reason a move failed, says another program holds the file
  // (a sharing or lock violation, access denied).
  static bool IsHeldError(unsigned long error);

 private:
  // Puts right what a killed run left, asking to close a widget that holds its files;
  // false after the screen was told why not.
  bool RecoverLeftovers(CStagedInstall* staged);
  // Opens the archive into *checked (readers only; empty when it cannot be opened) and,
  // with the vendor's record, checks its length and SHA-256 against it through that handle.
  bool VerifyArchive(winfx::ScopedHandle* checked);
  // The files that list (of staged) names in use are freed: with the operator's leave,
  // the programs started from them are closed. True when none is in use then; false with
  // the failure to tell (the operator kept them, or a file stays held: *path names it).
  using InUseList = std::vector<winfx::WideString> (CStagedInstall::*)() const;
  bool FreeFilesInUse(const CStagedInstall& staged, InUseList list, InstallationScreen::Failure* failure,
                      std::string* path);
  // Asks the programs started from files to close and waits for them (kCloseWaitMs).
  void CloseProgramsUsing(const std::vector<winfx::WideString>& files);
  // Deletes the archive and the downloaded record: they go and come together.
  void DeleteArchive();
  // Tells the screen and returns false.
  bool Fail(InstallationScreen::Failure failure, const std::string& path = "");

  std::string m_folder;
  std::string m_archive;
  const ReleaseRecord* m_release;
  const unsigned char* m_digest;
  InstallationScreen& m_screen;
  CSetupUtil& m_log;
  bool m_archiveWasThere;
  CZipExtractor m_zip;
  WidgetStart m_start;
};
