// The real QuillonSetup.exe under Wine with an archive whose names are stored in UTF-8:
// each file lands under its exact name, with its bytes and time, and a reinstall over
// them leaves the same.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/InstallerFixture.h"
#include "tests/support/WideFiles.h"
#include "winfx/ScopedHandle.h"

namespace {

using testing_support::AnsiToUtf16;
using testing_support::InstallerFixture;
using testing_support::PathExists;
using testing_support::PutWideFile;
using testing_support::ReadFileBytes;
using testing_support::ReadWideFile;
using testing_support::Utf16;
using testing_support::WideWriteTime;

constexpr char kDoneText[] = "Quillon위젯 설치가 완료되었습니다. 위젯이 실행됩니다.";
constexpr char kCloseWidgetQuestion[] =
    "Quillon위젯이 실행 중입니다. [확인]을 누르면 위젯을 종료하고 설치를 계속합니다.";

class UnicodeNameInstallTest : public InstallerFixture {
 protected:
  // Each UTF-8 name of the archive holds its name and a line break, stored 2022-07-08
  // 09:10:12 (local).
  void ExpectTheNamedFiles() {
    SYSTEMTIME local = {2022, 7, 0, 8, 9, 10, 12, 0};
    FILETIME localTime, utc;
    ::SystemTimeToFileTime(&local, &localTime);
    ::LocalFileTimeToFileTime(&localTime, &utc);
    const ULONGLONG stored = (static_cast<ULONGLONG>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
    const std::wstring folder = AnsiToUtf16(installFolder_);
    for (const std::string name : {u8"문서\\설명서.txt", u8"说明.txt", u8"日本語\\ファイル.txt", u8"😀.txt"}) {
      std::string content = name;
      for (char& c : content) c = c == '\\' ? '/' : c;
      const std::wstring path = folder + L"\\" + Utf16(name);
      EXPECT_EQ(content + "\r\n", ReadWideFile(path)) << name;
      EXPECT_EQ(stored, WideWriteTime(path)) << name;
    }
    // The widget's own name in code page 949 lands as always.
    EXPECT_FALSE(ReadFileBytes(installFolder_ + "\\docs\\읽어보기.txt").empty());
  }
};

TEST_F(UnicodeNameInstallTest, Utf8NamesInstallUnderTheirExactNamesAndAReinstallKeepsThem) {
  ServeArchive(UnicodeWidgetArchive());
  StartInstaller();
  EXPECT_EQ(kDoneText, ConfirmAndAnswer(installFolder_));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  ExpectTheNamedFiles();

  // Over itself, with a file of the operator's beside them in a folder of such a name, and
  // the widget's copy running from a name without a code page 949 form: the installer
  // finds it in use, asks, and closes it.
  uidriver::EndProcessesNamed("QuillonWidget.exe");
  const std::wstring mine = AnsiToUtf16(installFolder_) + L"\\" + Utf16(u8"日本語");
  ASSERT_TRUE(PutWideFile(mine, Utf16(u8"メモ.txt"), "the operator's"));
  std::wstring copy = mine + L"\\" + Utf16(u8"위젯😀.exe");
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  ASSERT_TRUE(::CreateProcessW(copy.c_str(), &copy[0], nullptr, nullptr, FALSE, 0, nullptr, mine.c_str(),
                               &startup, &started));
  winfx::ScopedHandle process(started.hProcess), thread(started.hThread);
  ASSERT_TRUE(uidriver::WaitUntil([] { return WidgetWindow() != nullptr; }, 20000));
  StartInstaller();
  Confirm(installFolder_);
  HWND question = driver_->WaitForBox(driver_->AppCaption(), 120000);
  ASSERT_NE(nullptr, question);
  EXPECT_EQ(kCloseWidgetQuestion, driver_->AnswerBox(question, IDOK));
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.Get(), 20000));
  HWND done = driver_->WaitForBox(driver_->AppCaption(), 120000);
  ASSERT_NE(nullptr, done);
  EXPECT_EQ(kDoneText, driver_->AnswerBox(done, IDOK));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  ExpectTheNamedFiles();
  EXPECT_EQ("the operator's", ReadWideFile(mine + L"\\" + Utf16(u8"メモ.txt")));
  EXPECT_FALSE(PathExists(installFolder_ + "\\.QuillonStaging"));
  EXPECT_FALSE(PathExists(installFolder_ + "\\.QuillonBackup"));
  EXPECT_FALSE(PathExists(installFolder_ + "\\Quillon_Widget.zip"));
}

}  // namespace
