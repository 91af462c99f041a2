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

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "resource.h"
#include "wizard_driver/driver.h"

using namespace e2e;

namespace {

// A file of the install variants fixture, and the same served at a path.
std::string Variant(const std::string& name) {
  return BuildFolder() + "\\testdata\\install_variants\\" + name;
}
void ServeVariant(const std::string& requestPath, const std::string& name) {
  Serve(requestPath, ReadBytes(Variant(name)));
}
// The trees 7zz unpacked from the server's packages.
const std::string kKorvalTree = "ref_e2e_korval\\", kDesktopAppTree = "ref_e2e_desktopapp\\";

// Expects `root` to hold exactly the tree 7zz unpacked into the fixture's
// `reference`, besides the files `added` later.
void ExpectSameTree(const std::string& root, const std::string& reference,
                    const std::set<std::string>& added = {}) {
  const auto expected = Tree(Variant(reference));
  ASSERT_FALSE(expected.empty()) << reference;
  auto actual = Tree(root);
  for (const std::string& name : added) EXPECT_EQ(actual.erase(name), 1u) << root << name;
  EXPECT_TRUE(actual == expected) << root << " differs from " << reference;
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
void ExpectElsewhereKept(const std::string& target) {
  const auto now = Tree(target);
  for (const auto& file : kElsewhere)
    EXPECT_EQ(now.count(file.first) ? now.at(file.first) : "(gone)", file.second) << target + file.first;
}

// A damaged archive: the error box with 6, OK, the run ends with 6.
void ExpectErrorSixEndsTheRun(WizardDriver& wizard) {
  ASSERT_TRUE(wizard.AnswerBox("Errore", "Errore 6 nella decompressione.", IDOK, kChainWait));
  EXPECT_EQ(wizard.WaitExit(), 6u);
}

class InstallChain : public testing::Test {
 protected:
  void SetUp() override {
    ResetMachine();
    // The older DesktopApp layout, which ResetMachine does not know.
    RemoveTree("C:\\DesktopApp");
  }
  void TearDown() override { ResetMachine(); }  // the server's own content back

  // WIZ_START straight to the chain in restore mode, over the user's
  // workstation of this year. The restore phase empties the log folder, the
  // WIZ_INSTALL line with it: the new log's first line says the chain went on.
  void ToInstallAsRestore(WizardDriver& wizard, bool lockQuestion = false) {
    ASSERT_TRUE(wizard.Start(kArgs));
    ASSERT_TRUE(wizard.ChooseTask(IDC_TASK_RESTORE));
    if (lockQuestion) {
      auto concurrent = wizard.WaitBox("Attenzione");
      ASSERT_TRUE(concurrent);
      EXPECT_NE(concurrent->text.find("installazione concorrente"), std::string::npos);
      wizard.Answer(*concurrent, IDYES);
    }
    ASSERT_TRUE(wizard.WaitLogHolds("[  INFO] Starting DesktopApp checksum check", kChainWait));
  }
};

// --- The roads that end on WIZ_END ---------------------------------------

// The platform package first fails (Retry once the server is mended), then
// comes slowly: its progress shows. The descriptor names the archive in mixed
// case with a blank in its name: the request comes lower-cased, the blank
// escaped, and the server's redirect to another of its ports is followed
// there.
TEST_F(InstallChain, NewOfficeFromTheServerDownloadsThreePackagesAndUnpacksBoth) {
  std::string descriptor = ReadBytes(ServedFile(kXmlPath));
  const size_t at = descriptor.find(kArchivePath);
  ASSERT_NE(at, std::string::npos);
  descriptor.replace(at, sizeof kArchivePath - 1,
                     "/Update/DesktopApp/Production/DesktopApp 2025.7z");
  Serve(kXmlPath, descriptor);
  const std::string archive = "/update/desktopapp/production/desktopapp 2025.7z";
  Serve(archive, ReadBytes(ServedFile(kArchivePath)));
  SetServerRule(archive, "moved:8080");
  // Big enough for the download's progress to show several steps.
  ServeVariant(kKorvalPath, "korval_big.7z");
  SetServerRule(kKorvalPath, "500");

  WizardDriver wizard("new_office_from_server");
  ASSERT_TRUE(wizard.StartAsNewOffice());
  auto box = wizard.WaitBox("Attenzione", kChainWait);
  ASSERT_TRUE(box);
  SetServerRule(kKorvalPath, "trickle:16384:60");
  wizard.Answer(*box, IDRETRY);
  EXPECT_TRUE(wizard.ShowsProgress("Install phase 2", 60000));
  ASSERT_TRUE(wizard.WaitEndPageDone(true));

  EXPECT_EQ(ServerRequests(),
            (std::vector<std::string>{kKorvalPath, kKorvalPath, kXmlPath, archive, archive}));
  ExpectSameTree(kPlatform, "ref_korval_big\\", {"HOME\\ETC\\INSTALLA.MOD"});  // the final page's
  ExpectSameTree(kBin, kDesktopAppTree);
  // Phase 5's thread pressed Next: the unpacking finished before WIZ_END.
  const std::string log = wizard.LogText();
  const size_t unpacking = log.find("[  INFO] Starting DesktopApp decompression");
  ASSERT_NE(unpacking, std::string::npos);
  EXPECT_LT(unpacking, log.find("[  INFO] Sheet active -> WIZ_END"));
  EXPECT_EQ(wizard.CountLog("[  INFO] Install phase 1 - Korval download"), 2);
}

// A workstation added to an office of this year whose platform is there:
// only the descriptor is asked for. DesktopApp found intact in its folder
// stays, found intact elsewhere is copied there, and a copy that cannot land
// (a file stands in the folder's place) is logged while the chain goes on.
TEST_F(InstallChain, AnAddedWorkstationTakesAnIntactDesktopAppFromWhereItIs) {
  const struct {
    const char* name;
    std::string found;  // where DesktopApp lies
    bool blocked;
    std::string line;
  } cases[] = {
      {"in_place", kBin, false,
       "[  INFO] Install phase 5 - DesktopApp install skipped, already installed, no need to copy "
       "or decompress"},
      {"copied", "C:\\DesktopApp\\bin\\", false,
       "[  INFO] Install phase 5 - DesktopApp copy instead of decompress -> from "
       "C:\\DesktopApp\\bin to C:\\ZAN\\DESKTOPAPP\\BIN\\"},
      {"copy_blocked", "C:\\DesktopApp\\bin\\", true,
       "[**  ERR] DesktopApp copy failed on C:\\ZAN\\DESKTOPAPP\\BIN\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    WriteOffice({{2025, 1, "ALTROPC\\collega"}});
    for (const auto& file : Tree(Variant(kKorvalTree)))
      ASSERT_TRUE(WriteBytes(kPlatform + file.first, file.second));
    for (const auto& file : Tree(Variant(kDesktopAppTree)))
      ASSERT_TRUE(WriteBytes(c.found + file.first, file.second));
    if (c.blocked) {
      ASSERT_TRUE(WriteBytes("C:\\ZAN\\DesktopApp\\BIN", "in the way"));
    }
    WizardDriver wizard(c.name);
    ASSERT_TRUE(wizard.Start(kArgs));
    ASSERT_TRUE(wizard.ToInstallOnFoundOffice(
        IDC_TASK_ADD_WORKSTATION,
        "Procedere alla creazione del posto di lavoro e dell'icona di accesso in Piattaforma?"));
    ASSERT_TRUE(wizard.WaitEndPageDone(true));

    EXPECT_EQ(ServerRequests(), std::vector<std::string>{kXmlPath});
    EXPECT_EQ(wizard.CountLog(c.line), 1);
    EXPECT_EQ(wizard.CountLog("[  INFO] Install phase 3 - DesktopApp archive download skipped, "
                              "detected valid DesktopApp installation"),
              1);
    EXPECT_EQ(wizard.CountLog("decompression"), 0);
    if (!c.blocked) ExpectSameTree(kBin, kDesktopAppTree);
  }
}

// A restore over the user's workstation, with a lock an interrupted run left
// behind: the user's folder emptied (a folder linked into it keeps its files),
// phases two to five, the restore texts on the final page, the shortcut
// written anew over one pointing elsewhere and the runtime's compatibility
// values; no register access, no share question, no notice, the lock gone.
TEST_F(InstallChain, RestoreRunsPhasesTwoToFiveAndRewritesTheDesktopIntegration) {
  const std::string logFolder = SetupLogPath().substr(0, SetupLogPath().rfind('\\') + 1);
  const std::string sibling = logFolder.substr(0, logFolder.size() - 1) + "Old\\keep.txt";
  ASSERT_TRUE(WriteBytes(logFolder + "stale\\settings.json", "{}"));
  ASSERT_TRUE(WriteBytes(sibling, "stays"));
  const std::string elsewhere = ScratchFolder() + "user_elsewhere\\";
  LinkElsewhere(logFolder + "linked", elsewhere);
  WriteOffice({{2025, 1, CurrentAssignee()}});
  ASSERT_TRUE(WriteBytes(kLock, "[20250101@10:00:00:000];PC\\someone;1"));
  ASSERT_TRUE(WriteBytes("C:\\ZAN\\Other\\other.exe", "MZ"));
  ASSERT_TRUE(WriteLink(ShortcutPath(), "C:\\ZAN\\Other\\other.exe"));

  // Slow enough for the page to be read while the chain runs.
  SetServerRule(kArchivePath, "trickle:4096:100");
  WizardDriver wizard("restore");
  ToInstallAsRestore(wizard, true);
  EXPECT_EQ(wizard.Text(IDC_INSTALL_GROUP), "Ripristino in corso");
  ASSERT_TRUE(wizard.WaitEndPageDone(false));
  EXPECT_TRUE(wizard.IsVisible(IDC_END_RESTORE_TITLE));
  EXPECT_TRUE(wizard.IsVisible(IDC_END_RESTORE_TEXT));
  EXPECT_FALSE(wizard.IsVisible(IDC_END_TEXT));
  ASSERT_TRUE(wizard.FinishAndExit(false));

  EXPECT_FALSE(Exists(logFolder + "stale"));
  EXPECT_EQ(ReadBytes(sibling), "stays");
  ExpectElsewhereKept(elsewhere);
  EXPECT_EQ(ServerRequests(), (std::vector<std::string>{kXmlPath, kArchivePath}));
  EXPECT_EQ(wizard.CountLog("[  INFO] Install phase 4 - Korval install skipped, already installed"), 1);
  EXPECT_EQ(wizard.CountLog("SharedInfo"), 0);
  ExpectSameTree(kBin, kDesktopAppTree);
  EXPECT_EQ(ReadLink(ShortcutPath()).target, std::string(kBin) + "DesktopApp.exe");
  const std::string runtime = std::string(kPlatform) + "\\HOME\\BIN\\wrun32.exe";
  EXPECT_EQ(RegDword(HKEY_CURRENT_USER, kPersistedKey, runtime), std::optional<DWORD>(2));
  EXPECT_EQ(RegString(HKEY_CURRENT_USER, kLayersKey, runtime),
            std::optional<std::string>("ELEVATECREATEPROCESS"));
  EXPECT_EQ(RegisterWorkstations().size(), 1u);
  EXPECT_FALSE(Exists(kLock));
  RemoveTree(logFolder.substr(0, logFolder.size() - 1) + "Old");
}

// --- Download failures -----------------------------------------------------

// One row per way a download fails: an error status, a body cut short, a
// redirect loop (given up), a descriptor that names no archive, one announced
// at 100 GB that keeps coming as fast as it is taken (more than memory holds,
// and its rest not waited for), each offering Retry and Cancel; and a proxy
// whose credential box is dismissed. Cancel, or the dismissed box, ends the
// run with 0 and the lock stays.
TEST_F(InstallChain, AFailedDownloadCancelledEndsWithZeroKeepingTheLock) {
  const struct {
    const char* name;
    const char* path;
    const char* rule;     // server rule, or "" with a replacement file
    const char* variant;  // file served instead, or ""
    const char* failureLine;
  } faults[] = {
      {"korval_404", kKorvalPath, "404", "", "[* WARN] Connection error phase 1 -> 404"},
      {"korval_short", kKorvalPath, "short:1000", "", "[* WARN] Download Korval not completed -> 1000 -> "},
      {"korval_redirect_loop", kKorvalPath, "redirect", "", "[* WARN] Connection error phase 1 -> 302"},
      {"xml_nourl", kXmlPath, "", "desktopapp_nourl.xml", "[* WARN] Download DesktopApp Xml not completed -> "},
      {"xml_long_answer", kXmlPath, "huge", "", "[* WARN] Connection error phase 2 -> 0"},
      {"proxy_prompt_cancelled", kKorvalPath, "auth:someone:secret", "", "[* WARN] User cancelled proxy settings UI"},
  };
  for (const auto& fault : faults) {
    SCOPED_TRACE(fault.name);
    SetUp();
    if (*fault.rule) SetServerRule(fault.path, fault.rule);
    if (*fault.variant) ServeVariant(fault.path, fault.variant);
    WizardDriver wizard(fault.name);
    ASSERT_TRUE(wizard.StartAsNewOffice());
    if (std::string(fault.rule).rfind("auth:", 0) == 0) {
      HWND credentials = wizard.WaitCredentialBox();
      ASSERT_NE(credentials, nullptr);
      wizard.CancelCredentials(credentials);
    } else {
      auto box = wizard.WaitBox("Attenzione", kChainWait);
      ASSERT_TRUE(box);
      EXPECT_EQ(box->text.rfind("Si sono verificati dei problemi di connessione durante il download", 0), 0u);
      EXPECT_EQ(box->buttons, (std::vector<int>{IDCANCEL, IDRETRY}));
      wizard.Answer(*box, IDCANCEL);
    }
    EXPECT_EQ(wizard.WaitExit(), 0u);
    EXPECT_EQ(wizard.CountLog(fault.failureLine), 1);
    EXPECT_TRUE(Exists(kLock));
  }
}

TEST_F(InstallChain, AProxyAskingForCredentialsGetsThemOnceForEveryLaterRequest) {
  // The proxy must see the name as typed, whatever prefix the box adds.
  SetServerRule("*", "auth:mario:segreto");
  WizardDriver wizard("proxy_credentials");
  ASSERT_TRUE(wizard.StartAsNewOffice());
  ASSERT_TRUE(wizard.WaitLog("[* WARN] Connection error phase 1 -> 407"));
  HWND box = wizard.WaitCredentialBox();
  ASSERT_NE(box, nullptr);
  wizard.EnterCredentials(box, "mario", "segreto");
  ASSERT_TRUE(wizard.WaitEndPageDone(true));
  EXPECT_EQ(wizard.CountLog("-> 407"), 1);
  // Each later request passes the proxy: its last answer is a 200.
  std::map<std::string, std::string> lastStatus;
  for (const std::string& line : ServerRequestLines()) {
    const size_t path = line.find(' ') + 1, status = line.find(' ', path) + 1;
    lastStatus[line.substr(path, status - path - 1)] = line.substr(status, 3);
  }
  EXPECT_EQ(lastStatus, (std::map<std::string, std::string>{
                            {kKorvalPath, "200"}, {kXmlPath, "200"}, {kArchivePath, "200"}}));
}

// --- Unpack failures -------------------------------------------------------

// The platform folder is emptied; a folder linked into it (the office keeps
// its data on another disk) keeps its files.
TEST_F(InstallChain, ADamagedKorvalPackageEndsWithSixAndEmptiesThePlatformFolder) {
  ServeVariant(kKorvalPath, "korval_damaged.7z");
  const std::string elsewhere = ScratchFolder() + "files_elsewhere\\";
  LinkElsewhere(std::string(kPlatform) + "FILES", elsewhere);
  WizardDriver wizard("korval_damaged");
  ASSERT_TRUE(wizard.StartAsNewOffice());
  ExpectErrorSixEndsTheRun(wizard);
  EXPECT_TRUE(Exists(kPlatform));
  EXPECT_TRUE(Tree(kPlatform).empty());
  ExpectElsewhereKept(elsewhere);
  EXPECT_TRUE(Exists(kLock));
  EXPECT_EQ(wizard.CountLog("[**  ERR] Korval decompression error -> 6"), 1);
  EXPECT_EQ(wizard.CountLog(std::string("[**  ERR] Delete destination path -> ") + kPlatform), 1);
}

// The bin folder, itself a link to a folder elsewhere, is left alone.
TEST_F(InstallChain, ADamagedDesktopAppArchiveEndsWithSixAndLeavesALinkedBinFolder) {
  ServeVariant(kArchivePath, "desktopapp_damaged.7z");
  const std::string elsewhere = ScratchFolder() + "bin_elsewhere\\";
  LinkElsewhere(std::string(kBin, sizeof kBin - 2), elsewhere);
  WriteOffice({{2025, 1, CurrentAssignee()}});
  WizardDriver wizard("desktopapp_damaged_linked_bin");
  ToInstallAsRestore(wizard);
  ExpectErrorSixEndsTheRun(wizard);
  ExpectElsewhereKept(elsewhere);
  EXPECT_EQ(wizard.CountLog("[**  ERR] DesktopApp decompression error -> 6"), 1);
  EXPECT_EQ(wizard.CountLog(std::string("[* WARN] DeleteFolderContents: folder is a link, nothing "
                                        "deleted -> ") + kBin),
            1);
}

// --- Cancel -----------------------------------------------------------------

TEST_F(InstallChain, CancelDuringADownloadDeletesTheDownloadedPackagesAndEndsWithZero) {
  SetServerRule(kArchivePath, "trickle:512:200");
  WizardDriver wizard("cancel_download");
  ASSERT_TRUE(wizard.StartAsNewOffice());
  ASSERT_TRUE(wizard.WaitLog("[  INFO] Start checking DesktopApp package -> ", kChainWait));
  ASSERT_TRUE(Exists(TempFolder() + "korval2025.7z"));
  // Back and Next are off: the keys reach Cancel.
  EXPECT_TRUE(wizard.WaitFocus(IDCANCEL));
  wizard.Cancel();
  ASSERT_TRUE(wizard.AnswerBox("Attenzione", "Sei sicuro di voler interrompere l'installazione?", IDYES));
  EXPECT_EQ(wizard.WaitExit(), 0u);
  EXPECT_FALSE(Exists(TempFolder() + "korval2025.7z"));
  EXPECT_FALSE(Exists(TempFolder() + "desktopapp.7z"));
  EXPECT_TRUE(Exists(kLock));
}

TEST_F(InstallChain, CancelDuringALongUnpackingEndsPromptlyWithZeroAndNothingIsWrittenAfter) {
  ServeVariant(kKorvalPath, "korval_long.7z");
  WizardDriver wizard("cancel_unpacking");
  ASSERT_TRUE(wizard.StartAsNewOffice());
  ASSERT_TRUE(wizard.WaitLog("[  INFO] Starting Korval decompression", kChainWait));
  // The bar and the percentage move while it unpacks.
  EXPECT_TRUE(wizard.ShowsProgress("Install phase 5", 2500));
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
  const std::string last = "[* WARN] Installation cancelled during unpacking, run ended\r\n";
  ASSERT_GE(log.size(), last.size());
  EXPECT_EQ(log.substr(log.size() - last.size()), last);
  EXPECT_TRUE(Exists(kLock));
}

}  // namespace
