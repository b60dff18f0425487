// CStagedInstall with names that have no form in code page 949: planned, moved, rolled
// back and recovered under their exact names, the plan written in UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "install/CStagedInstall.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WideFiles.h"
#include "winfx/ScopedHandle.h"

namespace {

using testing_support::AnsiToUtf16;
using testing_support::PutWideFile;
using testing_support::ReadWideFile;
using testing_support::TempFolder;
using testing_support::Utf16;
using testing_support::WideFileStates;

class StagedUnicodeNameTest : public ::testing::Test {
 protected:
  StagedUnicodeNameTest() : root_("staged-unicode"), folder_(root_ / "QuillonWidget"), staged_(folder_) {
    ::CreateDirectoryA(folder_.c_str(), nullptr);
  }

  // An old version in place and a new one staged: 说明.txt and 😀\a.txt are replaced,
  // 日本語\ファイル.txt comes in a new folder, 文書.txt (a Korean Hanja name) stays.
  void StageOverOldVersion() {
    ASSERT_TRUE(PutWideFile(folder_w_, chinese_, "old chinese", 2023));
    ASSERT_TRUE(PutWideFile(folder_w_, emoji_, "old emoji", 2023));
    ASSERT_TRUE(PutWideFile(folder_w_, Utf16(u8"文書.txt"), "old only", 2023));
    ASSERT_TRUE(staged_.PrepareStaging());
    ASSERT_TRUE(PutWideFile(staging_w_, chinese_, "new chinese", 2024));
    ASSERT_TRUE(PutWideFile(staging_w_, emoji_, "new emoji", 2024));
    ASSERT_TRUE(PutWideFile(staging_w_, japanese_, "new japanese", 2024));
  }

  // The installation folder's files, work folders left out.
  std::map<std::wstring, std::pair<std::string, ULONGLONG>> Snapshot() const {
    auto files = WideFileStates(folder_w_);
    for (auto file = files.begin(); file != files.end();) {
      file = file->first[0] == L'.' ? files.erase(file) : std::next(file);
    }
    return files;
  }

  TempFolder root_;
  std::string folder_;
  CStagedInstall staged_;
  std::wstring folder_w_ = AnsiToUtf16(folder_);
  std::wstring staging_w_ = AnsiToUtf16(staged_.StagingFolder());
  std::wstring backup_w_ = AnsiToUtf16(staged_.BackupFolder());
  std::wstring chinese_ = Utf16(u8"说明.txt");
  std::wstring emoji_ = Utf16(u8"😀\\a.txt");
  std::wstring japanese_ = Utf16(u8"日本語\\ファイル.txt");
};

TEST_F(StagedUnicodeNameTest, NamesWithoutAnAnsiFormAreMovedIntoPlace) {
  StageOverOldVersion();
  ASSERT_TRUE(staged_.MoveIntoPlace());
  staged_.RemoveOldFiles();
  const auto now = Snapshot();
  ASSERT_EQ(4u, now.size()) << ::testing::PrintToString(now);
  EXPECT_EQ("new chinese", now.at(chinese_).first);
  EXPECT_EQ("new emoji", now.at(emoji_).first);
  EXPECT_EQ("new japanese", now.at(japanese_).first);
  EXPECT_EQ("old only", now.at(Utf16(u8"文書.txt")).first);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(backup_w_.c_str()));
}

TEST_F(StagedUnicodeNameTest, AFailedMovePutsThemBackAndAHeldOneIsFoundInUse) {
  StageOverOldVersion();
  // Last in the moves' order (UTF-16 units): every other move was made before it fails.
  const std::wstring last = Utf16(u8"😀zz.txt");
  ASSERT_TRUE(PutWideFile(folder_w_, last, "old z", 2023));
  ASSERT_TRUE(PutWideFile(staging_w_, last, "new z", 2024));
  const auto before = Snapshot();
  winfx::ScopedHandle held(::CreateFileW((folder_w_ + L"\\" + last).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held.IsValid());
  // Found by its exact name, so a program running from it can be found by it too.
  const std::vector<CStagedInstall::WideString> inUse = staged_.TargetsInUse();
  ASSERT_EQ(1u, inUse.size());
  EXPECT_TRUE(std::wstring(inUse[0].c_str()) == folder_w_ + L"\\" + last);

  EXPECT_FALSE(staged_.MoveIntoPlace());
  EXPECT_EQ(before, Snapshot());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(staging_w_.c_str()));
}

// A run killed during the moves left a plan: the next run reads it, in UTF-8 as this
// installer writes it or in code page 949 as earlier ones did, and puts the folder back.
TEST_F(StagedUnicodeNameTest, APlanOfSuchNamesIsRecoveredByTheNextRun) {
  struct Case {
    const char* why;
    std::string plan;
    std::wstring replaced, added;
  } cases[] = {
      {"UTF-8", u8"\xEF\xBB\xBFR\t说明.txt\r\nN\t😀\r\n", chinese_, Utf16(u8"😀")},
      {"code page 949", "R\t한글.txt\r\nN\t새폴더\r\n", AnsiToUtf16("한글.txt"), AnsiToUtf16("새폴더")},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(PutWideFile(folder_w_, c.replaced, "new", 2024));
    ASSERT_TRUE(PutWideFile(folder_w_, c.added + L"\\inside.txt", "new", 2024));
    ASSERT_TRUE(PutWideFile(backup_w_, L"files\\" + c.replaced, "old", 2023));
    ASSERT_TRUE(PutWideFile(backup_w_, L"plan.txt", c.plan));
    EXPECT_TRUE(staged_.LeftoversInUse().empty()) << c.why;
    EXPECT_TRUE(staged_.RecoverLeftovers()) << c.why;
    const auto now = Snapshot();
    ASSERT_EQ(1u, now.size()) << c.why;
    EXPECT_EQ("old", ReadWideFile(folder_w_ + L"\\" + c.replaced)) << c.why;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(backup_w_.c_str())) << c.why;
    ::DeleteFileW((folder_w_ + L"\\" + c.replaced).c_str());
  }
}

}  // namespace
