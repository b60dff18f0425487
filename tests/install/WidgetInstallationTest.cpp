// The installation's steps on real archives and real folders of the Wine prefix, with a
// screen that records what it is told: what each failure leaves, the archive above all.
#include "install/WidgetInstallation.h"

#include <gtest/gtest.h>

#include <vector>

#include "install/MovePlan.h"
#include "tests/support/TestSupport.h"
#include "winfx/ScopedHandle.h"

namespace {

using testing_support::FromUnixPath;
using testing_support::ListTree;
using testing_support::PathExists;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;
using Failure = InstallationScreen::Failure;

// Records the failures told and answers the question about a running widget.
class RecordingScreen : public InstallationScreen {
 public:
  void OnExtracting() override { extracting = true; }
  void OnFailure(Failure failure, const std::string& path) override {
    failures.push_back(failure);
    paths.push_back(path);
  }
  bool AllowClosingWidget() override { return allowClosing; }

  bool allowClosing = false;
  bool extracting = false;
  std::vector<Failure> failures;
  std::vector<std::string> paths;
};

class WidgetInstallationTest : public ::testing::Test {
 protected:
  WidgetInstallationTest() : root_("installation"), folder_(root_ / "QuillonWidget") {
    ::CreateDirectoryA(folder_.c_str(), nullptr);
  }

  // Puts the test archive name in the folder as the downloaded archive (with a release
  // record beside it) and runs the steps without a key.
  bool Install(const std::string& name) {
    archive_ = ReadFileBytes(FromUnixPath(QUILLON_TEST_INSTALL_ARCHIVES) + "\\" + name);
    EXPECT_FALSE(archive_.empty()) << name;
    EXPECT_TRUE(WriteFileBytes(folder_ + "\\Quillon_Widget.zip", archive_));
    EXPECT_TRUE(WriteFileBytes(folder_ + "\\Quillon_Widget.zip.meta", "record"));
    CSetupUtil log;
    WidgetInstallation installation(folder_, nullptr, nullptr, &screen_, &log, false);
    return installation.Run();
  }

  TempFolder root_;
  std::string folder_;
  std::string archive_;
  RecordingScreen screen_;
};

TEST_F(WidgetInstallationTest, AnArchiveNoFolderCanHoldGoesWithItsSignatureSoTheNextRunDownloads) {
  struct Case {
    const char* archive;
    Failure failure;
  };
  const Case cases[] = {
      {"case_clash_file_first.zip", Failure::kExtractFailed},
      {"case_clash_folder_first.zip", Failure::kExtractFailed},
      {"long_name.zip", Failure::kExtractFailed},
      {"work_folder.zip", Failure::kMoveFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    screen_.failures.clear();
    EXPECT_FALSE(Install(c.archive));
    EXPECT_EQ(std::vector<Failure>{c.failure}, screen_.failures);
    // Nothing left: neither file of the pair, no work folder, nothing of the archive.
    EXPECT_EQ(std::vector<std::string>{}, ListTree(folder_));
  }
}

TEST_F(WidgetInstallationTest, AnArchiveOfFoldersAloneInstallsThem) {
  EXPECT_TRUE(Install("folders_only.zip"));
  EXPECT_EQ(std::vector<Failure>{}, screen_.failures);
  EXPECT_EQ((std::vector<std::string>{"empty\\", "other\\"}), ListTree(folder_));
}

// Makes a folder at path (beside which "path.t" is free) holding a chain of nested "d"
// folders, levels in all. Built from the bottom up, by moves of short paths: each step
// takes Wine as long however deep the chain already is.
void MakeDeepTree(const std::string& path, int levels) {
  const std::string step = path + ".t";
  ASSERT_TRUE(::CreateDirectoryA(path.c_str(), nullptr));
  for (int i = 1; i < levels; ++i) {
    ASSERT_TRUE(::CreateDirectoryA(step.c_str(), nullptr));
    ASSERT_TRUE(::MoveFileA(path.c_str(), (step + "\\d").c_str()));
    ASSERT_TRUE(::MoveFileA(step.c_str(), path.c_str()));
  }
}

// Removes what MakeDeepTree made, from the top down the same way.
void RemoveDeepTree(const std::string& path, int levels) {
  const std::string step = path + ".t";
  for (int i = 1; i < levels; ++i) {
    ASSERT_TRUE(::MoveFileA((path + "\\d").c_str(), step.c_str()));
    ASSERT_TRUE(::RemoveDirectoryA(path.c_str()));
    ASSERT_TRUE(::MoveFileA(step.c_str(), path.c_str()));
  }
  ASSERT_TRUE(::RemoveDirectoryA(path.c_str()));
}

TEST_F(WidgetInstallationTest, AWorkFolderTooDeepToWalkIsABoxAndKeepsTheArchive) {
  // 1,000 levels left in the staging folder: refused, never a stack overflow. Elsewhere in
  // the folder such a tree is left alone and the installation goes on.
  const std::string staging = folder_ + "\\.QuillonStaging";
  MakeDeepTree(staging, 1000);
  EXPECT_FALSE(Install("work_folder.zip"));
  EXPECT_EQ(std::vector<Failure>{Failure::kTooDeep}, screen_.failures);
  EXPECT_EQ(archive_, ReadFileBytes(folder_ + "\\Quillon_Widget.zip"));
  EXPECT_TRUE(PathExists(staging + "\\d\\d"));
  RemoveDeepTree(staging, 1000);

  screen_.failures.clear();
  MakeDeepTree(folder_ + "\\kept", 1000);
  EXPECT_TRUE(Install("folders_only.zip"));
  EXPECT_EQ(std::vector<Failure>{}, screen_.failures);
  EXPECT_TRUE(PathExists(folder_ + "\\kept\\d\\d"));
  RemoveDeepTree(folder_ + "\\kept", 1000);
}

TEST_F(WidgetInstallationTest, APlanTooLargeToReadIsSetAsideUnreadAndTheInstallationGoesOn) {
  // 1.5 GB, sparse: more than the process could hold.
  const std::string backup = folder_ + "\\.QuillonBackup";
  ASSERT_TRUE(::CreateDirectoryA(backup.c_str(), nullptr));
  {
    winfx::ScopedHandle plan(::CreateFileA((backup + "\\plan.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                           CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(plan.IsValid());
    LARGE_INTEGER size;
    size.QuadPart = 1536LL << 20;
    ASSERT_TRUE(::SetFilePointerEx(plan.Get(), size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(::SetEndOfFile(plan.Get()));
  }
  EXPECT_TRUE(Install("folders_only.zip"));
  EXPECT_EQ(std::vector<Failure>{}, screen_.failures);
  std::vector<std::string> tree = ListTree(folder_);
  ASSERT_EQ(4u, tree.size());
  EXPECT_EQ(0u, tree[0].find(".QuillonBackup-"));
  EXPECT_EQ(tree[0] + "plan.txt", tree[1]);
  EXPECT_EQ("empty\\", tree[2]);
  EXPECT_EQ("other\\", tree[3]);
}

// A file to replace held open: without sharing, as a running program holds its executable
// (the operator is asked to close the widget first: kept, or closed and the file still
// held), or with reads and writes shared but not its removal (seen only when it is moved).
// Each time the archive stays, and a file still held is named.
TEST_F(WidgetInstallationTest, TheArchiveStaysWhenAFileToReplaceIsInUseAndAHeldFileIsNamed) {
  const std::string file = folder_ + "\\a.txt";
  const struct {
    DWORD share;
    bool allowClosing;
    Failure failure;
    std::string path;
  } cases[] = {
      {0, false, Failure::kWidgetRunning, ""},
      {0, true, Failure::kFileInUse, file},
      {FILE_SHARE_READ | FILE_SHARE_WRITE, false, Failure::kFileInUse, file},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.share);
    SCOPED_TRACE(c.allowClosing);
    screen_.failures.clear();
    screen_.paths.clear();
    screen_.allowClosing = c.allowClosing;
    ASSERT_TRUE(WriteFileBytes(file, "old\r\n"));
    winfx::ScopedHandle held(::CreateFileA(file.c_str(), GENERIC_READ, c.share, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.IsValid());
    EXPECT_FALSE(Install("one_file.zip"));
    EXPECT_EQ(std::vector<Failure>{c.failure}, screen_.failures);
    EXPECT_EQ(std::vector<std::string>{c.path}, screen_.paths);
    EXPECT_EQ(archive_, ReadFileBytes(folder_ + "\\Quillon_Widget.zip"));
    EXPECT_TRUE(PathExists(folder_ + "\\Quillon_Widget.zip.meta"));
    held.Reset();
    EXPECT_EQ("old\r\n", ReadFileBytes(file));
  }
}

TEST_F(WidgetInstallationTest, LeftoversThatCannotBePutRightAreNamedAndKeepTheArchive) {
  // A killed run's plan says a.txt came in with its moves; something holds a.txt (reads and
  // writes shared, not its removal), so the recovery cannot take it back.
  const std::string backup = folder_ + "\\.QuillonBackup";
  ASSERT_TRUE(::CreateDirectoryA(backup.c_str(), nullptr));
  ASSERT_TRUE(MovePlan::Write(winfx::ExtendedLengthPath(backup + "\\plan.txt"),
                              {{MovePlan::StepKind::kAdd, L"a.txt"}}));
  ASSERT_TRUE(WriteFileBytes(folder_ + "\\a.txt", "new\r\n"));
  winfx::ScopedHandle held(::CreateFileA((folder_ + "\\a.txt").c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         0, nullptr));
  ASSERT_TRUE(held.IsValid());
  EXPECT_FALSE(Install("folders_only.zip"));
  EXPECT_EQ(std::vector<Failure>{Failure::kLeftoversStay}, screen_.failures);
  EXPECT_EQ(std::vector<std::string>{backup}, screen_.paths);
  EXPECT_TRUE(PathExists(backup + "\\plan.txt"));
  EXPECT_EQ(archive_, ReadFileBytes(folder_ + "\\Quillon_Widget.zip"));
}

TEST_F(WidgetInstallationTest, OnlyFaultsOfThisMachineKeepTheArchive) {
  for (DWORD error : {ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL, ERROR_SHARING_VIOLATION,
                      ERROR_LOCK_VIOLATION, ERROR_ACCESS_DENIED, ERROR_WRITE_PROTECT}) {
    EXPECT_TRUE(WidgetInstallation::IsLocalFault(error)) << error;
  }
  for (DWORD error : {ERROR_CRC, ERROR_INVALID_DATA, ERROR_INVALID_NAME, ERROR_NOT_SUPPORTED,
                      ERROR_FILENAME_EXCED_RANGE, ERROR_ALREADY_EXISTS, ERROR_PATH_NOT_FOUND,
                      ERROR_DIRECTORY}) {
    EXPECT_FALSE(WidgetInstallation::IsLocalFault(error)) << error;
  }
}

}  // namespace
