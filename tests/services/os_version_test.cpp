// The Windows 7 floor. (This machine's reading starts every end-to-end run and
// names the sheet's title.)
#include <gtest/gtest.h>

#include "os_version.h"

TEST(OsVersion, Windows7Floor) {
  const struct { unsigned major, minor; bool accepted; } rows[] = {
      {5, 2, false}, {6, 0, false}, {6, 1, true}, {12, 0, true}};
  for (const auto& r : rows)
    EXPECT_EQ(IsWindows7OrLater(r.major, r.minor), r.accepted) << r.major << "." << r.minor;
}

