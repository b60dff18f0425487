// CStagedInstall on real folders of the Wine prefix: the move into place, its rollback,
// and the recovery of what an interrupted run left.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "screens/CStagedInstall.h"
#include "tests/support/TestSupport.h"
#include "winfx/ScopedHandle.h"

namespace {

using testing_support::FileState;
using testing_support::FileStates;
using testing_support::IsFolder;
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
  winfx::ScopedHandle held(::CreateFileA((folder_ + "\\zzz.txt").c_str(), GENERIC_READ,
                                         FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
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
  EXPECT_EQ(used, staged_.TargetsInUse());
}

// The state a killed run leaves halfway through the moves is copied while the moves are
// paused at the test seam; recovering that copy must give back the old version.
TEST_F(CStagedInstallTest, MovesInterruptedHalfwayAreRolledBackByTheNextRun) {
  StageOverOldVersion();
  Put(folder_, "zz_old.txt", "old z");
  Put(staged_.StagingFolder(), "zz_old.txt", "new z", 2024);
  std::map<std::string, FileState> old = Snapshot();

  winfx::ScopedHandle pause(::CreateEventA(nullptr, TRUE, FALSE, CStagedInstall::kPauseEventForTesting));
  winfx::ScopedHandle paused(::CreateEventA(nullptr, TRUE, FALSE, CStagedInstall::kPausedEventForTesting));
  ASSERT_TRUE(pause.IsValid() && paused.IsValid());
  bool moved = false;
  std::thread mover([&] { moved = staged_.MoveIntoPlace(); });
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(paused.Get(), 60000));

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
  ::SetEvent(pause.Get());
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

// A staging folder with nothing in it (an archive of folder entries only, say) is no
// version: it must not count as installed, and the old version stays as it was.
TEST_F(CStagedInstallTest, AnEmptyStagingFolderInstallsNothing) {
  Put(folder_, "a.txt", "old a");
  std::map<std::string, FileState> old = Snapshot();
  ASSERT_TRUE(staged_.PrepareStaging());
  EXPECT_FALSE(staged_.MoveIntoPlace());
  EXPECT_EQ(old, Snapshot());
  EXPECT_TRUE(NoWorkFolders());
}

}  // namespace
