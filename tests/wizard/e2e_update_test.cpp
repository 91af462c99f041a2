// e2e-timeout: 600
// fixtures: update_variants
// The setup's own update, end to end against the local update server: no
// update, an update that replaces and restarts the setup with its switches,
// the update-problem box on server errors and answers without end, the
// proxy's credential box, the packages that must leave the running setup
// where it is, and a setup that cannot be replaced where it lies, which
// still runs the new one.
// Needs the update_variants fixture (packages under <build>/testdata).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "resource.h"
#include "wizard_driver/driver.h"

using namespace e2e;

namespace {

const char kPackagePath[] = "/ZAN2025.7z";
const char kProblemCaption[] = "Servizi ZAN - Installazione - Attenzione";
const char kUpdateProblem[] =
    "Si sono verificati dei problemi di connessione durante la ricerca di aggiornamenti. "
    "Verificare la propria connessione a Internet e riprovare.";
const char kUpdateFound[] =
    "E' stata trovata una versione aggiornata del setup. Procedere con il download.";
const char kFailurePrefix[] =
    "Impossibile completare l'operazione di aggiornamento, si consiglia di terminare "
    "l'installazione e scaricare la nuova versione da ";

// A package made by the update_variants fixture.
std::string Variant(const std::string& name) {
  return BuildFolder() + "\\testdata\\update_variants\\" + name + ".7z";
}

// The production setup information and package the server hands out.
void ServeInfo(const std::string& version) { Serve(kInfoPath, version + "\r\n"); }
void ServePackage(const std::string& variant) { Serve(kPackagePath, ReadBytes(Variant(variant))); }

// A version higher than both builds of the setup.
const char kHighest[] = "2025.99.0.0";

// A shorter bound for each request of the update check, inherited by the
// setups started while the object lives.
class UpdateTimeLimit {
 public:
  explicit UpdateTimeLimit(const char* ms) { SetEnvironmentVariableA(kVariable, ms); }
  ~UpdateTimeLimit() { SetEnvironmentVariableA(kVariable, nullptr); }
  UpdateTimeLimit(const UpdateTimeLimit&) = delete;
  UpdateTimeLimit& operator=(const UpdateTimeLimit&) = delete;

 private:
  static constexpr char kVariable[] = "ZAN_UPDATE_TIME_LIMIT_MS";
};

// How often the server was asked for `path`.
long Asked(const std::string& path) {
  const std::vector<std::string> requests = ServerRequests();
  return std::count(requests.begin(), requests.end(), path);
}

class Update : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMachine();
    base_ = FileVersion(SetupExe());
    next_ = FileVersion(SetupNextExe());
    ASSERT_FALSE(base_.empty());
    ASSERT_NE(base_, next_) << "the setup_next build is missing";
  }
  void TearDown() override { ResetMachine(); }

  // The running setup stayed in place, with its own version, and nothing was
  // moved aside.
  void ExpectSetupInPlace(WizardDriver& wizard, const std::string& version) {
    EXPECT_EQ(FileVersion(wizard.RunFolder() + "ZAN2025.exe"), version);
    EXPECT_FALSE(Exists(wizard.RunFolder() + "old_ZAN2025.exe"));
  }

  void ConfirmUpdateFound(WizardDriver& wizard) {
    ASSERT_TRUE(wizard.AnswerBox("Aggiornamento setup", kUpdateFound));
  }

  std::string base_, next_;
};

// A start without switches: the please-wait dialog, whose close box is
// ignored, while the production set's setup information is asked for; no
// update, so the dialog closes and the whole sheet opens on WIZ_START.
TEST_F(Update, NoUpdateClosesTheDialogWhoseCloseBoxIsIgnored) {
  ServeInfo(base_);
  SetServerRule(kInfoPath, "hold");  // the answer waits until the close box was tried
  WizardDriver wizard("no_update");
  ASSERT_TRUE(wizard.Start());
  ASSERT_TRUE(wizard.WaitLog("[  INFO] Looking for new update -> http://"));
  HWND dialog = wizard.WaitDialog(IDC_WAIT_PROGRESS, "please-wait");
  ASSERT_NE(dialog, nullptr);
  PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  PostMessageA(dialog, WM_CLOSE, 0, 0);
  Sleep(1000);
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(wizard.CountLog("Release update available on server -> "), 0);
  ClearServerRules();
  ASSERT_TRUE(wizard.WaitLog("[  INFO] Release update available on server -> " + base_));
  ASSERT_TRUE(wizard.WaitLog("[  INFO] No update available"));
  // The information's line break is no part of the version logged.
  EXPECT_EQ(wizard.LogValue("[  INFO] Release update available on server -> "), base_);
  ASSERT_TRUE(wizard.WaitPage("WIZ_START"));
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(ServerRequests(), std::vector<std::string>{kInfoPath});
  EXPECT_TRUE(wizard.CancelAndExit());
}

TEST_F(Update, NewerSetupReplacesAndRestartsWithTheSameSwitches) {
  // The test environment's information and package (as the fixture made them)
  // name the higher build; TEST1 first, so it only counts when the switches
  // reach the new setup as switches. The temporary folder, where the new
  // setup is unpacked, is that of a user whose name has a blank; an "old_"
  // file an earlier update left beside the setup makes way. The package comes
  // over a slow line, for about twice the (shortened) window of its speed
  // bound: steady, so it arrives whole.
  TempFolderOverride temp(ScratchFolder() + "Mario Rossi\\AppData\\Local\\Temp\\");
  UpdateTimeLimit limit("4000");
  SetServerRule("/ZAN2025_TEST.7z", "trickle:16384:100");
  StartOptions options;
  options.runFolder = ScratchFolder() + "stale_old\\";
  ASSERT_TRUE(WriteBytes(options.runFolder + "old_ZAN2025.exe", "left by an earlier update"));
  WizardDriver wizard("update");
  ASSERT_TRUE(wizard.Start("/TEST1 /NODISCOVERY", options));
  ConfirmUpdateFound(wizard);
  EXPECT_EQ(wizard.WaitExit(), 0u);

  EXPECT_EQ(FileVersion(wizard.RunFolder() + "ZAN2025.exe"), next_);
  EXPECT_EQ(FileVersion(wizard.RunFolder() + "old_ZAN2025.exe"), base_);
  EXPECT_EQ(FileVersion(TempFolder() + "NewSetupExe\\ZAN2025_TEST.exe"), next_);

  // The second setup restarts the log: its version, its switches as given
  // (with the test server set), no further update, the first page.
  ASSERT_TRUE(wizard.WaitLogHolds("[  INFO] Current installed version -> " + next_));
  ASSERT_TRUE(wizard.WaitLogHolds("[  INFO] Sheet active -> WIZ_START"));
  EXPECT_TRUE(wizard.WaitLogHolds("[  INFO] Command line provided -> /TEST1 /NODISCOVERY"));
  EXPECT_TRUE(wizard.WaitLogHolds("[  INFO] No update available"));
  EXPECT_EQ(ProcessesNamed("ZAN2025_TEST.exe").size(), 1u);

  EXPECT_EQ(Asked("/update/setup_zan2025_test.txt"), 2);
  EXPECT_EQ(Asked("/ZAN2025_TEST.7z"), 1);  // the package URL is not lower-cased
}

// Troubles of the server, one row each: an error status, a body that ends
// before its announced length (a broken connection), a redirect loop,
// answers that drip without end, one that never comes and a redirect whose
// own answer (announced at 100 GB) keeps coming (given up by the setup's own
// bounds), of the information or of the package. Each shows the
// update-problem box; Retry while the server still fails shows it again,
// Retry once it is mended ends the check, Cancel goes on without the update.
TEST_F(Update, ServerTroublesShowTheUpdateProblemBox) {
  // The setup inherits a shorter bound for each request of the check: the
  // information's whole time, the package's speed window (shorter than the
  // receive time-out for the stall, which sends not even headers).
  const char kSlow[] = "[**  ERR] Request too slow, fewer than 1024 bytes a second over ";
  const struct {
    const char* name;
    bool package;  // the information names a newer setup; the package misbehaves
    const char* rule;
    const char* limitMs;
    std::string line;
    bool retry;
  } rows[] = {
      {"information_500", false, "500", "8000", "[* WARN] Connection error check update -> 500", true},
      {"information_short", false, "short:4", "8000",
       "[* WARN] Download new version information not completed -> 4 -> 13", false},
      {"information_redirect_loop", false, "redirect", "8000",
       "[* WARN] Connection error check update -> 302", false},
      {"information_drip", false, "drip:2:1000", "8000",
       "[**  ERR] Request time limit reached -> 8000 ms", false},
      {"information_redirect_long_answer", false, "huge::302", "4000",
       "[**  ERR] Request time limit reached -> 4000 ms", false},
      {"package_drip", true, "drip:2", "8000", kSlow + std::string("8000 ms -> "), false},
      {"package_stall", true, "stall:30", "4000", kSlow + std::string("4000 ms -> 0 bytes"), false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();
    UpdateTimeLimit limit(row.limitMs);
    ServeInfo(row.package ? next_ : kHighest);  // 13 bytes with the line end
    SetServerRule(row.package ? kPackagePath : kInfoPath, row.rule);
    WizardDriver wizard(row.name);
    ASSERT_TRUE(wizard.Start("/NODISCOVERY"));
    if (row.package) ConfirmUpdateFound(wizard);
    ASSERT_TRUE(wizard.WaitLog(row.line));
    ASSERT_TRUE(wizard.AnswerBox(kProblemCaption, kUpdateProblem, row.retry ? IDRETRY : IDCANCEL));
    if (row.retry) {  // failing again, then mended while the box is open
      ASSERT_TRUE(wizard.WaitLog(row.line));
      ClearServerRules();
      ServeInfo(base_);
      ASSERT_TRUE(wizard.AnswerBox(kProblemCaption, kUpdateProblem, IDRETRY));
      ASSERT_TRUE(wizard.WaitLog("[  INFO] No update available"));
      EXPECT_EQ(Asked(kInfoPath), 3);
    }
    ASSERT_TRUE(wizard.WaitPage("WIZ_START"));
    EXPECT_EQ(wizard.CountLog(row.line), row.retry ? 2 : 1);
    ExpectSetupInPlace(wizard, base_);
    EXPECT_TRUE(wizard.CancelAndExit());
  }
}

// Setup information longer than the setup reads of it: just over, naming a
// newer setup; announced at 100 GB and coming as fast as it is taken, which
// the check neither reads nor waits for.
TEST_F(Update, LongSetupInformationIsNoUpdate) {
  const struct {
    const char* name;
    const char* rule;
    const char* line;
  } rows[] = {
      {"long_information", "",
       "[* WARN] Request body not read, announced longer than 65536 bytes -> 70013"},
      {"information_announced_huge", "huge",
       "[* WARN] Request body not read, announced longer than 65536 bytes -> 2147483647"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();
    ServeInfo(kHighest + std::string(70000, ' '));
    if (*row.rule) SetServerRule(kInfoPath, row.rule);
    WizardDriver wizard(row.name);
    ASSERT_TRUE(wizard.Start("/NODISCOVERY"));
    ASSERT_TRUE(wizard.WaitLog(row.line));
    ASSERT_TRUE(wizard.WaitLog("[  INFO] No update available"));
    ASSERT_TRUE(wizard.WaitPage("WIZ_START"));
    EXPECT_EQ(wizard.CountLog("Release update available"), 0);
    size_t longest = 0;
    for (const std::string& line : wizard.LogLines()) longest = std::max(longest, line.size());
    EXPECT_LT(longest, 1000u);
    ExpectSetupInPlace(wizard, base_);
    EXPECT_TRUE(wizard.CancelAndExit());
  }
}

TEST_F(Update, ProxyCredentialsAskedAndSent) {
  // The proxy must see the name as typed, whatever prefix the box adds.
  ServeInfo(base_);
  SetServerRule(kInfoPath, "auth:mario:segreto");
  WizardDriver wizard("proxy_credentials");
  ASSERT_TRUE(wizard.Start("/NODISCOVERY"));
  ASSERT_TRUE(wizard.WaitLog("[* WARN] Connection error check update -> 407"));
  HWND box = wizard.WaitCredentialBox();
  ASSERT_NE(box, nullptr) << "no credential box";
  DWORD pid = 0;
  GetWindowThreadProcessId(box, &pid);
  EXPECT_EQ(ProcessesNamed("ZAN2025.exe"), std::vector<DWORD>{pid});
  wizard.EnterCredentials(box, "mario", "segreto");
  ASSERT_TRUE(wizard.WaitLog("[  INFO] No update available"));
  ASSERT_TRUE(wizard.WaitPage("WIZ_START"));
  // The request after the credentials passed the proxy.
  const std::vector<std::string> lines = ServerRequestLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front().rfind(std::string("GET ") + kInfoPath + " 407 ", 0), 0u) << lines.front();
  EXPECT_EQ(lines.back().rfind(std::string("GET ") + kInfoPath + " 200 ", 0), 0u) << lines.back();
  EXPECT_TRUE(wizard.CancelAndExit());
}

// Packages that must leave the running setup in place: one without a setup
// (a newer setup left in the update folder must not pass for the package's,
// so that folder is emptied first), one holding an older setup.
TEST_F(Update, PackagesWithoutANewerSetupLeaveTheRunningOne) {
  const std::string folder = TempFolder() + "NewSetupExe\\";
  const struct {
    const char* name;
    bool runsNext;  // the higher build runs
    const char* package;
    const char* unpacked;  // what it holds
    const char* line;
  } cases[] = {
      {"package_without_setup", false, "missing", "LEGGIMI.TXT", "[**  ERR] New setup missing from the package"},
      {"older_setup", true, "base", "ZAN2025.exe", "[**  ERR] New setup not newer than the running one"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    ASSERT_TRUE(WriteBytes(folder + "leftover\\note.txt", "old"));
    ASSERT_TRUE(CopyFileA(SetupNextExe().c_str(), (folder + "ZAN2025.exe").c_str(), FALSE));
    ServeInfo(kHighest);
    ServePackage(c.package);
    WizardDriver wizard(c.name);
    StartOptions options;
    if (c.runsNext) options.setupExe = SetupNextExe();
    ASSERT_TRUE(wizard.Start("/NODISCOVERY", options));
    ConfirmUpdateFound(wizard);
    auto box = wizard.WaitBox("Attenzione");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text.rfind(kFailurePrefix, 0), 0u) << box->text;
    wizard.Answer(*box, IDOK);
    ASSERT_TRUE(wizard.WaitPage("WIZ_START"));
    EXPECT_EQ(wizard.CountLog(c.line), 1);
    EXPECT_FALSE(Exists(folder + "leftover"));
    EXPECT_TRUE(Exists(folder + c.unpacked));
    ExpectSetupInPlace(wizard, c.runsNext ? next_ : base_);
    EXPECT_TRUE(wizard.CancelAndExit());
  }
}

// The setup held by another program that lets it be read and run but not
// moved: the new setup then runs from the update folder, and the setup's
// folder stays as it was.
TEST_F(Update, SetupThatCannotBeReplacedStillStartsTheNewOne) {
  ServeInfo(next_);
  ServePackage("next");
  WizardDriver wizard("held_setup");
  StartOptions options;
  options.runFolder = ScratchFolder() + "held_setup\\";
  ASSERT_TRUE(wizard.Start("/NODISCOVERY", options));
  HeldFile held(options.runFolder + "ZAN2025.exe", FILE_SHARE_READ);
  ASSERT_TRUE(held.held());
  ConfirmUpdateFound(wizard);
  EXPECT_EQ(wizard.WaitExit(), 0u);
  ASSERT_TRUE(wizard.WaitLogHolds("[  INFO] Current installed version -> " + next_));
  ASSERT_TRUE(wizard.WaitLogHolds("[  INFO] Sheet active -> WIZ_START"));
  const std::vector<DWORD> running = ProcessesNamed("ZAN2025.exe");
  ASSERT_EQ(running.size(), 1u);
  EXPECT_EQ(ProcessImagePath(running[0]), TempFolder() + "NewSetupExe\\ZAN2025.exe");
  held.Release();
  EXPECT_EQ(FileVersion(options.runFolder + "ZAN2025.exe"), base_);
  EXPECT_FALSE(Exists(options.runFolder + "old_ZAN2025.exe"));
}

}  // namespace
