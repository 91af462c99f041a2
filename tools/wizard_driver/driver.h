// The wizard driver: starts the real setup under Wine, waits (always with a
// bound) for its log lines, pages and message boxes, reads its controls and
// acts on them with posted messages, as an office user would. Every page and
// box met is saved as a screenshot; a failed wait fails the running test with
// the log's last lines and a screenshot.
//
// End-to-end test programs (tests/wizard/e2e_*_test.cpp) run through
// tests/wizard/run_e2e.sh: a private Wine prefix copied from a prepared one,
// the local update server (sample packages, request log, rules file) as the
// setup's HTTP proxy, and the screenshots converted to PNG afterwards.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace e2e {

// Bounds of the waits, in milliseconds.
constexpr DWORD kPageWait = 30000;
constexpr DWORD kBoxWait = 30000;
constexpr DWORD kExitWait = 60000;

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
  // The run folder and the full path of the started setup.
  const std::string& RunFolder() const;
  const std::string& SetupPath() const;

  // Waits for a log line containing `text`, written after the last line this
  // driver consumed; consumes up to and including it.
  bool WaitLog(const std::string& text, DWORD timeout = kPageWait);
  // Waits for "[  INFO] Sheet active -> " + page (the next such line not yet
  // consumed) and for the sheet to show it; takes a screenshot.
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

  // The sheet's buttons (PSM_PRESSBUTTON, posted).
  void Next();
  void Back();
  void Finish();
  void Cancel();

  // Controls of the active page (a missing control fails the test).
  void Click(int controlId);
  bool IsChecked(int controlId);
  bool IsEnabled(int controlId);
  void SetText(int controlId, const std::string& text);
  std::string Text(int controlId);
  bool IsVisible(int controlId);
  std::vector<std::string> ListItems(int controlId);
  int ListSelection(int controlId);
  void SelectListItem(int controlId, int index);
  void DoubleClickListItem(int controlId, int index);
  std::vector<std::string> ComboItems(int controlId);
  std::string ComboSelection(int controlId);
  void SelectComboItem(int controlId, int index);
  // The sheet's window title; its Next button's text.
  std::string SheetTitle();
  std::string NextButtonText();
  HWND Sheet();
  HWND ActivePage();
  // The template ids of the sheet's pages, in sheet order.
  std::vector<int> SheetPages();

  // Waits for the setup to end; its full 32-bit exit code, or nullopt (and a
  // test failure) when it does not end in time.
  std::optional<DWORD> WaitExit(DWORD timeout = kExitWait);
  bool Running();

  // Saves the screen as screenshots/<program>/<scenario>/NN-<name>.bmp.
  void Screenshot(const std::string& name);
  // The whole setup log, and its lines.
  std::string LogText();
  std::vector<std::string> LogLines();
  // Lines that contain `text`.
  int CountLog(const std::string& text);

 private:
  struct State;
  State* state_;
  void Fail(const std::string& what);
  bool WaitPageLine(const std::string& page, DWORD timeout, bool shown);
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
// the setup writes. Each end-to-end test's SetUp calls it.
void ResetMachine();
// Registry reads; nullopt when the value is missing.
std::optional<std::string> RegString(HKEY root, const std::string& key, const std::string& name);
std::optional<DWORD> RegDword(HKEY root, const std::string& key, const std::string& name);
// File helpers on Windows paths.
bool Exists(const std::string& path);
// Waits (bounded) for a file to appear; fails the test when it does not.
bool WaitFile(const std::string& path, DWORD timeout = kPageWait);
std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
// The desktop folder (CSIDL_DESKTOPDIRECTORY).
std::string DesktopFolder();

// The local update server -------------------------------------------------

// The server root as a Windows path (its content can be changed by a test).
std::string ServerRoot();
// Request paths the server received, in order, since the last ClearRequests.
std::vector<std::string> ServerRequests();
// The same requests as the server logs them: "METHOD PATH STATUS BYTES".
std::vector<std::string> ServerRequestLines();
void ClearRequests();
// Waits (bounded) until the server has logged at least `count` requests since
// the last ClearRequests (it logs a request once answered); fails the test
// when it has not. The requests logged by then.
std::vector<std::string> WaitRequests(size_t count, DWORD timeout = kPageWait);
// Per-path misbehaviour, read by the server on every request
// (tools/update_server.py modes: "404", "500", "short:N", "nolength",
// "trickle:B:MS", "auth:USER:PASS", "stall:S", "reset"...).
void SetServerRule(const std::string& path, const std::string& mode);
void ClearServerRules();

// The register, read back independently of the setup's own code -----------

// Rows of a query on an SQLite file, each row's columns as text (NULL as "").
// Linux's own Python and SQLite do the reading, outside Wine.
std::vector<std::vector<std::string>> QueryRegister(const std::string& registerPath,
                                                    const std::string& sql);
// Runs SQL statements on an SQLite file (created when missing, with its folder).
void ExecRegister(const std::string& registerPath, const std::string& sql);
// A text as an SQL literal.
std::string SqlText(const std::string& text);

}  // namespace e2e
