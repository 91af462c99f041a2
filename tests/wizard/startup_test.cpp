// The start-up step: the command-line switches as a table, the installation
// set up before the first page, and what CApp::Initialize sets for a few
// command lines on this machine.
#include "startup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app.h"
#include "file_utils.h"
#include "install/update.h"
#include "service_settings.h"
#include "share_discovery.h"
#include "sheet.h"
#include "test_support.h"

namespace {

using testing_support::LogCapture;

TEST(Switches, ReadAsTheLineAsks) {
  using S = CommandLineSwitches;
  struct Row {
    const char* line;
    S::Outcome outcome;
    bool up, skipUpdate, skipPermission, noDiscovery;
    int environment;
  };
  const Row rows[] = {
      {"", S::kEmpty, false, false, false, false, EnvProduction},
      {"UP", S::kNoSlash, false, false, false, false, EnvProduction},
      {"  ", S::kNoSlash, false, false, false, false, EnvProduction},
      {"/UP", S::kOk, true, false, false, false, EnvProduction},
      {"/Up/SkipPermission/nodiscovery", S::kOk, true, false, true, true, EnvProduction},
      {"/ UP ", S::kOk, true, false, false, false, EnvProduction},
      {"/UP,", S::kOk, false, false, false, false, EnvProduction},
      {"/\tUP", S::kOk, false, false, false, false, EnvProduction},  // blanks only
      {"UP/", S::kOk, false, false, false, false, EnvProduction},    // before the "/"
      {"/TEST", S::kOk, false, false, false, false, EnvProduction},
      {"/UP/ ? /SKIPUPDATE", S::kHelp, true, false, false, false, EnvProduction},
      {"//", S::kOk, false, false, false, false, EnvProduction},
      {"/SHARE=1;C:\\X", S::kOk, false, false, false, false, EnvProduction},
  };
  for (const Row& row : rows) {
    const S s = ParseSwitches(row.line, EnvProduction);
    EXPECT_EQ(s.outcome, row.outcome) << "'" << row.line << "'";
    EXPECT_EQ(s.peripheralUnit, row.up) << row.line;
    EXPECT_EQ(s.skipUpdate, row.skipUpdate) << row.line;
    EXPECT_EQ(s.skipPermission, row.skipPermission) << row.line;
    EXPECT_EQ(s.noDiscovery, row.noDiscovery) << row.line;
    EXPECT_EQ(s.environment, row.environment) << row.line;
  }
}

std::unique_ptr<InstallRecord> Record(const std::string& pm, int type, bool notPending) {
  auto r = std::make_unique<InstallRecord>();
  r->pm = pm;
  r->pwd = "pw" + pm;
  r->pdl = "3";
  r->anno = "2025";
  r->rootPath = "\\\\SRV\\ZAN\\PM" + pm + "\\";
  r->platformPath = r->rootPath + "ZAN2025";
  r->sharedInfoPath = r->rootPath + "ZAN_Shared\\SharedInfo";
  r->type = type;
  r->notPending = notPending;
  r->fromSharedInfo = true;
  return r;
}

TEST(CurrentInstall, TakesTheRegisterRecordOnlyWhenItIsTheOnlyOne) {
  CSetting setting;
  setting.installRoot = "C:\\";
  setting.current.pm = "stale";
  setting.current.type = 2;
  setting.current.isNewOffice = true;
  ResetCurrentInstall(setting);
  EXPECT_EQ(setting.current.pm, "");
  EXPECT_EQ(setting.current.type, 1);
  EXPECT_EQ(setting.current.rootPath, "C:\\");
  EXPECT_EQ(setting.current.platformPath, "C:\\");
  EXPECT_FALSE(setting.current.isNewOffice);

  setting.sharedInfoRecords.push_back(Record("00012", 2, true));
  ResetCurrentInstall(setting);
  EXPECT_EQ(setting.current.pm, "00012");
  EXPECT_EQ(setting.current.type, 2);
  EXPECT_EQ(setting.current.rootPath, "\\\\SRV\\ZAN\\PM00012\\");
  EXPECT_TRUE(setting.current.notPending);

  setting.sharedInfoRecords.push_back(Record("00034", 1, false));
  ResetCurrentInstall(setting);
  EXPECT_EQ(setting.current.pm, "");
  EXPECT_EQ(setting.current.rootPath, "C:\\");
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

TEST(RecordLine, MarksTheCurrentUserAndNetworkPaths) {
  InstallRecord r = *Record("00012", 1, true);
  r.assignee = "OTHERPC\\someone";
  EXPECT_EQ(RecordLogLine(r),
            "[  INFO] PM 00012-3 (2025) OTHERPC\\someone -> \\\\SRV\\ZAN\\PM00012\\ZAN2025 -> "
            "\\\\SRV\\ZAN\\PM00012\\ZAN_Shared\\SharedInfo (NETSHARE)");
  r.assignee = GetComputerUserName();
  r.platformPath = "C:\\ZAN\\PM00012\\ZAN2025";
  r.sharedInfoPath = "C:\\ZAN\\PM00012\\ZAN_Shared\\SharedInfo";
  EXPECT_EQ(RecordLogLine(r), "[  INFO] PM 00012-3 (2025) " + GetComputerUserName() +
                                  " -> C:\\ZAN\\PM00012\\ZAN2025 -> "
                                  "C:\\ZAN\\PM00012\\ZAN_Shared\\SharedInfo (CURRENT USER)");
}

class InitializeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetSheetWaitForTesting(0);
    app_ = new CApp();  // never freed, like the setup's own
  }
  void TearDown() override { GetServiceSettings().skipPermission = false; }
  bool Run(const std::string& line) {
    app_->m_cmdLine = line;
    return app_->Initialize();
  }
  LogCapture log_;
  CApp* app_ = nullptr;
};

// The switches' effects, the server set and the help and bad-line boxes are
// the end-to-end start scenarios'; the real discovery they switch off is here.
TEST_F(InitializeTest, AnEmptyLineStartsTheDiscovery) {
  EXPECT_FALSE(Run(""));
  EXPECT_FALSE(app_->m_updateChecked);
  // The discovery thread runs and, finding no network here, ends by itself.
  const DWORD start = GetTickCount();
  while (!log_.Has("[  INFO] Network share discovery ends") && GetTickCount() - start < 20000)
    Sleep(50);
  EXPECT_TRUE(log_.Has("[  INFO] Network share discovery starts"));
  EXPECT_TRUE(log_.Has("[  INFO] Network share discovery ends"));
  EXPECT_FALSE(app_->DiscoveryRunning());
}

}  // namespace
