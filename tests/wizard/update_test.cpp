// The self-update's pieces: which unpacked setup may replace the running one,
// the update folder made empty, the replacement of an executable with its
// stale "old_" file and its roll-back, the long module path, and the
// replacement refused for packages the end-to-end tests do not serve (the
// test program plays the running setup, which must stay where it is).
// fixtures: update_variants
#include "install/update.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app.h"
#include "box_recorder.h"
#include "file_utils.h"
#include "test_support.h"

namespace {

using testing_support::BoxRecorder;
using testing_support::Exists;
using testing_support::HeldFile;
using testing_support::LogCapture;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::TestData;
using testing_support::WriteBytes;

TEST(NewSetupTest, OnlyAStrictlyNewerSetupReplaces) {
  using V = std::vector<std::string>;
  const V own = {"2025", "1", "0", "0"};
  struct Row {
    bool exists;
    V version;
    NewSetupVerdict verdict;
  } rows[] = {
      {true, {"2025", "2", "0", "0"}, NewSetupVerdict::Replace},
      {true, {"2025", "1", "0", "0"}, NewSetupVerdict::NotNewer},
      {true, {}, NewSetupVerdict::NoVersion},
      {false, {}, NewSetupVerdict::Missing},
  };
  for (const Row& row : rows)
    EXPECT_EQ(JudgeNewSetup(row.exists, row.version, own), row.verdict)
        << ::testing::PrintToString(row.version);
  EXPECT_EQ(JudgeNewSetup(true, {"2025", "2", "0", "0"}, {}), NewSetupVerdict::NotNewer);
}

TEST(NewSetupTest, ModulePathGrowsItsBuffer) {
  const std::string path = OwnExecutablePath();
  ASSERT_GT(path.size(), 16u);
  EXPECT_EQ(path.substr(path.size() - 16), "\\update_test.exe");
  EXPECT_EQ(OwnExecutablePath(1), path);
  EXPECT_EQ(OwnExecutablePath(path.size()), path);  // no room for the NUL
}

class ReplaceTest : public ::testing::Test {
 protected:
  std::string Exe() const { return dir_ / "ZAN2025.exe"; }
  std::string Old() const { return dir_ / "old_ZAN2025.exe"; }
  std::string New() const { return dir_ / "new\\ZAN2025.exe"; }
  void SetUp() override {
    ASSERT_TRUE(WriteBytes(Exe(), "running setup"));
    ASSERT_TRUE(WriteBytes(New(), "new setup"));
  }
  TempDir dir_;
  LogCapture log_;
};

// (A plain replacement, a stale old file and one held open are the
// end-to-end update scenarios'.)
TEST_F(ReplaceTest, ReadOnlyStaleOldFileDeletedFirst) {
  ASSERT_TRUE(WriteBytes(Old(), "stale"));
  SetFileAttributesA(Old().c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(ReplaceExecutable(Exe(), New()), 0u);
  EXPECT_EQ(ReadBytes(Exe()), "new setup");
  EXPECT_EQ(ReadBytes(Old()), "running setup");
  EXPECT_TRUE(log_.Has("[  INFO] Delete old setup -> " + Old()));
}

TEST_F(ReplaceTest, FailedCopyPutsTheRunningSetupBack) {
  HeldFile hold(New());
  ASSERT_TRUE(hold.held());
  EXPECT_EQ(ReplaceExecutable(Exe(), New()), DWORD{ERROR_SHARING_VIOLATION});
  EXPECT_EQ(ReadBytes(Exe()), "running setup");
  EXPECT_FALSE(Exists(Old()));
  EXPECT_TRUE(log_.Has("[* WARN] Cannot copy new setup " + New() + " -> 32"));
  EXPECT_TRUE(log_.Has("[  INFO] Renaming back from path " + Old() + " -> " + Exe()));
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

class ApplyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static CApp* app = new CApp();
    app_ = app;
    g_app = app_;
    app_->m_hwndWaitDlg = nullptr;
    app_->m_setupExeName = "ZAN2025.exe";
  }

  // Applies the package; the running test program must stay in place.
  DWORD Apply(const std::string& variant) {
    app_->m_tempSetupPackage = TestData("update_variants\\" + variant + ".7z");
    const DWORD code = app_->ApplySetupUpdate();
    EXPECT_TRUE(Exists(exe_)) << variant;
    EXPECT_FALSE(Exists(old_)) << variant;
    EXPECT_EQ(boxes_.seen.size(), 1u) << variant;
    EXPECT_EQ(boxes_.LastText().rfind("Impossibile completare l'operazione di aggiornamento, si "
                                      "consiglia di terminare l'installazione e scaricare la "
                                      "nuova versione da http", 0),
              0u)
        << variant;
    return code;
  }

  CApp* app_ = nullptr;
  LogCapture log_;
  BoxRecorder boxes_;
  const std::string exe_ = OwnExecutablePath();
  const std::string old_ =
      exe_.substr(0, exe_.find_last_of('\\') + 1) + "old_" + exe_.substr(exe_.find_last_of('\\') + 1);
};

TEST_F(ApplyTest, SetupWithoutVersionLeavesTheRunningOne) {
  EXPECT_EQ(Apply("noversion"), DWORD{ERROR_INVALID_DATA});
  EXPECT_TRUE(log_.Has("[**  ERR] New setup without a version -> "));
}

TEST_F(ApplyTest, BrokenPackageRemovesTheUpdateFolder) {
  EXPECT_EQ(Apply("broken"), 6u);
  EXPECT_TRUE(log_.Has("[**  ERR] Cannot unzip archive "));
  EXPECT_FALSE(Exists(UpdateFolder()));
}

}  // namespace
