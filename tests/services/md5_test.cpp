// MD5 of texts and files against the RFC 1321 test suite and digests that the
// fixture computed with Python's hashlib.
// fixtures: desktopapp_tree
#include "md5.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "test_support.h"

namespace {

using testing_support::TempDir;

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + 3) % 256);
  return s;
}

TEST(MD5Test, RfcTestSuite) {
  const struct {
    const char* text;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.digest, StringMD5(c.text));
    ASSERT_TRUE(testing_support::WriteBytes(dir / "f", c.text));
    EXPECT_EQ(c.digest, FileMD5(dir / "f"));
  }
  EXPECT_EQ("7707d6ae4e027c70eea2a935c2296f21", StringMD5(std::string(1000000, 'a')));
}

// Lengths around the block and padding edges and the 1,024-byte read size.
TEST(MD5Test, EdgeLengthsMatchHashlib) {
  std::ifstream in(testing_support::TestData("desktopapp_tree\\lengths.txt"));
  ASSERT_TRUE(in.good());
  TempDir dir;
  int seen = 0;
  size_t n;
  std::string digest;
  while (in >> n >> digest) {
    SCOPED_TRACE(n);
    const std::string data = Pattern(n);
    EXPECT_EQ(digest, StringMD5(data));
    ASSERT_TRUE(testing_support::WriteBytes(dir / "f", data));
    EXPECT_EQ(digest, FileMD5(dir / "f"));
    // Fed in uneven pieces, the context gives the same digest.
    for (size_t piece : {1u, 3u, 63u, 65u}) {
      MD5 md5;
      for (size_t at = 0; at < n; at += piece)
        md5.Update(reinterpret_cast<const unsigned char*>(data.data()) + at,
                   std::min(piece, n - at));
      unsigned char out[16];
      md5.Final(out);
      EXPECT_EQ(digest, MD5::HexDigest(out)) << "pieces of " << piece;
    }
    ++seen;
  }
  EXPECT_EQ(15, seen);
}

TEST(MD5Test, TextWithZeroBytesIsHashedWhole) {
  EXPECT_EQ("93b885adfe0da089cdf634904fd59f71", StringMD5(std::string(1, '\0')));
  EXPECT_NE(StringMD5("ab"), StringMD5(std::string("ab\0", 3)));
}

TEST(MD5Test, FinalWipesTheContext) {
  MD5 md5;
  md5.Update(reinterpret_cast<const unsigned char*>("abc"), 3);
  unsigned char out[16];
  md5.Final(out);
  EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", MD5::HexDigest(out));
  // Nothing of the state is left: the object's bytes are all zero.
  const unsigned char* raw = reinterpret_cast<const unsigned char*>(&md5);
  EXPECT_EQ(std::string(sizeof md5, '\0'), std::string(raw, raw + sizeof md5));
}

TEST(MD5Test, UnreadableGivesMinusOne) {
  TempDir dir;
  EXPECT_EQ("-1", FileMD5(dir / "missing"));
  EXPECT_EQ("-1", FileMD5(dir.path()));
  EXPECT_EQ("-1", FileMD5(""));
  ASSERT_TRUE(testing_support::WriteBytes(dir / "locked", "x"));
  HANDLE h = CreateFileA((dir / "locked").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  EXPECT_EQ("-1", FileMD5(dir / "locked"));
  CloseHandle(h);
  EXPECT_EQ("9dd4e461268c8034f5c8564e155c67a6", FileMD5(dir / "locked"));
  ASSERT_TRUE(testing_support::WriteBytes(dir / "empty", ""));
  EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", FileMD5(dir / "empty"));
}

}  // namespace
