// Number from text, splitting, case mapping, first-occurrence replacement and
// the office-code rule.
#include <gtest/gtest.h>

#include <climits>

#include "text_utils.h"

TEST(TextUtils, StringToInt) {
  const struct { const char* text; int value; } rows[] = {
      {"\t\r\n 42", 42}, {"+7", 7}, {"12abc", 12}, {"abc", 0}, {"+-3", 0},
      {"2147483648", INT_MAX}, {"-2147483649", INT_MIN},
      {"99999999999999999999999999", INT_MAX},  // saturated, however many digits follow
      {"-99999999999999999999999999", INT_MIN},
  };
  for (const auto& r : rows) EXPECT_EQ(StringToInt(r.text), r.value) << "\"" << r.text << "\"";
}

TEST(TextUtils, SplitStringInto) {
  const struct { std::string text, delimiters; std::vector<std::string> pieces; } rows[] = {
      {"/UP/DEV", "/", {"", "UP", "DEV"}}, {"a,", ",", {"a", ""}}, {"a,b", "", {"a,b"}},
      {"a;b,c d", ",; ", {"a", "b", "c", "d"}},
      // Bytes above 0x7F are delimiters like any other, and only when listed.
      {"a\xF9" "b\xE8" "c", "\xF9", {"a", "b\xE8" "c"}},
  };
  for (const auto& r : rows) {
    std::vector<std::string> into = {"old", "pieces", "left", "over"};
    SplitStringInto(r.text, r.delimiters, into);
    EXPECT_EQ(into, r.pieces) << "\"" << r.text << "\" at \"" << r.delimiters << "\"";
  }
}

TEST(TextUtils, CaseMappingTouchesOnlyAsciiLetters) {
  // Accented letters of the code page (ù, È), other high bytes, NUL and the
  // neighbours of the letter ranges stay.
  EXPECT_EQ(ToUpper(std::string("cx/abz@[`{\xF9\xC8\0", 13)),
            std::string("CX/ABZ@[`{\xF9\xC8\0", 13));
  EXPECT_EQ(ToLower("C:\\Zan AZ@[`{\xF9\xC8\xFF"), "c:\\zan az@[`{\xF9\xC8\xFF");
}

TEST(TextUtils, ReplaceString) {
  const struct {
    std::string text, from, to;
    bool found;
    std::string out;
  } rows[] = {
      {"%\\home\\%", "%", "C:\\ZAN", true, "C:\\ZAN\\home\\%"}, {"Abc", "a", "z", false, "Abc"},
  };
  for (const auto& r : rows) {
    std::string out = "stale", inPlace = r.text;  // in place: the text is its own output
    EXPECT_EQ(ReplaceString(r.text, r.from, r.to, &out), r.found) << r.text;
    EXPECT_EQ(ReplaceString(inPlace, r.from, r.to, &inPlace), r.found) << r.text;
    EXPECT_EQ(out + "|" + inPlace, r.out + "|" + r.out) << r.text << " / " << r.from;
  }
}

// The refusals a user meets are seen end to end; here the bytes that page
// cannot type.
TEST(TextUtils, IsValidOfficeNumber) {
  for (const char* good : {"7", "01230"}) EXPECT_TRUE(IsValidOfficeNumber(good));
  for (const char* bad : {"00000", "000001", "-1", " 12", "\xB2"})
    EXPECT_FALSE(IsValidOfficeNumber(bad)) << "\"" << bad << "\"";
}
