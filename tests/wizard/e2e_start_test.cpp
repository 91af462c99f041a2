// e2e-timeout: 600
// The start of the wizard, end to end: the start page or the .NET Framework
// page, the single-instance guard, the switches and server sets, the three
// tasks' checks and page removals, and the invalid-configuration question.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resource.h"
#include "wizard_driver/driver.h"

using namespace e2e;

namespace {

const char kHelp[] =
    "Sintassi del comando:\n\n/UP \t= Installazione silenziosa unita' periferica\n/?\t= Questo help";
const char kTitle[] = "Servizi ZAN - Installazione - ";
const std::vector<int> kAllPages = {177, 100, 105, 107, 101, 150, 151, 104, 106};

// The Windows name the setup detected, from its start-up log.
std::string LoggedWindowsName(WizardDriver& wizard) {
  const std::string marker = "[  INFO] Supported OS detected -> ";
  for (const std::string& line : wizard.LogLines()) {
    size_t at = line.find(marker);
    if (at != std::string::npos) return line.substr(at + marker.size());
  }
  return "(not logged)";
}

class StartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMachine();
    // The server offers the version under test for every set: no update.
    for (const char* set : {"", "_dev", "_test"})
      WriteBytes(ServerRoot() + "\\update\\setup_ZAN2025" + set + ".txt",
                     FileVersion(SetupExe()) + "\r\n");
  }

  // Opens the wizard on WIZ_START without update check and network search.
  void OpenStartPage(WizardDriver& wizard) {
    ASSERT_TRUE(wizard.Start("/SKIPUPDATE /NODISCOVERY"));
    ASSERT_TRUE(wizard.WaitPage("WIZ_START"));
  }
};

TEST_F(StartTest, FreshStartAsksTheServerAndShowsTheStartPage) {
  // The answer waits until the please-wait dialog has been seen.
  SetServerRule("/update/setup_zan2025.txt", "hold");
  WizardDriver wizard("fresh_start");
  ASSERT_TRUE(wizard.Start());
  EXPECT_TRUE(wizard.WaitDialog(IDC_WAIT_PROGRESS, "please-wait"));
  ClearServerRules();
  ASSERT_TRUE(wizard.WaitPage("WIZ_START"));
  EXPECT_EQ(wizard.SheetPages(), kAllPages);
  EXPECT_EQ(wizard.CountLog("[  INFO] No command line provided"), 1);
  // The production set's setup information was asked for.
  EXPECT_EQ(WaitRequests(1), std::vector<std::string>{"/update/setup_zan2025.txt"});
  EXPECT_TRUE(wizard.CancelAndExit());
}

TEST_F(StartTest, WithoutTheFrameworkItsInstallerIsWrittenAndOpened) {
  SetDotNet48(false);
  WizardDriver wizard("netfw_missing");
  ASSERT_TRUE(wizard.Start());
  ASSERT_TRUE(wizard.WaitPage("WIZ_REQNETFWNOTMET"));
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
      // The help ends the reading: the DEV piece is never read.
      {"/?/DEV", kHelp},
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

TEST_F(StartTest, SwitchesInLowerCaseWork) {
  WizardDriver wizard("lower_case_switches");
  ASSERT_TRUE(wizard.Start("/up /skipupdate"));
  ASSERT_TRUE(wizard.WaitPage("WIZ_START"));
  EXPECT_EQ(wizard.CountLog("[  INFO] Command line provided -> /up /skipupdate"), 1);
  // SKIPUPDATE understood: the server was never asked.
  EXPECT_TRUE(wizard.NoBoxFor(500));
  EXPECT_TRUE(ServerRequests().empty());
  EXPECT_TRUE(wizard.CancelAndExit());
}

TEST_F(StartTest, ServerSetsFollowTheLastEnvironmentSwitch) {
  struct Case {
    const char* arguments;
    const char* request;
  } cases[] = {
      {"/DEV", "/update/setup_zan2025_dev.txt"},
      {"/TEST1", "/update/setup_zan2025_test.txt"},
      {"/TEST1/DEV", "/update/setup_zan2025_dev.txt"},
      {"/DEV/TEST1", "/update/setup_zan2025_test.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    ClearRequests();
    WizardDriver wizard(std::string("environment_") + c.arguments);
    ASSERT_TRUE(wizard.Start(std::string(c.arguments) + " /NODISCOVERY"));
    ASSERT_TRUE(wizard.WaitPage("WIZ_START"));
    EXPECT_EQ(WaitRequests(1), std::vector<std::string>{c.request});
    EXPECT_TRUE(wizard.CancelAndExit());
  }
}

TEST_F(StartTest, TitleNamesTheServerSetAndWindows) {
  struct Case {
    const char* arguments;
    bool framework;
    const char* page;
    const char* prefix;
  } cases[] = {
      {"/SKIPUPDATE", true, "WIZ_START", ""},
      {"", false, "WIZ_REQNETFWNOTMET", ""},
      {"/SKIPUPDATE/DEV", true, "WIZ_START", "DEV - "},
      {"/SKIPUPDATE/TEST1", true, "WIZ_START", "TEST - "},
      {"/TEST1", false, "WIZ_REQNETFWNOTMET", "TEST - "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    SetDotNet48(c.framework);
    WizardDriver wizard(std::string("title_") + c.page + c.arguments);
    ASSERT_TRUE(wizard.Start(std::string(c.arguments) + " /NODISCOVERY"));
    ASSERT_TRUE(wizard.WaitPage(c.page));
    // The title is set when the activation is over: give the sheet a moment.
    const std::string expected = c.prefix + std::string(kTitle) + LoggedWindowsName(wizard);
    for (int i = 0; i < 50 && wizard.SheetTitle() != expected; ++i) Sleep(100);
    EXPECT_EQ(wizard.SheetTitle(), expected);
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
  ASSERT_TRUE(wizard.Start("/SKIPUPDATE /NODISCOVERY"));
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

// A register of the current year holding the current user's workstation, whose
// platform folder has a marker file but no runtime: a workstation to set up
// again (pending).
void MakePendingWorkstation() {
  const std::string office = "C:\\ZAN\\PM01234\\";
  std::string uffaut(523, '\0');
  uffaut[521] = 0x04;  // 1234, big-endian
  uffaut[522] = static_cast<char>(0xD2);
  ASSERT_TRUE(WriteBytes(office + "ZAN2025\\FILES\\uffaut", uffaut));
  const std::string registerPath = office + "ZAN_Shared\\SharedInfo";
  WriteRegister(registerPath, office, {{"01234", 2025, 1, CurrentAssignee(), "abcdefgh"}});
  auto rows = QueryRegister(registerPath,
                            "SELECT w.pm, w.assignee, s.anno FROM Workpoint w JOIN Workpoint_SwExt ws "
                            "ON w.idWorkpoint = ws.idWorkpoint JOIN SwExt s ON ws.idSwExt = s.idSwExt");
  ASSERT_EQ(rows, (std::vector<std::vector<std::string>>{{"01234", CurrentAssignee(), "2025"}}));
}

TEST_F(StartTest, InvalidConfigurationQuestion) {
  const std::string question =
      "ATTENZIONE!!\n\nE' stata rilevata una configurazione non valida, vuoi procedere con "
      "l'installazione?";
  struct Case {
    const char* name;
    int answer;
  } cases[] = {{"invalid_config_no", IDNO}, {"invalid_config_yes", IDYES}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetMachine();
    MakePendingWorkstation();
    WizardDriver wizard(c.name);
    ASSERT_TRUE(wizard.Start("/SKIPUPDATE /NODISCOVERY"));
    // The question comes during the page's activation.
    ASSERT_TRUE(wizard.WaitPageLogged("WIZ_START"));
    EXPECT_TRUE(wizard.WaitLog("[* WARN] PM -> 01234 -> C:\\ZAN\\PM01234\\ZAN2025 -> " + CurrentAssignee() +
                               " -> C:\\ZAN\\PM01234\\ZAN_Shared\\SharedInfo -> INVALID"));
    EXPECT_TRUE(wizard.WaitLog("[* WARN] Invalid install detected for current year"));
    auto box = wizard.WaitBox("Attenzione");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, question);
    EXPECT_EQ(box->buttons, (std::vector<int>{IDYES, IDNO}));
    wizard.Answer(*box, c.answer);
    if (c.answer == IDNO) {
      EXPECT_TRUE(wizard.WaitLog("[* WARN] Not proceeding with wrong config installation"));
      EXPECT_EQ(wizard.WaitExit(), 1u);
    } else {
      EXPECT_TRUE(wizard.WaitLog("[* WARN] Proceed with wrong config installation"));
      // On by itself, to the office list, which the register keeps in the sheet.
      EXPECT_TRUE(wizard.WaitPage("WIZ_PMSELECT"));
      EXPECT_EQ(wizard.SheetPages(), (std::vector<int>{177, 100, 107, 101, 150, 151, 104, 106}));
      EXPECT_TRUE(wizard.CancelAndExit());
    }
  }
}

}  // namespace
