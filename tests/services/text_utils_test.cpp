// Number from text and the office-code rule. (Splitting, case mapping and
// replacement are read through the switches, paths and configuration the
// end-to-end stories check.)
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

// The refusals a user meets are seen end to end; here the bytes that page
// cannot type.
TEST(TextUtils, IsValidOfficeNumber) {
  for (const char* good : {"7", "01230"}) EXPECT_TRUE(IsValidOfficeNumber(good));
  for (const char* bad : {"00000", "000001", "-1", " 12", "\xB2"})
    EXPECT_FALSE(IsValidOfficeNumber(bad)) << "\"" << bad << "\"";
}
