// Entry-name checks, judged as the ANSI functions of a Korean Windows read the names.
#include "archive/ZipEntryName.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  std::string name;
  ZipEntryNameKind kind;
};

void ExpectKinds(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(c.kind, ClassifyZipEntryName(c.name)) << "name: " << c.name;
  }
}

TEST(ZipEntryNameTest, PlainRelativeNamesAreFilesOrFolders) {
  ExpectKinds({
      {"a.txt", ZipEntryNameKind::kFile},
      {"docs\\a.txt", ZipEntryNameKind::kFile},
      {"docs\\", ZipEntryNameKind::kFolder},
      {"한글폴더\\설명서.txt", ZipEntryNameKind::kFile},
      {" lead blank\\x.y.z", ZipEntryNameKind::kFile},
      {"..a\\b..c\\.hidden", ZipEntryNameKind::kFile},
      // Close to device names, but none of them.
      {"CONSOLE.txt", ZipEntryNameKind::kFile},
      {"COM10", ZipEntryNameKind::kFile},
      {"LPT", ZipEntryNameKind::kFile},
      {"NULL\\nul_.txt", ZipEntryNameKind::kFile},
      {"xCON.txt", ZipEntryNameKind::kFile},
  });
  EXPECT_EQ("a\\b\\c\\", ToWindowsSeparators("a/b/c/"));
}

TEST(ZipEntryNameTest, NamesThatWouldLeaveTheFolderAreRefused) {
  ExpectKinds({
      {"..", ZipEntryNameKind::kLeavesFolder},
      {"..\\", ZipEntryNameKind::kLeavesFolder},
      {"..\\evil.txt", ZipEntryNameKind::kLeavesFolder},
      {"a\\..\\..\\evil.txt", ZipEntryNameKind::kLeavesFolder},
      {"a\\b\\..", ZipEntryNameKind::kLeavesFolder},
      {"\\evil.txt", ZipEntryNameKind::kLeavesFolder},
      {"\\\\server\\share\\evil.txt", ZipEntryNameKind::kLeavesFolder},
      {"C:\\evil.txt", ZipEntryNameKind::kLeavesFolder},
      {"C:evil.txt", ZipEntryNameKind::kLeavesFolder},
      {"host.txt:evil", ZipEntryNameKind::kLeavesFolder},
      {"host.txt::$DATA", ZipEntryNameKind::kLeavesFolder},
  });
}

TEST(ZipEntryNameTest, NamesWindowsWouldReadAsSomethingElseAreRefused) {
  ExpectKinds({
      {"", ZipEntryNameKind::kNotPlainName},
      {"CON", ZipEntryNameKind::kNotPlainName},
      {"con.txt", ZipEntryNameKind::kNotPlainName},
      {"Prn.a.b", ZipEntryNameKind::kNotPlainName},
      {"AUX .txt", ZipEntryNameKind::kNotPlainName},
      {"docs\\nul\\a.txt", ZipEntryNameKind::kNotPlainName},
      {"COM1.log", ZipEntryNameKind::kNotPlainName},
      {"com9", ZipEntryNameKind::kNotPlainName},
      {"LPT1\\", ZipEntryNameKind::kNotPlainName},
      {"lpt5.tar.gz", ZipEntryNameKind::kNotPlainName},
      {"CONOUT$", ZipEntryNameKind::kNotPlainName},
      {"COM\xA9\xF6.txt", ZipEntryNameKind::kNotPlainName},  // COM with superscript one
      {"a<b", ZipEntryNameKind::kNotPlainName},
      {"a>b", ZipEntryNameKind::kNotPlainName},
      {"a\"b", ZipEntryNameKind::kNotPlainName},
      {"a|b", ZipEntryNameKind::kNotPlainName},
      {"a?b", ZipEntryNameKind::kNotPlainName},
      {"a*b", ZipEntryNameKind::kNotPlainName},
      {"tab\tname", ZipEntryNameKind::kNotPlainName},
      {std::string("a\0b", 3), ZipEntryNameKind::kNotPlainName},
      {"dot.", ZipEntryNameKind::kNotPlainName},
      {"blank ", ZipEntryNameKind::kNotPlainName},
      {"dir.\\x.txt", ZipEntryNameKind::kNotPlainName},
      {".\\x.txt", ZipEntryNameKind::kNotPlainName},
      {"a\\\\b.txt", ZipEntryNameKind::kNotPlainName},
      {"docs\\\\", ZipEntryNameKind::kNotPlainName},
      // Not text in code page 949: a bad lead byte, and a lead byte that would swallow the
      // separator after it.
      {"\xFF\xFE.txt", ZipEntryNameKind::kNotPlainName},
      {"a\xB0\\b.txt", ZipEntryNameKind::kNotPlainName},
  });
}

}  // namespace
