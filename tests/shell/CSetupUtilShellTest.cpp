// CSetupUtil's file presence test and shell links, on the real shell of the Wine prefix:
// links are written into the prefix's own Desktop, Quick Launch and Programs folders,
// read back through the shell link object and removed again.
#include "settings/CSetupUtil.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/TestSupport.h"
#include "tests/support/WideFiles.h"
#include "winfx/ScopedCom.h"
#include "winfx/ScopedHandle.h"

namespace {

using testing_support::FromUnixPath;
using testing_support::IsFolder;
using testing_support::ListTree;
using testing_support::PathExists;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;

// The widget installation's own call.
constexpr char kWidgetTarget[] = "C:\\QuillonWidget\\QuillonWidget.exe";
constexpr char kWidgetLink[] = "\\Quillon위젯.lnk";
constexpr char kWidgetDescription[] = "Quillon위젯";

std::wstring Widen(const std::string& ansi) { return testing_support::AnsiToUtf16(ansi); }

std::string ShellFolder(int csidl) {
  char path[MAX_PATH] = {};
  return SUCCEEDED(::SHGetFolderPathA(nullptr, csidl, nullptr, 0, path)) ? path : "";
}

// True when something exists at path; the wide API with the \\?\ prefix sees paths of any
// length.
bool ExistsWide(const std::string& path) {
  return ::GetFileAttributesW((L"\\\\?\\" + Widen(path)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The three folders a link may go to.
struct Places {
  std::string desktop = ShellFolder(CSIDL_DESKTOP);
  std::string quickLaunch =
      ShellFolder(CSIDL_APPDATA) + "\\Microsoft\\Internet Explorer\\Quick Launch";
  std::string programs = ShellFolder(CSIDL_PROGRAMS);

  std::vector<std::string> All() const { return {desktop, quickLaunch, programs}; }
};

// Makes folder (and missing parents) exist for the test's length and removes the levels
// it made afterwards, so the shared prefix is left as found. Whatever a test puts into
// the folder must be gone by then: declare this before the LinkCleanup.
class FolderForTest {
 public:
  explicit FolderForTest(const std::string& folder) {
    for (size_t at = folder.find('\\', 3); ; at = folder.find('\\', at + 1)) {
      std::string level = folder.substr(0, at);
      if (!IsFolder(level) && ::CreateDirectoryA(level.c_str(), nullptr)) made_.push_back(level);
      if (at == std::string::npos) break;
    }
  }
  ~FolderForTest() {
    for (auto level = made_.rbegin(); level != made_.rend(); ++level) {
      ::RemoveDirectoryA(level->c_str());
    }
  }

 private:
  std::vector<std::string> made_;
};

// Removes the link linkName from all three places before and after the test.
class LinkCleanup {
 public:
  explicit LinkCleanup(std::string linkName) : linkName_(std::move(linkName)) { Remove(); }
  ~LinkCleanup() { Remove(); }

 private:
  void Remove() const {
    for (const std::string& folder : Places().All()) {
      ::DeleteFileW((L"\\\\?\\" + Widen(folder + linkName_)).c_str());
    }
  }
  std::string linkName_;
};

// What a saved link holds, read back through IShellLinkA and IPersistFile.
struct LinkFields {
  bool loaded = false;
  std::string target, arguments, description, workingFolder;
};

LinkFields ReadLink(const std::string& path) {
  LinkFields fields;
  winfx::CoInitialization com;
  winfx::ComPtr<IShellLinkA> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.ReceiveVoid()))) {
    return fields;
  }
  winfx::ComPtr<IPersistFile> file = link.QueryInterface<IPersistFile>(IID_IPersistFile);
  if (!file || FAILED(file->Load(Widen(path).c_str(), STGM_READ))) return fields;
  char text[1024];
  WIN32_FIND_DATAA data;
  if (SUCCEEDED(link->GetPath(text, sizeof(text), &data, SLGP_RAWPATH))) fields.target = text;
  if (SUCCEEDED(link->GetArguments(text, sizeof(text)))) fields.arguments = text;
  if (SUCCEEDED(link->GetDescription(text, sizeof(text)))) fields.description = text;
  if (SUCCEEDED(link->GetWorkingDirectory(text, sizeof(text)))) fields.workingFolder = text;
  fields.loaded = true;
  return fields;
}

// .desktop files under the prefix's HOME: there must be none, since the prefix runs
// without Wine's menu builder.
std::vector<std::string> DesktopEntriesUnderHome() {
  std::vector<std::string> found;
  const char* home = std::getenv("HOME");
  if (home == nullptr) return found;
  for (const std::string& entry : ListTree(FromUnixPath(home))) {
    if (entry.size() > 8 && entry.compare(entry.size() - 8, 8, ".desktop") == 0) {
      found.push_back(entry);
    }
  }
  return found;
}

// --- FileExists -----------------------------------------------------------------------

TEST(FileExistsTest, FindsFilesAndFoldersButNotMissingOrEmptyNames) {
  TempFolder folder("fileexists");
  ASSERT_TRUE(WriteFileBytes(folder / "Quillon_Widget.zip", "PK"));
  ASSERT_TRUE(::CreateDirectoryA((folder / "sub").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(folder / "위젯.txt", "x"));
  CSetupUtil util;

  EXPECT_EQ(1, util.FileExists(folder / "Quillon_Widget.zip"));
  EXPECT_EQ(1, util.FileExists(folder / "sub"));
  EXPECT_EQ(1, util.FileExists(folder / "위젯.txt"));
  EXPECT_EQ(0, util.FileExists(folder / "missing.zip"));
  EXPECT_EQ(0, util.FileExists(folder / "missing\\Quillon_Widget.zip"));
  EXPECT_EQ(0, util.FileExists(""));
}

TEST(FileExistsTest, WildcardsActAsInAFindFirstSearch) {
  TempFolder folder("fileexists");
  ASSERT_TRUE(WriteFileBytes(folder / "a.txt", "x"));
  CSetupUtil util;

  EXPECT_EQ(1, util.FileExists(folder / "*.txt"));
  EXPECT_EQ(1, util.FileExists(folder / "?.txt"));
  EXPECT_EQ(0, util.FileExists(folder / "*.zip"));
}

// A handle made and closed at once: the slot that the process's next handle takes.
HANDLE NextHandleSlot() {
  winfx::ScopedHandle probe(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
  return probe.Get();
}

TEST(FileExistsTest, LeavesNoSearchOpen) {
  TempFolder folder("fileexists");
  ASSERT_TRUE(WriteFileBytes(folder / "a.txt", "x"));
  CSetupUtil util;
  // Every search closed again means the next handle takes the same slot as before.
  HANDLE before = NextHandleSlot();
  for (int i = 0; i < 50; ++i) {
    util.FileExists(folder / "a.txt");
    util.FileExists(folder / "*");
  }
  EXPECT_EQ(before, NextHandleSlot());
}

// --- CreateShortcut -------------------------------------------------------------------

// Each test leaves the three places as it found them.
class CreateShortcutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& folder : places_.All()) before_.push_back(ListTree(folder));
    quickLaunchExisted_ = IsFolder(places_.quickLaunch);
  }
  void TearDown() override {
    std::vector<std::vector<std::string>> after;
    for (const std::string& folder : places_.All()) after.push_back(ListTree(folder));
    EXPECT_EQ(before_, after);
    EXPECT_EQ(quickLaunchExisted_, IsFolder(places_.quickLaunch));
  }

  Places places_;
  // Whoever left the widget's link there, each test starts without it.
  LinkCleanup widgetLink_{kWidgetLink};
  std::vector<std::vector<std::string>> before_;
  bool quickLaunchExisted_ = false;
  CSetupUtil util_;
};

TEST_F(CreateShortcutTest, WidgetCallWritesOnlyTheDesktopLink) {
  FolderForTest quickLaunch(places_.quickLaunch);
  LinkCleanup cleanup(kWidgetLink);
  util_.CreateShortcut(kWidgetTarget, kWidgetLink, kWidgetDescription, 1, 0, 0, 1);

  std::vector<std::string> desktop = ListTree(places_.desktop);
  std::vector<std::string> added;
  std::set_difference(desktop.begin(), desktop.end(), before_[0].begin(), before_[0].end(),
                      std::back_inserter(added));
  EXPECT_EQ(std::vector<std::string>{"Quillon위젯.lnk"}, added);
  EXPECT_EQ(before_[1], ListTree(places_.quickLaunch));
  EXPECT_EQ(before_[2], ListTree(places_.programs));

  LinkFields link = ReadLink(places_.desktop + kWidgetLink);
  ASSERT_TRUE(link.loaded);
  EXPECT_EQ(kWidgetTarget, link.target);
  EXPECT_EQ("", link.arguments);
  EXPECT_EQ(kWidgetDescription, link.description);
  EXPECT_EQ("C:\\QuillonWidget\\", link.workingFolder);
}

TEST_F(CreateShortcutTest, EveryFlaggedPlaceGetsTheSameLink) {
  const std::string name = "\\Quillon test all places.lnk";
  FolderForTest quickLaunch(places_.quickLaunch);
  LinkCleanup cleanup(name);

  util_.CreateShortcut("C:\\Program Files\\Quillon\\bin\\Widget.exe", name, "all", 1, 1, 1, 0);

  for (const std::string& folder : places_.All()) {
    LinkFields link = ReadLink(folder + name);
    ASSERT_TRUE(link.loaded) << folder;
    EXPECT_EQ("C:\\Program Files\\Quillon\\bin\\Widget.exe", link.target);
    EXPECT_EQ("C:\\Program Files\\Quillon\\bin\\", link.workingFolder);
    EXPECT_EQ("all", link.description);
  }
  EXPECT_EQ(std::vector<std::string>{}, DesktopEntriesUnderHome());
}

TEST_F(CreateShortcutTest, OverwriteReplacesAnExistingLink) {
  LinkCleanup cleanup(kWidgetLink);
  const std::string path = places_.desktop + kWidgetLink;
  ASSERT_TRUE(WriteFileBytes(path, "an old file, not a link"));

  util_.CreateShortcut(kWidgetTarget, kWidgetLink, kWidgetDescription, 1, 0, 0, 1);

  LinkFields link = ReadLink(path);
  ASSERT_TRUE(link.loaded);
  EXPECT_EQ(kWidgetTarget, link.target);
}

TEST_F(CreateShortcutTest, WithoutOverwriteExistingLinksAreLeftAlone) {
  const std::string name = "\\Quillon test keep.lnk";
  FolderForTest quickLaunch(places_.quickLaunch);
  LinkCleanup cleanup(name);
  const std::string old = "an old file, not a link";

  // Present in every flagged place: nothing is touched.
  ASSERT_TRUE(WriteFileBytes(places_.desktop + name, old));
  ASSERT_TRUE(WriteFileBytes(places_.programs + name, old));
  util_.CreateShortcut(kWidgetTarget, name, "keep", 1, 0, 1, 0);
  EXPECT_EQ(old, ReadFileBytes(places_.desktop + name));
  EXPECT_EQ(old, ReadFileBytes(places_.programs + name));
  EXPECT_FALSE(PathExists(places_.quickLaunch + name));

  // Present in one of them: only the other gets the link.
  ASSERT_TRUE(::DeleteFileA((places_.programs + name).c_str()));
  util_.CreateShortcut(kWidgetTarget, name, "keep", 1, 0, 1, 0);
  EXPECT_EQ(old, ReadFileBytes(places_.desktop + name));
  EXPECT_EQ(kWidgetTarget, ReadLink(places_.programs + name).target);
}

TEST_F(CreateShortcutTest, APlaceWhoseLinkPathDoesNotFitMaxPathGetsNothing) {
  FolderForTest quickLaunch(places_.quickLaunch);
  // The longest name that still fits on the desktop: 259 characters and the terminator.
  const size_t fitting = MAX_PATH - 1 - places_.desktop.size();
  const std::string longest = "\\" + std::string(fitting - 5, 'q') + ".lnk";
  const std::string tooLong = "\\" + std::string(fitting - 4, 'q') + ".lnk";
  const std::string farTooLong = "\\" + std::string(400, 'q') + ".lnk";
  LinkCleanup cleanLongest(longest), cleanTooLong(tooLong), cleanFarTooLong(farTooLong);
  std::vector<std::string> quickLaunchBefore = ListTree(places_.quickLaunch);

  util_.CreateShortcut(kWidgetTarget, longest, "long", 1, 1, 0, 1);
  EXPECT_EQ(kWidgetTarget, ReadLink(places_.desktop + longest).target);
  EXPECT_EQ(quickLaunchBefore, ListTree(places_.quickLaunch));
  EXPECT_FALSE(ExistsWide(places_.quickLaunch + longest));

  util_.CreateShortcut(kWidgetTarget, tooLong, "long", 1, 1, 1, 1);
  util_.CreateShortcut(kWidgetTarget, farTooLong, "long", 1, 1, 1, 1);
  for (const std::string& folder : places_.All()) {
    EXPECT_FALSE(ExistsWide(folder + tooLong)) << folder;
    EXPECT_FALSE(ExistsWide(folder + farTooLong)) << folder;
  }
}

TEST_F(CreateShortcutTest, KoreanLinkNamesLandWithTheirUtf16Names) {
  struct Case {
    const char* ansi;
    const wchar_t* wide;
  };
  const Case cases[] = {
      {"\\Quillon위젯.lnk", L"Quillon위젯.lnk"},
      {"\\퀼론 위젯 바로가기.lnk", L"퀼론 위젯 바로가기.lnk"},
  };
  wchar_t desktop[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_DESKTOP, nullptr, 0, desktop)));
  for (const Case& c : cases) {
    LinkCleanup cleanup(c.ansi);
    util_.CreateShortcut(kWidgetTarget, c.ansi, "위젯 설명", 1, 0, 0, 1);

    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((std::wstring(desktop) + L"\\" + c.wide).c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search) << c.ansi;
    ::FindClose(search);
    EXPECT_EQ(std::wstring(c.wide), found.cFileName);
    EXPECT_EQ("위젯 설명", ReadLink(places_.desktop + c.ansi).description);
  }
}

// Points the user's application data folder at a folder that does not exist for the
// test's length, so the shell cannot resolve it.
class UnresolvableAppData {
 public:
  UnresolvableAppData() {
    ::RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key_);
    savedOk_ = ::RegQueryValueExA(key_, "AppData", nullptr, &type_,
                                  reinterpret_cast<BYTE*>(saved_), &savedSize_) == ERROR_SUCCESS;
    const char missing[] = "C:\\quillon-tests\\no such application data";
    if (savedOk_) {
      ::RegSetValueExA(key_, "AppData", 0, REG_EXPAND_SZ,
                       reinterpret_cast<const BYTE*>(missing), sizeof(missing));
    }
  }
  ~UnresolvableAppData() {
    if (savedOk_) {
      ::RegSetValueExA(key_, "AppData", 0, type_, reinterpret_cast<const BYTE*>(saved_),
                       savedSize_);
    }
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  bool Ok() const { return savedOk_; }

 private:
  static constexpr char kKey[] =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  HKEY key_ = nullptr;
  DWORD type_ = REG_EXPAND_SZ;
  char saved_[MAX_PATH] = {};
  DWORD savedSize_ = sizeof(saved_);
  bool savedOk_ = false;
};

TEST_F(CreateShortcutTest, AnUnresolvableFolderMeansNoLinkAnywhere) {
  LinkCleanup cleanup(kWidgetLink);
  {
    UnresolvableAppData appData;
    ASSERT_TRUE(appData.Ok());
    char path[MAX_PATH];
    ASSERT_TRUE(FAILED(::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, path)));

    util_.CreateShortcut(kWidgetTarget, kWidgetLink, kWidgetDescription, 1, 0, 0, 1);
  }
  EXPECT_FALSE(PathExists(places_.desktop + kWidgetLink));
  EXPECT_EQ(ShellFolder(CSIDL_APPDATA) + "\\Microsoft\\Internet Explorer\\Quick Launch",
            places_.quickLaunch);
}

}  // namespace
