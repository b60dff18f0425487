// Search-order hijacking, end to end: a DLL named like one of the system's lies beside the
// installer in a folder of its own, and Wine is told to look in a program's own folder first
// for that name (WINEDLLOVERRIDES=NAME=n,b, which is what Windows does for every name that is
// not a KnownDLL). ctest runs this program once per name, the name in QUILLON_PLANTED_DLL.
// The planted DLL leaves a marker file beside itself when anything loads it.
#include <gtest/gtest.h>

#include "tests/support/InstallerFixture.h"

namespace {

using testing_support::CopyInto;
using testing_support::FromUnixPath;
using testing_support::InstallerFixture;
using testing_support::PathExists;
using testing_support::TempFolder;

constexpr char kDoneText[] = "Quillon위젯 설치가 완료되었습니다. 위젯이 실행됩니다.";

// The name ctest planted for this run ("wininet"), or "" when run by hand.
std::string PlantedName() {
  char name[64] = {};
  const DWORD length = ::GetEnvironmentVariableA("QUILLON_PLANTED_DLL", name, sizeof(name));
  return length > 0 && length < sizeof(name) ? name : "";
}

// Puts the marker DLL into folder as name.dll; returns the path of the marker it leaves there
// when loaded.
std::string Plant(const std::string& folder, const std::string& name) {
  const std::string dll = folder + "\\" + name + ".dll";
  EXPECT_TRUE(::CopyFileA(FromUnixPath(QUILLON_PLANTED_MARKER_DLL).c_str(), dll.c_str(), FALSE));
  return dll + ".loaded";
}

class PlantedDllTest : public InstallerFixture {};

TEST_F(PlantedDllTest, AWholeInstallationLoadsNothingFromTheInstallersFolder) {
  const std::string name = PlantedName();
  if (name.empty()) GTEST_SKIP() << "ctest names the planted DLL in QUILLON_PLANTED_DLL";

  // The control: a program that does nothing, with the same DLL beside it. What it loads from
  // its folder, Wine's own start-up loads for any program, before the program's first
  // instruction: not the installer's doing.
  TempFolder controlFolder("control");
  const std::string controlMarker = Plant(controlFolder.Path(), name);
  uidriver::Process control(CopyInto(FromUnixPath(QUILLON_START_ONLY_PROGRAM), controlFolder.Path()),
                            "", controlFolder.Path());
  ASSERT_TRUE(control.WaitForExit(30000)) << "the control program did not end";
  if (PathExists(controlMarker)) {
    GTEST_SKIP() << name << ".dll: Wine's start-up loads it from the folder of any program "
                 << "(the control program loaded it too); not judged";
  }

  const std::string marker = Plant(programFolder_->Path(), name);
  StartInstallerInItsFolder();
  const std::string answer = HasFatalFailure() ? "(no screen)" : ConfirmAndAnswer(installFolder_);
  EXPECT_FALSE(PathExists(marker)) << name << ".dll was loaded from the installer's folder";
  EXPECT_EQ(kDoneText, answer);
  EXPECT_TRUE(driver_->WaitForExit(20000)) << "the installer did not end";
}

}  // namespace
