// The start-up step: the command-line switches the end-to-end start stories
// do not give, the installation set up before the first page, and what
// CApp::Initialize does without a temporary folder, which Wine always has.
#include "startup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app.h"
#include "install/update.h"
#include "share_discovery.h"
#include "test_support.h"

namespace {

using testing_support::LogCapture;

// (An empty line, a line without "/", "?", blanks around a switch, lower
// case, "/SHARE=" and the server sets are the end-to-end start stories'.)
TEST(Switches, OnlyWholePiecesAfterTheFirstSlashCount) {
  const struct {
    const char* line;
    bool up, skipPermission, noDiscovery;
  } rows[] = {
      {"/Up/SkipPermission/nodiscovery", true, true, true},
      {"/UP,", false, false, false},
      {"/\tUP", false, false, false},  // blanks only
      {"UP/", false, false, false},    // before the "/"
  };
  for (const auto& row : rows) {
    const CommandLineSwitches s = ParseSwitches(row.line, EnvProduction);
    EXPECT_EQ(s.outcome, CommandLineSwitches::kOk) << row.line;
    EXPECT_EQ(s.peripheralUnit, row.up) << row.line;
    EXPECT_EQ(s.skipPermission, row.skipPermission) << row.line;
    EXPECT_EQ(s.noDiscovery, row.noDiscovery) << row.line;
  }
}

// The only register record becomes the installation being set up; with none
// or several the installation starts afresh in the install root.
TEST(CurrentInstall, TakesTheRegisterRecordOnlyWhenItIsTheOnlyOne) {
  CSetting setting;
  setting.installRoot = "C:\\";
  setting.current.pm = "stale";
  const struct {
    const char *added, *pm, *rootPath;
  } rows[] = {
      {nullptr, "", "C:\\"},                     // no record
      {"00012", "00012", "\\\\SRV\\PM00012\\"},  // the only one
      {"00034", "", "C:\\"},                     // two
  };
  for (const auto& row : rows) {
    if (row.added) {
      auto record = std::make_unique<InstallRecord>();
      record->pm = row.added;
      record->rootPath = std::string("\\\\SRV\\PM") + row.added + "\\";
      setting.sharedInfoRecords.push_back(std::move(record));
    }
    ResetCurrentInstall(setting);
    EXPECT_EQ(setting.current.pm, row.pm);
    EXPECT_EQ(setting.current.rootPath, row.rootPath);
  }
}

// Without a temporary folder (one longer than Windows can give) the package
// and update paths stay empty: relative names would be the packages the user
// put beside the setup, which the run deletes at its start and end, and an
// update folder beside the running setup.
TEST(TempFolderTest, NoTemporaryFolderLeavesNoPackageOrUpdatePath) {
  testing_support::LogCapture log;
  SetSheetWaitForTesting(0);
  char saved[32768] = {};
  const DWORD had = GetEnvironmentVariableA("TMP", saved, sizeof saved);
  ASSERT_TRUE(SetEnvironmentVariableA("TMP", ("C:\\" + std::string(300, 't')).c_str()));
  const std::string folder = TempFolder();
  const std::string update = UpdateFolder();
  CApp* app = new CApp();  // like the setup's: never freed
  app->m_cmdLine = "/NODISCOVERY";
  const bool failed = app->Initialize();
  SetEnvironmentVariableA("TMP", had ? saved : nullptr);
  EXPECT_EQ(folder, "");
  EXPECT_EQ(update, "");
  EXPECT_FALSE(failed);
  EXPECT_TRUE(log.Has("[**  ERR] Temporary folder not available -> "));
  EXPECT_EQ(app->m_tempKorvalPackage, "");
  EXPECT_EQ(app->m_tempDesktopAppPackage, "");
  EXPECT_EQ(app->m_tempSetupPackage, "");
}

}  // namespace
