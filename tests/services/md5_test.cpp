// MD5 of texts and files against digests that the fixture computed with
// Python's hashlib, for lengths around the block, padding and read edges.
// fixtures: desktopapp_tree
#include "md5.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>

#include "test_support.h"

namespace {

// The same digest from the text and from a file of it (read a kilobyte at a time).
TEST(MD5Test, HashlibLengths) {
  testing_support::TempDir dir;
  std::ifstream in(testing_support::TestData("desktopapp_tree\\lengths.txt"));
  int seen = 0;
  for (size_t n; in >> n; ++seen) {
    std::string digest, data(n, '\0');
    in >> digest;
    for (size_t i = 0; i < n; ++i) data[i] = static_cast<char>((i * 7 + 3) % 256);
    SCOPED_TRACE(n);
    EXPECT_EQ(digest, StringMD5(data));
    ASSERT_TRUE(testing_support::WriteBytes(dir / "f", data));
    EXPECT_EQ(digest, FileMD5(dir / "f"));
  }
  EXPECT_EQ(15, seen);
}

TEST(MD5Test, UnreadableGivesMinusOne) {
  testing_support::TempDir dir;
  EXPECT_EQ("-1", FileMD5(dir / "missing"));
  EXPECT_EQ("-1", FileMD5(dir.path()));
  ASSERT_TRUE(testing_support::WriteBytes(dir / "locked", "x"));
  testing_support::HeldFile held(dir / "locked");
  ASSERT_TRUE(held.held());
  EXPECT_EQ("-1", FileMD5(dir / "locked"));
}

}  // namespace
