// e2e-timeout: 600
// Choosing the office, end to end: a machine without installations (new
// office code, drive, pre-install checks, an installation on a network
// drive), and offices of our own making,
// registers written with SQLite in office folders on C:, picked on the office
// list with each of its answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "resource.h"
#include "wine_drive.h"
#include "wizard_driver/driver.h"

using namespace e2e;

namespace {

const char kCaption[] = "Attenzione";
// The start page's question when it finds an invalid configuration.
const char kInvalidQuestion[] =
    "ATTENZIONE!!\n\nE' stata rilevata una configurazione non valida, vuoi procedere con "
    "l'installazione?";

std::string Entry(const std::string& pm, const std::string& anno, const std::string& folder) {
  return "Ufficio Autorizzato " + pm + " - " + anno + " (" + folder + ")";
}

class OfficeTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetMachine(); }

  // Starts the setup and chooses Install on WIZ_START.
  void Install(WizardDriver& wizard) {
    ASSERT_TRUE(wizard.Start(kArgs));
    ASSERT_TRUE(wizard.ChooseTask(IDC_TASK_INSTALL));
  }

  // Presses Next, expects one box with this text, answers it.
  void NextExpectingBox(WizardDriver& wizard, const std::string& text, int answer = IDOK) {
    wizard.Next();
    ASSERT_TRUE(wizard.AnswerBox(kCaption, text, answer));
  }
};

// A machine without installations: the new office code and its password
// checked as typed, the folder built from the drive picked, a network drive
// here, and the installation there to the end: the final page says the drive
// is remote and asks nothing about a share.
TEST_F(OfficeTest, NoInstallationNewOfficeCodeOnANetworkDrive) {
  // A network drive among the prefix's drives, for the drive list.
  ASSERT_TRUE(WriteBytes(ScratchFolder() + "net\\readme.txt", "x"));
  WineDrive network('N', ScratchFolder() + "net", DRIVE_REMOTE);
  ASSERT_TRUE(network.ok()) << "Wine's mount manager gave no network drive N:";

  WizardDriver wizard("no_installation");
  Install(wizard);
  ASSERT_TRUE(wizard.WaitPage("WIZ_PMNEW"));

  wizard.SetText(IDC_OFFICE_CODE, "123456");
  EXPECT_EQ("12345", wizard.Text(IDC_OFFICE_CODE));
  const struct {
    const char *code, *box, *line;
  } refused[] = {{"00000", "ATTENZIONE!!\n\nIl codice ufficio NON E' VALIDO!", "[* WARN] Invalid PM inserted -> 00000"},
                 {"123", "ATTENZIONE!!\n\nLa password NON E' VALIDA!", "[* WARN] Empty password inserted"}};
  for (const auto& r : refused) {
    wizard.SetText(IDC_OFFICE_CODE, r.code);
    NextExpectingBox(wizard, r.box);
    ASSERT_TRUE(wizard.WaitPage("WIZ_PMNEW")) << r.code;  // the page again
    EXPECT_EQ(1, wizard.CountLog(r.line));
  }
  // The password field takes the eight characters INSTALLA.MOD holds.
  wizard.Type(IDC_OFFICE_PASSWORD, "SECRET789");
  EXPECT_TRUE(wizard.WaitText(IDC_OFFICE_PASSWORD, "SECRET78"));
  wizard.Next();
  ASSERT_TRUE(wizard.WaitPage("WIZ_SELECTUNIT"));
  EXPECT_EQ("C", wizard.ComboSelection(IDC_DRIVE_COMBO));
  EXPECT_EQ("C:\\ZAN\\PM00123", wizard.Text(IDC_INSTALL_PATH));
  // No entry selected, as when the system drive is a network one (never
  // pre-selected; the driver clears the selection to get there): Next waits
  // for a drive.
  wizard.SelectComboItem(IDC_DRIVE_COMBO, -1);
  wizard.Next();
  ASSERT_TRUE(wizard.WaitLog("[* WARN] No drive selected for the installation"));
  ASSERT_TRUE(wizard.StaysOn("WIZ_SELECTUNIT"));
  // The folder follows the drive picked.
  const std::vector<std::string> drives = wizard.ComboItems(IDC_DRIVE_COMBO);
  const auto n = std::find(drives.begin(), drives.end(), "N (rete)");
  ASSERT_NE(n, drives.end());
  wizard.SelectComboItem(IDC_DRIVE_COMBO, static_cast<int>(n - drives.begin()));
  EXPECT_TRUE(wizard.WaitText(IDC_INSTALL_PATH, "N:\\ZAN\\PM00123"));

  wizard.Next();
  ASSERT_TRUE(wizard.WaitPage("WIZ_BEFOREINSTALL"));
  EXPECT_EQ("N:\\ZAN\\PM00123\\", wizard.Text(IDC_INSTALL_PATH));
  wizard.Next();
  ASSERT_TRUE(wizard.WaitPageLogged("WIZ_INSTALL"));
  ASSERT_TRUE(wizard.WaitEndPageDone(false));
  ASSERT_TRUE(wizard.FinishAndExit(true));

  EXPECT_EQ(1, wizard.CountLog("[  INFO] Destination unit is N:\\ and is remote, so don't ask for share it"));
  EXPECT_EQ(0, wizard.CountLog("network share"));
  const std::string platform = "N:\\ZAN\\PM00123\\ZAN2025\\";
  EXPECT_EQ("00123SECRET78\r\r\n" + platform, ReadBytes(platform + "HOME\\ETC\\INSTALLA.MOD"));
  const auto rows = RegisterWorkstations(ScratchFolder() + "net\\ZAN\\PM00123\\ZAN_Shared\\SharedInfo");
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ((std::vector<std::string>{"00123", "2025", CurrentAssignee()}),
            (std::vector<std::string>{rows.back()[0], rows.back()[6], rows.back()[3]}));
}

TEST_F(OfficeTest, FoundOfficesAreListedAndEachAnswerOfTheListIsKept) {
  const std::string a = "C:\\ZAN\\PM00100\\", b = "C:\\ZAN\\PM00200\\", c = "C:\\ZAN\\PM00300\\";
  WriteOffice({{2025, 1, "PC1\\anna", "00100"},
               {2025, 2, "PC2\\bruno", "00100"},  // the same office and year: listed once
               {2024, 1, "PC1\\anna", "00100"}},
              false, a);
  WriteOffice({{2024, 1, "PC1\\anna", "00200"}}, false, b);
  WriteOffice({{2024, 1, "PC1\\anna", "00301"}}, false, c);  // a folder named for another code
  ASSERT_TRUE(WriteBytes(b + "ZAN_Shared\\LockFile", "[20250101@10:00:00:000];PC9\\carla;1"));

  WizardDriver wizard("found_offices");
  Install(wizard);
  ASSERT_TRUE(wizard.WaitPage("WIZ_PMSELECT"));
  EXPECT_EQ(std::vector<std::string>({Entry("00100", "2025", a), Entry("00100", "2024", a),
                                      Entry("00200", "2024", b), Entry("00301", "2024", c)}),
            wizard.ListItems(IDC_PM_LIST));
  EXPECT_EQ("Selezionare il Codice Ufficio per il quale installare la Piattaforma ZAN 2025 e "
            "premere Avanti.",
            wizard.Text(IDC_PMSELECT_PROMPT));

  NextExpectingBox(wizard, "Cliccare il Codice Ufficio per il quale installare la Piattaforma "
                           "ZAN 2025 e poi premere Avanti.");
  EXPECT_TRUE(wizard.StaysOn("WIZ_PMSELECT", 500));

  // The newer year of the same office stops the user.
  wizard.SelectListItem(IDC_PM_LIST, 1);
  NextExpectingBox(wizard,
                   "La Piattaforma ZAN 2025 per l'Ufficio Autorizzato 00100 risulta gia' installata.");
  EXPECT_TRUE(wizard.StaysOn("WIZ_PMSELECT", 500));

  // A lock record: No keeps the page, Yes goes on (a double-click is Next); an
  // earlier year goes to the pre-install page without a question.
  wizard.SelectListItem(IDC_PM_LIST, 2);
  const std::string lockQuestion =
      "E' stata rilevata un'altra installazione concorrente per questo Codice Ufficio. Vuoi "
      "procedere?";
  NextExpectingBox(wizard, lockQuestion, IDNO);
  EXPECT_TRUE(wizard.StaysOn("WIZ_PMSELECT", 500));
  wizard.DoubleClickListItem(IDC_PM_LIST, 2);
  ASSERT_TRUE(wizard.AnswerBox(kCaption, lockQuestion, IDYES));
  ASSERT_TRUE(wizard.WaitPage("WIZ_BEFOREINSTALL"));
  EXPECT_TRUE(wizard.NoBoxFor(300));
  EXPECT_EQ(b, wizard.Text(IDC_INSTALL_PATH));
  EXPECT_EQ(1, wizard.CountLog("[  INFO] Korval installed but not updated -> 00200 -> 2024"));
  wizard.Back();
  ASSERT_TRUE(wizard.WaitPage("WIZ_PMSELECT"));

  // The current year without the user's workstation: No keeps the list (Yes:
  // the final page's stories).
  wizard.SelectListItem(IDC_PM_LIST, 0);
  NextExpectingBox(wizard,
                   "La Piattaforma ZAN 2025 per l'Ufficio Autorizzato 00100 risulta gia' "
                   "installata.\n\nProcedere alla creazione del posto di lavoro e dell'icona di "
                   "accesso in Piattaforma?",
                   IDNO);
  ASSERT_TRUE(wizard.WaitPage("WIZ_PMSELECT"));  // the page again

  // A typed code that a register holds (of any year) leads back to the list.
  wizard.Click(IDC_NEW_OFFICE);
  ASSERT_TRUE(wizard.WaitPage("WIZ_PMNEW"));
  wizard.SetText(IDC_OFFICE_CODE, "200");
  NextExpectingBox(wizard, "ATTENZIONE!!\n\nL'ufficio autorizzato e' gia' stato rilevato!");
  ASSERT_TRUE(wizard.WaitPage("WIZ_PMSELECT"));

  // A new code whose folder a register gives to another code.
  wizard.Click(IDC_NEW_OFFICE);
  ASSERT_TRUE(wizard.WaitPage("WIZ_PMNEW"));
  wizard.SetText(IDC_OFFICE_CODE, "300");
  wizard.SetText(IDC_OFFICE_PASSWORD, "PWD12345");
  wizard.Next();
  ASSERT_TRUE(wizard.WaitPage("WIZ_SELECTUNIT"));
  NextExpectingBox(wizard,
                   "ATTENZIONE!!\n\nE' stata rilevata una incongruenza tra il codice ufficio e la "
                   "cartella di installazione indicati.");
  EXPECT_TRUE(wizard.StaysOn("WIZ_SELECTUNIT", 500));
  EXPECT_EQ(1, wizard.CountLog("[* WARN] Uacode existant in path -> 00301"));
  wizard.Back();
  ASSERT_TRUE(wizard.WaitPage("WIZ_PMNEW"));
}

// The user's workstation of this year whose platform lacks the runtime: the
// start page asks about the invalid configuration while it activates. No
// ends the run with 1; Yes goes on by itself to the office list (which the
// register keeps in the sheet), and the pick removes the user's row.
TEST_F(OfficeTest, CurrentYearWithTheUsersInvalidWorkstationRemovesItsRow) {
  const std::string office = "C:\\ZAN\\PM00600\\";
  WriteOffice({{2025, 1, CurrentAssignee(), "00600"}, {2025, 2, "PC2\\bruno", "00600"}}, false, office);
  {
    WizardDriver declined("invalid_workstation_declined");
    ASSERT_TRUE(declined.Start(kArgs));
    ASSERT_TRUE(declined.WaitPageLogged("WIZ_START"));
    ASSERT_TRUE(declined.AnswerBox(kCaption, kInvalidQuestion, IDNO));
    EXPECT_EQ(declined.WaitExit(), 1u);
  }
  WizardDriver wizard("invalid_workstation");
  ASSERT_TRUE(wizard.Start(kArgs));
  ASSERT_TRUE(wizard.WaitPageLogged("WIZ_START"));
  ASSERT_TRUE(wizard.AnswerBox(kCaption, kInvalidQuestion, IDYES));
  ASSERT_TRUE(wizard.WaitPage("WIZ_PMSELECT"));
  EXPECT_EQ(wizard.SheetPages(), (std::vector<int>{177, 100, 107, 101, 150, 151, 104, 106}));
  wizard.SelectListItem(IDC_PM_LIST, 0);
  wizard.Next();
  ASSERT_TRUE(wizard.WaitPage("WIZ_BEFOREINSTALL"));
  EXPECT_EQ(1, wizard.CountLog("[  INFO] Installation already active -> 00600 -> 2025 -> NOT VALID"));
  wizard.Next();
  ASSERT_TRUE(wizard.WaitPage("WIZ_INSTALL"));
  // The user's old row is gone, the other user's stays (the install going on
  // may already have recorded the user again, with a new number).
  EXPECT_EQ(std::vector<std::vector<std::string>>({{"PC2\\bruno", "2"}}),
            QueryRegister(office + "ZAN_Shared\\SharedInfo",
                          "SELECT assignee, pdl FROM Workpoint WHERE pdl <= 2 ORDER BY pdl"));
}

// Any PC of the office can write its register and its INSTALLA.MOD: their
// text reaches the log with its control characters escaped, a long value
// cut, and no line of its own. (The office folder without a register makes
// the start page ask about the invalid configuration; No ends the run.)
TEST_F(OfficeTest, TextOfTheSharedFilesIsQuotedInTheLog) {
  const std::string forged = "UFFICIO\\mario\r\n[  INFO] forged ";
  const std::string assignee = forged + std::string(10000, 'x');
  WriteOffice({{2025, 1, assignee}});
  ASSERT_TRUE(WriteBytes("C:\\ZAN\\PM05678\\ZAN2025\\HOME\\ETC\\INSTALLA.MOD",
                         std::string("\x1B[2J\x07") + kPassword));
  WizardDriver wizard("shared_text_quoted");
  ASSERT_TRUE(wizard.Start(kArgs));
  ASSERT_TRUE(wizard.WaitPageLogged("WIZ_START"));
  ASSERT_TRUE(wizard.AnswerBox(kCaption, kInvalidQuestion, IDNO));
  EXPECT_EQ(wizard.WaitExit(), 1u);

  // The first 260 bytes of the assignee, escaped, and its whole length.
  const std::string shown = "UFFICIO\\mario\\x0D\\x0A[  INFO] forged " +
                            std::string(260 - forged.size(), 'x') + "... (" +
                            std::to_string(assignee.size()) + " bytes)";
  const std::string record = wizard.LogValue("[  INFO] PM 01234-1 (2025) ");
  EXPECT_EQ(record.substr(0, record.find(" -> ")), shown);
  EXPECT_EQ(wizard.LogValue("[* WARN] Orphan PM -> "),
            "\\x1B[2J\\x07 path -> C:\\ZAN\\PM05678\\ZAN2025");
  EXPECT_EQ(wizard.CountLog("forged"), wizard.CountLog("UFFICIO\\mario\\x0D\\x0A[  INFO] forged "));
  size_t longest = 0;
  for (const std::string& line : wizard.LogLines()) longest = std::max(longest, line.size());
  EXPECT_LT(longest, 1000u);
}

}  // namespace
