// e2e-timeout: 420
// The final page's other roads, driven from WIZ_START to the exit: a
// workstation added to an office of this year, an office of an earlier year
// brought to this year, a peripheral unit, an office on a network drive, a
// second run over the same office and a Vex source that cannot be read. Each
// is checked on disk, in the prefix's registry and in the register read back
// with Linux's own SQLite.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "resource.h"
#include "wine_drive.h"
#include "wizard_driver/driver.h"

using namespace e2e;

namespace {

const char kOffice[] = "C:\\ZAN\\PM01234\\";
const char kPlatform[] = "C:\\ZAN\\PM01234\\ZAN2025\\";
const char kRegister[] = "C:\\ZAN\\PM01234\\ZAN_Shared\\SharedInfo";
const char kArgs[] = "/SKIPUPDATE /NODISCOVERY";
const char kPassword[] = "PWD12345";
const char kColleague[] = "ALTROPC\\collega";
const char kLayers[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";
// The installa.mod of the peripheral unit's package (tools/build_packages.py).
const char kUnitConfig[] = "CONFIGURAZIONE UNITA' PERIFERICA 2025\r\n";

std::string Platform(int year) {
  return std::string(kOffice) + "ZAN" + std::to_string(year) + "\\";
}

struct Row {
  int year, pdl;
  std::string assignee;
};

// Office 01234 in kOffice: its register with `rows`, and for each of their
// years the platform's marker file and runtime, which make the rows offered
// and the current user's complete on this PC.
void WriteOffice(const std::vector<Row>& rows) {
  std::vector<WorkstationRow> workstations;
  std::set<int> years;
  for (const Row& row : rows) {
    if (years.insert(row.year).second) {
      ASSERT_TRUE(WriteBytes(Platform(row.year) + "HOME\\BIN\\ZANOLINF.TXT", "[DATA]\r\n"));
      ASSERT_TRUE(WriteBytes(Platform(row.year) + "HOME\\BIN\\wrun32.exe", "MZ"));
    }
    workstations.push_back({"01234", row.year, row.pdl, row.assignee, Scrambled(kPassword)});
  }
  WriteRegister(kRegister, kOffice, workstations);
}

// The register's workstations as "year pdl assignee pwd-hex", in that order.
std::vector<std::string> Workstations(const std::string& registerPath = kRegister) {
  std::vector<std::string> rows;
  for (const auto& row : RegisterWorkstations(registerPath))
    rows.push_back(row.at(6) + " " + row.at(2) + " " + row.at(3) + " " + row.at(1));
  return rows;
}
std::string Workstation(int year, int pdl, const std::string& assignee) {
  return std::to_string(year) + " " + std::to_string(pdl) + " " + assignee + " " +
         ScrambledHex(kPassword);
}

// The compatibility layer recorded for a platform folder's runtime.
std::optional<std::string> Layer(const std::string& platform) {
  return RegString(HKEY_CURRENT_USER, kLayers, platform + "\\HOME\\BIN\\wrun32.exe");
}

class Roads : public testing::Test {
 protected:
  void SetUp() override { ResetMachine(); }

  // Starts the setup and chooses a task on WIZ_START.
  void Begin(WizardDriver& wizard, int task) {
    ASSERT_TRUE(wizard.Start(kArgs));
    ASSERT_TRUE(wizard.ChooseTask(task));
  }

  // The start to WIZ_INSTALL: office 01234 on the drive entry `drive` of
  // WIZ_SELECTUNIT ("" keeps the one proposed).
  void NewOffice(WizardDriver& wizard, const std::string& drive = "",
                 const std::string& arguments = kArgs, const StartOptions& options = {}) {
    ASSERT_TRUE(wizard.Start(arguments, options));
    ASSERT_TRUE(wizard.ToInstallAsNewOffice("01234", kPassword, drive));
  }

  // Picks the first office of WIZ_PMSELECT and answers Yes to the question
  // ending in `question` ("" expects none).
  void PickOffice(WizardDriver& wizard, const std::string& question) {
    ASSERT_TRUE(wizard.WaitPage("WIZ_PMSELECT"));
    wizard.SelectListItem(IDC_PM_LIST, 0);
    wizard.Next();
    if (question.empty()) return;
    auto box = wizard.WaitBox("Attenzione");
    ASSERT_TRUE(box);
    ASSERT_GE(box->text.size(), question.size());
    EXPECT_EQ(box->text.substr(box->text.size() - question.size()), question);
    wizard.Answer(*box, IDYES);
  }

  // WIZ_BEFOREINSTALL on to WIZ_INSTALL.
  void PassChecks(WizardDriver& wizard) {
    ASSERT_TRUE(wizard.WaitPage("WIZ_BEFOREINSTALL"));
    wizard.Next();
  }

  // WIZ_END's activation to the exit: the share question answered No when
  // `share`, the page shown with the installation's texts, Finish, the notice
  // about workstations added for other users or years when `notice` (no box
  // otherwise), exit 0.
  void FinishRun(WizardDriver& wizard, bool share, bool notice) {
    // The chain may leave WIZ_INSTALL before the sheet could be seen on it.
    ASSERT_TRUE(wizard.WaitPageLogged("WIZ_INSTALL"));
    ASSERT_TRUE(wizard.WaitEndPageDone(share));
    EXPECT_TRUE(wizard.IsVisible(IDC_END_TEXT));
    ASSERT_TRUE(wizard.FinishAndExit(notice));
  }
};

const char kNewPdlQuestion[] =
    "Procedere alla creazione del posto di lavoro e dell'icona di accesso in Piattaforma?";

// A colleague's workstation of this year: the user's is added once, and no
// INSTALLA.MOD is written over the office's platform. Without the user's
// workstations of the earlier years they are added too, and Finish tells to
// restart the other PCs; with them, nothing else is added and nothing told.
TEST_F(Roads, AWorkstationAddedToAnOfficeOfThisYear) {
  for (const bool earlierYears : {false, true}) {
    SCOPED_TRACE(earlierYears ? "user's earlier years present" : "no earlier years");
    SetUp();
    std::vector<Row> rows = {{2025, 1, kColleague}};
    for (int year = 2016; earlierYears && year <= 2024; ++year) rows.push_back({year, 1, CurrentAssignee()});
    WriteOffice(rows);
    WizardDriver wizard(earlierYears ? "added_with_earlier_years" : "added_first");
    Begin(wizard, IDC_TASK_ADD_WORKSTATION);
    PickOffice(wizard, kNewPdlQuestion);
    PassChecks(wizard);
    FinishRun(wizard, true, !earlierYears);

    EXPECT_EQ(wizard.CountLog("Install phase 1 - Korval download skipped, already installed"), 1);
    EXPECT_EQ(wizard.CountLog("Install phase 4 - Korval install skipped, already installed"), 1);
    EXPECT_FALSE(Exists(std::string(kPlatform) + "HOME\\ETC\\INSTALLA.MOD"));
    EXPECT_EQ(wizard.CountLog("[  INFO] Written -> "), 0);
    const auto after = Workstations();
    std::vector<std::string> expected;
    for (int year = 2016; year <= 2024; ++year)
      expected.push_back(Workstation(year, earlierYears ? 1 : 2, CurrentAssignee()));
    expected.push_back(Workstation(2025, 1, kColleague));
    expected.push_back(Workstation(2025, 2, CurrentAssignee()));
    EXPECT_EQ(after, expected);
    EXPECT_EQ(Layer(kPlatform), std::optional<std::string>("ELEVATECREATEPROCESS"));
  }
}

// The office's platform of 2024 brought to 2025: INSTALLA.MOD written for the
// new platform folder, and every workstation of 2024 gets its 2025 copy.
TEST_F(Roads, AnOfficeOfAnEarlierYearBroughtToThisYear) {
  WriteOffice({{2024, 1, CurrentAssignee()}, {2024, 2, kColleague}});
  WizardDriver wizard("earlier_year");
  Begin(wizard, IDC_TASK_INSTALL);
  PickOffice(wizard, "");
  PassChecks(wizard);
  FinishRun(wizard, true, true);

  const std::string installaMod = std::string(kPlatform) + "\\HOME\\ETC\\INSTALLA.MOD";
  EXPECT_EQ(ReadBytes(installaMod), std::string("01234") + kPassword + "\r\r\n" + kPlatform);
  EXPECT_EQ(wizard.CountLog("[  INFO] Written -> " + installaMod), 1);
  const auto after = Workstations();
  // 2016 to 2025 for the user, 2024 and 2025 for the colleague.
  ASSERT_EQ(after.size(), 12u);
  EXPECT_EQ(after[0], Workstation(2016, 1, CurrentAssignee()));
  EXPECT_EQ(after[10], Workstation(2025, 1, CurrentAssignee()));
  EXPECT_EQ(after[11], Workstation(2025, 2, kColleague));
  EXPECT_EQ(Layer(kPlatform), std::optional<std::string>("ELEVATECREATEPROCESS"));
}

// A peripheral unit (/UP) installed from its own platform package: the flag
// file goes and installa.mod becomes installa.up. With installa.up held open
// by another program the copy fails, and installa.mod, the unit's only
// configuration then, stays.
// (WIZ_PMNEW makes the installation an authorised office's again when it
// opens: the run keeps the switch's kind for the final page all the same.)
TEST_F(Roads, APeripheralUnitMovesItsConfiguration) {
  const std::string etc = std::string(kPlatform) + "\\HOME\\ETC\\";
  const std::string flag = std::string(kPlatform) + "FILES\\TXT\\velmora.uff";
  for (const bool blocked : {false, true}) {
    SCOPED_TRACE(blocked ? "installa.up held" : "free");
    SetUp();
    StartOptions options;
    options.runFolder = std::string("C:\\setup_run\\") + (blocked ? "unit_blocked" : "unit");
    ASSERT_TRUE(WriteBytes(
        options.runFolder + "\\korval2025.7z",
        ReadBytes(ServerRoot() + "\\update\\korval\\peripheral\\korval2025.7z")));
    const std::string earlier = "CONFIGURAZIONE PRECEDENTE\r\n";
    if (blocked) {
      ASSERT_TRUE(WriteBytes(etc + "installa.up", earlier));
    }
    HeldFile held(etc + "installa.up");
    ASSERT_EQ(held.held(), blocked);
    WizardDriver wizard(blocked ? "unit_blocked" : "unit");
    NewOffice(wizard, "", std::string("/UP ") + kArgs, options);
    FinishRun(wizard, true, true);
    held.Release();

    EXPECT_FALSE(Exists(flag));
    EXPECT_EQ(ReadBytes(etc + "installa.up"), blocked ? earlier : kUnitConfig);
    EXPECT_EQ(Exists(etc + "installa.mod"), blocked);
    EXPECT_EQ(wizard.CountLog("[  INFO] Written -> " + etc + "installa.up"), blocked ? 0 : 1);
    EXPECT_EQ(wizard.CountLog("[**  ERR] Unable to copy " + etc + "installa.mod"), blocked ? 1 : 0);
    EXPECT_EQ(Workstations().back(), Workstation(2025, 1, CurrentAssignee()));
  }
}

// An office folder on a network drive of the machine: the "is remote" line
// and no share question.
TEST_F(Roads, AnOfficeOnANetworkDriveIsNotOfferedForSharing) {
  ASSERT_TRUE(WriteBytes(ScratchFolder() + "net\\readme.txt", "x"));
  WineDrive network('N', ScratchFolder() + "net", DRIVE_REMOTE);
  ASSERT_TRUE(network.ok()) << "Wine's mount manager gave no network drive N:";
  WizardDriver wizard("network_drive");
  NewOffice(wizard, "N (rete)");
  FinishRun(wizard, false, true);

  EXPECT_EQ(
      wizard.CountLog("[  INFO] Destination unit is N:\\ and is remote, so don't ask for share it"),
      1);
  EXPECT_EQ(wizard.CountLog("network share"), 0);
  EXPECT_EQ(ReadBytes("N:\\ZAN\\PM01234\\ZAN2025\\HOME\\ETC\\INSTALLA.MOD"),
            std::string("01234") + kPassword + "\r\r\nN:\\ZAN\\PM01234\\ZAN2025\\");
  EXPECT_EQ(Workstations(ScratchFolder() + "net\\ZAN\\PM01234\\ZAN_Shared\\SharedInfo").back(),
            Workstation(2025, 1, CurrentAssignee()));
  EXPECT_EQ(Layer("N:\\ZAN\\PM01234\\ZAN2025\\"),
            std::optional<std::string>("ELEVATECREATEPROCESS"));
  EXPECT_FALSE(Exists("N:\\ZAN\\PM01234\\ZAN_Shared\\LockFile"));
}

// A second run over the office and year the first one installed: the user's
// workstation is found, so no row is added and nothing told at Finish; a
// shortcut of that name is left as it stands.
TEST_F(Roads, ASecondRunOverTheSameOfficeAndYearAddsNothing) {
  {
    WizardDriver first("second_run_first");
    NewOffice(first);
    FinishRun(first, true, true);
  }
  if (HasFatalFailure()) return;
  const auto before = Workstations();
  ASSERT_EQ(before.size(), 10u);
  ASSERT_TRUE(WriteBytes("C:\\ZAN\\Other\\other.exe", "MZ"));
  ASSERT_TRUE(WriteLink(ShortcutPath(), "C:\\ZAN\\Other\\other.exe"));
  const std::string link = ReadBytes(ShortcutPath());

  WizardDriver wizard("second_run");
  Begin(wizard, IDC_TASK_INSTALL);
  PickOffice(wizard, "Procedere alla creazione dell'icona di accesso in Piattaforma?");
  FinishRun(wizard, true, false);

  EXPECT_EQ(Workstations(), before);
  EXPECT_EQ(ReadLink(ShortcutPath()).target, "C:\\ZAN\\Other\\other.exe");
  EXPECT_EQ(ReadBytes(ShortcutPath()), link);
  EXPECT_EQ(wizard.CountLog("[  INFO] Created new workpoint"), 0);
}

// DesktopApp's vex.exe held open by another program: its unpacking warns and
// goes on, and the Vex repair cannot read it: the Vex agent's own vex.exe is
// left as it was, with no copy beside it.
TEST_F(Roads, AVexSourceThatCannotBeReadLeavesTheDestination) {
  const std::string source = "C:\\ZAN\\DesktopApp\\BIN\\vex.exe";
  const std::string destination = "C:\\ZAN\\Vex\\BIN\\vex.exe";
  ASSERT_TRUE(WriteBytes(source, "an earlier agent"));
  ASSERT_TRUE(WriteBytes(destination, "the old agent"));
  HeldFile held(source);
  ASSERT_TRUE(held.held());
  WizardDriver wizard("vex_source_held");
  NewOffice(wizard);
  auto warning = wizard.WaitBox("Attenzione", 180000);
  ASSERT_TRUE(warning);
  EXPECT_EQ(warning->text.rfind("Errore 32 nella decompressione.", 0), 0u);
  wizard.Answer(*warning, IDOK);
  FinishRun(wizard, true, true);

  EXPECT_EQ(ReadBytes(destination), "the old agent");
  EXPECT_EQ(Names("C:\\ZAN\\Vex\\BIN\\"), std::vector<std::string>{"vex.exe"});
  EXPECT_EQ(wizard.CountLog("[* WARN] Vex fake NOT fixed, " + destination + " left as it was"), 1);
  EXPECT_EQ(wizard.CountLog("[  INFO] Vex fake fixed"), 0);
}

}  // namespace
