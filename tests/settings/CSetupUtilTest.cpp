// CSetupUtil's DEBUG switch and daily log, on real files in the Wine prefix.
#include "settings/CSetupUtil.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace {

using testing_support::LinuxLink;
using testing_support::ListTree;
using testing_support::PathExists;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;

SYSTEMTIME g_now;
void FixedClock(SYSTEMTIME* now) { *now = g_now; }

void SetClock(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  g_now = SYSTEMTIME{};
  g_now.wYear = year;
  g_now.wMonth = month;
  g_now.wDay = day;
  g_now.wHour = hour;
  g_now.wMinute = minute;
  g_now.wSecond = second;
  CSetupUtil::SetClockForTesting(&FixedClock);
}

class SetupUtilTest : public ::testing::Test {
 protected:
  ~SetupUtilTest() override { CSetupUtil::SetClockForTesting(nullptr); }

  // A bound object whose folder has info.ini with the given text and a log folder.
  void BindWithSettings(CSetupUtil* util, const std::string& ini) {
    ASSERT_TRUE(WriteFileBytes(folder_ / "info.ini", ini));
    ::CreateDirectoryA((folder_ / "log").c_str(), nullptr);
    util->Init(folder_.Path());
  }

  TempFolder folder_{"setuputil"};
};

TEST_F(SetupUtilTest, DebugSwitchFollowsAtoiOfTheCommonKey) {
  struct Case {
    const char* ini;
    bool logging;
  };
  const Case cases[] = {
      {"[COMMON]\r\nDEBUG=1\r\n", true},
      {"[COMMON]\r\nDEBUG=0\r\n", false},
      {"[COMMON]\r\nOTHER=1\r\n", false},
      {"[OTHER]\r\nDEBUG=1\r\n", false},
      {"[COMMON]\r\nDEBUG=yes\r\n", false},
      {"[COMMON]\r\nDEBUG=-1\r\n", true},
      {"[COMMON]\r\nDEBUG=2abc\r\n", true},
      {"[COMMON]\r\nDEBUG=  3\r\n", true},
      {"[COMMON]\r\nDEBUG=\r\n", false},
  };
  for (const Case& c : cases) {
    CSetupUtil util;
    BindWithSettings(&util, c.ini);
    EXPECT_EQ(c.logging, util.IsLogging()) << c.ini;
  }
}

TEST_F(SetupUtilTest, MissingSettingsFileLeavesLoggingOff) {
  CSetupUtil util;
  EXPECT_FALSE(util.IsLogging());
  util.Init(folder_.Path());
  EXPECT_FALSE(util.IsLogging());
  EXPECT_EQ(folder_.Path(), util.Folder());
}

TEST_F(SetupUtilTest, ASettingsFileLargerThanSettingsAreCountsAsMissing) {
  CSetupUtil util;
  const std::string settings = "[COMMON]\r\nDEBUG=1\r\n;";
  BindWithSettings(&util, settings + std::string(CSetupUtil::kMaxSettingsSize - settings.size(), 'x'));
  EXPECT_TRUE(util.IsLogging());
  BindWithSettings(&util, settings + std::string(CSetupUtil::kMaxSettingsSize - settings.size() + 1, 'x'));
  EXPECT_FALSE(util.IsLogging());
}

TEST_F(SetupUtilTest, OnlyTheFirst254BytesOfTheValueAreSeen) {
  CSetupUtil util;
  // 254 characters: the final 1 is read, the value is 1.
  BindWithSettings(&util, "[COMMON]\r\nDEBUG=" + std::string(253, '0') + "1\r\n");
  EXPECT_TRUE(util.IsLogging());
  // 255 characters: the final 1 is cut off, the value is 0.
  BindWithSettings(&util, "[COMMON]\r\nDEBUG=" + std::string(254, '0') + "1\r\n");
  EXPECT_FALSE(util.IsLogging());
}

TEST_F(SetupUtilTest, ObjectsBoundToDifferentFoldersHaveTheirOwnSwitch) {
  TempFolder other("setuputil-other");
  ASSERT_TRUE(WriteFileBytes(other / "info.ini", "[COMMON]\r\nDEBUG=0\r\n"));
  CSetupUtil on;
  BindWithSettings(&on, "[COMMON]\r\nDEBUG=1\r\n");
  CSetupUtil off;
  off.Init(other.Path());
  EXPECT_TRUE(on.IsLogging());
  EXPECT_FALSE(off.IsLogging());

  // Rebinding reads the switch again.
  on.Init(other.Path());
  EXPECT_FALSE(on.IsLogging());
}

TEST_F(SetupUtilTest, LogLinesAreAppendedWithStampAndCrLfAndTextKeptAsIs) {
  CSetupUtil util;
  BindWithSettings(&util, "[COMMON]\r\nDEBUG=1\r\n");
  SetClock(2024, 3, 7, 9, 5, 3);
  util.WriteLog("[m_exe_str] C:\\Setup");
  SetClock(2024, 3, 7, 9, 5, 4);
  util.WriteLog("100% 다운로드 %s %d");

  EXPECT_EQ(
      "[2024/03/07 09:05:03] [m_exe_str] C:\\Setup\r\n"
      "[2024/03/07 09:05:04] 100% 다운로드 %s %d\r\n",
      ReadFileBytes(folder_ / "log\\20240307_log.txt"));
}

TEST_F(SetupUtilTest, NothingIsWrittenWhenOffOrWithoutLogFolder) {
  SetClock(2024, 3, 7, 9, 5, 3);
  CSetupUtil off;
  BindWithSettings(&off, "[COMMON]\r\nDEBUG=0\r\n");
  off.WriteLog("line");
  EXPECT_FALSE(PathExists(folder_ / "log\\20240307_log.txt"));

  TempFolder bare("setuputil-nolog");
  ASSERT_TRUE(WriteFileBytes(bare / "info.ini", "[COMMON]\r\nDEBUG=1\r\n"));
  CSetupUtil on;
  on.Init(bare.Path());
  on.WriteLog("line");
  EXPECT_FALSE(PathExists(bare / "log"));

  CSetupUtil unbound;
  unbound.WriteLog("line");  // logging is off until Init: nothing happens
}

TEST_F(SetupUtilTest, NothingIsWrittenThroughALinkOfTheLogFolderOrOfTheDaysFile) {
  SetClock(2024, 3, 7, 9, 5, 3);
  TempFolder outside("setuputil-outside");
  ASSERT_TRUE(WriteFileBytes(outside / "precious.txt", "kept as it is"));
  ASSERT_TRUE(WriteFileBytes(folder_ / "info.ini", "[COMMON]\r\nDEBUG=1\r\n"));
  CSetupUtil util;
  util.Init(folder_.Path());
  {
    LinuxLink folderLink(folder_ / "log", outside.Path());
    if (!folderLink.Made()) GTEST_SKIP() << "links are made from the Linux side of Wine";
    util.WriteLog("line");
  }
  ASSERT_TRUE(::CreateDirectoryA((folder_ / "log").c_str(), nullptr));
  {
    LinuxLink fileLink(folder_ / "log\\20240307_log.txt", outside / "precious.txt");
    ASSERT_TRUE(fileLink.Made());
    util.WriteLog("line");
  }
  EXPECT_EQ(std::vector<std::string>{"precious.txt"}, ListTree(outside.Path()));
  EXPECT_EQ("kept as it is", ReadFileBytes(outside / "precious.txt"));
  // A plain log folder and file are written as ever.
  util.WriteLog("line");
  EXPECT_EQ("[2024/03/07 09:05:03] line\r\n", ReadFileBytes(folder_ / "log\\20240307_log.txt"));
}

TEST_F(SetupUtilTest, CallsOnEitherSideOfMidnightWriteTwoFiles) {
  CSetupUtil util;
  BindWithSettings(&util, "[COMMON]\r\nDEBUG=1\r\n");
  SetClock(2024, 12, 31, 23, 59, 59);
  util.WriteLog("before");
  SetClock(2025, 1, 1, 0, 0, 0);
  util.WriteLog("after");

  EXPECT_EQ("[2024/12/31 23:59:59] before\r\n", ReadFileBytes(folder_ / "log\\20241231_log.txt"));
  EXPECT_EQ("[2025/01/01 00:00:00] after\r\n", ReadFileBytes(folder_ / "log\\20250101_log.txt"));
}

}  // namespace
