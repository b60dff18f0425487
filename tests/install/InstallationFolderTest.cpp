// InstallationFolder and WidgetStart on real folders of the Wine prefix: the permissions
// the installer gives what it makes, the folder held while it is taken, and the choice of
// the widget's start.
#include "install/InstallationFolder.h"

#include <gtest/gtest.h>

#include "install/WidgetStart.h"
#include "tests/support/TestSupport.h"
#include "tools/uidriver/UiDriver.h"
#include "winfx/SecurityDescriptor.h"

namespace {

using testing_support::TempFolder;
using testing_support::WriteFileBytes;
using Reason = InstallationFolder::Reason;

std::string Ansi(const winfx::WideString& wide) { return winfx::ToShownAnsi(wide); }

TEST(InstallationFolderTest, WhatTheInstallerMakesIsTheOwnersAndTheAdministratorsAloneAndInheritsNothing) {
  const winfx::WideString user = winfx::SecurityDescriptor::CurrentUserSid();
  ASSERT_FALSE(user.empty());
  winfx::SecurityDescriptor made;
  ASSERT_TRUE(made.FromSddl(InstallationFolder::ProtectedSddl(user)));
  // Protected from the parent; SYSTEM, the administrators and the user full control, the
  // users read and execute; each for the folder, its subfolders and its files.
  EXPECT_EQ("D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + Ansi(user) + ")(A;OICI;0x1200a9;;;BU)",
            Ansi(made.ToSddl()));
}

TEST(InstallationFolderTest, AFolderIsMadeWithItsParentsAndHeldUntilReleased) {
  TempFolder work("folder");
  CSetupUtil log;
  log.Init(work.Path());
  const std::string folder = work / "a\\b\\QuillonWidget";
  InstallationFolder taken;
  ASSERT_EQ(Reason::kTaken, taken.Take(folder, &log));
  EXPECT_TRUE(testing_support::IsFolder(folder));
  EXPECT_TRUE(testing_support::PathExists(folder + "\\.QuillonLock"));
  // Held: it cannot be renamed (nor, by that, replaced by a link) until released.
  EXPECT_FALSE(::MoveFileExA(folder.c_str(), (work / "a\\b\\moved").c_str(), 0));
  InstallationFolder second;
  EXPECT_EQ(Reason::kLocked, second.Take(folder, &log));
  EXPECT_FALSE(second.IsHeld());
  taken.Release();
  EXPECT_FALSE(testing_support::PathExists(folder + "\\.QuillonLock"));
  EXPECT_TRUE(::MoveFileExA(folder.c_str(), (work / "a\\b\\moved").c_str(), 0));
}

TEST(InstallationFolderTest, AFileOfTheFoldersNameOrOfAParentsIsNoFolderToMake) {
  TempFolder work("folder-file");
  CSetupUtil log;
  log.Init(work.Path());
  ASSERT_TRUE(WriteFileBytes(work / "QuillonWidget", "a file"));
  InstallationFolder taken;
  EXPECT_EQ(Reason::kCannotMake, taken.Take(work / "QuillonWidget", &log));
  EXPECT_EQ(Reason::kCannotMake, taken.Take(work / "QuillonWidget\\below", &log));
  EXPECT_FALSE(taken.IsHeld());
  EXPECT_EQ("a file", testing_support::ReadFileBytes(work / "QuillonWidget"));
}

// Wine runs every process with a full token (with a linked one): an unelevated start
// cannot be seen there, only the choice.
TEST(WidgetStartTest, OnlyAFullTokenLinkedToTheOperatorsLimitedOneStartsThroughTheShell) {
  EXPECT_TRUE(WidgetStart::GoesThroughShell(TokenElevationTypeFull, true));
  EXPECT_FALSE(WidgetStart::GoesThroughShell(TokenElevationTypeFull, false));
  EXPECT_FALSE(WidgetStart::GoesThroughShell(TokenElevationTypeLimited, true));
  EXPECT_FALSE(WidgetStart::GoesThroughShell(TokenElevationTypeDefault, false));
}

// The program is held from before the start (nobody may write or delete it) and starts all
// the same, in its own folder. Wine's token is full with a linked one, so this takes the
// desktop shell's route there (Wine's desktop answers it), with no line of a fallback.
TEST(WidgetStartTest, AHeldProgramStartsInItsFolder) {
  TempFolder folder("widget-start");
  ASSERT_TRUE(WriteFileBytes(folder / "info.ini", "[COMMON]\r\nDEBUG=1\r\n"));
  ASSERT_TRUE(::CreateDirectoryA((folder / "log").c_str(), nullptr));
  const std::string program = folder / "QuillonWidget.exe";
  ASSERT_TRUE(::CopyFileA(testing_support::FromUnixPath(QUILLON_TEST_WIDGET_EXE).c_str(), program.c_str(), FALSE));
  CSetupUtil log;
  log.Init(folder.Path());
  WidgetStart start;
  ASSERT_TRUE(start.Hold(folder.Path(), program));
  EXPECT_FALSE(::DeleteFileA(program.c_str()));
  EXPECT_TRUE(start.Start(&log));
  const std::string trace = folder / "widget_started.txt";
  EXPECT_TRUE(uidriver::WaitUntil([&] { return testing_support::ReadFileBytes(trace).find("current=") != std::string::npos; },
                                  20000));
  EXPECT_NE(std::string::npos, testing_support::ReadFileBytes(trace).find("current=" + folder.Path() + "\r\n"));
  EXPECT_EQ("", testing_support::ReadFileBytes(testing_support::TodaysLogPath(folder.Path())));
  uidriver::EndProcessesNamed("QuillonWidget.exe");
}

}  // namespace
