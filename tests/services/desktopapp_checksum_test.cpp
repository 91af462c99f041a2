// The DesktopApp folder checksum over real folder trees: against the value the
// fixture computed with Python's hashlib from the rule.
// fixtures: desktopapp_tree
#include "desktopapp_checksum.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "test_support.h"

namespace {

using testing_support::TempDir;
using testing_support::TestData;
using testing_support::WriteBytes;

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
  const std::string expected = testing_support::ReadBytes(TestData("desktopapp_tree\\expected.txt"));
  ASSERT_EQ(32u, expected.size());
  const auto tree = testing_support::Tree(TestData("desktopapp_tree\\tree\\bin"));
  std::vector<std::pair<std::string, std::string>> files(tree.begin(), tree.end());
  // Copies made in opposite orders, so that Wine may list them differently.
  for (bool reverse : {false, true}) {
    SCOPED_TRACE(reverse ? "reverse copy" : "copy");
    TempDir dir;
    const std::string bin = dir / "bin";
    if (reverse) std::reverse(files.begin(), files.end());
    for (const auto& file : files) ASSERT_TRUE(WriteBytes(bin + "\\" + file.first, file.second));
    // The check clears these attributes on the files it lists, and only there.
    SetFileAttributesA((bin + "\\DesktopApp.exe").c_str(),
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    for (const char* readOnly :
         {"\\readonly.dll", "\\1.2.3.4\\Locales\\it.pak", "\\1.2.3.4\\images\\a.png"})
      SetFileAttributesA((bin + readOnly).c_str(), FILE_ATTRIBUTE_READONLY);

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
