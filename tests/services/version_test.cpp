// Dotted versions: lenient parsing, numeric comparison and printing.
#include <gtest/gtest.h>

#include "version.h"

TEST(Version, ParseAndPrint) {
  const std::pair<const char*, const char*> rows[] = {
      {"1.4.12.0", "1.4.12.0"}, {"", "0"},         {"1..3", "1.0.3"},
      {"1.2.", "1.2.0"},        {"abc.def", "0.0"}, {"1.-1", "1.-1"},
  };
  for (const auto& r : rows) EXPECT_EQ(Version(r.first).ToString(), r.second) << r.first;
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
