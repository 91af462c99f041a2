// The DesktopApp folder checksum over real folder trees: against the value the
// fixture computed with Python's hashlib from the rule, and the listing rules
// on small trees made here.
// fixtures: desktopapp_tree
#include "desktopapp_checksum.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "md5.h"
#include "test_support.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteBytes;

// Copies a tree with its attributes, visiting entries in the search's order or
// in reverse, so that the copies are created in different orders.
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

std::string Expected() {
  return testing_support::ReadBytes(testing_support::TestData("desktopapp_tree\\expected.txt"));
}

DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }
const DWORD kCleared = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

TEST(DesktopAppChecksumTest, MatchesIndependentValueInAnyOrder) {
  const std::string expected = Expected();
  ASSERT_EQ(32u, expected.size());
  const std::string tree = testing_support::TestData("desktopapp_tree\\tree\\bin");
  for (bool reverse : {false, true}) {
    SCOPED_TRACE(reverse ? "reverse copy" : "copy");
    TempDir dir;
    const std::string bin = dir / "bin";
    CopyTree(tree, bin, reverse);
    // Attributes that the check clears on the files it lists, and only there.
    SetFileAttributesA((bin + "\\DesktopApp.exe").c_str(),
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesA((bin + "\\1.2.3.4\\Locales\\it.pak").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((bin + "\\1.2.3.4\\images\\a.png").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((bin + "\\debug.log").c_str(), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(Attributes(bin + "\\readonly.dll") & FILE_ATTRIBUTE_READONLY);

    EXPECT_TRUE(VerifyFolderChecksum(reverse ? bin : bin + "\\", expected, "1.2.3.4"));
    for (const char* listed : {"\\DesktopApp.exe", "\\readonly.dll", "\\1.2.3.4\\readonly.pak",
                               "\\1.2.3.4\\Locales\\it.pak"})
      EXPECT_EQ(0u, Attributes(bin + listed) & kCleared) << listed;
    EXPECT_TRUE(Attributes(bin + "\\1.2.3.4\\images\\a.png") & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(Attributes(bin + "\\debug.log") & FILE_ATTRIBUTE_HIDDEN);

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
  }
}

// Relative, sorted listing of a folder.
std::vector<std::string> Listing(const std::string& folder, const std::string& version) {
  std::vector<std::string> list;
  EXPECT_EQ(0u, CollectFiles(folder, version, list));
  for (auto& p : list) {
    EXPECT_EQ(0u, p.rfind(folder, 0)) << p;
    p.erase(0, folder.size());
  }
  std::sort(list.begin(), list.end());
  return list;
}

TEST(DesktopAppChecksumTest, ListingRules) {
  const struct {
    const char* name;
    std::vector<std::string> files;  // created, with "\" separators
    const char* version;
    std::vector<std::string> listed;
  } cases[] = {
      {"left-out names only",
       {"debug.log", ".git\\x", "Xmpp-journal", "Xmpp\\db", "old_vex.exe", "new_vex.exe",
        "chrome_debug.log", ".profile"},
       "1.0",
       {}},
      {"other case is listed", {"Debug.log", "XMPP", "xmpp-journal"}, "1.0",
       {"Debug.log", "XMPP", "xmpp-journal"}},
      {"version folder and locales",
       {"1.2.3.4\\a.dll", "1.2.3.5\\b.dll", "1.2.3.4\\Locales\\it.pak",
        "1.2.3.4\\Locales\\x\\y\\z.pak", "1.2.3.4\\images\\i.png", "1.2.3.4\\images\\locales\\j"},
       "1.2.3.4",
       {"1.2.3.4", "1.2.3.4\\Locales", "1.2.3.4\\Locales\\it.pak", "1.2.3.4\\Locales\\x",
        "1.2.3.4\\Locales\\x\\y", "1.2.3.4\\Locales\\x\\y\\z.pak", "1.2.3.4\\a.dll"}},
      {"empty version enters every folder", {"a\\b\\c.txt", "d.txt", ".e\\f.txt"}, "",
       {"a", "a\\b", "a\\b\\c.txt", "d.txt"}},
      {"version longer than the path", {"4\\x"}, "1.2.3.4", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    for (const auto& f : c.files) ASSERT_TRUE(WriteBytes(dir / f, f));
    EXPECT_EQ(c.listed, Listing(dir.path(), c.version));
  }
}

TEST(DesktopAppChecksumTest, ListAppendsAndMissingFolderGivesEmptyDigest) {
  std::vector<std::string> list = {"kept"};
  TempDir dir;
  EXPECT_EQ(0u, CollectFiles(dir / "missing", "1.0", list));
  EXPECT_EQ(std::vector<std::string>{"kept"}, list);
  EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", ComputeFilesChecksum({}));
  EXPECT_TRUE(VerifyFolderChecksum(dir / "missing", "d41d8cd98f00b204e9800998ecf8427e", "1.0"));
  EXPECT_FALSE(VerifyFolderChecksum(dir / "missing", Expected(), "1.0"));
}

TEST(DesktopAppChecksumTest, OnlyOrderAndContentCount) {
  TempDir dir;
  ASSERT_TRUE(WriteBytes(dir / "a.txt", "first"));
  ASSERT_TRUE(WriteBytes(dir / "d.txt", "second"));
  CreateDirectoryA((dir / "1.0").c_str(), nullptr);
  // Folder "-1", then the two digests, in path order.
  const std::string byHand = StringMD5("-1" + StringMD5("first") + StringMD5("second"));
  EXPECT_TRUE(VerifyFolderChecksum(dir.path(), byHand, "1.0"));
  ASSERT_TRUE(MoveFileA((dir / "a.txt").c_str(), (dir / "b.txt").c_str()));
  EXPECT_TRUE(VerifyFolderChecksum(dir.path(), byHand, "1.0"));
  ASSERT_TRUE(MoveFileA((dir / "d.txt").c_str(), (dir / "0.txt").c_str()));
  EXPECT_FALSE(VerifyFolderChecksum(dir.path(), byHand, "1.0"));
  // "0.txt" < "1.0" < "b.txt" as bytes.
  EXPECT_TRUE(VerifyFolderChecksum(
      dir.path(), StringMD5(StringMD5("second") + "-1" + StringMD5("first")), "1.0"));
}

}  // namespace
