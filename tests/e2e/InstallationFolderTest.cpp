// The folder the real QuillonSetup.exe installs into, under Wine: a link (the folder or a
// parent) is refused before anything is fetched, a folder everyone may write is made the
// owner's alone, a folder that cannot be made is named in a box, and hard links planted
// under the names the installer writes lead nowhere.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <map>
#include <string>

#include "tests/support/InstallerFixture.h"
#include "winfx/Format.h"

namespace {

using testing_support::FileStates;
using testing_support::InstallerFixture;
using testing_support::LinuxLink;
using testing_support::PathExists;
using testing_support::ReadFileBytes;
using testing_support::RunLinuxProgram;
using testing_support::TempFolder;
using testing_support::TodaysLogPath;
using testing_support::UnixPath;
using testing_support::WriteFileBytes;

constexpr char kDoneText[] = "Quillon위젯 설치가 완료되었습니다. 위젯이 실행됩니다.";
constexpr char kFolderLinkFormat[] =
    "설치 폴더(%s)나 그 상위 폴더가 다른 곳을 가리키는 링크입니다. 다른 폴더를 선택해 주세요.";
constexpr char kCannotMakeFormat[] =
    "설치 폴더(%s)를 만들 수 없습니다. 드라이브와 폴더 이름을 확인하거나 다른 폴더를 선택해 주세요.";
constexpr char kProtectedLine[] = "[install] 설치폴더 권한을 다시 설정했습니다. ";
constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE |
                                     WRITE_DAC | WRITE_OWNER;

// The rights path's DACL allows Everyone, as GetNamedSecurityInfo reads it back.
ACCESS_MASK EveryoneRights(const std::string& path) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return 0;
  }
  ACCESS_MASK rights = dacl == nullptr ? GENERIC_ALL : 0;
  PSID everyone = nullptr;
  ::ConvertStringSidToSidA("S-1-1-0", &everyone);
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (::GetAce(dacl, i, reinterpret_cast<void**>(&ace)) && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
        ::EqualSid(&ace->SidStart, everyone)) {
      rights |= ace->Mask;
    }
  }
  ::LocalFree(everyone);
  ::LocalFree(descriptor);
  return rights;
}

// A hard link at link to target, made from the Linux side (ln); false when it did not show.
bool MakeHardLink(const std::string& target, const std::string& link) {
  return RunLinuxProgram("Z:\\bin\\ln \"" + UnixPath(target) + "\" \"" + UnixPath(link) + "\"") &&
         uidriver::WaitUntil([&] { return PathExists(link); }, 20000);
}

class InstallationFolderTest : public InstallerFixture {
 protected:
  // Files of the operator's in folder, as an old installation and its owner left them.
  static void PutOperatorsFiles(const std::string& folder) {
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(folder + "\\QuillonWidget.exe", "an old widget"));
    ASSERT_TRUE(WriteFileBytes(folder + "\\mine.txt", "the operator's own"));
  }

  // Confirms folder; the box must name it with text (a format of the folder), nothing be
  // requested from the server, and the screen take another confirmation.
  void ExpectRefused(const std::string& folder, const char* format) {
    EXPECT_EQ(winfx::Format(format, folder.c_str()), ConfirmAndAnswer(folder));
    EXPECT_FALSE(Requested("/update/Quillon_Widget.zip.meta"));
    EXPECT_FALSE(Requested("/update/Quillon_Widget.zip"));
    EXPECT_TRUE(driver_->InstallEnabled());
    EXPECT_TRUE(driver_->FolderEditEnabled());
  }
};

TEST_F(InstallationFolderTest, AFolderOrAParentThatIsALinkIsRefusedAndWhatItLeadsToIsLeftAlone) {
  TempFolder elsewhere("elsewhere");
  PutOperatorsFiles(elsewhere / "QuillonWidget");
  const std::map<std::string, testing_support::FileState> before = FileStates(elsewhere.Path());
  StartInstaller();
  {
    LinuxLink link(installFolder_, elsewhere / "QuillonWidget");
    if (!link.Made()) GTEST_SKIP() << "links are made from the Linux side of Wine";
    ExpectRefused(installFolder_, kFolderLinkFormat);
  }
  {
    LinuxLink parent(*workFolder_ / "via", elsewhere.Path());
    ASSERT_TRUE(parent.Made());
    ExpectRefused(*workFolder_ / "via\\QuillonWidget", kFolderLinkFormat);
  }
  EXPECT_EQ(before, FileStates(elsewhere.Path()));
  EXPECT_FALSE(PathExists(elsewhere / "QuillonWidget\\.QuillonLock"));
  QuitThroughQuitButton();
}

TEST_F(InstallationFolderTest, AFolderThatCannotBeMadeIsNamedAndTheScreenTakesAnother) {
  StartInstaller();
  ASSERT_TRUE(WriteFileBytes(*workFolder_ / "a-file", "not a folder"));
  ExpectRefused(*workFolder_ / "a-file\\QuillonWidget", kCannotMakeFormat);
  ExpectRefused("Q:\\QuillonWidget", kCannotMakeFormat);
  // Another folder: the same screen installs.
  EXPECT_EQ(kDoneText, ConfirmAndAnswer(installFolder_));
  EXPECT_TRUE(driver_->WaitForExit(20000));
}

// Wine keeps no DACL but maps it onto the mode bits: Everyone's rights are the "other" bits.
TEST_F(InstallationFolderTest, AFolderEveryoneMayWriteInstallsAndIsThenTheOwnersAlone) {
  ASSERT_TRUE(::CreateDirectoryA(installFolder_.c_str(), nullptr));
  ASSERT_TRUE(RunLinuxProgram("Z:\\bin\\chmod 0777 \"" + UnixPath(installFolder_) + "\""));
  ASSERT_TRUE(uidriver::WaitUntil([&] { return (EveryoneRights(installFolder_) & FILE_WRITE_DATA) != 0; }, 20000));
  StartInstaller();
  EXPECT_EQ(kDoneText, ConfirmAndAnswer(installFolder_));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_TRUE(PathExists(installFolder_ + "\\QuillonWidget.exe"));
  EXPECT_EQ(0u, EveryoneRights(installFolder_) & kWriteRights);
  EXPECT_NE(0u, EveryoneRights(installFolder_) & FILE_LIST_DIRECTORY);
  EXPECT_NE(std::string::npos,
            ReadFileBytes(TodaysLogPath(programFolder_->Path())).find(kProtectedLine + installFolder_));
}

TEST_F(InstallationFolderTest, HardLinksUnderThePartsAndTheLogsNamesLeaveTheirFilesAsTheyAre) {
  TempFolder outside("outside");
  const std::string precious = outside / "precious.txt";
  const std::string diary = outside / "diary.txt";
  ASSERT_TRUE(WriteFileBytes(precious, "kept as it is"));
  ASSERT_TRUE(WriteFileBytes(diary, "my own lines"));
  ASSERT_TRUE(::CreateDirectoryA(installFolder_.c_str(), nullptr));
  if (!MakeHardLink(precious, installFolder_ + "\\Quillon_Widget.zip.part")) {
    GTEST_SKIP() << "hard links are made from the Linux side of Wine";
  }
  ASSERT_TRUE(MakeHardLink(diary, TodaysLogPath(programFolder_->Path())));
  StartInstaller();
  EXPECT_EQ(kDoneText, ConfirmAndAnswer(installFolder_));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_TRUE(PathExists(installFolder_ + "\\QuillonWidget.exe"));
  EXPECT_EQ("kept as it is", ReadFileBytes(precious));
  EXPECT_EQ("my own lines", ReadFileBytes(diary));
  // The log goes on in a file of its own.
  EXPECT_NE(std::string::npos, ReadFileBytes(TodaysLogPath(programFolder_->Path())).find("[m_exe_str]"));
}

}  // namespace
