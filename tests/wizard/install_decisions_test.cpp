// The install chain's decisions the end-to-end roads cannot pin down: the
// unpack percentage of archives too large to serve, a file in use while
// DesktopApp is unpacked, and the check that a folder copy landed, for each
// way a copy can fall short.
#include "install/install_decisions.h"

#include <gtest/gtest.h>

#include <string>

#include "file_utils.h"
#include "test_support.h"

namespace {

// Truncated and below a hundred it is the unpack test's; the product of an
// index and 100 can pass 32 bits.
TEST(InstallDecisionsTest, UnpackPercentageOfMoreThan42MillionEntries) {
  EXPECT_EQ(UnpackPercentage(50000000, 100000000), 50);
}

// A file in use (a DesktopApp left open) only warns; every other failure ends
// the run, as the damaged-archive story shows. No story holds a file of the
// archive open at the moment it is written.
TEST(InstallDecisionsTest, DesktopAppUnpackOutcomeOfAFileInUse) {
  EXPECT_EQ(UnpackOutcome::WarnThenNext, DesktopAppUnpackOutcome(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(UnpackOutcome::EndRun, DesktopAppUnpackOutcome(ERROR_LOCK_VIOLATION));
}

// A copied DesktopApp folder and its source, with a complete copy elsewhere.
struct CopyTrees {
  std::string source, target, elsewhere;
};

// An entry named "cloud" is a cloud placeholder (Wine makes it as a link).
DWORD CloudTag(const std::string& path, DWORD listed) {
  const std::string name = "\\cloud";
  const bool cloud = path.size() >= name.size() &&
                     path.compare(path.size() - name.size(), name.size(), name) == 0;
  return cloud ? IO_REPARSE_TAG_CLOUD : listed;
}

// The copy check: one row per way a copy can fall short, and the link a copy
// leaves out (but not a reparse point of another kind).
TEST(InstallDecisionsTest, CheckFolderCopy) {
  using testing_support::MakeFolderLink;
  using testing_support::RemoveTree;
  using testing_support::WriteBytes;
  static const char* const files[] = {"DesktopApp.exe", "1.2.3.4\\locales\\it.pak", "empty.bin"};
  struct Row {
    const char* what;
    bool (*spoil)(const CopyTrees&);  // applied to a complete copy
    DWORD error;
    bool inSource;       // the failed path is below the source, else the target
    const char* failed;  // nullptr: none
  } rows[] = {
      {"a file missing",
       [](const CopyTrees& t) { return DeleteFileA((t.target + files[1]).c_str()) != FALSE; },
       ERROR_FILE_NOT_FOUND, false, "1.2.3.4\\locales\\it.pak"},
      {"a file cut short", [](const CopyTrees& t) { return WriteBytes(t.target + files[0], "MZ"); },
       ERROR_WRITE_FAULT, false, "DesktopApp.exe"},
      {"a source that cannot be listed", [](const CopyTrees& t) { return RemoveTree(t.source); },
       ERROR_PATH_NOT_FOUND, true, ""},
      {"a link in the target",
       [](const CopyTrees& t) {
         return RemoveTree(t.target + "1.2.3.4") &&
                MakeFolderLink(t.target + "1.2.3.4", t.elsewhere + "1.2.3.4");
       },
       4395, false, "1.2.3.4\\"},
      {"a link in the source, left out",
       [](const CopyTrees& t) { return MakeFolderLink(t.source + "linked", t.elsewhere); }, 0,
       false, nullptr},
      {"a cloud folder in the source, not copied",
       [](const CopyTrees& t) {
         return MakeFolderLink(t.source + "cloud", t.elsewhere + "1.2.3.4\\locales");
       },
       ERROR_PATH_NOT_FOUND, false, "cloud\\it.pak"},
  };
  SetReparseTagForTesting(&CloudTag);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    testing_support::TempDir temp;
    const CopyTrees t = {temp / "source\\", temp / "target\\", temp / "elsewhere\\"};
    for (const std::string& folder : {t.source, t.target, t.elsewhere})
      for (const char* file : files) ASSERT_TRUE(WriteBytes(folder + file, file));
    ASSERT_TRUE(r.spoil(t));
    std::string failed;
    EXPECT_EQ(CheckFolderCopy(t.source, t.target, &failed), r.error);
    EXPECT_EQ(failed, r.failed ? (r.inSource ? t.source : t.target) + r.failed : "");
  }
  SetReparseTagForTesting(nullptr);
}

}  // namespace
