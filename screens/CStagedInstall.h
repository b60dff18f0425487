// CStagedInstall: puts a fully extracted widget into its installation folder so that the
// folder holds either the complete old version or the complete new one. The archive is
// extracted into a hidden staging folder inside the installation folder (same volume);
// the move into place first moves each old file aside into a hidden backup folder, then
// the new one in. A plan written before the first move lets a later run put back what a
// killed run left half done.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CStagedInstall {
 public:
  // Folders inside the installation folder; the leading dot hides them under Wine too.
  static constexpr char kStagingName[] = ".QuillonStaging";
  static constexpr char kBackupName[] = ".QuillonBackup";
  // The lock file an installer holds in the installation folder while it works there.
  static constexpr char kLockName[] = ".QuillonLock";
  // Inside the backup folder: the plan of the moves, and the old files moved aside.
  static constexpr char kPlanName[] = "plan.txt";
  static constexpr char kBackupFilesName[] = "files";

  // One step of the move into place, with its path relative to the installation folder.
  enum class StepKind : char {
    kTree = 'T',     // a folder new to the installation folder, moved in whole
    kReplace = 'R',  // a file (or folder) in place of an old file, moved aside first
    kAdd = 'N',      // a file new to the installation folder
  };
  struct Step {
    StepKind kind;
    std::string path;
  };

  // Bound to folder (no trailing backslash); touches nothing yet.
  explicit CStagedInstall(std::string folder);

  const std::string& StagingFolder() const { return m_staging; }
  const std::string& BackupFolder() const { return m_backup; }

  // Before an installation: what a killed run left is put right. A backup folder with a
  // plan means the moves were under way: every file is put back as it was and the new
  // ones removed. A backup folder without a plan (the moves had ended) and a staging
  // folder are removed. True when neither folder is left; false when something could not
  // be put back (the backup and its plan then stay for the next run).
  bool RecoverLeftovers();

  // An empty, hidden staging folder. False when it cannot be made.
  bool PrepareStaging();

  // Files in the installation folder that the move would replace (alone or with their
  // folder) and that cannot be opened for writing now (a running program, say), as full
  // paths.
  std::vector<std::string> TargetsInUse() const;

  // Moves every staged file into place. True when all moved and the moves were recorded as
  // complete; the old files then wait in
  // the backup folder for RemoveOldFiles (or the next run's RecoverLeftovers). False when
  // a move failed: every file moved so far is put back, the old files restored and the
  // staging folder removed, so the folder holds the old version as it was (file contents
  // and times), with the thread's last error set to the failed step's. A staged version
  // holding an entry named like the staging or the backup folder or the lock, holding
  // nothing, or that
  // cannot be listed is refused the same way, before anything is moved, with
  // ERROR_INVALID_DATA.
  bool MoveIntoPlace();

  // After a successful MoveIntoPlace: removes the old files and the emptied staging folder.
  void RemoveOldFiles();

  // Removes the staging folder and everything in it.
  void DiscardStaging();

  // The steps MoveIntoPlace would take for the staged files, in order. A staged folder
  // that the installation folder lacks is one step: it is moved in with all it holds;
  // so is one whose old counterpart holds nothing the new version does not replace.
  // Steps of kTree and kAdd only name paths that do not exist yet. Empty when a folder
  // cannot be listed.
  std::vector<Step> PlanMoves() const;

  // Test seam: when a test has created the named event kPauseEventForTesting, the moves
  // stop halfway, signal kPausedEventForTesting and wait until the pause event is set
  // (or the process is killed there), two minutes at most.
  static constexpr char kPauseEventForTesting[] = "QuillonSetup.PauseMovesForTesting";
  static constexpr char kPausedEventForTesting[] = "QuillonSetup.MovesPausedForTesting";

 private:
  // PlanMoves' steps into *plan; false when a folder cannot be listed.
  bool Plan(std::vector<Step>* plan) const;
  // Puts the folder back as it was before the steps of plan were taken (those taken so
  // far, as the staging and backup folders show). True when everything was put back.
  bool RollBack(const std::vector<Step>& plan);
  // Writes plan into the backup folder (written whole, then renamed into place).
  bool WritePlan(const std::vector<Step>& plan);
  bool ReadPlan(std::vector<Step>* plan) const;
  // Removes the plan, the backup folder and the staging folder.
  void RemoveWorkFolders();

  std::string m_folder;
  std::string m_staging;
  std::string m_backup;
};
