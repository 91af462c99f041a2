// Number <-> text, splitting, case mapping, first-occurrence replacement and
// the office-code rule.
#include <gtest/gtest.h>

#include <climits>

#include "text_utils.h"

using Pieces = std::vector<std::string>;

TEST(TextUtils, IntToString) {
  EXPECT_EQ(IntToString(0), "0");
  EXPECT_EQ(IntToString(42), "42");
  EXPECT_EQ(IntToString(-5), "-5");
  EXPECT_EQ(IntToString(INT_MIN), "-2147483648");
  EXPECT_EQ(IntToString(INT_MAX), "2147483647");
}

TEST(TextUtils, StringToInt) {
  const struct {
    const char* text;
    int value;
  } rows[] = {
      {"42", 42},
      {"  42", 42},
      {"\t\r\n42", 42},
      {"-5", -5},
      {"+7", 7},
      {"12abc", 12},
      {"1.5", 1},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"+-3", 0},
      {"- 3", 0},
      {"0x10", 0},
      {"007", 7},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
      // Out of range: saturated, however many digits follow.
      {"2147483648", INT_MAX},
      {"-2147483649", INT_MIN},
      {"99999999999999999999999999", INT_MAX},
      {"-99999999999999999999999999", INT_MIN},
      {"4294967295", INT_MAX},
  };
  for (const auto& r : rows) EXPECT_EQ(StringToInt(r.text), r.value) << "\"" << r.text << "\"";
}

TEST(TextUtils, SplitString) {
  const struct {
    std::string text, delimiters;
    Pieces pieces;
  } rows[] = {
      {"1.2.3.4", ".", {"1", "2", "3", "4"}},
      {"/UP/DEV", "/", {"", "UP", "DEV"}},
      {"a,,b", ",", {"a", "", "b"}},
      {"a,", ",", {"a", ""}},
      {"", ",", {""}},
      {",", ",", {"", ""}},
      {"a,b", "", {"a,b"}},
      {"a;b,c d", ",; ", {"a", "b", "c", "d"}},
      {"no delimiter", ",", {"no delimiter"}},
      // Bytes above 0x7F are delimiters like any other, and only when listed.
      {"a\xF9" "b\xE8" "c", "\xF9", {"a", "b\xE8" "c"}},
      {"x\xFFy", "\xFF", {"x", "y"}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE("\"" + r.text + "\" at \"" + r.delimiters + "\"");
    EXPECT_EQ(SplitString(r.text, r.delimiters), r.pieces);
    Pieces into = {"old", "pieces", "left", "over"};
    SplitStringInto(r.text, r.delimiters, into);
    EXPECT_EQ(into, r.pieces);
  }
}

TEST(TextUtils, CaseMappingTouchesOnlyAsciiLetters) {
  EXPECT_EQ(ToUpper("cx/abz"), "CX/ABZ");
  EXPECT_EQ(ToLower("C:\\Zan AZ"), "c:\\zan az");
  // Accented letters of the code page (ù, È) and other high bytes stay.
  const std::string accented = "\xF9\xC8\xE0\xFF";
  EXPECT_EQ(ToUpper("u" + accented), "U" + accented);
  EXPECT_EQ(ToLower("U" + accented), "u" + accented);
  EXPECT_EQ(ToUpper(std::string("a\0b", 3)), std::string("A\0B", 3));
  EXPECT_EQ(ToLower("@[`{"), "@[`{");
  EXPECT_EQ(ToUpper("@[`{"), "@[`{");
}

TEST(TextUtils, ReplaceString) {
  const struct {
    std::string text, from, to;
    bool found;
    std::string out;
  } rows[] = {
      {"%\\home\\%", "%", "C:\\ZAN", true, "C:\\ZAN\\home\\%"},
      {"abc", "", "X", true, "Xabc"},
      {"", "", "X", true, "X"},
      {"abc", "d", "X", false, "abc"},
      {"ab", "abc", "X", false, "ab"},
      {"aXa", "X", "", true, "aa"},
      {"Abc", "a", "z", false, "Abc"},
      {"abcabc", "bc", "BCD", true, "aBCDabc"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text + " / " + r.from);
    std::string out = "stale";
    EXPECT_EQ(ReplaceString(r.text, r.from, r.to, &out), r.found);
    EXPECT_EQ(out, r.out);
    // In place: the text is its own output.
    std::string inPlace = r.text;
    EXPECT_EQ(ReplaceString(inPlace, r.from, r.to, &inPlace), r.found);
    EXPECT_EQ(inPlace, r.out);
  }
}

TEST(TextUtils, IsValidOfficeNumber) {
  for (const char* valid : {"7", "00007", "99999", "1", "10", "01230", "00100"})
    EXPECT_TRUE(IsValidOfficeNumber(valid)) << valid;
  for (const char* invalid :
       {"", "0", "00", "00000", "123456", "000001", "-1", "+12", "12a", " 12", "1 2", "12 ",
        "a", "\xB2", "1.0"})
    EXPECT_FALSE(IsValidOfficeNumber(invalid)) << "\"" << invalid << "\"";
}
