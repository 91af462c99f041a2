// MD5 of texts and files against the RFC 1321 suite and digests that the
// fixture computed with Python's hashlib.
// fixtures: desktopapp_tree
#include "md5.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "test_support.h"

namespace {

// The same digest from the text, from a file of it, and from uneven pieces
// (lengths around the block, padding and 1,024-byte read edges).
void ExpectDigest(const std::string& data, const std::string& digest) {
  testing_support::TempDir dir;
  EXPECT_EQ(digest, StringMD5(data));
  ASSERT_TRUE(testing_support::WriteBytes(dir / "f", data));
  EXPECT_EQ(digest, FileMD5(dir / "f"));
  for (size_t piece : {1u, 63u, 65u}) {
    MD5 md5;
    for (size_t at = 0; at < data.size(); at += piece)
      md5.Update(reinterpret_cast<const unsigned char*>(data.data()) + at,
                 std::min(piece, data.size() - at));
    unsigned char out[16];
    md5.Final(out);
    EXPECT_EQ(digest, MD5::HexDigest(out)) << "pieces of " << piece;
  }
}

TEST(MD5Test, RfcSuiteAndHashlibLengths) {
  const char* const rfc[][2] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"}};
  for (const auto& c : rfc) {
    SCOPED_TRACE(c[0]);
    ExpectDigest(c[0], c[1]);
  }
  EXPECT_EQ("7707d6ae4e027c70eea2a935c2296f21", StringMD5(std::string(1000000, 'a')));
  // Patterned bytes (zeros among them) of the fixture's edge lengths.
  std::ifstream in(testing_support::TestData("desktopapp_tree\\lengths.txt"));
  int seen = 0;
  for (size_t n; in >> n;) {
    std::string digest, data(n, '\0');
    in >> digest;
    for (size_t i = 0; i < n; ++i) data[i] = static_cast<char>((i * 7 + 3) % 256);
    SCOPED_TRACE(n);
    ExpectDigest(data, digest);
    ++seen;
  }
  EXPECT_EQ(15, seen);
}

TEST(MD5Test, UnreadableGivesMinusOne) {
  testing_support::TempDir dir;
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
}

}  // namespace
