// The program's text border: code page 949 and UTF-16 whatever the system's ANSI code page
// (the suite runs these under 1252 too), and the kinds of the application's boxes.
#include <gtest/gtest.h>

#include "winfx/MessageBox.h"
#include "winfx/WidePath.h"

namespace {

TEST(TextTest, KoreanTextConvertsAsCodePage949UnderAnyAnsiCodePage) {
  RecordProperty("ansi_code_page", static_cast<int>(::GetACP()));
  // "설치" in code page 949, byte by byte, and back.
  const std::string korean = "\xBC\xB3\xC4\xA1";
  EXPECT_TRUE(winfx::ToWide(korean) == L"설치");
  bool exact = false;
  EXPECT_EQ(korean, winfx::ToAnsi(L"설치", &exact));
  EXPECT_TRUE(exact);
  EXPECT_TRUE(winfx::WidePath("C:\\위젯") == L"C:\\위젯");
}

TEST(TextTest, ACharacterWithoutA949FormIsShownAsAQuestionMarkAndToldSo) {
  bool exact = true;
  EXPECT_EQ("C:\\?", winfx::ToAnsi(L"C:\\\u8BF4", &exact));
  EXPECT_FALSE(exact);
  EXPECT_EQ("a?b", winfx::ToShownAnsi(L"a\u8BF4b"));
}

TEST(TextTest, OnlyTheApplicationsOkBoxesWithoutAnIconGetTheExclamation) {
  EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), winfx::AppMessageBoxType(MB_OK));
  EXPECT_EQ(static_cast<UINT>(MB_OKCANCEL | MB_ICONEXCLAMATION), winfx::AppMessageBoxType(MB_OKCANCEL));
  EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), winfx::AppMessageBoxType(MB_OK | MB_ICONINFORMATION));
  EXPECT_EQ(static_cast<UINT>(MB_YESNO), winfx::AppMessageBoxType(MB_YESNO));
}

}  // namespace
