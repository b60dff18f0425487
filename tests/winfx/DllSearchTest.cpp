// The delay-load hook where the search could not be restricted: a DLL named like the one the
// probe program delay-loads lies beside it, and Wine looks in a program's own folder first for
// that name (ctest sets WINEDLLOVERRIDES=wininet=n,b; a name without a builtin is looked for
// there anyway).
#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"
#include "tools/uidriver/UiDriver.h"
#include "winfx/DllSearch.h"

namespace {

using testing_support::CopyInto;
using testing_support::FromUnixPath;
using testing_support::PathExists;
using testing_support::TempFolder;

class DelayLoadHookTest : public ::testing::Test {
 protected:
  // Runs the probe in a folder of its own, with the marker DLL beside it as dll; returns the
  // probe's exit code and whether the DLL beside it was loaded.
  DWORD RunProbe(const std::string& mode, const std::string& dll, bool* plantedLoaded) {
    TempFolder folder("probe");
    const std::string planted = folder / dll;
    EXPECT_TRUE(::CopyFileA(FromUnixPath(QUILLON_PLANTED_MARKER_DLL).c_str(), planted.c_str(), FALSE));
    uidriver::Process probe(CopyInto(FromUnixPath(QUILLON_DELAY_LOAD_PROBE), folder.Path()), mode,
                            folder.Path());
    EXPECT_TRUE(probe.WaitForExit(30000));
    *plantedLoaded = PathExists(planted + ".loaded");
    return probe.ExitCode();
  }
};

// The control: a load by name does take the DLL beside the program here.
TEST_F(DelayLoadHookTest, ALoadByNameTakesTheDllBesideTheProgram) {
  bool loaded = false;
  EXPECT_EQ(0u, RunProbe("by-name", "wininet.dll", &loaded));
  EXPECT_TRUE(loaded);
}

TEST_F(DelayLoadHookTest, ASystemDllComesFromTheSystemFolder) {
  bool loaded = true;
  EXPECT_EQ(0u, RunProbe("system", "wininet.dll", &loaded));
  EXPECT_FALSE(loaded);
}

TEST_F(DelayLoadHookTest, ADllTheSystemFolderLacksEndsTheProgramAndIsLookedForNowhereElse) {
  bool loaded = true;
  EXPECT_EQ(winfx::kSystemLibraryMissingExitCode, RunProbe("absent", "quillon_absent.dll", &loaded));
  EXPECT_FALSE(loaded);
}

}  // namespace
