// The self-update's pieces the end-to-end update stories do not reach: the
// update folder that cannot be made empty, the roll-back of a copy that fails
// after the rename, and the module path longer than the first buffer.
#include "install/update.h"

#include <gtest/gtest.h>

#include <string>

#include "file_utils.h"
#include "test_support.h"

namespace {

using testing_support::Exists;
using testing_support::HeldFile;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

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
  const std::string exe = dir / "ZAN2025.exe", old = dir / "old_ZAN2025.exe";
  const std::string fresh = dir / "new\\ZAN2025.exe";
  ASSERT_TRUE(WriteBytes(exe, "running setup"));
  ASSERT_TRUE(WriteBytes(fresh, "new setup"));
  HeldFile hold(fresh);
  ASSERT_TRUE(hold.held());
  EXPECT_EQ(ReplaceExecutable(exe, fresh), DWORD{ERROR_SHARING_VIOLATION});
  EXPECT_EQ(ReadBytes(exe), "running setup");
  EXPECT_FALSE(Exists(old));
}

// (Leftovers emptied is the end-to-end scenario's.)
TEST(UpdateFolderTest, AHeldLeftoverIsAFailure) {
  TempDir dir;
  const std::string folder = dir / "NewSetupExe";
  ASSERT_TRUE(WriteBytes(folder + "\\ZAN2025.exe", "leftover setup"));
  HeldFile hold(folder + "\\ZAN2025.exe");
  ASSERT_TRUE(hold.held());
  EXPECT_EQ(PrepareUpdateFolder(folder), DWORD{ERROR_DIR_NOT_EMPTY});
}

}  // namespace
