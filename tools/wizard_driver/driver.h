// The wizard driver: starts the real setup under Wine, waits (always with a
// bound) for its log lines, pages and message boxes, reads its controls and
// acts on them with posted messages, as an office user would. Every page and
// box met is saved as a screenshot; a failed wait fails the running test with
// the log's last lines and a screenshot.
//
// End-to-end test programs (tests/wizard/e2e_*_test.cpp) run through
// tools/wizard_driver/run_e2e.sh: a private Wine prefix copied from a prepared one,
// the local update server (sample packages, request log, rules file) as the
// setup's HTTP proxy, and the screenshots converted to PNG afterwards. The
// run command's check (tests/run/) instead adopts the setup that
// tools/run_setup.sh started, in that script's prefix and display.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "files.h"

namespace e2e {

// The file helpers every test program shares (tests/support/files.h).
using testing_support::Exists;
using testing_support::HeldFile;
using testing_support::Link;
using testing_support::MakeFolderLink;
using testing_support::MakeFolders;
using testing_support::Names;
using testing_support::ReadBytes;
using testing_support::ReadLink;
using testing_support::RemoveTree;
using testing_support::Tree;
using testing_support::WriteBytes;
using testing_support::WriteLink;

// The office the stories install or prepare, its folders and files.
constexpr char kOffice[] = "C:\\ZAN\\PM01234\\";
constexpr char kPlatform[] = "C:\\ZAN\\PM01234\\ZAN2025\\";
constexpr char kRegister[] = "C:\\ZAN\\PM01234\\ZAN_Shared\\SharedInfo";
constexpr char kLock[] = "C:\\ZAN\\PM01234\\ZAN_Shared\\LockFile";
// DesktopApp's folder on the system drive.
constexpr char kBin[] = "C:\\ZAN\\DesktopApp\\BIN\\";
// The password typed for a new office and stored for every office written.
constexpr char kPassword[] = "PWD12345";
// A run without the update check and the network search.
constexpr char kArgs[] = "/SKIPUPDATE /NODISCOVERY";
// Request paths of the update server (production set).
constexpr char kInfoPath[] = "/update/setup_zan2025.txt";
constexpr char kKorvalPath[] = "/update/korval/korval2025.7z";
constexpr char kXmlPath[] = "/update/desktopapp.xml";
constexpr char kArchivePath[] = "/update/desktopapp/production/desktopapp.7z";
// The runtime's compatibility keys (HKCU) and the autorun key Vex is taken from.
constexpr char kPersistedKey[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility Assistant\\Persisted";
constexpr char kLayersKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";
constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// Bounds of the waits, in milliseconds.
constexpr DWORD kPageWait = 30000;
constexpr DWORD kBoxWait = 30000;
constexpr DWORD kExitWait = 60000;
// The install chain's longer steps (downloads, unpacking) within one wait.
constexpr DWORD kChainWait = 180000;

// A message box of the setup's process.
struct Box {
  HWND window = nullptr;
  std::string caption;
  std::string text;               // the static control 0xFFFF
  std::vector<int> buttons;       // IDOK, IDCANCEL, IDYES, IDNO, IDRETRY, ... present
};

// How the setup is started.
struct StartOptions {
  // The run folder: the setup is copied there as ZAN2025.exe and started with
  // it as current folder. Empty: a fresh "C:\setup_run\<scenario>\".
  std::string runFolder;
  // The executable copied into the run folder; empty: the setup under test.
  std::string setupExe;
  // Keep the log of an earlier run (a second instance must leave it alone);
  // otherwise it is deleted first, so no old line can answer a wait.
  bool keepLog = false;
};

class WizardDriver {
 public:
  // `scenario` names the screenshot folder (screenshots/<program>/<scenario>/).
  explicit WizardDriver(const std::string& scenario);
  // Ends a setup still running (and saves a screenshot of what it showed).
  ~WizardDriver();
  WizardDriver(const WizardDriver&) = delete;
  WizardDriver& operator=(const WizardDriver&) = delete;

  // Copies the setup into the run folder and starts it with `arguments` as the
  // text after the program name (for example "/SKIPUPDATE /NODISCOVERY").
  bool Start(const std::string& arguments = "", const StartOptions& options = {});
  // Adopts a setup started by someone else (the run command, or a setup that
  // restarted itself after its update): waits for a running process of the
  // prefix whose image name is `imageName` (case ignored), other than the one
  // this driver holds while that one still runs, and from then on acts on it
  // as on a started one; RunFolder and SetupPath are its executable's. Its log
  // is read from the beginning (no line consumed). False, the test failed,
  // when none comes within `timeout`.
  bool Attach(const std::string& imageName, DWORD timeout = kPageWait);
  // The run folder and the full path of the started setup.
  const std::string& RunFolder() const;
  const std::string& SetupPath() const;

  // Waits for a log line containing `text`, written after the last line this
  // driver consumed; consumes up to and including it.
  bool WaitLog(const std::string& text, DWORD timeout = kPageWait);
  // Waits for "[  INFO] Sheet active -> " + page (the next such line not yet
  // consumed) and for the sheet to show it with the title the first page
  // shown gave it (every page keeps it); takes a screenshot.
  bool WaitPage(const std::string& page, DWORD timeout = kPageWait);
  // Waits only for that log line (consumed like WaitPage): for a page whose
  // activation opens a box, so the sheet does not show it yet.
  bool WaitPageLogged(const std::string& page, DWORD timeout = kPageWait);
  // Checks for `ms` that the sheet keeps showing `page`: any page activated
  // meanwhile must be that page again. Fails the test otherwise.
  bool StaysOn(const std::string& page, DWORD ms = 1500);
  // The name of the page the sheet shows (its template's), or "".
  std::string ShownPage();
  // Waits for a message box whose caption contains `caption`; takes a
  // screenshot. Fails the test on timeout.
  std::optional<Box> WaitBox(const std::string& caption, DWORD timeout = kBoxWait);
  // Waits for another dialog of the setup (not the sheet, not a box) that has
  // the control `controlId`, e.g. the please-wait dialog; takes a screenshot
  // named `name`. Null (and a test failure) on timeout.
  HWND WaitDialog(int controlId, const std::string& name, DWORD timeout = kBoxWait);
  // True when no box of the setup is open after waiting `ms`.
  bool NoBoxFor(DWORD ms);
  // Presses a button of a box (posted BM_CLICK / WM_COMMAND).
  void Answer(const Box& box, int buttonId);
  // Waits for a box whose caption contains `caption` and presses `buttonId`
  // on it; the test fails when none comes or its text is not `text`. False
  // when none came.
  bool AnswerBox(const std::string& caption, const std::string& text, int buttonId = IDOK,
                 DWORD timeout = kBoxWait);

  // The sheet's buttons (PSM_PRESSBUTTON, posted).
  void Next();
  void Back();
  void Finish();
  void Cancel();

  // Controls of the active page (a missing control fails the test).
  void Click(int controlId);
  bool IsChecked(int controlId);
  void SetText(int controlId, const std::string& text);
  // Types `text` into an edit key by key (posted WM_CHAR), as a user would:
  // the edit's own limits apply, which SetText's WM_SETTEXT passes by.
  void Type(int controlId, const std::string& text);
  std::string Text(int controlId);
  // Waits until the control shows `text`; fails the test otherwise.
  bool WaitText(int controlId, const std::string& text, DWORD timeout = kPageWait);
  bool IsVisible(int controlId);
  std::vector<std::string> ListItems(int controlId);
  void SelectListItem(int controlId, int index);
  void DoubleClickListItem(int controlId, int index);
  std::vector<std::string> ComboItems(int controlId);
  std::string ComboSelection(int controlId);
  void SelectComboItem(int controlId, int index);
  // Watches the install page until the log holds `until` (at most
  // `timeout`, then a screenshot): true when its percentage text and its
  // progress bar each showed at least two values, and the test failed
  // otherwise. A page or control gone meanwhile is not a failure.
  bool ShowsProgress(const std::string& until, DWORD timeout);
  // The sheet's window title; its Next button's text.
  std::string SheetTitle();
  std::string NextButtonText();
  HWND Sheet();
  HWND ActivePage();
  // Waits until the keyboard focus of the setup's user-interface thread (as
  // GetGUIThreadInfo reads it) is on the sheet's control `sheetControlId`
  // (IDCANCEL, IDC_SHEET_NEXT...) and that control is enabled and visible,
  // so the keys reach it; fails the test otherwise.
  bool WaitFocus(int sheetControlId, DWORD timeout = kPageWait);
  // Waits until the sheet shows its watermark whole: the screen's pixels over
  // the watermark's place (left of an exterior page, above the line over the
  // buttons) equal the setup's watermark bitmap; fails the test otherwise.
  bool ShowsWatermark(DWORD timeout = kPageWait);
  // The template ids of the sheet's pages, in sheet order.
  std::vector<int> SheetPages();

  // Waits for the setup to end; its full 32-bit exit code, or nullopt (and a
  // test failure) when it does not end in time.
  std::optional<DWORD> WaitExit(DWORD timeout = kExitWait);
  bool Running();

  // Roads and endings every scenario shares. Each returns false, the test
  // failed with the log's last lines, when the setup does not follow.
  //
  // Waits for WIZ_START (unless `startShown`: a wait of the test's saw it),
  // chooses the task `taskId` (IDC_TASK_...), presses Next.
  bool ChooseTask(int taskId, bool startShown = false);
  // The new-office road from WIZ_START to WIZ_SELECTUNIT shown: Install
  // chosen, office 01234 and kPassword typed on WIZ_PMNEW.
  bool ToSelectUnitAsNewOffice(bool startShown = false);
  // On from there to WIZ_INSTALL's activation: the drive entry `drive` picked
  // on WIZ_SELECTUNIT ("" keeps the one proposed), the checks of
  // WIZ_BEFOREINSTALL passed.
  bool ToInstallAsNewOffice(const std::string& drive = "");
  // Start with `arguments` and `options`, then the road above.
  bool StartAsNewOffice(const std::string& arguments = kArgs, const StartOptions& options = {});
  // The road over an office found, from WIZ_START to WIZ_INSTALL's
  // activation: the task `taskId` chosen, the first office of WIZ_PMSELECT
  // picked, the question whose text ends with `question` answered Yes (""
  // expects none), then, with `checks`, WIZ_BEFOREINSTALL passed (the
  // user's own workstation skips it).
  bool ToInstallOnFoundOffice(int taskId, const std::string& question, bool checks = true);
  // Cancel on a page that asks nothing back; the setup must end with 0.
  bool CancelAndExit();
  // Waits until the final page has done its work: the sheet shows WIZ_END
  // only once its activation (configuration, register row, shortcut, lock)
  // is over. With `shareQuestion` the page's share question must come first
  // and is answered No; any other box fails the wait at once.
  bool WaitEndPageDone(bool shareQuestion, DWORD timeout = kChainWait);
  // Finish on WIZ_END. With `notice`, the notice about workstations added for
  // other users or years must come and is answered; without, no box may open.
  // The setup must end with 0.
  bool FinishAndExit(bool notice);
  // Waits for a line containing `text` anywhere in the log as it stands, read
  // by the waits above or not: for a log another setup or the restore started
  // anew, where the lines read before mean nothing.
  bool WaitLogHolds(const std::string& text, DWORD timeout = kPageWait);

  // The proxy's credential box (WinINet's own dialog, its title beginning
  // "Accesso alla rete"), of any process; null (and a test failure) when none
  // shows in time.
  HWND WaitCredentialBox(DWORD timeout = kBoxWait);
  // Types `user` and `password` into the box's fields key by key, as a user
  // would (the user field is the edit inside its combo box), each until it
  // holds its text (bounded); saves a screenshot, then presses OK (posted).
  void EnterCredentials(HWND box, const std::string& user, const std::string& password);
  // Presses Cancel on the credential box (posted).
  void CancelCredentials(HWND box);

  // Saves the screen as screenshots/<program>/<scenario>/NN-<name>.bmp.
  void Screenshot(const std::string& name);
  // The whole setup log, and its lines.
  std::string LogText();
  std::vector<std::string> LogLines();
  // Lines that contain `text`.
  int CountLog(const std::string& text);
  // What follows `marker` in the last line that holds it; "" when none does.
  std::string LogValue(const std::string& marker);

 private:
  struct State;
  State* state_;
  void Fail(const std::string& what);
  bool ExitsWith(DWORD code);
  bool WaitPageLine(const std::string& page, DWORD timeout, bool shown);
  bool KeepsTitle(const std::string& page, DWORD timeout);
  void Press(int button);
  HWND Control(int controlId);
};

// The machine (the test program's private prefix) -------------------------

// The setup under test and its copy with a higher version (Windows paths).
std::string SetupExe();
std::string SetupNextExe();
// The product version of an executable, four numbers joined with ".".
std::string FileVersion(const std::string& path);
// The temporary folder (ends in "\"), and a scratch folder on C: for a
// scenario's own files (ends in "\"; ResetMachine empties it).
std::string TempFolder();
std::string ScratchFolder();
// The setup log's path: local application data + "\DesktopApp\DesktopApp_setup_log.txt".
std::string SetupLogPath();
// Sets or removes the .NET Framework 4.8 "Release" value the setup checks.
void SetDotNet48(bool present);
// Deletes what earlier scenarios of the same program left: C:\ZAN, the log
// folder, the desktop shortcut, the temporary packages, the registry values
// the setup writes, the server's rules and the content it was given to serve. Each end-to-end test's SetUp calls it. The user's desktop
// is pointed at a folder of the prefix first: the prepared prefix links it to
// the Linux home folder, which every program's prefix shares.
void ResetMachine();
// Registry reads; nullopt when the value is missing.
std::optional<std::string> RegString(HKEY root, const std::string& key, const std::string& name);
std::optional<DWORD> RegDword(HKEY root, const std::string& key, const std::string& name);
// Waits (bounded) for a file to appear; fails the test when it does not.
bool WaitFile(const std::string& path, DWORD timeout = kPageWait);
// The desktop folder (CSIDL_DESKTOPDIRECTORY), and the shortcut the setup
// writes there.
std::string DesktopFolder();
std::string ShortcutPath();
// TMP and TEMP of this program, and so of every setup it starts, pointed at
// `folder` (made when missing) for the life of the object.
class TempFolderOverride {
 public:
  explicit TempFolderOverride(const std::string& folder);
  ~TempFolderOverride();
  TempFolderOverride(const TempFolderOverride&) = delete;
  TempFolderOverride& operator=(const TempFolderOverride&) = delete;

 private:
  std::string tmp_, temp_;
};
// The process ids of the prefix whose image name is `name` (case ignored).
std::vector<DWORD> ProcessesNamed(const std::string& name);
// The full path of a process's executable; "" when it cannot be read.
std::string ProcessImagePath(DWORD pid);
// The current user as the setup records a workstation's assignee:
// computer name + "\" + user name.
std::string CurrentAssignee();
// The build folder (E2E_BUILD_DIR_WIN), where fixtures and stand-ins are.
std::string BuildFolder();

// The local update server -------------------------------------------------

// The server root as a Windows path (its content can be changed by a test).
std::string ServerRoot();
// The file the server answers `requestPath` with (a Windows path).
std::string ServedFile(const std::string& requestPath);
// Serves `bytes` at `requestPath` until the next ResetMachine, which puts
// back what the server held before.
void Serve(const std::string& requestPath, const std::string& bytes);
// Request paths the server received, in order, since the last ClearRequests.
std::vector<std::string> ServerRequests();
// The same requests as the server logs them: "METHOD PATH STATUS BYTES".
std::vector<std::string> ServerRequestLines();
void ClearRequests();
// Waits (bounded) until the server has logged at least `count` requests since
// the last ClearRequests (it logs a request before the last byte of its
// answer goes out); fails the test
// when it has not. The requests logged by then.
std::vector<std::string> WaitRequests(size_t count, DWORD timeout = kPageWait);
// Per-path misbehaviour, read by the server on every request
// (tools/update_server.py modes: "404", "500", "short:N", "nolength",
// "trickle:B:MS", "auth:USER:PASS", "stall:S", "reset", "hold"...).
void SetServerRule(const std::string& path, const std::string& mode);
void ClearServerRules();

// The register, read back independently of the setup's own code -----------

// Rows of a query on an SQLite file, each row's columns as text (NULL as "").
// Linux's own Python and SQLite do the reading, outside Wine.
std::vector<std::vector<std::string>> QueryRegister(const std::string& registerPath,
                                                    const std::string& sql);

// A workstation of an office register.
struct Workstation {
  int year;
  int pdl;
  std::string assignee;
  std::string pm = "01234";
};
// Writes the office in `folder` (ending in "\") as the platform leaves it:
// its register (created with its folder) with the platform's tables, one
// KORVAL software row per year met, in the order met, and each workstation,
// its password kPassword as every PC stores it, linked to its year's row; then
// `moreSql`. Each year's platform folder gets the marker file that makes its
// workstations offered (HOME\ETC\INSTALLA.MOD, the office code and the
// password) and, with `runtime`, the runtime that makes the current user's
// workstation complete on this PC.
void WriteOffice(const std::vector<Workstation>& rows, bool runtime = true,
                 const std::string& folder = kOffice, const std::string& moreSql = "");
// Each workstation of a register joined with its software row, as text:
// pm, hex(pwd), pdl, assignee, path, software, anno, cmdline; ordered by
// year, number and assignee.
std::vector<std::vector<std::string>> RegisterWorkstations(const std::string& registerPath = kRegister);
// kPassword as every PC of the office stores it in the register's pwd
// column, worked out here independently of the setup's code (each byte XOR
// the register's key "ZAN-shared"), as upper-case hex, as SQL's hex() gives it.
std::string StoredPasswordHex();

}  // namespace e2e
