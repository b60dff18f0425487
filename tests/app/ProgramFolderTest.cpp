// The program folder the hub derives from its executable's path.
#include <gtest/gtest.h>

#include "app/CSetupHubDlg.h"

namespace {

TEST(ProgramFolderTest, IsTheExecutablesFolderWithoutTrailingBackslash) {
  EXPECT_EQ("C:\\Setup", CSetupHubDlg::ProgramFolderOf("C:\\Setup\\x.exe"));
  EXPECT_EQ("D:\\설치 파일\\bin", CSetupHubDlg::ProgramFolderOf("D:\\설치 파일\\bin\\QuillonSetup.exe"));
}

TEST(ProgramFolderTest, AtADriveRootIsTheDriveAlone) {
  EXPECT_EQ("C:", CSetupHubDlg::ProgramFolderOf("C:\\x.exe"));
}

}  // namespace
