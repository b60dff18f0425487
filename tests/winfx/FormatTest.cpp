// winfx::Format: printf-style text of any length, through the C runtime's formatter.
#include <gtest/gtest.h>

#include <string>

#include "winfx/Format.h"

namespace {

using winfx::Format;

TEST(FormatTest, NumbersAndTextAsTheLogLinesUseThem) {
  EXPECT_EQ("[2026/01/05 09:03:07] ", Format("[%04d/%02d/%02d %02d:%02d:%02d] ", 2026, 1, 5, 9,
                                             3, 7));
  EXPECT_EQ("UNSUPPORTED_METHOD 4294967295", Format("UNSUPPORTED_METHOD %lu", 0xFFFFFFFFul));
  EXPECT_EQ("err : -5", Format("err : %d", -5));
  // Code page 949 bytes pass through unchanged, and a percent sign in an argument stays.
  EXPECT_EQ("[unzip] 폴더생성 실패. C:\\위젯 100%", Format("[unzip] 폴더생성 실패. %s", "C:\\위젯 100%"));
  EXPECT_EQ("", Format("%s", ""));
}

TEST(FormatTest, ALongResultArrivesWhole) {
  // Longer than any buffer of a fixed size the formatter might use inside.
  const std::string path(70000, 'x');
  const std::string text = Format("<%s|%d>", path.c_str(), 42);
  ASSERT_EQ(path.size() + 5, text.size());
  EXPECT_EQ('<', text.front());
  EXPECT_EQ(path, text.substr(1, path.size()));
  EXPECT_EQ("|42>", text.substr(path.size() + 1));
}

}  // namespace
