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

// The stored name decoded by the entry's flag and extra field, then judged as above.
TEST(ZipEntryNameTest, NamesAreDecodedByTheirFlagThenTheUnicodePathFieldThenCodePage949) {
  winfx::WideString name;
  const std::string chinese = u8"\u8BF4\u660E/a.txt";
  EXPECT_EQ(ZipEntryNameKind::kFile, DecodeZipEntryName(chinese, kZipFlagUtf8Name, "", &name));
  EXPECT_TRUE(name == L"\u8BF4\u660E\\a.txt");
  // Without the flag the same bytes are code page 949: other characters.
  EXPECT_EQ(ZipEntryNameKind::kFile, DecodeZipEntryName(chinese, 0, "", &name));
  EXPECT_FALSE(name == L"\u8BF4\u660E\\a.txt");
  EXPECT_EQ(ZipEntryNameKind::kFile, DecodeZipEntryName("한글.txt", 0, "", &name));
  EXPECT_TRUE(name == L"\uD55C\uAE00.txt");
  // Invalid UTF-8 under the flag, an overlong "/" among it.
  for (const char* bytes : {"bad\x80.txt", "a\xC0\xAF..\xC0\xAF" "evil.txt", "\xED\xA0\x80.txt"}) {
    EXPECT_EQ(ZipEntryNameKind::kNotPlainName, DecodeZipEntryName(bytes, kZipFlagUtf8Name, "", &name))
        << bytes;
  }

  // Info-ZIP's Unicode Path field (id 0x7075, size, version 1, CRC-32 of "x.txt", UTF-8).
  const std::string crc = "\x49\x02\x1B\xAC";  // crc32("x.txt"), little-endian
  const std::string utf8 = u8"\u4E16\u754C.txt";
  const auto field = [&](char version, const std::string& sum) {
    return std::string("\x75\x70", 2) + static_cast<char>(5 + utf8.size()) + '\0' + version + sum + utf8;
  };
  const std::string other = std::string("\x0A\x00\x04\x00" "abcd", 8);  // another field first
  EXPECT_EQ(ZipEntryNameKind::kFile, DecodeZipEntryName("x.txt", 0, other + field(1, crc), &name));
  EXPECT_TRUE(name == L"\u4E16\u754C.txt");
  for (const std::string& ignored : {field(1, "\x4A\x02\x1B\xAC"), field(2, crc), field(1, crc).substr(0, 9)}) {
    EXPECT_EQ(ZipEntryNameKind::kFile, DecodeZipEntryName("x.txt", 0, ignored, &name));
    EXPECT_TRUE(name == L"x.txt");
  }
}

// Look-alikes stay what they are; halves of characters and Wine's private-use stand-ins
// of forbidden characters are refused.
TEST(ZipEntryNameTest, WideNamesAreJudgedAsTheWideFunctionsSeeThem) {
  EXPECT_EQ(ZipEntryNameKind::kFile, ClassifyZipEntryName(winfx::WideString(L"\uFF0E\uFF0E\\evil.txt")));
  EXPECT_EQ(ZipEntryNameKind::kFile, ClassifyZipEntryName(winfx::WideString(L"a\uFF3C..\uFF3Cevil.txt")));
  EXPECT_EQ(ZipEntryNameKind::kFile, ClassifyZipEntryName(winfx::WideString(L"\U0001F600.txt")));
  EXPECT_EQ(ZipEntryNameKind::kLeavesFolder, ClassifyZipEntryName(winfx::WideString(L"a\\..\\evil.txt")));
  for (const wchar_t* name : {L"a\xD800.txt", L"\xDC00.txt", L"a\uF02F..\uF02Fevil.txt", L"CON.\u8BF4",
                              L"\u8BF4."}) {
    EXPECT_EQ(ZipEntryNameKind::kNotPlainName, ClassifyZipEntryName(winfx::WideString(name)));
  }
}
