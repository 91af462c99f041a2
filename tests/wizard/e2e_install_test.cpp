// e2e-timeout: 1500
// fixtures: install_variants
// The install chain seen from outside: the real setup driven to WIZ_INSTALL
// (through the new-office pages, the add-workstation pages or straight from
// WIZ_START in restore mode), its downloads checked in the local update
// server's request log, its unpacked trees compared byte for byte with what
// 7zz unpacks from the same packages, its boxes answered, its exit codes and
// what it leaves on disk checked afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "resource.h"
#include "wizard_driver/driver.h"

using namespace e2e;

namespace {

const char kOffice[] = "C:\\ZAN\\PM01234\\";
const char kPlatform[] = "C:\\ZAN\\PM01234\\ZAN2025\\";
const char kBin[] = "C:\\ZAN\\DesktopApp\\BIN\\";
const char kLock[] = "C:\\ZAN\\PM01234\\ZAN_Shared\\LockFile";
const char kRegister[] = "C:\\ZAN\\PM01234\\ZAN_Shared\\SharedInfo";
const char kKorvalPath[] = "/update/korval/korval2025.7z";
const char kXmlPath[] = "/update/desktopapp.xml";
const char kArchivePath[] = "/update/desktopapp/production/desktopapp.7z";
const char kArgs[] = "/SKIPUPDATE /NODISCOVERY";
// What the final page adds to a new office's unpacked platform folder.
const std::set<std::string> kInstallaMod = {"HOME\\ETC\\INSTALLA.MOD"};

// A file of the install variants fixture.
std::string Variant(const std::string& name) {
  return BuildFolder() + "\\testdata\\install_variants\\" + name;
}
// A file of the server's root, by its request path.
std::string Served(const std::string& requestPath) {
  std::string path = ServerRoot() + requestPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}


// A damaged archive: the error box with 6, OK, the run ends with 6.
void ExpectErrorSixEndsTheRun(WizardDriver& wizard) {
  auto box = wizard.WaitBox("Errore");
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, "Errore 6 nella decompressione.");
  wizard.Answer(*box, IDOK);
  EXPECT_EQ(wizard.WaitExit(), 6u);
}
// The same, and the destination folder stays, emptied.
void ExpectUnpackingEndsTheRun(WizardDriver& wizard, const std::string& destination) {
  ExpectErrorSixEndsTheRun(wizard);
  EXPECT_TRUE(Exists(destination));
  EXPECT_TRUE(Tree(destination).empty());
}

// A folder elsewhere holding the office's own files, reached through a folder
// link the setup meets while emptying a folder: the files must all stay.
const std::map<std::string, std::string> kElsewhere = {{"archivio.dat", "dati dello studio"},
                                                       {"sub\\nota.txt", "nota"}};
void LinkElsewhere(const std::string& link, const std::string& target) {
  for (const auto& file : kElsewhere) ASSERT_TRUE(WriteBytes(target + file.first, file.second));
  ASSERT_TRUE(MakeFolderLink(link, target)) << link;
  ASSERT_EQ(Tree(link + "\\").size(), kElsewhere.size()) << "the link does not lead there";
}
// Every file the folder elsewhere held is still there, unchanged.
void ExpectElsewhereKept(const std::string& target) {
  const auto now = Tree(target);
  std::map<std::string, std::string> kept;
  for (const auto& file : kElsewhere)
    if (now.count(file.first)) kept[file.first] = now.at(file.first);
  EXPECT_EQ(kept, kElsewhere) << target;
}

// Expects `root` to hold exactly the tree 7zz unpacked into `reference`,
// besides the files `added` later (their bytes are the final page's stories').
void ExpectSameTree(const std::string& root, const std::string& reference,
                    const std::set<std::string>& added = {}) {
  const auto expected = Tree(reference);
  ASSERT_FALSE(expected.empty()) << reference;
  auto actual = Tree(root);
  for (const std::string& name : added) EXPECT_EQ(actual.erase(name), 1u) << root << name;
  std::vector<std::string> differing;
  for (const auto& file : expected) {
    auto found = actual.find(file.first);
    if (found == actual.end() || found->second != file.second) differing.push_back(file.first);
  }
  EXPECT_EQ(differing, std::vector<std::string>{}) << root;
  EXPECT_EQ(actual.size(), expected.size()) << root;
}

// A register in the office folder with one workstation of this year for
// `assignee`, the marker file that makes the register offer it, and the
// runtime that makes it complete on this PC.
void WriteOffice(const std::string& assignee) {
  WriteRegister(kRegister, kOffice, {{"01234", 2025, 1, assignee, "ABCDEFGH"}});
  ASSERT_TRUE(WriteBytes(std::string(kPlatform) + "HOME\\BIN\\wrun32.exe", "runtime"));
  ASSERT_TRUE(WriteBytes(std::string(kPlatform) + "HOME\\BIN\\ZANOLINF.TXT", "[DATA]\r\n"));
}

// Text of a control of the active page, "" when the page has none (no test
// failure: the page may have moved on).
std::string PageText(WizardDriver& wizard, int id) {
  HWND control = GetDlgItem(wizard.ActivePage(), id);
  if (!control) return std::string();
  char text[256] = {};
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 2000, &ignored);
  return text;
}
int BarPosition(WizardDriver& wizard) {
  HWND bar = GetDlgItem(wizard.ActivePage(), IDC_PROGRESS);
  DWORD_PTR position = 0;
  if (!bar || !SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 2000, &position))
    return -1;
  return static_cast<int>(position);
}

// The percentages and bar positions shown until the log holds `until`.
struct Seen {
  std::set<std::string> texts;
  std::set<int> positions;
};
Seen WatchProgress(WizardDriver& wizard, const std::string& until, DWORD timeout = 60000) {
  Seen seen;
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < timeout) {
    const std::string text = PageText(wizard, IDC_PERCENT_TEXT);
    if (!text.empty()) seen.texts.insert(text);
    const int position = BarPosition(wizard);
    if (position > 0) seen.positions.insert(position);
    if (wizard.LogText().find(until) != std::string::npos) break;
    Sleep(30);
  }
  return seen;
}

class InstallChain : public testing::Test {
 protected:
  void SetUp() override {
    ResetMachine();
    // The older DesktopApp layout, which ResetMachine does not know.
    RemoveTree("C:\\DesktopApp");
  }
  void TearDown() override {
    // Server content a scenario changed goes back to the fixture's.
    for (const auto& saved : saved_) CopyFileA(saved.second.c_str(), saved.first.c_str(), FALSE);
  }
  // Serves `file` at the request path for this scenario only.
  void Serve(const std::string& requestPath, const std::string& file) {
    const std::string target = Served(requestPath);
    if (!saved_.count(target)) {
      const std::string copy = target + ".saved";
      ASSERT_TRUE(CopyFileA(target.c_str(), copy.c_str(), FALSE)) << target;
      saved_[target] = copy;
    }
    ASSERT_TRUE(CopyFileA(file.c_str(), target.c_str(), FALSE)) << file;
  }

  // The start to WIZ_INSTALL for the new office code 01234 on drive C.
  void ToInstallAsNewOffice(WizardDriver& wizard, const StartOptions& options = {}) {
    ASSERT_TRUE(wizard.Start(kArgs, options));
    ASSERT_TRUE(wizard.ToInstallAsNewOffice("01234", "AB3D5F7H"));
    ASSERT_TRUE(wizard.WaitPage("WIZ_INSTALL"));
  }
  // WIZ_START straight to WIZ_INSTALL in restore mode (the user's workstation
  // written in the register first).
  void ToInstallAsRestore(WizardDriver& wizard) {
    WriteOffice(CurrentAssignee());
    ASSERT_TRUE(wizard.Start(kArgs));
    ASSERT_TRUE(wizard.ChooseTask(IDC_TASK_RESTORE));
    // The restore phase empties the log folder, the WIZ_INSTALL line with it:
    // the new log's first line says the chain went on.
    ASSERT_TRUE(wizard.WaitLogHolds("[  INFO] Starting DesktopApp checksum check", kChainWait));
  }

  std::map<std::string, std::string> saved_;
};

// --- The roads that end on WIZ_END ---------------------------------------

TEST_F(InstallChain, NewOfficeFromTheServerDownloadsThreePackagesAndUnpacksBoth) {
  // The descriptor names the archive in mixed case; the request comes lower-cased.
  std::string descriptor = ReadBytes(Served(kXmlPath));
  const std::string lower = "/update/desktopapp/production/desktopapp.7z";
  const size_t at = descriptor.find(lower);
  ASSERT_NE(at, std::string::npos);
  descriptor.replace(at, lower.size(), "/Update/DesktopApp/Production/DesktopApp.7z");
  const std::string mixed = ScratchFolder() + "desktopapp.xml";
  ASSERT_TRUE(WriteBytes(mixed, descriptor));
  Serve(kXmlPath, mixed);
  // Big enough for the download's progress to show several steps.
  Serve(kKorvalPath, Variant("korval_big.7z"));
  SetServerRule(kKorvalPath, "trickle:16384:60");

  WizardDriver wizard("new_office_from_server");
  ToInstallAsNewOffice(wizard);
  const Seen download = WatchProgress(wizard, "Korval download finished");
  wizard.Screenshot("phase-1-download");
  EXPECT_GE(download.texts.size(), 2u);
  EXPECT_GE(download.positions.size(), 2u);
  ASSERT_TRUE(wizard.WaitEndPageDone(true));

  EXPECT_EQ(ServerRequests(),
            (std::vector<std::string>{kKorvalPath, kXmlPath, kArchivePath}));
  ExpectSameTree(kPlatform, Variant("ref_korval_big\\"), kInstallaMod);
  ExpectSameTree(kBin, Variant("ref_e2e_desktopapp\\"));
  // Phase 5's thread pressed Next: the unpacking finished before WIZ_END.
  const std::string log = wizard.LogText();
  const size_t unpacking = log.find("[  INFO] Starting DesktopApp decompression");
  ASSERT_NE(unpacking, std::string::npos);
  EXPECT_LT(unpacking, log.find("[  INFO] Sheet active -> WIZ_END"));
  for (const char* line :
       {"[  INFO] Install phase 1 - Korval download", "[  INFO] Install phase 2 - DesktopApp xml check",
        "[  INFO] Install phase 3 - DesktopApp archive download",
        "[  INFO] Install phase 4 - Korval install", "[  INFO] Install phase 5 - DesktopApp install",
        "[  INFO] Starting Korval decompression", "[  INFO] Created lock file"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(wizard.CountLog(line), 1);
  }
}

TEST_F(InstallChain, PackagesBesideTheSetupReplaceTheirDownloads) {
  const std::string run = "C:\\setup_run\\local_packages\\";
  ASSERT_TRUE(WriteBytes(run + "korval2025.7z", ReadBytes(Served(kKorvalPath))));
  ASSERT_TRUE(WriteBytes(run + "desktopapp.7z", ReadBytes(Served(kArchivePath))));

  WizardDriver wizard("local_packages");
  StartOptions options;
  options.runFolder = run;
  ToInstallAsNewOffice(wizard, options);
  ASSERT_TRUE(wizard.WaitEndPageDone(true));

  EXPECT_EQ(ServerRequests(), std::vector<std::string>{});
  EXPECT_EQ(wizard.CountLog("[* WARN] Install phase 1 - Korval download skipped, detected local "
                            "package for Korval install, using it"),
            1);
  EXPECT_EQ(wizard.CountLog("[* WARN] Install phase 2 - DesktopApp xml check skipped, detected "
                            "local package for DesktopApp install, using it"),
            1);
  EXPECT_EQ(wizard.CountLog("Install phase 3"), 0);
  ExpectSameTree(kPlatform, Variant("ref_e2e_korval\\"), kInstallaMod);
  ExpectSameTree(kBin, Variant("ref_e2e_desktopapp\\"));
  // Packages beside the setup are the user's: they stay.
  EXPECT_TRUE(Exists(run + "korval2025.7z"));
  EXPECT_TRUE(Exists(run + "desktopapp.7z"));
}

// Another user's workstation of this year in the register, the platform of
// this year in the office folder, DesktopApp already unpacked at `desktopApp`
// (empty: nowhere); the add-workstation road to WIZ_INSTALL.
void ToInstallAsAddedWorkstation(WizardDriver& wizard, const std::string& desktopApp) {
  WriteOffice("ALTROPC\\collega");
  for (const auto& file : Tree(Variant("ref_e2e_korval\\")))
    ASSERT_TRUE(WriteBytes(kPlatform + file.first, file.second));
  if (!desktopApp.empty()) {
    for (const auto& file : Tree(Variant("ref_e2e_desktopapp\\")))
      ASSERT_TRUE(WriteBytes(desktopApp + file.first, file.second));
  }
  ASSERT_TRUE(wizard.Start(kArgs));
  ASSERT_TRUE(wizard.ChooseTask(IDC_TASK_ADD_WORKSTATION));
  ASSERT_TRUE(wizard.WaitPage("WIZ_PMSELECT"));
  wizard.SelectListItem(IDC_PM_LIST, 0);
  wizard.Next();
  auto question = wizard.WaitBox("");
  ASSERT_TRUE(question);
  EXPECT_EQ(question->text.rfind("La Piattaforma ZAN 2025 per l'Ufficio Autorizzato 01234", 0), 0u);
  wizard.Answer(*question, IDYES);
  ASSERT_TRUE(wizard.WaitPage("WIZ_BEFOREINSTALL"));
  wizard.Next();
  // With nothing to download but the descriptor, the chain may be on WIZ_END
  // before the sheet could be seen on WIZ_INSTALL: the log tells.
  ASSERT_TRUE(wizard.WaitLogHolds("[  INFO] Sheet active -> WIZ_INSTALL", kChainWait));
}

TEST_F(InstallChain, AnAddedWorkstationKeepsAnIntactDesktopAppInPlace) {
  WizardDriver wizard("added_workstation");
  ToInstallAsAddedWorkstation(wizard, kBin);
  ASSERT_TRUE(wizard.WaitEndPageDone(true));

  EXPECT_EQ(ServerRequests(), std::vector<std::string>{kXmlPath});
  for (const char* line :
       {"[  INFO] Install phase 1 - Korval download skipped, already installed",
        "[  INFO] Install phase 3 - DesktopApp archive download skipped, detected valid "
        "DesktopApp installation",
        "[  INFO] Install phase 4 - Korval install skipped, already installed",
        "[  INFO] Install phase 5 - DesktopApp install skipped, already installed, no need to "
        "copy or decompress"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(wizard.CountLog(line), 1);
  }
  EXPECT_EQ(wizard.CountLog("decompression"), 0);
  ExpectSameTree(kBin, Variant("ref_e2e_desktopapp\\"));
}

TEST_F(InstallChain, AnIntactDesktopAppFoundElsewhereIsCopiedIntoTheBinFolder) {
  WizardDriver wizard("added_workstation_copy");
  ToInstallAsAddedWorkstation(wizard, "C:\\DesktopApp\\bin\\");
  ASSERT_TRUE(wizard.WaitEndPageDone(true));

  EXPECT_EQ(ServerRequests(), std::vector<std::string>{kXmlPath});
  EXPECT_EQ(wizard.CountLog("[  INFO] Install phase 5 - DesktopApp copy instead of decompress -> "
                            "from C:\\DesktopApp\\bin to C:\\ZAN\\DESKTOPAPP\\BIN\\"),
            1);
  EXPECT_EQ(wizard.CountLog("[**  ERR] DesktopApp copy failed"), 0);
  ExpectSameTree(kBin, Variant("ref_e2e_desktopapp\\"));
}

TEST_F(InstallChain, ACopyThatDoesNotLandIsLoggedAndTheChainGoesOn) {
  // A file where the bin folder should be: nothing can be copied into it.
  ASSERT_TRUE(WriteBytes("C:\\ZAN\\DesktopApp\\BIN", "in the way"));
  WizardDriver wizard("added_workstation_failed_copy");
  ToInstallAsAddedWorkstation(wizard, "C:\\DesktopApp\\bin\\");
  ASSERT_TRUE(wizard.WaitEndPageDone(true));
  EXPECT_EQ(wizard.CountLog("[**  ERR] DesktopApp copy failed on C:\\ZAN\\DESKTOPAPP\\BIN\\"), 1);
}

TEST_F(InstallChain, RestoreEmptiesTheUsersFolderAndRunsPhasesTwoToFive) {
  const std::string logFolder = SetupLogPath().substr(0, SetupLogPath().rfind('\\') + 1);
  const std::string sibling = logFolder.substr(0, logFolder.size() - 1) + "Old\\keep.txt";
  ASSERT_TRUE(WriteBytes(logFolder + "stale\\settings.json", "{}"));
  ASSERT_TRUE(WriteBytes(sibling, "stays"));
  const std::string elsewhere = ScratchFolder() + "user_elsewhere\\";
  LinkElsewhere(logFolder + "linked", elsewhere);

  // Slow enough for the page to be read while the chain runs.
  SetServerRule(kArchivePath, "trickle:4096:100");
  WizardDriver wizard("restore");
  ToInstallAsRestore(wizard);
  EXPECT_EQ(PageText(wizard, IDC_INSTALL_GROUP), "Ripristino in corso");
  ASSERT_TRUE(wizard.WaitEndPageDone(false));

  EXPECT_FALSE(Exists(logFolder + "stale"));
  EXPECT_EQ(ReadBytes(sibling), "stays");
  ExpectElsewhereKept(elsewhere);
  EXPECT_EQ(ServerRequests(), (std::vector<std::string>{kXmlPath, kArchivePath}));
  EXPECT_EQ(wizard.CountLog("Install phase 1"), 0);
  // The log was emptied with its folder: the lines after it start a new one.
  EXPECT_EQ(wizard.CountLog("[  INFO] Sheet active -> WIZ_START"), 0);
  EXPECT_EQ(wizard.CountLog("[  INFO] Starting DesktopApp checksum check"), 1);
  EXPECT_EQ(wizard.CountLog("[  INFO] Install phase 4 - Korval install skipped, already installed"),
            1);
  ExpectSameTree(kBin, Variant("ref_e2e_desktopapp\\"));
  RemoveDirectoryA((logFolder.substr(0, logFolder.size() - 1) + "Old").c_str());
  DeleteFileA(sibling.c_str());
}

// --- Download failures -----------------------------------------------------

struct DownloadFault {
  const char* name;
  const char* path;
  const char* rule;       // server rule, or "" with a replacement file
  const char* variant;    // file served instead, or ""
  const char* failureLine;
};

TEST_F(InstallChain, AFailedDownloadOffersRetryAndCancelEndsWithZeroKeepingTheLock) {
  const DownloadFault faults[] = {
      {"korval_404", kKorvalPath, "404", "", "[* WARN] Connection error phase 1 -> 404"},
      {"korval_500", kKorvalPath, "500", "", "[* WARN] Connection error phase 1 -> 500"},
      {"korval_short", kKorvalPath, "short:1000", "",
       "[* WARN] Download Korval not completed -> 1000 -> "},
      {"korval_nolength", kKorvalPath, "nolength", "",
       "[* WARN] Download Korval not completed -> "},
      {"korval_unreachable", kKorvalPath, "reset", "", "[* WARN] Connection error phase 1 -> "},
      {"korval_redirect_loop", kKorvalPath, "redirect", "", "[* WARN] Connection error phase 1 -> 302"},
      {"xml_nourl", kXmlPath, "", "desktopapp_nourl.xml",
       "[* WARN] Download DesktopApp Xml not completed -> "},
      {"xml_wrongroot", kXmlPath, "", "desktopapp_wrongroot.xml",
       "[* WARN] Download DesktopApp Xml not completed -> "},
      {"archive_404", kArchivePath, "404", "", "[* WARN] Connection error phase 3 -> 404"},
  };
  for (const DownloadFault& fault : faults) {
    SCOPED_TRACE(fault.name);
    SetUp();
    if (*fault.rule) SetServerRule(fault.path, fault.rule);
    if (*fault.variant) Serve(fault.path, Variant(fault.variant));
    WizardDriver wizard(fault.name);
    ToInstallAsNewOffice(wizard);
    auto box = wizard.WaitBox("Attenzione");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text.rfind("Si sono verificati dei problemi di connessione durante il download", 0),
              0u);
    std::vector<int> buttons = box->buttons;
    std::sort(buttons.begin(), buttons.end());
    EXPECT_EQ(buttons, (std::vector<int>{IDCANCEL, IDRETRY}));
    EXPECT_EQ(wizard.CountLog(fault.failureLine), 1);
    wizard.Answer(*box, IDCANCEL);
    EXPECT_EQ(wizard.WaitExit(), 0u);
    EXPECT_TRUE(Exists(kLock));
    for (const auto& saved : saved_) CopyFileA(saved.second.c_str(), saved.first.c_str(), FALSE);
  }
}

TEST_F(InstallChain, RetryAfterTheServerIsMendedGoesOn) {
  SetServerRule(kKorvalPath, "500");
  WizardDriver wizard("retry_mended");
  ToInstallAsNewOffice(wizard);
  auto box = wizard.WaitBox("Attenzione");
  ASSERT_TRUE(box);
  ClearServerRules();
  wizard.Answer(*box, IDRETRY);
  ASSERT_TRUE(wizard.WaitEndPageDone(true));
  EXPECT_EQ(ServerRequests(),
            (std::vector<std::string>{kKorvalPath, kKorvalPath, kXmlPath, kArchivePath}));
  EXPECT_EQ(wizard.CountLog("[  INFO] Install phase 1 - Korval download"), 2);
  ExpectSameTree(kPlatform, Variant("ref_e2e_korval\\"), kInstallaMod);
}

TEST_F(InstallChain, AProxyAskingForCredentialsGetsThemOnceForEveryLaterRequest) {
  // The proxy must see the name as typed, whatever prefix the box adds.
  SetServerRule("*", "auth:mario:segreto");
  WizardDriver wizard("proxy_credentials");
  ToInstallAsNewOffice(wizard);
  ASSERT_TRUE(wizard.WaitLog("[* WARN] Connection error phase 1 -> 407"));
  HWND box = wizard.WaitCredentialBox();
  ASSERT_NE(box, nullptr);
  wizard.EnterCredentials(box, "mario", "segreto");
  ASSERT_TRUE(wizard.WaitEndPageDone(true));
  EXPECT_EQ(wizard.CountLog("[  INFO] Proxy credential set"), 1);
  EXPECT_EQ(wizard.CountLog("-> 407"), 1);
  // Each later request passes the proxy: its last answer is a 200.
  std::map<std::string, std::string> lastStatus;
  for (const std::string& line : ServerRequestLines()) {
    const size_t path = line.find(' ') + 1;
    const size_t status = line.find(' ', path) + 1;
    lastStatus[line.substr(path, status - path - 1)] = line.substr(status, 3);
  }
  EXPECT_EQ(lastStatus, (std::map<std::string, std::string>{
                            {kKorvalPath, "200"}, {kXmlPath, "200"}, {kArchivePath, "200"}}));
  ExpectSameTree(kPlatform, Variant("ref_e2e_korval\\"), kInstallaMod);
}

TEST_F(InstallChain, ACancelledCredentialPromptEndsWithZero) {
  SetServerRule(kKorvalPath, "auth:someone:secret");
  WizardDriver wizard("proxy_prompt_cancelled");
  ToInstallAsNewOffice(wizard);
  HWND box = wizard.WaitCredentialBox();
  ASSERT_NE(box, nullptr);
  wizard.CancelCredentials(box);
  EXPECT_EQ(wizard.WaitExit(), 0u);
  EXPECT_EQ(wizard.CountLog("[* WARN] User cancelled proxy settings UI"), 1);
  EXPECT_TRUE(Exists(kLock));
}

// --- Unpack failures -------------------------------------------------------

TEST_F(InstallChain, ADamagedKorvalPackageEndsWithSixAndEmptiesThePlatformFolder) {
  Serve(kKorvalPath, Variant("korval_damaged.7z"));
  // The office keeps its data on another disk, linked into the platform folder.
  const std::string elsewhere = ScratchFolder() + "files_elsewhere\\";
  LinkElsewhere(std::string(kPlatform) + "FILES", elsewhere);
  WizardDriver wizard("korval_damaged");
  ToInstallAsNewOffice(wizard);
  ExpectUnpackingEndsTheRun(wizard, kPlatform);
  ExpectElsewhereKept(elsewhere);
  EXPECT_TRUE(Exists(kLock));
  EXPECT_EQ(wizard.CountLog("[**  ERR] Korval decompression error -> 6"), 1);
  EXPECT_EQ(wizard.CountLog(std::string("[**  ERR] Delete destination path -> ") + kPlatform), 1);
}

TEST_F(InstallChain, ADesktopAppFileInUseOnlyWarnsAndTheInstallGoesOn) {
  // A program of ours holds one file of the bin folder without sharing.
  const std::string held = std::string(kBin) + "vex.exe";
  const std::string holder = BuildFolder() + "\\stand_ins\\file_holder.exe";
  std::string command = "\"" + holder + "\" \"" + held + "\" 300";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessA(holder.c_str(), &command[0], nullptr, nullptr, FALSE,
                             CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process));
  const std::string readyName = "ZanFileHolderReady_" + std::to_string(process.dwProcessId);
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
  // The event may be made after the holder looked for it: the file tells too.
  for (int i = 0; i < 100 && WaitForSingleObject(ready, 100) != WAIT_OBJECT_0 && !Exists(held); ++i) {
  }
  ASSERT_TRUE(Exists(held));

  WizardDriver wizard("desktopapp_in_use");
  ToInstallAsRestore(wizard);
  auto box = wizard.WaitBox("Attenzione");
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text.rfind("Errore 32 nella decompressione. L'installazione proseguira'", 0), 0u);
  wizard.Answer(*box, IDOK);
  ASSERT_TRUE(wizard.WaitEndPageDone(false));
  EXPECT_EQ(wizard.CountLog("[**  ERR] DesktopApp decompression error -> 32"), 1);
  EXPECT_EQ(wizard.CountLog("[* WARN] Proceeding install on error 32 (ERROR_SHARING_VIOLATION)"), 1);
  TerminateProcess(process.hProcess, 0);
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(ready);
}

// The bin folder is emptied; when it is itself a link to a folder elsewhere,
// that folder's files stay and the link with them.
TEST_F(InstallChain, AnotherDesktopAppErrorEndsWithItsCodeAndEmptiesTheBinFolder) {
  Serve(kArchivePath, Variant("desktopapp_damaged.7z"));
  const std::string elsewhere = ScratchFolder() + "bin_elsewhere\\";
  for (const bool linked : {false, true}) {
    SCOPED_TRACE(linked ? "bin folder a link" : "bin folder");
    SetUp();
    if (linked) {
      LinkElsewhere(std::string(kBin, sizeof kBin - 2), elsewhere);
    } else {
      ASSERT_TRUE(WriteBytes(std::string(kBin) + "earlier.txt", "goes"));
    }
    WizardDriver wizard(linked ? "desktopapp_damaged_linked_bin" : "desktopapp_damaged");
    ToInstallAsRestore(wizard);
    if (linked) {
      ExpectErrorSixEndsTheRun(wizard);
      ExpectElsewhereKept(elsewhere);
      EXPECT_EQ(wizard.CountLog(std::string("[* WARN] DeleteFolderContents: folder is a link, "
                                            "nothing deleted -> ") + kBin),
                1);
    } else {
      ExpectUnpackingEndsTheRun(wizard, kBin);
    }
    EXPECT_EQ(wizard.CountLog("[**  ERR] DesktopApp decompression error -> 6"), 1);
  }
}

// --- Cancel -----------------------------------------------------------------

TEST_F(InstallChain, CancelDuringADownloadDeletesTheDownloadedPackagesAndEndsWithZero) {
  SetServerRule(kArchivePath, "trickle:512:200");
  WizardDriver wizard("cancel_download");
  ToInstallAsNewOffice(wizard);
  ASSERT_TRUE(wizard.WaitLog("[  INFO] Start checking DesktopApp package -> "));
  ASSERT_TRUE(Exists(TempFolder() + "korval2025.7z"));
  // Back and Next are off: the keys reach Cancel.
  EXPECT_TRUE(wizard.WaitFocus(IDCANCEL));
  wizard.Cancel();
  auto question = wizard.WaitBox("Attenzione");
  ASSERT_TRUE(question);
  EXPECT_EQ(question->text, "Sei sicuro di voler interrompere l'installazione?");
  wizard.Answer(*question, IDYES);
  EXPECT_EQ(wizard.WaitExit(), 0u);
  EXPECT_FALSE(Exists(TempFolder() + "korval2025.7z"));
  EXPECT_FALSE(Exists(TempFolder() + "desktopapp.7z"));
  EXPECT_TRUE(Exists(kLock));
}

TEST_F(InstallChain, CancelDuringALongUnpackingEndsPromptlyWithZeroAndNothingIsWrittenAfter) {
  Serve(kKorvalPath, Variant("korval_long.7z"));
  WizardDriver wizard("cancel_unpacking");
  ToInstallAsNewOffice(wizard);
  ASSERT_TRUE(wizard.WaitLog("[  INFO] Starting Korval decompression"));
  // The bar and the percentage move while it unpacks.
  const Seen unpacking = WatchProgress(wizard, "Install phase 5", 2500);
  wizard.Screenshot("phase-4-unpacking");
  EXPECT_GE(unpacking.texts.size(), 2u);
  EXPECT_GE(unpacking.positions.size(), 2u);
  ASSERT_EQ(wizard.CountLog("Install phase 5"), 0) << "the unpacking ended before the cancel";
  wizard.Cancel();
  auto question = wizard.WaitBox("Attenzione");
  ASSERT_TRUE(question);
  const DWORD answered = GetTickCount();
  wizard.Answer(*question, IDYES);
  EXPECT_EQ(wizard.WaitExit(15000), 0u);
  EXPECT_LT(GetTickCount() - answered, 10000u);

  // Stopped part way, and nothing of the chain logged after the cancel.
  const size_t written = Tree(kPlatform).size();
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, 12000u);
  const std::string log = wizard.LogText();
  EXPECT_EQ(wizard.CountLog("Install phase 5"), 0);
  const std::string last = "[* WARN] Installation cancelled during unpacking, run ended\r\n";
  ASSERT_GE(log.size(), last.size());
  EXPECT_EQ(log.substr(log.size() - last.size()), last);
  EXPECT_TRUE(Exists(kLock));
}

}  // namespace
