// e2e-timeout: 600
// The start of the setup, end to end: the .NET Framework page, the
// single-instance guard, the switches, server sets and titles, the three
// tasks' checks and page removals, and the elevated share mode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resource.h"
#include "wizard_driver/driver.h"

using namespace e2e;

namespace {

const char kHelp[] =
    "Sintassi del comando:\n\n/UP \t= Installazione silenziosa unita' periferica\n/?\t= Questo help";
const std::vector<int> kAllPages = {177, 100, 105, 107, 101, 150, 151, 104, 106};

// Expects the sheet's title: the server set's prefix, the setup's name and
// the Windows name the setup logged at start. The title is set when the
// first page's activation is over.
void ExpectTitle(WizardDriver& wizard, const std::string& prefix) {
  const std::string expected = prefix + "Servizi ZAN - Installazione - " +
                               wizard.LogValue("[  INFO] Supported OS detected -> ");
  const DWORD start = GetTickCount();
  while (wizard.SheetTitle() != expected && GetTickCount() - start < kPageWait) Sleep(100);
  EXPECT_EQ(wizard.SheetTitle(), expected);
}

class StartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMachine();
    // The server offers the version under test for every set: no update.
    for (const char* set : {"", "_dev", "_test"})
      Serve(std::string("/update/setup_zan2025") + set + ".txt", FileVersion(SetupExe()) + "\r\n");
  }
};

TEST_F(StartTest, WithoutTheFrameworkItsInstallerIsWrittenAndOpened) {
  SetDotNet48(false);
  WizardDriver wizard("netfw_missing");
  ASSERT_TRUE(wizard.Start());
  ASSERT_TRUE(wizard.WaitPage("WIZ_REQNETFWNOTMET"));
  ExpectTitle(wizard, "");
  EXPECT_EQ(wizard.NextButtonText(), "Installa");
  wizard.Next();
  EXPECT_EQ(wizard.WaitExit(), 0u);
  // The stand-in installer leaves its mark when it runs.
  EXPECT_TRUE(WaitFile(TempFolder() + "ndp48-web.mark"));
  // Without the start page there is no update check.
  EXPECT_TRUE(ServerRequests().empty());
}

TEST_F(StartTest, CommandLinesThatEndTheRunAfterAHelpBox) {
  struct Case {
    const char* arguments;
    std::string text;
  } cases[] = {
      {"/?", kHelp},
      {"UP", std::string("Attenzione comando errato.\n\n") + kHelp},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    WizardDriver wizard(std::string("help_box_") + c.arguments);
    ASSERT_TRUE(wizard.Start(c.arguments));
    ASSERT_TRUE(wizard.AnswerBox("Informazioni", c.text));
    EXPECT_TRUE(wizard.WaitLog("[**  ERR] InitFailed"));
    EXPECT_EQ(wizard.WaitExit(), 0u);
    EXPECT_EQ(wizard.CountLog("Sheet active"), 0);
  }
}

// The last environment switch wins, and names the set in the title.
// Switches are read whatever their case, but "/share=" is not the share mode:
// the wizard starts and ignores that piece.
TEST_F(StartTest, ServerSetsFollowTheLastEnvironmentSwitch) {
  const struct {
    const char* arguments;
    const char* request;
    const char* title;
  } cases[] = {
      {"/test1/dev /share=01234;C:\\ZAN\\PM01234", "/update/setup_zan2025_dev.txt", "DEV - "},
      {"/DEV/TEST1", "/update/setup_zan2025_test.txt", "TEST - "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    ClearRequests();
    WizardDriver wizard(std::string("environment_") + c.arguments);
    ASSERT_TRUE(wizard.Start(std::string(c.arguments) + " /NODISCOVERY"));
    ASSERT_TRUE(wizard.WaitPage("WIZ_START"));
    EXPECT_EQ(WaitRequests(1), std::vector<std::string>{c.request});
    ExpectTitle(wizard, c.title);
    EXPECT_EQ(wizard.CountLog("External privileges"), 0);
    EXPECT_TRUE(wizard.CancelAndExit());
  }
}

// A second instance, and the tasks that cannot go on, leave the start page
// as it was.
TEST_F(StartTest, TasksThatCannotGoOnKeepTheStartPage) {
  struct Case {
    const char* name;
    int radio;  // 0: none chosen
    std::string text;
    std::vector<int> pages;  // the sheet's pages afterwards
  } cases[] = {
      {"no_task", 0, "ATTENZIONE!!\n\nSeleziona un'opzione per procedere.", kAllPages},
      {"add_workstation", IDC_TASK_ADD_WORKSTATION,
       "ATTENZIONE!!\n\nNon e' stata trovata nessuna Piattaforma ZAN 2025 per cui creare un nuovo "
       "posto di lavoro.",
       kAllPages},
      // The restore is checked after the page removals.
      {"restore", IDC_TASK_RESTORE,
       "ATTENZIONE!!\n\nNon e' stata rilevata nessuna Piattaforma ZAN da ripristinare.",
       {177, 100, 101, 150, 151, 104, 106}},
  };
  WizardDriver wizard("refused_tasks");
  ASSERT_TRUE(wizard.Start(kArgs));
  ASSERT_TRUE(wizard.WaitPage("WIZ_START"));
  // A second instance ends at once with 1 and leaves the log alone.
  const std::string log = wizard.LogText();
  WizardDriver second("second_instance");
  StartOptions keepLog;
  keepLog.keepLog = true;
  ASSERT_TRUE(second.Start("/SKIPUPDATE", keepLog));
  EXPECT_EQ(second.WaitExit(10000), 1u);
  EXPECT_EQ(wizard.LogText(), log);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.radio) wizard.Click(c.radio);
    wizard.Next();
    ASSERT_TRUE(wizard.AnswerBox("Attenzione", c.text));
    EXPECT_TRUE(wizard.StaysOn("WIZ_START"));
    EXPECT_EQ(wizard.SheetPages(), c.pages);
  }
  EXPECT_TRUE(wizard.CancelAndExit());
}

TEST_F(StartTest, InstallRemovesThePagesOnce) {
  // Without any register the office list page goes with the unsupported one.
  const std::vector<int> remaining = {177, 100, 101, 150, 151, 104, 106};
  WizardDriver wizard("install_removes_pages");
  ASSERT_TRUE(wizard.Start(kArgs));
  ASSERT_TRUE(wizard.ChooseTask(IDC_TASK_INSTALL));
  ASSERT_TRUE(wizard.WaitPage("WIZ_PMNEW"));
  EXPECT_EQ(wizard.SheetPages(), remaining);
  wizard.Back();
  ASSERT_TRUE(wizard.WaitPage("WIZ_START"));
  EXPECT_TRUE(wizard.ShowsWatermark());  // after an interior page
  EXPECT_TRUE(wizard.IsChecked(IDC_TASK_INSTALL));
  wizard.Next();
  ASSERT_TRUE(wizard.WaitPage("WIZ_PMNEW"));
  EXPECT_EQ(wizard.SheetPages(), remaining);
  EXPECT_TRUE(wizard.CancelAndExit());
}

// The elevated share mode: the setup started with "/SHARE=" shows no window
// and answers with its exit code, one row per way the run ends (each
// refusal's reason is the in-process request table's). Under Wine the share
// call itself answers 50 (not supported), which is then the exit code.
TEST_F(StartTest, ShareModeRequestsEndWithTheirCodeAndNoWindow) {
  const std::string office = "C:\\e2e\\Studio01234";
  WriteOffice({}, false, office + "\\");
  const struct {
    const char* name;
    std::string part;
    DWORD exitCode;
    std::string line;
  } cases[] = {
      {"valid_office", "SHARE=01234;" + office, 50, "[  INFO] Net share add failed 50"},
      {"missing_folder", "SHARE=01234;C:\\e2e\\Missing", 3,
       "[* WARN] -------> Folder C:\\e2e\\Missing not found"},
      {"no_separator", "SHARE=01234", 87,
       "[* WARN] -------> Command line not formatted correctly (; not found)"},
      {"refused", "SHARE=01234;C:\\", 87, "[* WARN] -------> Share refused (drive root) -> C:\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WizardDriver wizard(c.name);
    ASSERT_TRUE(wizard.Start("/" + c.part));
    EXPECT_EQ(wizard.WaitExit(20000), c.exitCode);
    EXPECT_EQ(wizard.Sheet(), nullptr);
    EXPECT_EQ(wizard.CountLog("Start application"), 0);
    EXPECT_TRUE(wizard.WaitLog(c.line, 1000));
    // Only a valid request reaches the share call; after its failure there
    // is no share to set the caching of.
    EXPECT_EQ(wizard.CountLog("Net share"), c.exitCode == 50 ? 1 : 0);
    EXPECT_EQ(wizard.CountLog("cache settings"), 0);
  }
}

}  // namespace
