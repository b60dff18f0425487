// CStagedInstall on real folders of the Wine prefix: the move into place, its rollback,
// and the recovery of what an interrupted run left.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "install/CStagedInstall.h"
#include "tests/support/TestSupport.h"
#include "tools/uidriver/MovePause.h"
#include "winfx/FileTree.h"
#include "winfx/ScopedHandle.h"

namespace {

using testing_support::FileState;
using testing_support::FileStates;
using testing_support::IsFolder;
using testing_support::LinuxLink;
using testing_support::ListTree;
using testing_support::PathExists;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;

class CStagedInstallTest : public ::testing::Test {
 protected:
  CStagedInstallTest() : root_("staged"), folder_(root_ / "QuillonWidget"), staged_(folder_) {
    ::CreateDirectoryA(folder_.c_str(), nullptr);
  }

  // Writes path (relative to base) with bytes and a fixed last-write time of the year.
  static void Put(const std::string& base, const std::string& relative, const std::string& bytes,
                  WORD year = 2023) {
    std::string path = base + "\\" + relative;
    ::CreateDirectoryA(base.c_str(), nullptr);
    for (size_t cut = relative.find('\\'); cut != std::string::npos; cut = relative.find('\\', cut + 1)) {
      ::CreateDirectoryA((base + "\\" + relative.substr(0, cut)).c_str(), nullptr);
    }
    ASSERT_TRUE(WriteFileBytes(path, bytes)) << path;
    SYSTEMTIME time = {year, 3, 0, 4, 5, 6, 8, 0};
    FILETIME stamp;
    ::SystemTimeToFileTime(&time, &stamp);
    winfx::ScopedHandle file(::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file.IsValid());
    ASSERT_TRUE(::SetFileTime(file.Get(), nullptr, nullptr, &stamp));
  }

  // Every file below the installation folder with its state, work folders left out.
  std::map<std::string, FileState> Snapshot() const {
    std::map<std::string, FileState> files = FileStates(folder_);
    for (auto file = files.begin(); file != files.end();) {
      const bool work = file->first.rfind(CStagedInstall::kStagingName, 0) == 0 ||
                        file->first.rfind(CStagedInstall::kBackupName, 0) == 0;
      file = work ? files.erase(file) : std::next(file);
    }
    return files;
  }

  // An old version in place and a new one staged: a.txt, sub\b.txt and whole\e.txt are
  // replaced (whole\ holds nothing else), new\c.txt is added in a folder that does not
  // exist yet, old_only.txt and sub\keep.txt stay.
  void StageOverOldVersion() {
    Put(folder_, "a.txt", "old a");
    Put(folder_, "sub\\b.txt", "old b");
    Put(folder_, "sub\\keep.txt", "old keep");
    Put(folder_, "whole\\e.txt", "old e");
    Put(folder_, "old_only.txt", "old only");
    ASSERT_TRUE(staged_.PrepareStaging());
    Put(staged_.StagingFolder(), "a.txt", "new a", 2024);
    Put(staged_.StagingFolder(), "new\\c.txt", "new c", 2024);
    Put(staged_.StagingFolder(), "sub\\b.txt", "new b", 2024);
    Put(staged_.StagingFolder(), "whole\\e.txt", "new e", 2024);
  }

  bool NoWorkFolders() const {
    return !PathExists(staged_.StagingFolder()) && !PathExists(staged_.BackupFolder());
  }

  static bool IsLink(const std::string& path) {
    return winfx::FileTree::KindOf(winfx::ExtendedLengthPath(path)) == winfx::EntryKind::kLink;
  }

  // Holds path open without delete sharing, so that it cannot be moved.
  static winfx::ScopedHandle Hold(const std::string& path) {
    return winfx::ScopedHandle(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
  }

  TempFolder root_;
  std::string folder_;
  CStagedInstall staged_;
};

TEST_F(CStagedInstallTest, TheNewVersionReplacesTheOldAndOldOnlyFilesStay) {
  StageOverOldVersion();
  EXPECT_TRUE(::GetFileAttributesA(staged_.StagingFolder().c_str()) & FILE_ATTRIBUTE_HIDDEN);
  ASSERT_TRUE(staged_.MoveIntoPlace());
  staged_.RemoveOldFiles();
  EXPECT_TRUE(NoWorkFolders());
  std::map<std::string, FileState> now = Snapshot();
  ASSERT_EQ(6u, now.size());
  EXPECT_EQ("new a", now["a.txt"].bytes);
  EXPECT_EQ("new b", now["sub\\b.txt"].bytes);
  EXPECT_EQ("new c", now["new\\c.txt"].bytes);
  EXPECT_EQ("new e", now["whole\\e.txt"].bytes);
  EXPECT_EQ("old only", now["old_only.txt"].bytes);
  EXPECT_EQ("old keep", now["sub\\keep.txt"].bytes);
}

TEST_F(CStagedInstallTest, AFailedMovePutsTheOldVersionBackAsItWas) {
  StageOverOldVersion();
  // A file where the new version has a folder is moved aside like any old file.
  Put(folder_, "zz", "a file in the way");
  Put(staged_.StagingFolder(), "zz\\d.txt", "new d", 2024);
  // The last file to replace cannot be moved (it is open without delete sharing): the
  // moves stop after all the others were made.
  Put(folder_, "zzz.txt", "old z");
  Put(staged_.StagingFolder(), "zzz.txt", "new z", 2024);
  std::map<std::string, FileState> before = Snapshot();
  winfx::ScopedHandle held = Hold(folder_ + "\\zzz.txt");
  ASSERT_TRUE(held.IsValid());

  EXPECT_FALSE(staged_.MoveIntoPlace());
  EXPECT_EQ(before, Snapshot());
  EXPECT_FALSE(PathExists(folder_ + "\\new"));
  EXPECT_TRUE(NoWorkFolders());
}

TEST_F(CStagedInstallTest, AVersionWithTheInstallersOwnFolderNamesIsRefused) {
  StageOverOldVersion();
  Put(staged_.StagingFolder(), std::string(CStagedInstall::kBackupName) + "\\plan.txt", "T\tnew\r\n", 2024);
  std::map<std::string, FileState> before = Snapshot();
  EXPECT_FALSE(staged_.MoveIntoPlace());
  EXPECT_EQ(before, Snapshot());
  EXPECT_TRUE(NoWorkFolders());
}

TEST_F(CStagedInstallTest, FilesInUseAreFoundAmongTheOnesToReplace) {
  StageOverOldVersion();
  EXPECT_TRUE(staged_.TargetsInUse().empty());
  // One file replaced alone, one with its whole folder.
  const std::vector<std::string> used = {folder_ + "\\sub\\b.txt", folder_ + "\\whole\\e.txt"};
  std::vector<winfx::ScopedHandle> held;
  for (const std::string& path : used) {
    held.emplace_back(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.back().IsValid());
  }
  std::vector<std::string> found;
  for (const winfx::WideString& path : staged_.TargetsInUse()) {
    bool exact = false;
    found.push_back(winfx::ToAnsi(path, &exact));
  }
  EXPECT_EQ(used, found);
}

// The state a killed run leaves halfway through the moves is copied while the moves are
// paused (this program's MoveFileExW redirected, MovePause.h); recovering that copy must
// give back the old version.
TEST_F(CStagedInstallTest, MovesInterruptedHalfwayAreRolledBackByTheNextRun) {
  StageOverOldVersion();
  Put(folder_, "zz_old.txt", "old z");
  Put(staged_.StagingFolder(), "zz_old.txt", "new z", 2024);
  std::map<std::string, FileState> old = Snapshot();

  uidriver::MovePauseEvents pause(::GetCurrentProcessId());
  ASSERT_TRUE(pause.IsValid());
  ASSERT_TRUE(uidriver::PauseStagedMovesAt(2));
  bool moved = false;
  std::thread mover([&] { moved = staged_.MoveIntoPlace(); });
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(pause.Paused(), 60000));

  TempFolder copyRoot("killed");
  std::string copy = copyRoot / "QuillonWidget";
  for (const std::string& relative : ListTree(folder_)) {
    std::string from = folder_ + "\\" + relative;
    std::string to = copy + "\\" + relative;
    ::CreateDirectoryA(copy.c_str(), nullptr);
    if (relative.back() == '\\') {
      ASSERT_TRUE(::CreateDirectoryA(to.c_str(), nullptr)) << to;
    } else {
      ASSERT_TRUE(::CopyFileA(from.c_str(), to.c_str(), TRUE)) << to;
    }
  }
  ::SetEvent(pause.Resume());
  mover.join();
  EXPECT_TRUE(moved);
  EXPECT_TRUE(PathExists(copy + "\\" + CStagedInstall::kBackupName + "\\" + CStagedInstall::kPlanName));

  CStagedInstall next(copy);
  EXPECT_TRUE(next.RecoverLeftovers());
  folder_ = copy;
  EXPECT_EQ(old, Snapshot());
  EXPECT_FALSE(PathExists(copy + "\\new"));
  EXPECT_FALSE(PathExists(next.StagingFolder()));
  EXPECT_FALSE(PathExists(next.BackupFolder()));
}

TEST_F(CStagedInstallTest, LeftoversWithoutAPlanAreRemovedAndTheFolderKept) {
  Put(folder_, "a.txt", "installed");
  Put(staged_.StagingFolder(), "a.txt", "half extracted");
  // A backup folder without a plan: the moves had all been made when the run ended.
  Put(staged_.BackupFolder(), "files\\a.txt", "old");
  std::map<std::string, FileState> installed = Snapshot();

  EXPECT_TRUE(staged_.RecoverLeftovers());
  EXPECT_TRUE(NoWorkFolders());
  EXPECT_EQ(installed, Snapshot());
  EXPECT_TRUE(IsFolder(folder_));
}

}  // namespace

namespace {

// A staging folder with nothing in it is no version: it must not count as installed, and
// the old version stays as it was.
TEST_F(CStagedInstallTest, AnEmptyStagingFolderInstallsNothing) {
  Put(folder_, "a.txt", "old a");
  std::map<std::string, FileState> old = Snapshot();
  ASSERT_TRUE(staged_.PrepareStaging());
  EXPECT_FALSE(staged_.MoveIntoPlace());
  EXPECT_EQ(old, Snapshot());
  EXPECT_TRUE(NoWorkFolders());
}

// Empty folders are part of a version: moved in, put back when the moves fail, and an
// archive of folders alone installs (again, when they are all there already).
TEST_F(CStagedInstallTest, EmptyFoldersMoveInRollBackAndFoldersAloneInstall) {
  auto stage = [this](bool withHeldFile) {
    ASSERT_TRUE(staged_.PrepareStaging());
    for (const char* folder : {"empty", "keep", "tree", "tree\\inner"}) {
      ASSERT_TRUE(::CreateDirectoryA((staged_.StagingFolder() + "\\" + folder).c_str(), nullptr));
    }
    if (withHeldFile) Put(staged_.StagingFolder(), "zzz.txt", "new z", 2024);
  };
  Put(folder_, "zzz.txt", "old z");
  ASSERT_TRUE(::CreateDirectoryA((folder_ + "\\keep").c_str(), nullptr));
  const std::vector<std::string> old = ListTree(folder_);
  {
    stage(true);
    winfx::ScopedHandle held = Hold(folder_ + "\\zzz.txt");
    EXPECT_FALSE(staged_.MoveIntoPlace());
  }
  EXPECT_EQ(old, ListTree(folder_));
  const std::vector<std::string> installed = {"empty\\", "keep\\", "tree\\", "tree\\inner\\", "zzz.txt"};
  for (int run = 0; run < 2; ++run) {
    stage(false);
    ASSERT_TRUE(staged_.MoveIntoPlace()) << "run " << run;
    staged_.RemoveOldFiles();
    EXPECT_EQ(installed, ListTree(folder_)) << "run " << run;
  }
}

}  // namespace

namespace {

// A link in the installation folder to a folder outside it, where the new version brings a
// folder of the link's name, is an entry of its own: never entered, moved aside itself
// where the system can move a link itself (refused before anything moves where it cannot),
// and put back when the moves fail. What it points to keeps its files, contents and times.
TEST_F(CStagedInstallTest, ALinkInTheWayIsPutBackAsItWasAndWhatItPointsToKeepsItsFiles) {
  TempFolder outside("outside");
  Put(outside.Path(), "widget.ini", "outside ini");
  Put(outside.Path(), "notes.txt", "outside notes");
  const std::map<std::string, FileState> outsideBefore = FileStates(outside.Path());
  StageOverOldVersion();
  LinuxLink config(folder_ + "\\config", outside.Path());
  if (!config.Made()) GTEST_SKIP() << "links are made from the Linux side of Wine";
  Put(staged_.StagingFolder(), "config\\widget.ini", "new ini", 2024);
  Put(staged_.StagingFolder(), "config\\notes.txt", "new notes", 2024);
  // The last move fails, after the link's (where it is moved at all).
  Put(folder_, "zzz.txt", "old z");
  Put(staged_.StagingFolder(), "zzz.txt", "new z", 2024);
  const std::map<std::string, FileState> before = Snapshot();
  winfx::ScopedHandle held = Hold(folder_ + "\\zzz.txt");
  ASSERT_TRUE(held.IsValid());

  EXPECT_FALSE(staged_.MoveIntoPlace());
  EXPECT_TRUE(IsLink(folder_ + "\\config"));
  EXPECT_EQ(outsideBefore, FileStates(outside.Path()));
  EXPECT_EQ(before, Snapshot());
  EXPECT_TRUE(NoWorkFolders());
}

// A leftover backup holding links to folders outside, one of them empty: removing the
// backup removes each link itself where the system can, never what it points to (an
// empty folder included); where it cannot, the links and the backup stay.
TEST_F(CStagedInstallTest, ALeftoverBackupNeverEmptiesOrRemovesWhatItsLinksPointTo) {
  TempFolder full("outside-full");
  TempFolder empty("outside-empty");
  Put(full.Path(), "a.txt", "outside a");
  const std::map<std::string, FileState> fullBefore = FileStates(full.Path());
  Put(folder_, "a.txt", "installed");
  Put(staged_.BackupFolder(), "files\\a.txt", "old");
  LinuxLink toFull(staged_.BackupFolder() + "\\files\\full", full.Path());
  LinuxLink toEmpty(staged_.BackupFolder() + "\\files\\empty", empty.Path());
  if (!toFull.Made() || !toEmpty.Made()) GTEST_SKIP() << "links are made from the Linux side of Wine";
  const bool linksMove = winfx::FileTree::OpensLinkItself(
      winfx::ExtendedLengthPath(staged_.BackupFolder() + "\\files\\full"));

  EXPECT_EQ(linksMove, staged_.RecoverLeftovers());
  EXPECT_EQ(fullBefore, FileStates(full.Path()));
  EXPECT_TRUE(IsFolder(empty.Path()));
  EXPECT_EQ(!linksMove, IsLink(staged_.BackupFolder() + "\\files\\empty"));
}

}  // namespace

namespace {

// Top-level names of folder that begin with prefix.
std::vector<std::string> NamesStartingWith(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> names;
  for (const std::string& entry : ListTree(folder)) {
    if (entry.rfind(prefix, 0) == 0 && entry.find('\\') == entry.size() - 1) {
      names.push_back(entry.substr(0, entry.size() - 1));
    }
  }
  return names;
}

// A plan found after a killed run is what anyone who can write into the folder made it.
// One that names a path leaving the folder (by "..", a full path, a link) or into the work
// folders is not acted on, not one line of it: nothing outside is moved or removed, the
// folder keeps its files, both work folders are set aside as they are, out of the next
// run's way, and the log says so.
TEST_F(CStagedInstallTest, APlanThatLeadsOutOfTheFolderIsNotActedOnAndSetAside) {
  TempFolder outside("outside");
  Put(outside.Path(), "x.txt", "outside x");
  LinuxLink docs(folder_ + "\\docs", outside.Path());
  const std::string beside = root_ / "keep";
  Put(root_.Path(), "keep", "beside the folder");
  Put(folder_, "new.txt", "installed");
  Put(folder_, "info.ini", "[COMMON]\r\nDEBUG=1\r\n");
  ASSERT_TRUE(::CreateDirectoryA((folder_ + "\\log").c_str(), nullptr));
  CStagedInstall next(folder_);  // logs: bound after the switch is on
  struct Case {
    const char* why;
    std::string plan;
  } cases[] = {
      {"a line leaving the folder after a sound one", "N\tnew.txt\r\nN\t..\\keep\r\n"},
      {"a file put back from beside the backup's files", "R\t..\\keep\r\n"},
      {"a full path", "N\t" + beside + "\r\n"},
      {"a path through a link", "N\tdocs\\x.txt\r\n"},
      {"the installer's own work folder", "T\t.QuillonBackup\\files\r\n"},
  };
  auto snapshot = [&] {
    std::map<std::string, FileState> files = Snapshot();
    files.erase(files.lower_bound("log\\"), files.lower_bound("log]"));
    return files;
  };
  const std::map<std::string, FileState> before = snapshot();
  const std::map<std::string, FileState> besideBefore = FileStates(root_.Path());
  const std::map<std::string, FileState> outsideBefore = FileStates(outside.Path());
  int planted = 0;
  for (const Case& c : cases) {
    if (c.plan.find("docs") != std::string::npos && !docs.Made()) continue;
    Put(staged_.BackupFolder(), "plan.txt", c.plan);
    Put(staged_.BackupFolder(), "keep", "from the backup");
    Put(staged_.BackupFolder(), "files\\x.txt", "moved aside");
    Put(staged_.StagingFolder(), "new.txt", "staged");
    ++planted;
    EXPECT_TRUE(next.RecoverLeftovers()) << c.why;
    EXPECT_TRUE(NoWorkFolders()) << c.why;
    EXPECT_EQ(before, snapshot()) << c.why;
    EXPECT_EQ(outsideBefore, FileStates(outside.Path())) << c.why;
    std::map<std::string, FileState> besideNow = FileStates(root_.Path());
    EXPECT_EQ(besideBefore.at("keep"), besideNow["keep"]) << c.why;
  }

  const std::vector<std::string> backups = NamesStartingWith(folder_, ".QuillonBackup-");
  const std::vector<std::string> stagings = NamesStartingWith(folder_, ".QuillonStaging-");
  ASSERT_EQ(static_cast<size_t>(planted), backups.size());
  EXPECT_EQ(static_cast<size_t>(planted), stagings.size());
  for (const std::string& backup : backups) {
    EXPECT_EQ("moved aside", testing_support::ReadFileBytes(folder_ + "\\" + backup + "\\files\\x.txt"));
    EXPECT_FALSE(testing_support::ReadFileBytes(folder_ + "\\" + backup + "\\plan.txt").empty());
  }
  const std::string log = testing_support::ReadFileBytes(testing_support::TodaysLogPath(folder_));
  size_t refusals = 0;
  for (size_t at = log.find("] [install] 복구계획 오류"); at != std::string::npos;
       at = log.find("] [install] 복구계획 오류", at + 1)) {
    ++refusals;
  }
  EXPECT_EQ(static_cast<size_t>(planted), refusals) << log;
}

}  // namespace
