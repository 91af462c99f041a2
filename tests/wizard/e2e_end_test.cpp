// e2e-timeout: 1200
// The final page's roads, driven from WIZ_START to the exit: a new office,
// the share through the elevated copy, an office code with a line break
// that must forge no log line, a configuration file or a register
// that cannot be written, offices found and installed over and a peripheral
// unit (an office on a network drive: the office test). Each is checked on disk, in the prefix's registry and in the
// register read back with Linux's own SQLite.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "resource.h"
#include "wizard_driver/driver.h"

using namespace e2e;

namespace {

const char kColleague[] = "ALTROPC\\collega";

// INSTALLA.MOD and the runtime as the setup names them (the platform
// folder's own "\" doubled), and the bytes it writes there for 01234.
const std::string kInstallaMod = std::string(kPlatform) + "\\HOME\\ETC\\INSTALLA.MOD";
const std::string kRuntime = std::string(kPlatform) + "\\HOME\\BIN\\wrun32.exe";
const std::string kInstallaModBytes = std::string("01234") + kPassword + "\r\r\n" + kPlatform;
std::optional<std::string> Layer() { return RegString(HKEY_CURRENT_USER, kLayersKey, kRuntime); }
const std::optional<std::string> kElevate = std::string("ELEVATECREATEPROCESS");

// Workstations as "year pdl assignee pwd-hex", sorted as the register sorts
// them: those of a register, those of a list.
std::vector<std::string> Workstations() {
  std::vector<std::string> rows;
  for (const auto& row : RegisterWorkstations())
    rows.push_back(row.at(6) + " " + row.at(2) + " " + row.at(3) + " " + row.at(1));
  return rows;
}
std::vector<std::string> Expected(const std::vector<Workstation>& list) {
  std::vector<std::string> rows;
  for (const Workstation& w : list)
    rows.push_back(std::to_string(w.year) + " " + std::to_string(w.pdl) + " " + w.assignee + " " +
                   StoredPasswordHex());
  std::sort(rows.begin(), rows.end());
  return rows;
}
// `assignee`'s workstation `pdl` in each year from `from` to `to`, then `more`.
std::vector<Workstation> Years(int from, int to, int pdl, const std::string& assignee,
                               const std::vector<Workstation>& more = {}) {
  std::vector<Workstation> list = more;
  for (int year = from; year <= to; ++year) list.push_back({year, pdl, assignee});
  return list;
}

// The final page's share question (asked while the page becomes active)
// answered Yes; the log `lines` on the way; the box that says it failed.
void ShareFails(WizardDriver& wizard, const std::vector<std::string>& lines) {
  auto question = wizard.WaitBox("Condivisione", kChainWait);
  ASSERT_TRUE(question);
  EXPECT_NE(question->text.find("Procedere con la condivisione della Piattaforma ZAN"),
            std::string::npos);
  wizard.Answer(*question, IDYES);
  for (const std::string& line : lines) ASSERT_TRUE(wizard.WaitLog(line));
  auto failed = wizard.WaitBox("Condivisione");
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->text.rfind("La condivisione automatica della Cartella ZAN non e' andata", 0),
            0u);
  wizard.Answer(*failed, IDOK);
}

class EndRoad : public testing::Test {
 protected:
  void SetUp() override { ResetMachine(); }

  // From WIZ_INSTALL's activation to the exit: the final page's work done
  // (its share question answered No when `share`, asked before), the page
  // shown whole with the installation's texts and Finish focused, Finish,
  // the notice about workstations added for other users or years when
  // `notice` (no box otherwise), exit 0.
  void FinishRun(WizardDriver& wizard, bool share, bool notice) {
    ASSERT_TRUE(wizard.WaitEndPageDone(share));
    EXPECT_TRUE(wizard.ShowsWatermark());             // after the boxes of its activation
    EXPECT_TRUE(wizard.WaitFocus(IDC_SHEET_FINISH));  // not the install page's Cancel
    for (int shown : {IDC_END_TITLE, IDC_END_TEXT, IDC_END_NEWS}) EXPECT_TRUE(wizard.IsVisible(shown));
    EXPECT_FALSE(wizard.IsVisible(IDC_END_RESTORE_TEXT));
    ASSERT_TRUE(wizard.FinishAndExit(notice));
  }
};

// A new office on C, its share refused (Wine has no share server: the add
// answers 50), and all the final page writes, read back.
TEST_F(EndRoad, NewOfficeOnC) {
  // The Vex agent installed with a broken executable, a leftover
  // "new_vex.exe", its autorun value and the desktop link an older layout
  // gave it: the setup's shortcut replaces that link.
  ASSERT_TRUE(WriteBytes("C:\\ZAN\\Vex\\BIN\\vex.exe", "the old agent"));
  ASSERT_TRUE(WriteBytes("C:\\ZAN\\Vex\\BIN\\new_vex.exe", "leftover"));
  ASSERT_TRUE(WriteLink(ShortcutPath(), "C:\\ZAN\\Vex\\BIN\\VEX.EXE"));
  const char kVex[] = "C:\\ZAN\\Vex\\BIN\\vex.exe";
  HKEY run = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kRunKey, &run), ERROR_SUCCESS);
  RegSetValueExA(run, "Vex", 0, REG_SZ, reinterpret_cast<const BYTE*>(kVex), sizeof kVex);
  RegCloseKey(run);

  WizardDriver wizard("new_office");
  ASSERT_TRUE(wizard.StartAsNewOffice());
  ShareFails(wizard, {"[  INFO] User choose to create a network share for path " + std::string(kOffice),
                      "[* WARN] Sharing failed due to error -> 50"});
  FinishRun(wizard, false, true);

  EXPECT_EQ(ReadBytes(kInstallaMod), kInstallaModBytes);
  // This year's row and its copies for every year from 2016, all the same
  // workstation.
  const auto rows = RegisterWorkstations();
  ASSERT_EQ(rows.size(), 10u);
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i], (std::vector<std::string>{"01234", StoredPasswordHex(), "1", CurrentAssignee(),
                                                 kOffice, "KORVAL", std::to_string(2016 + i),
                                                 "\\home\\BIN\\wrun32.exe"}));
  }
  const Link link = ReadLink(ShortcutPath());
  EXPECT_EQ(link.target, std::string(kBin) + "DesktopApp.exe");
  EXPECT_EQ(link.folder, kBin);
  EXPECT_EQ(RegDword(HKEY_CURRENT_USER, kPersistedKey, kRuntime), std::optional<DWORD>(2));
  EXPECT_EQ(Layer(), kElevate);
  // Vex: out of the autorun key, its executable repaired from DesktopApp's.
  EXPECT_FALSE(RegString(HKEY_CURRENT_USER, kRunKey, "Vex"));
  EXPECT_EQ(ReadBytes("C:\\ZAN\\Vex\\BIN\\vex.exe"), ReadBytes(std::string(kBin) + "vex.exe"));
  EXPECT_FALSE(Exists("C:\\ZAN\\Vex\\BIN\\new_vex.exe"));
  EXPECT_FALSE(Exists(kLock));
  EXPECT_FALSE(Exists(TempFolder() + "korval2025.7z"));
  EXPECT_FALSE(Exists(TempFolder() + "desktopapp.7z"));
}

// The test copy of the setup is refused the share for lack of rights: it
// starts itself again (Wine's "runas" needs no prompt) with the run's
// switches, that copy runs the share mode for real and its exit code, Wine's
// 50, reaches the page. The setup runs from a folder written with "/", which
// once cut the executable.
TEST_F(EndRoad, ElevatedCopyCreatesTheShare) {
  WizardDriver wizard("elevated_copy");
  ASSERT_TRUE(CreateDirectoryA("C:\\setup_run", nullptr));
  ASSERT_TRUE(CreateDirectoryA("C:\\setup_run\\elevated", nullptr));
  StartOptions options;
  options.runFolder = "C:\\setup_run\\elevated/copy";
  options.setupExe = BuildFolder() + "\\setup_share_seam\\ZAN2025.exe";
  ASSERT_TRUE(wizard.StartAsNewOffice(kArgs, options));
  ShareFails(wizard, {"[* WARN] Sharing failed due to privilege error", "[  INFO] executable -> ",
                      "[  INFO] -------> Command line -> SHARE=01234;C:\\ZAN\\PM01234\\",
                      "[  INFO] -------> External privileges set end",
                      "[  INFO] Setup with admin privileges started successfully",
                      "[* WARN] Sharing failed due to error -> 50"});
  FinishRun(wizard, false, true);
  // The executable is the setup's own file (Windows may write its "/" as "\").
  std::string executable = wizard.LogValue("[  INFO] executable -> "), expected = wizard.SetupPath();
  std::replace(executable.begin(), executable.end(), '/', '\\');
  std::replace(expected.begin(), expected.end(), '/', '\\');
  EXPECT_EQ(executable, expected);
  EXPECT_EQ(wizard.CountLog("[  INFO] params -> /SKIPUPDATE /NODISCOVERY /SHARE=01234;C:\\ZAN\\PM01234\\"), 1);
  // Only the copy reached the share call; the page's own call was refused.
  EXPECT_EQ(wizard.CountLog("[  INFO] Net share add failed 50"), 1);
}

// Any PC of the office can write the register: here the user's workstation of
// this year holds an office code with a line break, and its platform lacks the
// runtime. On the whole road (the start page's question answered Yes, the
// office picked, its old row removed, the new row written, the share through
// the elevated copy, which refuses the code) the code reaches the log escaped,
// and every line of the log is one the setup began.
TEST_F(EndRoad, AnOfficeCodeWithALineBreakForgesNoLogLine) {
  const std::string code = "01234\r\n[  INFO] forged";
  const std::string escaped = "01234\\x0D\\x0A[  INFO] forged";
  const std::string user = CurrentAssignee();
  WriteOffice({{2025, 1, user, code}}, false);
  WizardDriver wizard("forged_code");
  StartOptions options;
  options.setupExe = BuildFolder() + "\\setup_share_seam\\ZAN2025.exe";
  ASSERT_TRUE(wizard.Start(kArgs, options));
  ASSERT_TRUE(wizard.WaitPageLogged("WIZ_START"));
  ASSERT_TRUE(wizard.AnswerBox("Attenzione",
                               "ATTENZIONE!!\n\nE' stata rilevata una configurazione non valida, "
                               "vuoi procedere con l'installazione?",
                               IDYES));
  ASSERT_TRUE(wizard.WaitPage("WIZ_PMSELECT"));
  wizard.SelectListItem(IDC_PM_LIST, 0);
  wizard.Next();
  ASSERT_TRUE(wizard.WaitPage("WIZ_BEFOREINSTALL"));
  wizard.Next();
  ASSERT_TRUE(wizard.WaitPageLogged("WIZ_INSTALL"));
  ShareFails(wizard, {"[* WARN] Sharing failed due to privilege error",
                      "[  INFO] -------> External privileges set end",
                      "[* WARN] Sharing failed due to error -> 87"});
  FinishRun(wizard, false, true);

  std::vector<std::string> begunElsewhere;
  for (const std::string& line : wizard.LogLines())
    if (line.size() < 23 || line[0] != '[' || line[9] != '@' || line[22] != ']')
      begunElsewhere.push_back(line);
  EXPECT_EQ(begunElsewhere, std::vector<std::string>{});
  const std::string tail = " for " + escaped + " 2025 " + user;
  EXPECT_EQ(wizard.CountLog("[* WARN] RemoveWorkpoint found 1 pair" + tail), 1);
  EXPECT_EQ(wizard.CountLog("[* WARN] RemoveWorkpoint removed 1 lines on Workpoint" + tail), 1);
  EXPECT_EQ(wizard.CountLog("[* WARN] RemoveWorkpoint removed 1 lines on Workpoint_SwExt" + tail), 1);
  EXPECT_EQ(wizard.CountLog("[  INFO] params -> /SKIPUPDATE /NODISCOVERY /SHARE=" + escaped + ";" +
                            kOffice),
            1);
  EXPECT_EQ(wizard.CountLog("[  INFO] -------> Command line -> SHARE=" + escaped + ";" + kOffice), 1);
  EXPECT_EQ(wizard.CountLog("[  INFO] -------> PM -> " + escaped), 1);
  EXPECT_EQ(wizard.CountLog("[* WARN] -------> Share refused (office code not valid) -> " + escaped),
            1);
  // The user's workstation written again, with the code as the register gave it.
  EXPECT_EQ(QueryRegister(kRegister, "SELECT pm, assignee FROM Workpoint w JOIN Workpoint_SwExt ws "
                                     "ON w.idWorkpoint = ws.idWorkpoint JOIN SwExt s ON "
                                     "s.idSwExt = ws.idSwExt WHERE s.anno = '2025'"),
            (std::vector<std::vector<std::string>>{{code, user}}));
}

// A register that refuses new workstations: the error line and box, the
// process ends with 0 and the lock stays for the next run to find.
TEST_F(EndRoad, RegisterCannotBeWritten) {
  WriteOffice({}, false, kOffice,
              "CREATE TRIGGER refuse BEFORE INSERT ON Workpoint "
              "BEGIN SELECT RAISE(ABORT, 'read-only register'); END;");
  WizardDriver wizard("register_refuses");
  ASSERT_TRUE(wizard.StartAsNewOffice());
  ASSERT_TRUE(wizard.WaitLog("[**  ERR] Unable to write on SharedInfo -> " + std::string(kRegister),
                             kChainWait));
  ASSERT_TRUE(wizard.AnswerBox("Errore",
                                "Errore nella scrittura delle configurazioni sul disco. Verificare i "
                                "privilegi di scrittura sulla cartella di destinazione."));
  EXPECT_EQ(wizard.WaitExit(), 0u);
  EXPECT_TRUE(Exists(kLock));
  EXPECT_FALSE(Exists(kInstallaMod));
  EXPECT_EQ(RegisterWorkstations().size(), 0u);
}

// An office of C picked and installed over. With the platform of this year
// there nothing is unpacked for it and its INSTALLA.MOD stays; the user's
// workstation is added when missing, with its copies for the years the user
// lacks (and then Finish tells to restart the other PCs). An office of an
// earlier year gets INSTALLA.MOD for the new platform folder and every
// workstation of that year its copy. A shortcut of the setup's name is left
// as it stands.
TEST_F(EndRoad, AnOfficeFoundIsInstalledOver) {
  const std::string user = CurrentAssignee();
  const struct {
    const char* name;
    int task;
    std::vector<Workstation> before, after;
    std::string question;  // "" when none comes
    bool checks;    // WIZ_BEFOREINSTALL comes (not for the user's own workstation)
    bool notice;
    bool thisYear;  // the platform of this year is there
  } cases[] = {
      {"added_first", IDC_TASK_ADD_WORKSTATION, {{2025, 1, kColleague}},
       Years(2016, 2024, 2, user, {{2025, 1, kColleague}, {2025, 2, user}}),
       "Procedere alla creazione del posto di lavoro e dell'icona di accesso in Piattaforma?", true,
       true, true},
      {"second_run", IDC_TASK_INSTALL, Years(2016, 2025, 1, user), Years(2016, 2025, 1, user),
       "Procedere alla creazione dell'icona di accesso in Piattaforma?", false, false, true},
      {"earlier_year", IDC_TASK_INSTALL, {{2024, 1, user}, {2024, 2, kColleague}},
       Years(2016, 2025, 1, user, {{2024, 2, kColleague}, {2025, 2, kColleague}}), "", true, true,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    WriteOffice(c.before);
    ASSERT_TRUE(WriteBytes("C:\\ZAN\\Other\\other.exe", "MZ"));
    ASSERT_TRUE(WriteLink(ShortcutPath(), "C:\\ZAN\\Other\\other.exe"));
    const std::string link = ReadBytes(ShortcutPath());
    WizardDriver wizard(c.name);
    ASSERT_TRUE(wizard.Start(kArgs));
    ASSERT_TRUE(wizard.ToInstallOnFoundOffice(c.task, c.question, c.checks));
    FinishRun(wizard, true, c.notice);

    EXPECT_EQ(Workstations(), Expected(c.after));
    EXPECT_EQ(ReadBytes(kInstallaMod), c.thisYear ? std::string("01234") + kPassword : kInstallaModBytes);
    for (const char* skipped : {"Install phase 1 - Korval download skipped, already installed",
                                "Install phase 4 - Korval install skipped, already installed"})
      EXPECT_EQ(wizard.CountLog(skipped), c.thisYear ? 1 : 0) << skipped;
    EXPECT_EQ(Layer(), kElevate);
    EXPECT_EQ(ReadBytes(ShortcutPath()), link);
  }
}

// A peripheral unit (/UP) installed from its own platform package and the
// DesktopApp archive, both lying beside the setup: nothing is downloaded and
// the packages, the user's, stay. The flag file goes and installa.mod
// becomes installa.up; with installa.up held open by another program the
// copy fails, and installa.mod, the unit's only configuration then, stays.
// (WIZ_PMNEW makes the installation an authorised office's again when it
// opens: the run keeps the switch's kind all the same.)
TEST_F(EndRoad, APeripheralUnitMovesItsConfiguration) {
  const std::string etc = std::string(kPlatform) + "\\HOME\\ETC\\";
  const std::string earlier = "CONFIGURAZIONE PRECEDENTE\r\n";
  for (const bool blocked : {false, true}) {
    SCOPED_TRACE(blocked ? "installa.up held" : "free");
    SetUp();
    StartOptions options;
    options.runFolder = std::string("C:\\setup_run\\") + (blocked ? "unit_blocked\\" : "unit\\");
    ASSERT_TRUE(WriteBytes(options.runFolder + "korval2025.7z",
                           ReadBytes(ServedFile("/update/korval/peripheral/korval2025.7z"))));
    ASSERT_TRUE(WriteBytes(options.runFolder + "desktopapp.7z", ReadBytes(ServedFile(kArchivePath))));
    if (blocked) {
      ASSERT_TRUE(WriteBytes(etc + "installa.up", earlier));
    }
    HeldFile held(etc + "installa.up");
    ASSERT_EQ(held.held(), blocked);
    WizardDriver wizard(blocked ? "unit_blocked" : "unit");
    ASSERT_TRUE(wizard.StartAsNewOffice(std::string("/UP ") + kArgs, options));
    FinishRun(wizard, true, true);
    held.Release();

    EXPECT_EQ(ServerRequests(), std::vector<std::string>{});
    EXPECT_EQ(wizard.CountLog("[* WARN] Install phase 1 - Korval download skipped, detected local "
                              "package for Korval install, using it"),
              1);
    EXPECT_EQ(wizard.CountLog("[* WARN] Install phase 2 - DesktopApp xml check skipped, detected "
                              "local package for DesktopApp install, using it"),
              1);
    EXPECT_EQ(wizard.CountLog("Install phase 3"), 0);
    EXPECT_EQ(Names(options.runFolder), (std::vector<std::string>{"ZAN2025.exe", "desktopapp.7z", "korval2025.7z"}));

    EXPECT_FALSE(Exists(std::string(kPlatform) + "FILES\\TXT\\velmora.uff"));
    // The installa.mod of the unit's package (tools/build_packages.py).
    EXPECT_EQ(ReadBytes(etc + "installa.up"), blocked ? earlier : "CONFIGURAZIONE UNITA' PERIFERICA 2025\r\n");
    EXPECT_EQ(Exists(etc + "installa.mod"), blocked);
    EXPECT_EQ(wizard.CountLog("[**  ERR] Unable to copy " + etc + "installa.mod"), blocked ? 1 : 0);
    EXPECT_EQ(Workstations().back(), Expected({{2025, 1, CurrentAssignee()}}).front());
  }
}

// What the road cannot write only warns, and the road goes on: DesktopApp's
// vex.exe held open by another program (its unpacking warns; the Vex repair
// cannot read it, so the Vex agent's own vex.exe is left as it was, with no
// copy beside it), and INSTALLA.MOD that cannot be created (a folder stands
// in its place: the error line and box).
TEST_F(EndRoad, FilesThatCannotBeWrittenOnlyWarn) {
  const std::string source = std::string(kBin) + "vex.exe";
  const std::string destination = "C:\\ZAN\\Vex\\BIN\\vex.exe";
  ASSERT_TRUE(WriteBytes(source, "an earlier agent"));
  ASSERT_TRUE(WriteBytes(destination, "the old agent"));
  HeldFile held(source);
  ASSERT_TRUE(held.held());
  MakeFolders(std::string(kPlatform) + "HOME\\ETC\\INSTALLA.MOD");
  WizardDriver wizard("files_not_written");
  ASSERT_TRUE(wizard.StartAsNewOffice());
  auto warning = wizard.WaitBox("Attenzione", kChainWait);
  ASSERT_TRUE(warning);
  EXPECT_EQ(warning->text.rfind("Errore 32 nella decompressione. L'installazione proseguira'", 0), 0u);
  wizard.Answer(*warning, IDOK);
  ASSERT_TRUE(wizard.WaitLog("[**  ERR] Unable to write configuration -> " + kInstallaMod, kChainWait));
  ASSERT_TRUE(wizard.AnswerBox("Errore",
                                "Errore nella scrittura delle configurazioni sul disco. "
                                "L'applicazione potrebbe non funzionare correttamente."));
  FinishRun(wizard, true, true);

  EXPECT_EQ(ReadBytes(destination), "the old agent");
  EXPECT_EQ(Names("C:\\ZAN\\Vex\\BIN\\"), std::vector<std::string>{"vex.exe"});
  EXPECT_EQ(wizard.CountLog("[* WARN] Vex fake NOT fixed, " + destination + " left as it was"), 1);
  EXPECT_EQ(RegisterWorkstations().size(), 10u);
}

}  // namespace
