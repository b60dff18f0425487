// CZipExtractor on archives whose names are stored in UTF-8 (flagged) or named by a
// Unicode Path field: the files land under their exact wide names, and names that a
// conversion to code page 949 could bend out of the folder stay inside it.
#include "archive/CZipExtractor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "tests/support/WideFiles.h"

namespace {

using testing_support::FromUnixPath;
using testing_support::ListWideTree;
using testing_support::ReadFileBytes;
using testing_support::ReadWideFile;
using testing_support::Utf16;
using testing_support::TempFolder;
using testing_support::TodaysLogPath;
using testing_support::WideWriteTime;
using testing_support::WriteFileBytes;
using Names = std::vector<std::wstring>;

ULONGLONG StoredTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  SYSTEMTIME local = {year, month, 0, day, hour, minute, second, 0};
  SYSTEMTIME utc;
  FILETIME time = {};
  ::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc);
  ::SystemTimeToFileTime(&utc, &time);
  return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// What make_archives.py stores in an entry of that (stored) name.
std::string ContentOf(const std::string& storedName) {
  std::string content;
  for (int i = 0; i < 3000; ++i) content += "content of " + storedName + "\r\n";
  return content;
}

class ZipUnicodeNameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteFileBytes(install_ / "info.ini", "[COMMON]\r\nDEBUG=1\r\n"));
    ASSERT_TRUE(::CreateDirectoryA((install_ / "log").c_str(), nullptr));
    extractor_.SetLogFolder(install_.Path());
  }

  // Extracts the archive into the folder "target" of the installation folder.
  int Extract(const std::string& archive) {
    const std::string path = FromUnixPath(QUILLON_TEST_ARCHIVES) + "\\" + archive;
    if (extractor_.Open(path.c_str()) != 1) return -1;
    return extractor_.ExtractAll(target_.c_str());
  }

  // What the installation folder holds besides its settings, log and target folder.
  Names Beside() {
    Names names = ListWideTree(testing_support::AnsiToUtf16(install_.Path()));
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::wstring& name) {
                                 return name == L"info.ini" || name.compare(0, 4, L"log\\") == 0 ||
                                        name.compare(0, 7, L"target\\") == 0;
                               }),
                names.end());
    return names;
  }

  std::string Log() { return ReadFileBytes(TodaysLogPath(install_.Path())); }

  TempFolder install_{"zipunicode"};
  std::string target_ = install_ / "target";
  std::wstring wideTarget_ = testing_support::AnsiToUtf16(target_);
  CZipExtractor extractor_;
};

TEST_F(ZipUnicodeNameTest, FlaggedNamesLandUnderTheirExactNamesWithTheirBytesAndTimes) {
  ASSERT_EQ(1, Extract("unicode.zip"));
  const std::string korean = u8"문서/설명서.txt", chinese = u8"说明.txt",
                    japanese = u8"日本語/ファイル.txt", emoji = u8"😀.txt";
  Names expected = {Utf16(u8"바탕.ini"),   Utf16(u8"日本語\\"),          Utf16(u8"日本語\\ファイル.txt"),
                    Utf16(u8"说明.txt"),   Utf16(u8"문서\\"),            Utf16(u8"문서\\설명서.txt"),
                    Utf16(u8"😀.txt")};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, ListWideTree(wideTarget_));
  for (const std::string& name : {korean, chinese, japanese, emoji}) {
    std::wstring path = wideTarget_ + L"\\" + Utf16(name);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    EXPECT_EQ(ContentOf(name), ReadWideFile(path)) << name;
  }
  EXPECT_EQ(StoredTime(2019, 12, 31, 23, 59, 58), WideWriteTime(wideTarget_ + L"\\" + Utf16(chinese)));
  EXPECT_EQ(StoredTime(2019, 12, 31, 23, 59, 58), WideWriteTime(wideTarget_ + L"\\" + Utf16(emoji)));
  EXPECT_EQ(StoredTime(2010, 5, 6, 7, 8, 10), WideWriteTime(wideTarget_ + L"\\" + Utf16(japanese)));
  // Without the flag the name is code page 949, as before: the ANSI functions find it.
  EXPECT_EQ(ContentOf("바탕.ini"), ReadFileBytes(target_ + "\\바탕.ini"));
  EXPECT_EQ(ContentOf(korean), ReadFileBytes(target_ + "\\문서\\설명서.txt"));
}

TEST_F(ZipUnicodeNameTest, AUnicodePathFieldNamesTheFileOnlyWhenItsCrcMatches) {
  ASSERT_EQ(1, Extract("unicode-path.zip"));
  const std::wstring world = Utf16(u8"世界.txt");
  EXPECT_EQ((Names{L"stored.txt", world}), ListWideTree(wideTarget_));
  EXPECT_EQ(ContentOf("world.txt"), ReadWideFile(wideTarget_ + L"\\" + world));
}

TEST_F(ZipUnicodeNameTest, FlaggedNamesThatAreNoUtf8AreRefusedWithTheNameLine) {
  for (const char* archive : {"invalid-utf8-bad-byte.zip", "invalid-utf8-overlong.zip"}) {
    EXPECT_EQ(0, Extract(archive)) << archive;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), ::GetLastError()) << archive;
  }
  EXPECT_EQ(Names{}, ListWideTree(wideTarget_));
  EXPECT_EQ(Names{}, Beside());
  // The undecodable bytes show as "?": the line stays code page 949 text.
  const std::string log = Log();
  EXPECT_NE(std::string::npos, log.find("unzip실패 " + target_ + "\\bad?.txt | NAME_NOT_ALLOWED"));
  EXPECT_NE(std::string::npos, log.find("unzip실패 " + target_ + "\\a??evil.txt | NAME_NOT_ALLOWED"));
}

// Converted to code page 949 with best fit, U+FF0E, U+FF3C and U+FF0F could read as ".",
// "\" and "/": kept wide, they are plain characters of names inside the folder.
TEST_F(ZipUnicodeNameTest, LookAlikesOfDotsAndSeparatorsStayPlainNamesInsideTheFolder) {
  ASSERT_EQ(1, Extract("best-fit.zip"));
  Names expected = {Utf16(u8"．．\\"), Utf16(u8"．．\\．．\\"), Utf16(u8"．．\\．．\\evil.txt"),
                    Utf16(u8"a＼..＼evil.txt"), Utf16(u8"a／..／evil.txt")};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, ListWideTree(wideTarget_));
  EXPECT_EQ(Names{}, Beside());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(L"C:\\evil.txt"));
}

TEST_F(ZipUnicodeNameTest, RefusedNamesWithoutACodePage949FormAreLoggedWithQuestionMarks) {
  // The private-use stand-in of "/" would be turned back into one on Wine's disk.
  EXPECT_EQ(0, Extract("private-use.zip"));
  EXPECT_EQ(0, Extract("refused-thai.zip"));
  EXPECT_EQ(Names{}, ListWideTree(wideTarget_));
  EXPECT_EQ(Names{}, Beside());
  const std::string log = Log();
  EXPECT_NE(std::string::npos, log.find("unzip실패 " + target_ + "\\a?..?evil.txt | NAME_NOT_ALLOWED"));
  EXPECT_NE(std::string::npos, log.find("unzip실패 " + target_ + "\\??\\CON.txt | NAME_NOT_ALLOWED"));
}

}  // namespace
