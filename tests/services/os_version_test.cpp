// The Windows 7 floor, and this machine's reading (the display name is only logged).
#include <gtest/gtest.h>

#include "os_version.h"

TEST(OsVersion, Windows7Floor) {
  const struct { unsigned major, minor; bool accepted; } rows[] = {
      {5, 2, false}, {6, 0, false}, {6, 1, true}, {12, 0, true}};
  for (const auto& r : rows)
    EXPECT_EQ(IsWindows7OrLater(r.major, r.minor), r.accepted) << r.major << "." << r.minor;
}

TEST(OsVersion, ReadsThisMachine) {
  COSVersion os;
  EXPECT_GE(os.GetMajor(), 6);
  EXPECT_TRUE(IsWindows7OrLater(os.GetMajor(), os.GetMinor()));
  const std::string name = os.GetName();
  EXPECT_EQ(name.rfind("Microsoft Windows ", 0), 0u) << name;
  EXPECT_NE(name.find("-bit"), std::string::npos) << name;
}
