// e2e-timeout: 900
// The whole road of an installation, seen from outside: the real setup driven
// through its pages to WIZ_END, then the register row, INSTALLA.MOD, the
// shortcut, the compatibility values, the Vex steps, the share offer, the lock
// and the exit code checked on disk, in the prefix's registry and in the
// register read back with Linux's own SQLite.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "resource.h"
#include "wizard_driver/driver.h"

using namespace e2e;

namespace {

const char kPersisted[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility "
    "Assistant\\Persisted";
const char kLayers[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";
const char kRun[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kOffice[] = "C:\\ZAN\\PM01234\\";
const char kPlatform[] = "C:\\ZAN\\PM01234\\ZAN2025\\";
const char kRegister[] = "C:\\ZAN\\PM01234\\ZAN_Shared\\SharedInfo";
const char kPassword[] = "AB3D5F7H";
const char kVexOld[] = "the old agent";

void SetRunValue(const char* name, const std::string& data) {
  HKEY key = nullptr;
  if (RegCreateKeyA(HKEY_CURRENT_USER, kRun, &key) != ERROR_SUCCESS) return;
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                 static_cast<DWORD>(data.size() + 1));
  RegCloseKey(key);
}

// The machine before a road: the Vex agent installed with a broken executable,
// a leftover "new_vex.exe" and its autorun value.
void PrepareVex() {
  ASSERT_TRUE(WriteBytes("C:\\ZAN\\Vex\\BIN\\vex.exe", kVexOld));
  ASSERT_TRUE(WriteBytes("C:\\ZAN\\Vex\\BIN\\new_vex.exe", "leftover"));
  SetRunValue("Vex", "C:\\ZAN\\Vex\\BIN\\vex.exe");
}

// The prepared prefix links the user's desktop to the Linux home folder, which
// every test program's prefix shares; the setup and the driver are pointed at
// a desktop folder of this prefix instead.
void UsePrivateDesktop() {
  const char kFolder[] = "C:\\users\\Public\\e2e_end_desktop";
  CreateDirectoryA(kFolder, nullptr);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER,
                          "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                          &key),
            ERROR_SUCCESS);
  RegSetValueExA(key, "Desktop", 0, REG_SZ, reinterpret_cast<const BYTE*>(kFolder), sizeof kFolder);
  RegCloseKey(key);
  ASSERT_EQ(DesktopFolder(), kFolder);
}

// WIZ_START to the activation of WIZ_END for a new office code on drive C.
// The final page does its work (and asks its questions) while it becomes
// active, so the sheet shows it only once that work is done.
void InstallNewOffice(WizardDriver& wizard, const std::string& code) {
  ASSERT_TRUE(wizard.ToInstallAsNewOffice(code, kPassword));
  ASSERT_TRUE(wizard.WaitPage("WIZ_INSTALL"));
  ASSERT_TRUE(wizard.WaitLog("[  INFO] Sheet active -> WIZ_END", 180000));
}

void AnswerShareQuestion(WizardDriver& wizard, int answer) {
  auto question = wizard.WaitBox("Condivisione");
  ASSERT_TRUE(question);
  EXPECT_NE(question->text.find("Procedere con la condivisione della Piattaforma ZAN"),
            std::string::npos);
  wizard.Answer(*question, answer);
}

void ExpectShareFailureBox(WizardDriver& wizard) {
  auto failed = wizard.WaitBox("Condivisione");
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->text.rfind("La condivisione automatica della Cartella ZAN non e' andata", 0),
            0u);
  wizard.Answer(*failed, IDOK);
}

// The page's work is done: the sheet shows WIZ_END with the installation's
// texts; Finish shows the notice (a new office gets the current user's
// workstation in every year from 2016) and the setup ends with 0.
void FinishNewOffice(WizardDriver& wizard) {
  ASSERT_TRUE(wizard.WaitLog("[  INFO] Deleted lock file"));
  ASSERT_TRUE(wizard.WaitPage("WIZ_END"));
  EXPECT_TRUE(wizard.ShowsWatermark());  // after the boxes of its activation
  EXPECT_TRUE(wizard.WaitFocus(IDC_SHEET_FINISH));  // not the install page's Cancel
  EXPECT_TRUE(wizard.IsVisible(IDC_END_TITLE));
  EXPECT_TRUE(wizard.IsVisible(IDC_END_TEXT));
  EXPECT_TRUE(wizard.IsVisible(IDC_END_NEWS));
  EXPECT_FALSE(wizard.IsVisible(IDC_END_RESTORE_TEXT));
  ASSERT_TRUE(wizard.FinishAndExit(true));
}


std::string InstallaMod() { return std::string(kPlatform) + "\\HOME\\ETC\\INSTALLA.MOD"; }

TEST(EndRoad, NewOfficeOnC) {
  UsePrivateDesktop();
  ResetMachine();
  PrepareVex();
  WizardDriver wizard("new_office");
  ASSERT_TRUE(wizard.Start("/SKIPUPDATE /NODISCOVERY"));
  InstallNewOffice(wizard, "01234");
  AnswerShareQuestion(wizard, IDYES);
  // Wine has no share server: the add answers 50.
  ASSERT_TRUE(wizard.WaitLog("[  INFO] User choose to create a network share for path " +
                             std::string(kOffice)));
  ASSERT_TRUE(wizard.WaitLog("[* WARN] Sharing failed due to error -> 50"));
  ExpectShareFailureBox(wizard);
  FinishNewOffice(wizard);

  // INSTALLA.MOD, byte for byte.
  EXPECT_EQ(ReadBytes(InstallaMod()), std::string("01234") + kPassword + "\r\r\n" + kPlatform);
  EXPECT_EQ(wizard.CountLog("[  INFO] Written -> " + InstallaMod()), 1);

  // The register, read with Linux's SQLite: this year's row and its copies
  // for every year from 2016, all the same workstation.
  const auto rows = RegisterWorkstations(kRegister);
  ASSERT_EQ(rows.size(), 10u);
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::vector<std::string> expected = {
        "01234", ScrambledHex(kPassword), "1", CurrentAssignee(), kOffice, "KORVAL",
        std::to_string(2016 + i), "\\home\\BIN\\wrun32.exe"};
    EXPECT_EQ(rows[i], expected);
  }

  // The shortcut.
  const Link link = ReadLink(ShortcutPath());
  ASSERT_TRUE(link.read);
  EXPECT_EQ(link.target, "C:\\ZAN\\DesktopApp\\BIN\\DesktopApp.exe");
  EXPECT_EQ(link.folder, "C:\\ZAN\\DesktopApp\\BIN\\");

  // The compatibility values, named with the runtime folder's doubled "\".
  const std::string valueName = std::string(kPlatform) + "\\HOME\\BIN\\wrun32.exe";
  EXPECT_EQ(RegDword(HKEY_CURRENT_USER, kPersisted, valueName), std::optional<DWORD>(2));
  EXPECT_EQ(RegString(HKEY_CURRENT_USER, kLayers, valueName),
            std::optional<std::string>("ELEVATECREATEPROCESS"));

  // The Vex steps.
  EXPECT_FALSE(RegString(HKEY_CURRENT_USER, kRun, "Vex"));
  EXPECT_EQ(wizard.CountLog("[  INFO] Vex removed from autorun"), 1);
  const std::string repaired = ReadBytes("C:\\ZAN\\Vex\\BIN\\vex.exe");
  EXPECT_EQ(repaired, ReadBytes("C:\\ZAN\\DesktopApp\\BIN\\vex.exe"));
  EXPECT_NE(repaired, kVexOld);
  EXPECT_FALSE(Exists("C:\\ZAN\\Vex\\BIN\\new_vex.exe"));
  EXPECT_EQ(wizard.CountLog("[  INFO] Vex fake fixed"), 1);

  // The lock and the temporary packages are gone.
  EXPECT_FALSE(Exists(std::string(kOffice) + "ZAN_Shared\\LockFile"));
  EXPECT_FALSE(Exists(TempFolder() + "korval2025.7z"));
  EXPECT_FALSE(Exists(TempFolder() + "desktopapp.7z"));
}

// A restore over the office installed before: the restore texts, the
// shortcut written anew over one pointing elsewhere, the compatibility values
// of the restored office, the lock deleted; no register access, no share
// question and no notice.
TEST(EndRoad, RestoreRewritesTheDesktopIntegration) {
  UsePrivateDesktop();
  ResetMachine();
  {
    WizardDriver first("restore_install");
    ASSERT_TRUE(first.Start("/SKIPUPDATE /NODISCOVERY"));
    InstallNewOffice(first, "01234");
    AnswerShareQuestion(first, IDNO);
    FinishNewOffice(first);
  }
  if (HasFatalFailure()) return;
  // A link of that name to another program, and no compatibility values.
  ASSERT_TRUE(WriteBytes("C:\\ZAN\\Other\\other.exe", "MZ"));
  ASSERT_TRUE(WriteLink(ShortcutPath(), "C:\\ZAN\\Other\\other.exe"));
  ASSERT_EQ(ReadLink(ShortcutPath()).target, "C:\\ZAN\\Other\\other.exe");
  const std::string valueName = std::string(kPlatform) + "\\HOME\\BIN\\wrun32.exe";
  for (const char* key : {kPersisted, kLayers}) {
    HKEY h = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_SET_VALUE, &h), ERROR_SUCCESS);
    RegDeleteValueA(h, valueName.c_str());
    RegCloseKey(h);
  }
  const size_t rowsBefore = RegisterWorkstations(kRegister).size();
  // A lock an interrupted run left behind.
  ASSERT_TRUE(WriteBytes(std::string(kOffice) + "ZAN_Shared\\LockFile",
                             "[20250101@10:00:00:000];PC\\someone;1"));

  WizardDriver wizard("restore");
  ASSERT_TRUE(wizard.Start("/SKIPUPDATE /NODISCOVERY"));
  ASSERT_TRUE(wizard.ChooseTask(IDC_TASK_RESTORE));
  auto concurrent = wizard.WaitBox("Attenzione");
  ASSERT_TRUE(concurrent);
  EXPECT_NE(concurrent->text.find("installazione concorrente"), std::string::npos);
  wizard.Answer(*concurrent, IDYES);
  // The restore deletes the log folder, and with it the lines a wait would
  // look for: wait on the sheet instead, until it shows the restore title.
  bool shown = false;
  for (DWORD start = GetTickCount(); !shown && GetTickCount() - start < 120000; Sleep(200)) {
    HWND title = GetDlgItem(wizard.ActivePage(), IDC_END_RESTORE_TITLE);
    shown = title && IsWindowVisible(title);
  }
  ASSERT_TRUE(shown);
  wizard.Screenshot("WIZ_END");
  EXPECT_TRUE(wizard.IsVisible(IDC_END_RESTORE_TITLE));
  EXPECT_TRUE(wizard.IsVisible(IDC_END_RESTORE_TEXT));
  EXPECT_FALSE(wizard.IsVisible(IDC_END_TEXT));
  EXPECT_TRUE(wizard.NoBoxFor(1000));
  wizard.Finish();
  const auto code = wizard.WaitExit();
  ASSERT_TRUE(code);
  EXPECT_EQ(*code, 0u);

  const Link link = ReadLink(ShortcutPath());
  EXPECT_EQ(link.target, "C:\\ZAN\\DesktopApp\\BIN\\DesktopApp.exe");
  EXPECT_EQ(RegDword(HKEY_CURRENT_USER, kPersisted, valueName), std::optional<DWORD>(2));
  EXPECT_EQ(RegString(HKEY_CURRENT_USER, kLayers, valueName),
            std::optional<std::string>("ELEVATECREATEPROCESS"));
  EXPECT_FALSE(Exists(std::string(kOffice) + "ZAN_Shared\\LockFile"));
  EXPECT_EQ(RegisterWorkstations(kRegister).size(), rowsBefore);
  EXPECT_EQ(wizard.CountLog("Destination unit is"), 0);
  EXPECT_EQ(wizard.CountLog("SharedInfo"), 0);
}

// The test copy of the setup is refused the share for lack of rights: it
// starts itself again (Wine's "runas" needs no prompt), that copy runs the
// share mode for real and its exit code, Wine's 50, reaches the page. The
// setup runs from a folder written with "/", which once cut the executable.
TEST(EndRoad, ElevatedCopyCreatesTheShare) {
  UsePrivateDesktop();
  ResetMachine();
  WizardDriver wizard("elevated_copy");
  CreateDirectoryA("C:\\setup_run", nullptr);
  CreateDirectoryA("C:\\setup_run\\elevated", nullptr);
  StartOptions options;
  options.runFolder = "C:\\setup_run\\elevated/copy";
  options.setupExe = BuildFolder() + "\\setup_share_seam\\ZAN2025.exe";
  ASSERT_TRUE(wizard.Start("/SKIPUPDATE /NODISCOVERY", options));
  InstallNewOffice(wizard, "01234");
  AnswerShareQuestion(wizard, IDYES);
  ASSERT_TRUE(wizard.WaitLog("[* WARN] Sharing failed due to privilege error"));
  ASSERT_TRUE(wizard.WaitLog("[  INFO] executable -> "));
  ASSERT_TRUE(wizard.WaitLog("[  INFO] -------> Command line -> SHARE=01234;C:\\ZAN\\PM01234\\",
                             10000));
  ASSERT_TRUE(wizard.WaitLog("[  INFO] -------> External privileges set end", 10000));
  ASSERT_TRUE(wizard.WaitLog("[  INFO] Setup with admin privileges started successfully"));
  ASSERT_TRUE(wizard.WaitLog("[* WARN] Sharing failed due to error -> 50"));
  ExpectShareFailureBox(wizard);
  FinishNewOffice(wizard);
  // The executable is the setup's own file (Windows may write its "/" as "\\").
  std::string executable;
  for (const std::string& line : wizard.LogLines()) {
    const size_t at = line.find("[  INFO] executable -> ");
    if (at != std::string::npos) executable = line.substr(at + 23);
  }
  std::replace(executable.begin(), executable.end(), '/', '\\');
  std::string expected = wizard.SetupPath();
  std::replace(expected.begin(), expected.end(), '/', '\\');
  EXPECT_EQ(executable, expected);
  EXPECT_EQ(wizard.CountLog(
                "[  INFO] params -> /SKIPUPDATE /NODISCOVERY /SHARE=01234;C:\\ZAN\\PM01234\\"),
            1);
  // Only the copy reached the share call; the page's own call was refused.
  EXPECT_EQ(wizard.CountLog("[  INFO] Net share add failed 50"), 1);
}

// INSTALLA.MOD cannot be created (a folder stands in its place): the error
// line and box, and the rest of the road goes on; the share is refused.
TEST(EndRoad, ConfigurationFileCannotBeWritten) {
  UsePrivateDesktop();
  ResetMachine();
  ASSERT_TRUE(CreateDirectoryA("C:\\ZAN", nullptr));
  for (const char* folder : {"C:\\ZAN\\PM01234", "C:\\ZAN\\PM01234\\ZAN2025",
                             "C:\\ZAN\\PM01234\\ZAN2025\\HOME", "C:\\ZAN\\PM01234\\ZAN2025\\HOME\\ETC",
                             "C:\\ZAN\\PM01234\\ZAN2025\\HOME\\ETC\\INSTALLA.MOD"})
    CreateDirectoryA(folder, nullptr);
  WizardDriver wizard("installa_mod_blocked");
  ASSERT_TRUE(wizard.Start("/SKIPUPDATE /NODISCOVERY"));
  InstallNewOffice(wizard, "01234");
  ASSERT_TRUE(wizard.WaitLog("[**  ERR] Unable to write configuration -> " + InstallaMod()));
  auto error = wizard.WaitBox("Errore");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->text,
            "Errore nella scrittura delle configurazioni sul disco. L'applicazione potrebbe non "
            "funzionare correttamente.");
  wizard.Answer(*error, IDOK);
  AnswerShareQuestion(wizard, IDNO);
  ASSERT_TRUE(wizard.WaitLog("[* WARN] User choose NOT to create a network share for path " +
                             std::string(kOffice)));
  FinishNewOffice(wizard);
  EXPECT_EQ(wizard.CountLog("[  INFO] Written -> " + InstallaMod()), 0);
  EXPECT_EQ(RegisterWorkstations(kRegister).size(), 10u);
}

// A register that refuses new workstations: the error line and box, the
// process ends with 0 and the lock stays for the next run to find.
TEST(EndRoad, RegisterCannotBeWritten) {
  UsePrivateDesktop();
  ResetMachine();
  WriteRegister(kRegister, kOffice, {},
                "CREATE TRIGGER refuse BEFORE INSERT ON Workpoint "
                "BEGIN SELECT RAISE(ABORT, 'read-only register'); END;");
  WizardDriver wizard("register_refuses");
  ASSERT_TRUE(wizard.Start("/SKIPUPDATE /NODISCOVERY"));
  InstallNewOffice(wizard, "01234");
  ASSERT_TRUE(wizard.WaitLog("[**  ERR] Unable to write on SharedInfo -> " + std::string(kRegister)));
  auto error = wizard.WaitBox("Errore");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->text,
            "Errore nella scrittura delle configurazioni sul disco. Verificare i privilegi di "
            "scrittura sulla cartella di destinazione.");
  wizard.Answer(*error, IDOK);
  const auto code = wizard.WaitExit();
  ASSERT_TRUE(code);
  EXPECT_EQ(*code, 0u);
  EXPECT_TRUE(Exists(std::string(kOffice) + "ZAN_Shared\\LockFile"));
  EXPECT_FALSE(Exists(InstallaMod()));
  EXPECT_EQ(RegisterWorkstations(kRegister).size(), 0u);
}

}  // namespace
