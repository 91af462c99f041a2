// Dotted versions: parsing, numeric comparison and printing.
#include <gtest/gtest.h>

#include "version.h"

TEST(Version, ParseAndPrint) {
  const struct {
    const char* text;
    std::vector<uint32_t> components;
    const char* printed;
  } rows[] = {
      {"1.4.12.0", {1, 4, 12, 0}, "1.4.12.0"},
      {"", {0}, "0"},
      {"1..3", {1, 0, 3}, "1.0.3"},
      {"1.2.", {1, 2, 0}, "1.2.0"},
      {"abc.def", {0, 0}, "0.0"},
      {"1.-1", {1, 4294967295u}, "1.-1"},
      {"2a.3 ", {2, 3}, "2.3"},
      {"1.99999999999", {1, 2147483647u}, "1.2147483647"},  // saturated when read
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string("\"") + r.text + "\"");
    EXPECT_EQ(Version(r.text).components(), r.components);
    EXPECT_EQ(Version(r.text).ToString(), r.printed);
    std::vector<int32_t> parsed = {99};  // appended after what it held
    EXPECT_TRUE(ParseVersionString(r.text, &parsed));
    EXPECT_EQ(parsed.size(), r.components.size() + 1);
  }
  EXPECT_EQ(Version().ToString(), "");
}

TEST(Version, CompareTable) {
  const std::string kNone = "<none>";  // the default-constructed version
  const struct {
    std::string a, b;
    int result;
  } rows[] = {
      {"1.2", "1.2.0.0", 0},        {"1.2", "1.2.0.1", -1},          {"1.10", "1.9", 1},
      {"2.0.0.0", "1.99.99.99", 1}, {"1.-1", "1.2147483647", 1},     {kNone, "0", 0},
      {kNone, "0.0.0.1", -1},       {"10", "9.99", 1},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.a + " vs " + r.b);
    const Version a = r.a == kNone ? Version() : Version(r.a);
    const Version b = r.b == kNone ? Version() : Version(r.b);
    EXPECT_EQ(a.Compare(b), r.result);
    EXPECT_EQ(b.Compare(a), -r.result);
    EXPECT_EQ(a < b, r.result < 0);
  }
}
