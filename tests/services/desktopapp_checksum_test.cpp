// The DesktopApp folder checksum over real folder trees: against the value and
// listing the fixture computed with Python's hashlib from the rule.
// fixtures: desktopapp_tree
#include "desktopapp_checksum.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "test_support.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteBytes;

// Copies a tree, visiting entries in the search's order or in reverse, so that
// the copies are created (and listed by Wine) in different orders.
void CopyTree(const std::string& from, const std::string& to, bool reverse) {
  CreateDirectoryA(to.c_str(), nullptr);
  std::vector<WIN32_FIND_DATAA> entries;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((from + "\\*").c_str(), &fd);
  ASSERT_NE(INVALID_HANDLE_VALUE, h) << from;
  do {
    if (strcmp(fd.cFileName, ".") && strcmp(fd.cFileName, "..")) entries.push_back(fd);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  if (reverse) std::reverse(entries.begin(), entries.end());
  for (const auto& e : entries) {
    const std::string src = from + "\\" + e.cFileName, dst = to + "\\" + e.cFileName;
    if (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      CopyTree(src, dst, reverse);
    else
      ASSERT_TRUE(CopyFileA(src.c_str(), dst.c_str(), FALSE)) << src;
  }
}

// The listing relative to `folder`, sorted, one name a line.
std::string Listing(const std::string& folder, const std::string& version) {
  std::vector<std::string> list;
  EXPECT_EQ(0u, CollectFiles(folder, version, list));
  for (auto& p : list) p = p.rfind(folder, 0) == 0 ? p.substr(folder.size()) : "?" + p;
  std::sort(list.begin(), list.end());
  std::string text;
  for (const auto& p : list) text += (text.empty() ? "" : "\n") + p;
  return text;
}

DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

TEST(DesktopAppChecksumTest, MatchesIndependentValueInAnyOrder) {
  const std::string expected = testing_support::ReadBytes(
      testing_support::TestData("desktopapp_tree\\expected.txt"));
  ASSERT_EQ(32u, expected.size());
  for (bool reverse : {false, true}) {
    SCOPED_TRACE(reverse ? "reverse copy" : "copy");
    TempDir dir;
    const std::string bin = dir / "bin";
    CopyTree(testing_support::TestData("desktopapp_tree\\tree\\bin"), bin, reverse);
    // The check clears these attributes on the files it lists, and only there.
    SetFileAttributesA((bin + "\\DesktopApp.exe").c_str(),
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesA((bin + "\\1.2.3.4\\Locales\\it.pak").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((bin + "\\1.2.3.4\\images\\a.png").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(Attributes(bin + "\\readonly.dll") & FILE_ATTRIBUTE_READONLY);

    EXPECT_TRUE(VerifyFolderChecksum(reverse ? bin : bin + "\\", expected, "1.2.3.4"));
    for (const char* listed : {"\\DesktopApp.exe", "\\readonly.dll", "\\1.2.3.4\\Locales\\it.pak"})
      EXPECT_EQ(0u, Attributes(bin + listed) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                 FILE_ATTRIBUTE_SYSTEM)) << listed;
    EXPECT_TRUE(Attributes(bin + "\\1.2.3.4\\images\\a.png") & FILE_ATTRIBUTE_READONLY);

    // Upper-case hex, another version name, or a changed listed file: no match.
    std::string upper = expected;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    EXPECT_FALSE(VerifyFolderChecksum(bin, upper, "1.2.3.4"));
    EXPECT_FALSE(VerifyFolderChecksum(bin, expected, "1.2.3.5"));
    // Files left out may change freely.
    ASSERT_TRUE(WriteBytes(bin + "\\debug.log", "changed"));
    ASSERT_TRUE(WriteBytes(bin + "\\1.2.3.4\\images\\a.png", "changed"));
    ASSERT_TRUE(WriteBytes(bin + "\\.git\\HEAD", "changed"));
    EXPECT_TRUE(VerifyFolderChecksum(bin, expected, "1.2.3.4"));
    ASSERT_TRUE(WriteBytes(bin + "\\1.2.3.4\\Locales\\sub\\deep\\x.pak", "changed"));
    EXPECT_FALSE(VerifyFolderChecksum(bin, expected, "1.2.3.4"));
    EXPECT_EQ(testing_support::ReadBytes(testing_support::TestData("desktopapp_tree\\listed.txt")),
              Listing(bin + "\\", "1.2.3.4"));
  }
}

TEST(DesktopAppChecksumTest, EmptyVersionMissingFolderAndAppending) {
  TempDir dir;
  for (const char* f : {"a\\b\\c.txt", "d.txt", ".e\\f.txt", "4\\x"})
    ASSERT_TRUE(WriteBytes(dir / f, f));
  EXPECT_EQ("4\n4\\x\na\na\\b\na\\b\\c.txt\nd.txt", Listing(dir.path(), ""));  // every folder
  EXPECT_EQ("d.txt", Listing(dir.path(), "1.2.3.4"));  // a version longer than the path
  std::vector<std::string> list = {"kept"};
  EXPECT_EQ(0u, CollectFiles(dir / "missing", "1.0", list));
  EXPECT_EQ(std::vector<std::string>{"kept"}, list);
  EXPECT_TRUE(VerifyFolderChecksum(dir / "missing", "d41d8cd98f00b204e9800998ecf8427e", "1.0"));
}

}  // namespace
