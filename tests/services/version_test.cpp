// Dotted versions: parsing, numeric comparison and printing.
#include <gtest/gtest.h>

#include "version.h"

TEST(Version, Parse) {
  const struct {
    const char* text;
    std::vector<uint32_t> components;
  } rows[] = {
      {"1.4.12.0", {1, 4, 12, 0}},
      {"", {0}},
      {"0", {0}},
      {"1..3", {1, 0, 3}},
      {"1.2.", {1, 2, 0}},
      {".5", {0, 5}},
      {"abc.def.ghi.jkl", {0, 0, 0, 0}},
      {"01.002", {1, 2}},
      {"1.-1", {1, 4294967295u}},
      {"2a.3 ", {2, 3}},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(Version(r.text).components(), r.components) << "\"" << r.text << "\"";
    std::vector<int32_t> parsed = {99};
    EXPECT_TRUE(ParseVersionString(r.text, &parsed));
    // Appended after what the sequence held.
    ASSERT_EQ(parsed.size(), r.components.size() + 1);
    EXPECT_EQ(parsed[0], 99);
  }
  EXPECT_TRUE(Version().components().empty());
}

TEST(Version, CompareTable) {
  const std::string kNone = "<none>";  // the default-constructed version
  const struct {
    std::string a, b;
    int result;
  } rows[] = {
      {"1.2", "1.2.0", 0},
      {"1.2", "1.2.0.0", 0},
      {"1.2", "1.2.0.1", -1},
      {"1.2.0.1", "1.2", 1},
      {"1.10", "1.9", 1},
      {"1.10.0.0", "1.9.0.0", 1},
      {"2.0.0.0", "1.99.99.99", 1},
      {"1.4.12.0", "1.4.12.0", 0},
      {"3.1", "3.1.0", 0},
      {"1.-1", "1.5", 1},
      {"1.-1", "1.2147483647", 1},
      {"1.-2147483648", "1.2147483647", 1},
      // Out-of-range pieces saturate when read.
      {"1.99999999999", "1.2147483647", 0},
      {"", "0", 0},
      {kNone, "0", 0},
      {kNone, "", 0},
      {kNone, kNone, 0},
      {kNone, "0.0.0.1", -1},
      {"0.0.1", kNone, 1},
      {"abc.def.ghi.jkl", "0", 0},
      {"0.1", "0", 1},
      {"10", "9.99", 1},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.a + " vs " + r.b);
    const Version a = r.a == kNone ? Version() : Version(r.a);
    const Version b = r.b == kNone ? Version() : Version(r.b);
    EXPECT_EQ(a.Compare(b), r.result);
    EXPECT_EQ(b.Compare(a), -r.result);
    EXPECT_EQ(a < b, r.result < 0);
    EXPECT_EQ(a > b, r.result > 0);
    EXPECT_EQ(b < a, r.result > 0);
    EXPECT_EQ(b > a, r.result < 0);
  }
}

TEST(Version, ToString) {
  const struct {
    const char* text;
    const char* printed;
  } rows[] = {
      {"1.4.12.0", "1.4.12.0"}, {"01.002", "1.2"}, {"1..3", "1.0.3"},  {"1.-1", "1.-1"},
      {"1.99999999999", "1.2147483647"}, {"", "0"},         {"1.2.", "1.2.0"}, {"7", "7"},
  };
  for (const auto& r : rows) EXPECT_EQ(Version(r.text).ToString(), r.printed) << r.text;
  EXPECT_EQ(Version().ToString(), "");
}

TEST(Version, CopiesAreIndependent) {
  Version a("1.2.3");
  Version b = a;
  a = Version("9");
  EXPECT_EQ(b.ToString(), "1.2.3");
  EXPECT_EQ(a.ToString(), "9");
}
