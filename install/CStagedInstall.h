// CStagedInstall: puts a fully extracted widget into its installation folder so that the
// folder holds either the complete old version or the complete new one. The archive is
// extracted into a hidden staging folder inside the installation folder (same volume);
// the move into place first moves each old file aside into a hidden backup folder, then
// the new one in. A plan written before the first move lets a later run put back what a
// killed run left half done. The work folders are handled with extended-length paths, so
// that every file whose final path fits MAX_PATH can be staged and moved aside; a link in
// the installation folder is an entry of its own, never entered, emptied or written
// through. Its own failures go to the installation folder's daily log.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "install/MovePlan.h"
#include "settings/CSetupUtil.h"
#include "winfx/WidePath.h"

class CStagedInstall {
 public:
  using WideString = winfx::WideString;

  // Folders inside the installation folder; the leading dot hides them under Wine too.
  static constexpr char kStagingName[] = ".QuillonStaging";
  static constexpr char kBackupName[] = ".QuillonBackup";
  // The lock file an installer holds in the installation folder while it works there.
  static constexpr char kLockName[] = ".QuillonLock";
  // Inside the backup folder: the plan of the moves, and the old files moved aside.
  static constexpr char kPlanName[] = "plan.txt";
  static constexpr char kBackupFilesName[] = "files";

  // One step of the move into place (see MovePlan).
  using StepKind = MovePlan::StepKind;
  using Step = MovePlan::Step;

  // Bound to folder (no trailing backslash) and to its daily log (CSetupUtil's rules);
  // touches nothing yet.
  explicit CStagedInstall(std::string folder);

  const std::string& StagingFolder() const { return m_staging; }
  const std::string& BackupFolder() const { return m_backup; }

  // Before an installation: what a killed run left is put right. A backup folder with a
  // plan means the moves were under way: every file is put back as it was and the new
  // ones removed. A plan that names anything but plain paths inside the installation
  // folder (not through a link, not into the work folders or the lock), or a backup folder
  // with a link anywhere below it, is not acted on at all: both work folders are renamed aside as they are (".QuillonBackup-YYYYMMDD-hhmmss",
  // ...) and the log says so. A backup folder without a plan (the moves had ended) and a
  // staging folder are removed. True when neither folder is left; false when something
  // could not be put back or set aside (the backup and its plan then stay for the next
  // run), with the last error FileTree::kTooDeepError when a work folder is nested too
  // deep to be walked. A plan larger than MovePlan::kMaxSize is set aside unread.
  bool RecoverLeftovers();

  // An empty, hidden staging folder (with the installation folder's protected
  // permissions, as the backup folder). False when it cannot be made.
  bool PrepareStaging();

  // Files in the installation folder that the move would replace (alone or with their
  // folder) and that cannot be opened for writing now (a running program, say), as full
  // paths. A link is never opened: it is moved itself.
  std::vector<WideString> TargetsInUse() const;

  // Files that putting right a killed run's moves would remove or replace (what the moves
  // brought in) and that cannot be opened for writing now, as full paths: a widget started
  // from the half-moved folder. Empty without unfinished moves or with a plan that will
  // not be acted on.
  std::vector<WideString> LeftoversInUse() const;

  // Moves every staged file into place. True when all moved and the moves were recorded as
  // complete; the old files then wait in the backup folder for RemoveOldFiles (or the next
  // run's RecoverLeftovers). False when a move failed: every file moved so far is put
  // back, the old files restored and the staging folder removed, so the folder holds the
  // old version as it was (file contents and times), with the thread's last error set to
  // the failed step's. A staged version holding an entry named like the staging or the
  // backup folder or the lock, holding nothing (no file and no folder) or a link, or that
  // cannot be listed is refused the
  // same way, before anything is moved, with ERROR_INVALID_DATA; one that needs a link
  // moved aside where the system cannot move a link itself (Wine) with
  // ERROR_ACCESS_DENIED (the folder's own state, which the operator can mend).
  bool MoveIntoPlace();

  // After a failed MoveIntoPlace: the full path of the file (or folder) whose move failed,
  // "" when the failure was no step's (a refused version, the plan not written).
  const std::string& FailedPath() const { return m_failedPath; }

  // The work folders in the installation folder (a failed RecoverLeftovers leaves them),
  // as full paths joined by ", "; "" when there are none.
  std::string WorkFoldersLeft() const;

  // After a successful MoveIntoPlace: removes the old files and the emptied staging folder.
  void RemoveOldFiles();

  // Removes the staging folder and everything in it.
  void DiscardStaging();

  // The steps MoveIntoPlace would take for the staged files, in order. A staged folder
  // that the installation folder lacks is one step: it is moved in with all it holds;
  // so is one whose old counterpart holds nothing the new version does not replace (and
  // no link). Steps of kTree and kAdd only name paths that do not exist yet. Empty when a
  // folder cannot be listed.
  std::vector<Step> PlanMoves() const;

 private:

  // PlanMoves' steps into *plan; false when a folder cannot be listed. *stuckLink (when
  // given) receives the path of a link in the way that the system cannot move itself, or
  // "" when there is none.
  bool Plan(std::vector<Step>* plan, std::string* stuckLink = nullptr) const;
  // Puts the folder back as it was before the steps of plan were taken (those taken so
  // far, as the staging and backup folders show). True when everything was put back.
  bool RollBack(const std::vector<Step>& plan);
  // Writes plan into the backup folder (MovePlan::Write).
  bool WritePlan(const std::vector<Step>& plan);
  // Reads the backup folder's plan (MovePlan::Read), each path checked by IsPlanPath.
  bool ReadPlan(std::vector<Step>* plan, int* refusedLine) const;
  // Adds the files at relative (a file, or those below a folder; never behind a link) that
  // cannot be opened for writing now, as full paths.
  void AddInUse(const WideString& relative, std::vector<WideString>* inUse) const;
  // True when relative may stand in a plan: a plain relative path (archive entry rules),
  // outside the work folders, whose folders are real ones (no link, no file) both in
  // place and among the files moved aside.
  bool IsPlanPath(const WideString& relative) const;
  // Renames the work folders aside, as they are, with a time stamp; logs each.
  bool SetWorkFoldersAside();
  // Removes the plan, the backup folder and the staging folder.
  void RemoveWorkFolders();
  // Extended-length paths of relative in the installation folder, in the staging folder
  // and among the files moved aside.
  WideString InFolder(const WideString& relative) const;
  WideString InStaging(const WideString& relative) const;
  WideString InBackupFiles(const WideString& relative) const;

  std::string m_folder;
  std::string m_staging;
  std::string m_backup;
  // The same three in extended-length form.
  WideString m_longFolder;
  WideString m_longStaging;
  WideString m_longBackup;
  // The plan of the moves, in the backup folder.
  WideString m_longPlan;
  std::string m_failedPath;
  CSetupUtil m_log;
};
