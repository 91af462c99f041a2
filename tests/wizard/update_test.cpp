// The self-update's pieces the end-to-end update stories do not reach: the
// verdicts on an unpacked setup they never serve, the update folder that
// cannot be made empty, the roll-back of a copy that fails after the rename,
// and the module path longer than the first buffer.
#include "install/update.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "file_utils.h"
#include "test_support.h"

namespace {

using testing_support::Exists;
using testing_support::HeldFile;
using testing_support::LogCapture;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

// (A newer, an older and a missing setup are the end-to-end stories'.)
TEST(NewSetupTest, AnEqualOrUnreadableVersionNeverReplaces) {
  const std::vector<std::string> own = {"2025", "1", "0", "0"};
  EXPECT_EQ(JudgeNewSetup(true, own, own), NewSetupVerdict::NotNewer);
  EXPECT_EQ(JudgeNewSetup(true, {}, own), NewSetupVerdict::NoVersion);
  EXPECT_EQ(JudgeNewSetup(true, {"2025", "2", "0", "0"}, {}), NewSetupVerdict::NotNewer);
}

TEST(NewSetupTest, ModulePathGrowsItsBuffer) {
  const std::string path = OwnExecutablePath();
  ASSERT_GT(path.size(), 16u);
  EXPECT_EQ(path.substr(path.size() - 16), "\\update_test.exe");
  EXPECT_EQ(OwnExecutablePath(1), path);
  EXPECT_EQ(OwnExecutablePath(path.size()), path);  // no room for the NUL
}

// (A plain replacement, a stale old file and one held open are the
// end-to-end update stories'.) The new setup held open: the copy fails after
// the rename.
TEST(ReplaceTest, FailedCopyPutsTheRunningSetupBack) {
  TempDir dir;
  LogCapture log;
  const std::string exe = dir / "ZAN2025.exe", old = dir / "old_ZAN2025.exe";
  const std::string fresh = dir / "new\\ZAN2025.exe";
  ASSERT_TRUE(WriteBytes(exe, "running setup"));
  ASSERT_TRUE(WriteBytes(fresh, "new setup"));
  HeldFile hold(fresh);
  ASSERT_TRUE(hold.held());
  EXPECT_EQ(ReplaceExecutable(exe, fresh), DWORD{ERROR_SHARING_VIOLATION});
  EXPECT_EQ(ReadBytes(exe), "running setup");
  EXPECT_FALSE(Exists(old));
  EXPECT_TRUE(log.Has("[* WARN] Cannot copy new setup " + fresh + " -> 32"));
  EXPECT_TRUE(log.Has("[  INFO] Renaming back from path " + old + " -> " + exe));
}

// (Leftovers emptied is the end-to-end scenario's.)
TEST(UpdateFolderTest, AFileInTheWayOrAHeldLeftover) {
  TempDir dir;
  LogCapture log;
  const std::string folder = dir / "NewSetupExe";
  ASSERT_TRUE(WriteBytes(folder, "a file in the way"));
  EXPECT_EQ(PrepareUpdateFolder(folder), 0u);
  EXPECT_TRUE(IsDirectory(folder));

  ASSERT_TRUE(WriteBytes(folder + "\\ZAN2025.exe", "leftover setup"));
  HeldFile hold(folder + "\\ZAN2025.exe");
  ASSERT_TRUE(hold.held());
  EXPECT_EQ(PrepareUpdateFolder(folder), DWORD{ERROR_DIR_NOT_EMPTY});
  EXPECT_TRUE(log.Has("[**  ERR] Cannot empty directory " + folder + "\\"));
}

}  // namespace
