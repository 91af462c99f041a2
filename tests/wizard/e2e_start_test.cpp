// e2e-timeout: 600
// The start of the wizard, end to end: the start page or the .NET Framework
// page, the single-instance guard, the switches, server sets and titles, the
// three tasks' checks and page removals, and the invalid-configuration
// question.
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
  const std::string marker = "[  INFO] Supported OS detected -> ";
  std::string windows = "(not logged)";
  for (const std::string& line : wizard.LogLines())
    if (line.find(marker) != std::string::npos) windows = line.substr(line.find(marker) + marker.size());
  const std::string expected = prefix + "Servizi ZAN - Installazione - " + windows;
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
      ASSERT_TRUE(WriteBytes(ServerRoot() + "\\update\\setup_ZAN2025" + set + ".txt",
                             FileVersion(SetupExe()) + "\r\n"));
  }

  // Opens the wizard on WIZ_START without update check and network search.
  void OpenStartPage(WizardDriver& wizard) {
    ASSERT_TRUE(wizard.Start(kArgs));
    ASSERT_TRUE(wizard.WaitPage("WIZ_START"));
  }
};

TEST_F(StartTest, FreshStartAsksTheServerAndShowsTheStartPage) {
  // The answer waits until the please-wait dialog has been seen.
  SetServerRule(kInfoPath, "hold");
  WizardDriver wizard("fresh_start");
  ASSERT_TRUE(wizard.Start());
  EXPECT_TRUE(wizard.WaitDialog(IDC_WAIT_PROGRESS, "please-wait"));
  ClearServerRules();
  ASSERT_TRUE(wizard.WaitPage("WIZ_START"));
  EXPECT_EQ(wizard.SheetPages(), kAllPages);
  EXPECT_EQ(wizard.CountLog("[  INFO] No command line provided"), 1);
  ExpectTitle(wizard, "");
  // The production set's setup information was asked for.
  EXPECT_EQ(WaitRequests(1), std::vector<std::string>{kInfoPath});
  EXPECT_TRUE(wizard.CancelAndExit());
}

TEST_F(StartTest, WithoutTheFrameworkItsInstallerIsWrittenAndOpened) {
  SetDotNet48(false);
  WizardDriver wizard("netfw_missing");
  ASSERT_TRUE(wizard.Start());
  ASSERT_TRUE(wizard.WaitPage("WIZ_REQNETFWNOTMET"));
  ExpectTitle(wizard, "");
  EXPECT_EQ(wizard.NextButtonText(), "Installa");
  wizard.Next();
  EXPECT_EQ(wizard.WaitExit(), 0u);
  EXPECT_TRUE(Exists(TempFolder() + "ndp48-web.exe"));
  // The stand-in installer leaves its mark when it runs.
  EXPECT_TRUE(WaitFile(TempFolder() + "ndp48-web.mark"));
  // Without the start page there is no update check.
  EXPECT_TRUE(ServerRequests().empty());
}

TEST_F(StartTest, SecondInstanceEndsAtOnceAndLeavesTheLogAlone) {
  WizardDriver first("second_instance_first");
  OpenStartPage(first);
  const std::string log = first.LogText();

  WizardDriver second("second_instance_second");
  StartOptions keepLog;
  keepLog.keepLog = true;
  ASSERT_TRUE(second.Start("/SKIPUPDATE", keepLog));
  EXPECT_EQ(second.WaitExit(10000), 1u);
  EXPECT_EQ(first.LogText(), log);
  EXPECT_TRUE(first.CancelAndExit());
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
    auto box = wizard.WaitBox("Informazioni");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, c.text);
    wizard.Answer(*box, IDOK);
    EXPECT_TRUE(wizard.WaitLog("[**  ERR] InitFailed"));
    EXPECT_EQ(wizard.WaitExit(), 0u);
    EXPECT_EQ(wizard.CountLog("Sheet active"), 0);
  }
}

// Switches are read whatever their case, but "share=" is not the share
// mode: the wizard starts and ignores that piece.
TEST_F(StartTest, SwitchesInLowerCaseWork) {
  const std::string arguments = "/up /skipupdate /share=01234;C:\\ZAN\\PM01234 /nodiscovery";
  WizardDriver wizard("lower_case_switches");
  ASSERT_TRUE(wizard.Start(arguments));
  ASSERT_TRUE(wizard.WaitPage("WIZ_START"));
  EXPECT_EQ(wizard.CountLog("[  INFO] Command line provided -> " + arguments), 1);
  EXPECT_EQ(wizard.CountLog("External privileges"), 0);
  // SKIPUPDATE understood: the server was never asked.
  EXPECT_TRUE(wizard.NoBoxFor(500));
  EXPECT_TRUE(ServerRequests().empty());
  EXPECT_TRUE(wizard.CancelAndExit());
}

// The last environment switch wins, and names the set in the title.
TEST_F(StartTest, ServerSetsFollowTheLastEnvironmentSwitch) {
  const struct {
    const char* arguments;
    const char* request;
    const char* title;
  } cases[] = {
      {"/TEST1/DEV", "/update/setup_zan2025_dev.txt", "DEV - "},
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
    EXPECT_TRUE(wizard.CancelAndExit());
  }
}

TEST_F(StartTest, TasksThatCannotGoOnKeepTheStartPage) {
  struct Case {
    const char* name;
    int radio;  // 0: none chosen
    std::string text;
    const char* logLine;  // "" when the task logs nothing
    std::vector<int> pages;  // the sheet's pages afterwards
  } cases[] = {
      {"no_task", 0, "ATTENZIONE!!\n\nSeleziona un'opzione per procedere.",
       "[  INFO] No radio option selected", kAllPages},
      {"add_workstation", IDC_TASK_ADD_WORKSTATION,
       "ATTENZIONE!!\n\nNon e' stata trovata nessuna Piattaforma ZAN 2025 per cui creare un nuovo "
       "posto di lavoro.",
       "", kAllPages},
      // The restore is checked after the page removals.
      {"restore", IDC_TASK_RESTORE,
       "ATTENZIONE!!\n\nNon e' stata rilevata nessuna Piattaforma ZAN da ripristinare.", "",
       {177, 100, 101, 150, 151, 104, 106}},
  };
  WizardDriver wizard("refused_tasks");
  OpenStartPage(wizard);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.radio) wizard.Click(c.radio);
    wizard.Next();
    auto box = wizard.WaitBox("Attenzione");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, c.text);
    if (*c.logLine) {
      EXPECT_EQ(wizard.CountLog(c.logLine), 1);
    }
    wizard.Answer(*box, IDOK);
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

// The user's workstation of this year whose platform folder has a marker
// file but no runtime: a workstation to set up again. No to the question
// ends the run with 1 (Yes: the office test).
TEST_F(StartTest, InvalidConfigurationDeclinedEndsWithOne) {
  WriteOffice({{2025, 1, CurrentAssignee()}}, false);
  WizardDriver wizard("invalid_config_no");
  ASSERT_TRUE(wizard.Start(kArgs));
  // The question comes during the page's activation.
  ASSERT_TRUE(wizard.WaitPageLogged("WIZ_START"));
  EXPECT_TRUE(wizard.WaitLog("[* WARN] PM -> 01234 -> C:\\ZAN\\PM01234\\ZAN2025 -> " + CurrentAssignee() +
                             " -> C:\\ZAN\\PM01234\\ZAN_Shared\\SharedInfo -> INVALID"));
  EXPECT_TRUE(wizard.WaitLog("[* WARN] Invalid install detected for current year"));
  auto box = wizard.WaitBox("Attenzione");
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text,
            "ATTENZIONE!!\n\nE' stata rilevata una configurazione non valida, vuoi procedere con "
            "l'installazione?");
  EXPECT_EQ(box->buttons, (std::vector<int>{IDYES, IDNO}));
  wizard.Answer(*box, IDNO);
  EXPECT_TRUE(wizard.WaitLog("[* WARN] Not proceeding with wrong config installation"));
  EXPECT_EQ(wizard.WaitExit(), 1u);
}

}  // namespace
