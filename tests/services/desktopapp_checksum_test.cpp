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
    const DWORD marks = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    for (const char* listed : {"\\DesktopApp.exe", "\\readonly.dll", "\\1.2.3.4\\Locales\\it.pak"})
      EXPECT_EQ(0u, GetFileAttributesA((bin + listed).c_str()) & marks) << listed;
    EXPECT_NE(0u, GetFileAttributesA((bin + "\\1.2.3.4\\images\\a.png").c_str()) & marks);

    // Another version name lists other folders: no match.
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

}  // namespace
