// The wizard driver (see driver.h). It sees the setup only from outside: its
// process, its top-level windows, its log file, the registry and files of the
// prefix, and the update server's files. It acts with posted messages only,
// because the setup opens modal boxes inside its handlers; it reads with
// bounded sent messages (Wine copies the text of WM_GETTEXT, LB_GETTEXT and
// CB_GETLBTEXT across processes).
#include "driver.h"

#include <gtest/gtest.h>
#include <commctrl.h>
#include <objbase.h>
#include <prsht.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <map>
#include <set>

#include "resource.h"

namespace e2e {
namespace {

constexpr DWORD kPoll = 40;         // ms between two looks at the setup
constexpr UINT kSendTimeout = 5000;  // ms a read of a control may take
constexpr DWORD kRegisterWait = 30000;
constexpr size_t kLogTail = 15;
constexpr DWORD kPaintSettle = 150;  // ms for a new window to paint before its screenshot

std::string Env(const char* name) {
  DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
  if (size == 0) return {};
  std::string value(size, '\0');
  value.resize(GetEnvironmentVariableA(name, &value[0], size));
  return value;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return folder;
}

std::string Parent(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

using testing_support::MakeFolders;

std::string SafeName(const std::string& name) {
  std::string safe;
  for (char c : name) safe += std::isalnum(static_cast<unsigned char>(c)) || c == '-' ? c : '_';
  return safe.substr(0, 60);
}

std::vector<std::string> SplitLines(const std::string& text, bool completeOnly) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      if (!completeOnly) lines.push_back(text.substr(start));
      break;
    }
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::string ClassName(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// The window text through WM_GETTEXT (edits keep theirs outside the window).
std::string WindowText(HWND window) {
  if (!window) return {};
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeout, &length))
    return {};
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0]),
                           SMTO_ABORTIFHUNG, kSendTimeout, &copied))
    return {};
  text.resize(std::min<size_t>(copied, length));
  return text;
}

LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeout, &result))
    return 0;
  return static_cast<LRESULT>(result);
}

struct TopLevelSearch {
  DWORD pid;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<TopLevelSearch*>(context);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == search->pid && IsWindowVisible(window) && ClassName(window) == "#32770")
    search->windows.push_back(window);
  return TRUE;
}

std::vector<HWND> Dialogs(DWORD pid) {
  TopLevelSearch search{pid, {}};
  if (pid) EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.windows;
}

BOOL CALLBACK CollectChildren(HWND window, LPARAM context) {
  reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
  return TRUE;
}

std::vector<HWND> DirectChildren(HWND parent) {
  std::vector<HWND> all;
  EnumChildWindows(parent, CollectChildren, reinterpret_cast<LPARAM>(&all));
  std::vector<HWND> direct;
  for (HWND child : all)
    if (GetParent(child) == parent) direct.push_back(child);
  return direct;
}

bool IsSheet(HWND dialog) { return Ask(dialog, PSM_GETCURRENTPAGEHWND) != 0; }

// A message box: a dialog with the text static 0xFFFF and at least one of the
// standard buttons (the please-wait dialog has neither).
bool IsBox(HWND dialog, std::vector<int>* buttons) {
  if (!GetDlgItem(dialog, 0xFFFF)) return false;
  std::vector<int> found;
  for (HWND child : DirectChildren(dialog)) {
    int id = GetDlgCtrlID(child);
    if (Lower(ClassName(child)) == "button" && id >= IDOK && id <= IDCONTINUE && IsWindowVisible(child))
      found.push_back(id);
  }
  if (found.empty() || IsSheet(dialog)) return false;
  std::sort(found.begin(), found.end());
  if (buttons) *buttons = found;
  return true;
}

std::vector<Box> Boxes(DWORD pid) {
  std::vector<Box> boxes;
  for (HWND dialog : Dialogs(pid)) {
    Box box;
    if (!IsBox(dialog, &box.buttons)) continue;
    box.window = dialog;
    box.caption = WindowText(dialog);
    box.text = WindowText(GetDlgItem(dialog, 0xFFFF));
    boxes.push_back(box);
  }
  return boxes;
}

const std::map<std::string, int>& PageTemplates() {
  static const std::map<std::string, int> templates = {
      {"WIZ_REQNETFWNOTMET", IDD_WIZ_REQNETFWNOTMET}, {"WIZ_START", IDD_WIZ_START},
      {"WIZ_NOTSUPPORTED", IDD_WIZ_NOTSUPPORTED},     {"WIZ_PMSELECT", IDD_WIZ_PMSELECT},
      {"WIZ_PMNEW", IDD_WIZ_PMNEW},                   {"WIZ_SELECTUNIT", IDD_WIZ_SELECTUNIT},
      {"WIZ_BEFOREINSTALL", IDD_WIZ_BEFOREINSTALL},   {"WIZ_INSTALL", IDD_WIZ_INSTALL},
      {"WIZ_END", IDD_WIZ_END}};
  return templates;
}

// The template id of the page the sheet shows; 0 when it cannot be told.
int ShownTemplate(HWND sheet) {
  auto page = reinterpret_cast<HWND>(Ask(sheet, PSM_GETCURRENTPAGEHWND));
  if (!page || !IsWindowVisible(page)) return 0;
  LRESULT index = Ask(sheet, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(page));
  if (index < 0) return 0;
  return static_cast<int>(Ask(sheet, PSM_INDEXTOID, static_cast<WPARAM>(index)));
}

void WriteBmp(const std::string& path, HBITMAP bitmap, HDC dc, int width, int height) {
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  DWORD stride = ((width * 3) + 3) & ~3u;
  std::string pixels(static_cast<size_t>(stride) * height, '\0');
  if (!GetDIBits(dc, bitmap, 0, height, &pixels[0], reinterpret_cast<BITMAPINFO*>(&header),
                 DIB_RGB_COLORS))
    return;
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&header), sizeof header);
  bytes += pixels;
  WriteBytes(path, bytes);
}

using testing_support::UnixPath;

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

// The register is read and written by Linux's own Python and SQLite, started
// from here as a Unix program (Wine runs those without a process handle, so
// the result comes back through a file that appears when it is complete).
const char kRegisterScript[] = R"PY(import os, sqlite3, sys
db, sql_file, out, mode = sys.argv[1:5]
with open(sql_file, "rb") as f:
    sql = f.read().decode("latin-1")
try:
    con = sqlite3.connect(db)
    con.text_factory = bytes
    lines = []
    if mode == "exec":
        con.executescript(sql)
        con.commit()
    else:
        for row in con.execute(sql):
            cells = []
            for v in row:
                if v is None:
                    cells.append("")
                elif isinstance(v, bytes):
                    cells.append(v.hex())
                else:
                    cells.append(str(v).encode("latin-1").hex())
            lines.append("R" + "".join("\t" + c for c in cells))
    con.close()
    text = "OK\n" + "".join(line + "\n" for line in lines)
except Exception as e:
    text = "ERROR\n" + str(e).encode("utf-8").hex() + "\n"
with open(out + ".part", "w") as f:
    f.write(text)
os.replace(out + ".part", out)
)PY";

std::vector<std::vector<std::string>> RunRegisterScript(const std::string& registerPath,
                                                        const std::string& sql, const char* mode) {
  static int calls = 0;
  std::string temp = Env("TEMP");
  if (temp.empty()) temp = "C:\\windows\\temp";
  std::string base = WithSlash(temp) + "e2e_register_" + std::to_string(GetCurrentProcessId()) + "_" +
                     std::to_string(++calls);
  std::string script = base + ".py", sqlFile = base + ".sql", out = base + ".out";
  WriteBytes(script, kRegisterScript);
  WriteBytes(sqlFile, sql);
  std::string command = "/usr/bin/python3 \"" + UnixPath(script) + "\" \"" + UnixPath(registerPath) +
                        "\" \"" + UnixPath(sqlFile) + "\" \"" + UnixPath(out) + "\" " + mode;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::vector<std::vector<std::string>> rows;
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    ADD_FAILURE() << "cannot start the register reader: " << command << " (" << GetLastError() << ")";
    return rows;
  }
  if (process.hProcess) CloseHandle(process.hProcess);
  if (process.hThread) CloseHandle(process.hThread);
  DWORD start = GetTickCount();
  while (!Exists(out) && GetTickCount() - start < kRegisterWait) Sleep(20);
  std::vector<std::string> lines = SplitLines(ReadBytes(out), true);
  for (const std::string& file : {script, sqlFile, out}) DeleteFileA(file.c_str());
  if (lines.empty()) {
    ADD_FAILURE() << "the register reader gave no answer for " << registerPath << ": " << sql;
    return rows;
  }
  if (lines[0] != "OK") {
    ADD_FAILURE() << "SQLite on " << registerPath << ": " << (lines.size() > 1 ? FromHex(lines[1]) : "")
                  << "\n  " << sql;
    return rows;
  }
  for (size_t i = 1; i < lines.size(); ++i) {
    std::vector<std::string> row;
    size_t tab = lines[i].find('\t');
    while (tab != std::string::npos) {
      size_t next = lines[i].find('\t', tab + 1);
      row.push_back(FromHex(lines[i].substr(tab + 1, next == std::string::npos ? std::string::npos
                                                                               : next - tab - 1)));
      tab = next;
    }
    rows.push_back(row);
  }
  return rows;
}

size_t g_requestOffset = 0;
// What the server held at the paths a scenario gave it other content for.
std::map<std::string, std::string> g_served;

std::string RulesFile() { return Env("E2E_RULES_FILE"); }

std::map<std::string, std::string> ReadRules() {
  std::map<std::string, std::string> rules;
  for (const std::string& line : SplitLines(ReadBytes(RulesFile()), false)) {
    size_t eq = line.find('=');
    if (eq != std::string::npos) rules[Lower(line.substr(0, eq))] = line.substr(eq + 1);
  }
  return rules;
}

// Replaces the rules file at once, so the server never reads half of it.
void WriteRules(const std::map<std::string, std::string>& rules) {
  std::string text;
  for (const auto& rule : rules) text += rule.first + "=" + rule.second + "\n";
  std::string part = RulesFile() + ".part";
  WriteBytes(part, text);
  MoveFileExA(part.c_str(), RulesFile().c_str(), MOVEFILE_REPLACE_EXISTING);
}

void DeleteRegistryValues(HKEY root, const char* key, const std::string& nameContains) {
  HKEY handle;
  if (RegOpenKeyExA(root, key, 0, KEY_READ | KEY_SET_VALUE, &handle) != ERROR_SUCCESS) return;
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[2048];
    DWORD size = sizeof name;
    if (RegEnumValueA(handle, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (Contains(Lower(name), Lower(nameContains))) names.push_back(name);
  }
  for (const std::string& name : names) RegDeleteValueA(handle, name.c_str());
  RegCloseKey(handle);
}

// Ends the setup copies, stand-ins and installers a scenario left running.
void EndLeftoverProcesses() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    std::string name = Lower(entry.szExeFile);
    bool ours = name.rfind("zan2025", 0) == 0 || name.rfind("old_zan2025", 0) == 0 ||
                name == "ndp48-web.exe";
    if (!ours || entry.th32ProcessID == GetCurrentProcessId()) continue;
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (!process) continue;
    TerminateProcess(process, 0xDEAD);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
  }
  CloseHandle(snapshot);
}

}  // namespace

// -------------------------------------------------------------------------

struct WizardDriver::State {
  std::string scenario;
  std::string shotFolder;
  int shots = 0;
  std::string runFolder;
  std::string setupPath;
  PROCESS_INFORMATION process = {};
  size_t logCursor = 0;   // lines consumed by WaitLog
  size_t pageCursor = 0;  // lines consumed by WaitPage
  std::string firstLine;  // the log's first line when the cursors were set
  std::string title;      // the sheet's title on the first page shown

  // The setup's restore deletes its log folder and the next line starts a new
  // log: every line of that log is then unread.
  void Resync(const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    if (!firstLine.empty() && lines[0] != firstLine) logCursor = pageCursor = 0;
    firstLine = lines[0];
  }

  std::string LogTail() {
    std::vector<std::string> lines = SplitLines(ReadBytes(SetupLogPath()), false);
    std::string tail;
    size_t first = lines.size() > kLogTail ? lines.size() - kLogTail : 0;
    for (size_t i = first; i < lines.size(); ++i) tail += "    " + lines[i] + "\n";
    return tail.empty() ? "    (the log is empty or missing)\n" : tail;
  }
};

WizardDriver::WizardDriver(const std::string& scenario) : state_(new State) {
  state_->scenario = scenario;
  std::string root = Env("E2E_SCREENSHOTS");
  if (root.empty()) root = WithSlash(Env("TEMP")) + "e2e_screenshots";
  state_->shotFolder = WithSlash(root) + SafeName(scenario);
  RemoveTree(state_->shotFolder);
}

WizardDriver::~WizardDriver() {
  if (Running()) {
    Screenshot("left-running");
    TerminateProcess(state_->process.hProcess, 0xDEAD);
    WaitForSingleObject(state_->process.hProcess, 10000);
  }
  if (state_->process.hProcess) CloseHandle(state_->process.hProcess);
  if (state_->process.hThread) CloseHandle(state_->process.hThread);
  delete state_;
}

bool WizardDriver::Start(const std::string& arguments, const StartOptions& options) {
  State& s = *state_;
  s.runFolder = WithSlash(options.runFolder.empty() ? "C:\\setup_run\\" + SafeName(s.scenario)
                                                    : options.runFolder);
  MakeFolders(Parent(s.runFolder + "x"));
  std::string source = options.setupExe.empty() ? SetupExe() : options.setupExe;
  s.setupPath = s.runFolder + "ZAN2025.exe";
  if (!CopyFileA(source.c_str(), s.setupPath.c_str(), FALSE)) {
    ADD_FAILURE() << "cannot copy " << source << " to " << s.setupPath << " (" << GetLastError() << ")";
    return false;
  }
  if (!options.keepLog) DeleteFileA(SetupLogPath().c_str());
  s.logCursor = s.pageCursor = 0;
  s.firstLine.clear();
  s.title.clear();
  std::string command = "\"" + s.setupPath + "\"" + (arguments.empty() ? "" : " " + arguments);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  if (!CreateProcessA(s.setupPath.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                      s.runFolder.c_str(), &startup, &s.process)) {
    ADD_FAILURE() << "cannot start " << command << " (" << GetLastError() << ")";
    return false;
  }
  return true;
}

bool WizardDriver::Attach(const std::string& imageName, DWORD timeout) {
  State& s = *state_;
  // The process held until now is skipped while it runs; once ended, its id
  // may be given to the next process, which is then a new one.
  const DWORD held = Running() ? s.process.dwProcessId : 0;
  DWORD start = GetTickCount();
  do {
    for (DWORD pid : ProcessesNamed(imageName)) {
      if (pid == held || pid == GetCurrentProcessId()) continue;
      HANDLE process =
          OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, pid);
      if (!process) continue;
      if (WaitForSingleObject(process, 0) != WAIT_TIMEOUT) {
        CloseHandle(process);
        continue;
      }
      char image[MAX_PATH] = {};
      DWORD size = sizeof image;
      QueryFullProcessImageNameA(process, 0, image, &size);
      if (s.process.hProcess) CloseHandle(s.process.hProcess);
      if (s.process.hThread) CloseHandle(s.process.hThread);
      s.process = {};
      s.process.hProcess = process;
      s.process.dwProcessId = pid;
      s.setupPath = image;
      s.runFolder = WithSlash(Parent(s.setupPath));
      s.logCursor = s.pageCursor = 0;
      s.firstLine.clear();
      return true;
    }
    Sleep(kPoll);
  } while (GetTickCount() - start < timeout);
  ADD_FAILURE() << "no running process " << imageName << " to attach to within " << timeout << " ms";
  return false;
}

const std::string& WizardDriver::RunFolder() const { return state_->runFolder; }
const std::string& WizardDriver::SetupPath() const { return state_->setupPath; }

void WizardDriver::Fail(const std::string& what) {
  Screenshot("failed");
  ADD_FAILURE() << what << "\n  last lines of the setup log:\n" << state_->LogTail();
}

bool WizardDriver::WaitLog(const std::string& text, DWORD timeout) {
  DWORD start = GetTickCount();
  do {
    std::vector<std::string> lines = LogLines();
    state_->Resync(lines);
    for (size_t i = state_->logCursor; i < lines.size(); ++i) {
      if (Contains(lines[i], text)) {
        state_->logCursor = i + 1;
        return true;
      }
    }
    Sleep(kPoll);
  } while (GetTickCount() - start < timeout);
  Fail("no log line containing \"" + text + "\" within " + std::to_string(timeout) + " ms");
  return false;
}

bool WizardDriver::WaitPage(const std::string& page, DWORD timeout) {
  return WaitPageLine(page, timeout, true);
}

bool WizardDriver::WaitPageLogged(const std::string& page, DWORD timeout) {
  return WaitPageLine(page, timeout, false);
}

bool WizardDriver::WaitPageLine(const std::string& page, DWORD timeout, bool shown) {
  const std::string marker = "[  INFO] Sheet active -> ";
  auto known = PageTemplates().find(page);
  int expected = known == PageTemplates().end() ? 0 : known->second;
  DWORD start = GetTickCount();
  bool logged = false;
  do {
    if (!logged) {
      std::vector<std::string> lines = LogLines();
      state_->Resync(lines);
      for (size_t i = state_->pageCursor; i < lines.size() && !logged; ++i) {
        size_t at = lines[i].find(marker);
        if (at == std::string::npos) continue;
        state_->pageCursor = i + 1;
        const std::string activated = lines[i].substr(at + marker.size());
        if (activated != page) {
          Fail("expected the page " + page + ", the sheet went to " + activated);
          return false;
        }
        logged = true;
      }
    }
    if (logged && !shown) return true;
    if (logged) {
      HWND sheet = Sheet();
      if (sheet && (expected == 0 || ShownTemplate(sheet) == expected)) {
        if (!KeepsTitle(page, timeout)) return false;
        Sleep(kPaintSettle);
        Screenshot(page);
        return true;
      }
    }
    Sleep(kPoll);
  } while (GetTickCount() - start < timeout);
  Fail(logged ? "the log says " + page + " is active, but the sheet does not show it"
              : "no \"Sheet active -> " + page + "\" within " + std::to_string(timeout) + " ms");
  return false;
}

// The first page shown sets the sheet's title (any, as long as it is not
// empty); every later page must show the same.
bool WizardDriver::KeepsTitle(const std::string& page, DWORD timeout) {
  const DWORD start = GetTickCount();
  std::string title = SheetTitle();
  while (state_->title.empty() ? title.empty() : title != state_->title) {
    if (GetTickCount() - start >= timeout) {
      Fail(page + " shows the title \"" + title + "\" instead of \"" +
           (state_->title.empty() ? std::string("(any)") : state_->title) + "\"");
      return false;
    }
    Sleep(kPoll);
    title = SheetTitle();
  }
  state_->title = title;
  return true;
}

bool WizardDriver::StaysOn(const std::string& page, DWORD ms) {
  const std::string marker = "[  INFO] Sheet active -> ";
  DWORD start = GetTickCount();
  do {
    std::vector<std::string> lines = LogLines();
    state_->Resync(lines);
    for (size_t i = state_->pageCursor; i < lines.size(); ++i) {
      size_t at = lines[i].find(marker);
      if (at == std::string::npos) continue;
      state_->pageCursor = i + 1;
      if (lines[i].substr(at + marker.size()) != page) {
        Fail("the sheet left " + page + ": " + lines[i]);
        return false;
      }
    }
    Sleep(kPoll);
  } while (GetTickCount() - start < ms);
  std::string shown = ShownPage();
  if (shown != page) {
    Fail("the sheet shows \"" + shown + "\" instead of " + page);
    return false;
  }
  return true;
}

std::string WizardDriver::ShownPage() {
  HWND sheet = Sheet();
  int shown = sheet ? ShownTemplate(sheet) : 0;
  for (const auto& page : PageTemplates())
    if (page.second == shown) return page.first;
  return {};
}

std::optional<Box> WizardDriver::WaitBox(const std::string& caption, DWORD timeout) {
  DWORD start = GetTickCount();
  std::vector<Box> boxes;
  do {
    boxes = Boxes(state_->process.dwProcessId);
    for (const Box& box : boxes) {
      if (Contains(box.caption, caption)) {
        Sleep(kPaintSettle);
        Screenshot("box-" + box.caption);
        return box;
      }
    }
    Sleep(kPoll);
  } while (GetTickCount() - start < timeout);
  std::string open;
  for (const Box& box : boxes) open += " \"" + box.caption + "\"";
  Fail("no box captioned \"" + caption + "\" within " + std::to_string(timeout) + " ms; open:" +
       (open.empty() ? " none" : open));
  return std::nullopt;
}

HWND WizardDriver::WaitDialog(int controlId, const std::string& name, DWORD timeout) {
  DWORD start = GetTickCount();
  do {
    for (HWND dialog : Dialogs(state_->process.dwProcessId)) {
      if (GetDlgItem(dialog, controlId) && !IsSheet(dialog)) {
        Screenshot(name);
        return dialog;
      }
    }
    Sleep(kPoll);
  } while (GetTickCount() - start < timeout);
  Fail("no dialog \"" + name + "\" (control " + std::to_string(controlId) + ") within " +
       std::to_string(timeout) + " ms");
  return nullptr;
}

bool WizardDriver::NoBoxFor(DWORD ms) {
  DWORD start = GetTickCount();
  do {
    std::vector<Box> boxes = Boxes(state_->process.dwProcessId);
    if (!boxes.empty()) {
      Screenshot("unexpected-box");
      return false;
    }
    Sleep(kPoll);
  } while (GetTickCount() - start < ms);
  return true;
}

void WizardDriver::Answer(const Box& box, int buttonId) {
  HWND button = GetDlgItem(box.window, buttonId);
  if (!button) {
    Fail("the box \"" + box.caption + "\" has no button " + std::to_string(buttonId));
    return;
  }
  PostMessageA(box.window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  // The next wait must not find this box again.
  DWORD start = GetTickCount();
  while (IsWindow(box.window) && IsWindowVisible(box.window) && GetTickCount() - start < kBoxWait)
    Sleep(kPoll);
  if (IsWindow(box.window) && IsWindowVisible(box.window))
    Fail("the box \"" + box.caption + "\" stays open after button " + std::to_string(buttonId));
}

bool WizardDriver::AnswerBox(const std::string& caption, const std::string& text, int buttonId,
                             DWORD timeout) {
  const std::optional<Box> box = WaitBox(caption, timeout);
  if (!box) return false;
  if (box->text != text) Fail("the box \"" + box->caption + "\" says \"" + box->text + "\", not \"" + text + "\"");
  Answer(*box, buttonId);
  return true;
}

void WizardDriver::Press(int button) {
  HWND sheet = Sheet();
  if (!sheet) {
    Fail("no sheet to press button " + std::to_string(button) + " on");
    return;
  }
  PostMessageA(sheet, PSM_PRESSBUTTON, button, 0);
}

void WizardDriver::Next() { Press(PSBTN_NEXT); }
void WizardDriver::Back() { Press(PSBTN_BACK); }
void WizardDriver::Finish() { Press(PSBTN_FINISH); }
void WizardDriver::Cancel() { Press(PSBTN_CANCEL); }

HWND WizardDriver::Control(int controlId) {
  HWND page = ActivePage();
  HWND control = page ? GetDlgItem(page, controlId) : nullptr;
  if (!control) Fail("the active page has no control " + std::to_string(controlId));
  return control;
}

void WizardDriver::Click(int controlId) {
  if (HWND control = Control(controlId)) PostMessageA(control, BM_CLICK, 0, 0);
}

bool WizardDriver::IsChecked(int controlId) {
  HWND control = Control(controlId);
  return control && Ask(control, BM_GETCHECK) == BST_CHECKED;
}

void WizardDriver::SetText(int controlId, const std::string& text) {
  HWND control = Control(controlId);
  if (!control) return;
  // WM_SETTEXT carries a pointer, so it cannot be posted; an edit handles it
  // without calling the page. The page then hears of it as from the keyboard.
  DWORD_PTR result = 0;
  SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                      kSendTimeout, &result);
  HWND page = GetParent(control);
  PostMessageA(page, WM_COMMAND, MAKEWPARAM(controlId, EN_UPDATE), reinterpret_cast<LPARAM>(control));
  PostMessageA(page, WM_COMMAND, MAKEWPARAM(controlId, EN_CHANGE), reinterpret_cast<LPARAM>(control));
}

void WizardDriver::Type(int controlId, const std::string& text) {
  HWND control = Control(controlId);
  if (!control) return;
  for (char c : text) PostMessageA(control, WM_CHAR, static_cast<BYTE>(c), 1);
}

std::string WizardDriver::Text(int controlId) { return WindowText(Control(controlId)); }

bool WizardDriver::WaitText(int controlId, const std::string& text, DWORD timeout) {
  const DWORD start = GetTickCount();
  std::string shown = Text(controlId);
  while (shown != text) {
    if (GetTickCount() - start >= timeout) {
      Fail("control " + std::to_string(controlId) + " shows \"" + shown + "\", not \"" + text +
           "\"");
      return false;
    }
    Sleep(kPoll);
    shown = Text(controlId);
  }
  return true;
}

bool WizardDriver::IsVisible(int controlId) {
  HWND control = Control(controlId);
  return control && IsWindowVisible(control);
}

namespace {
// Across processes Wine copies LB_GETTEXT and CB_GETLBTEXT back as UTF-16
// whatever the call's character set, so the entries are asked for as UTF-16
// into a buffer of that size and narrowed here.
std::vector<std::string> Items(HWND control, UINT count, UINT length, UINT get) {
  std::vector<std::string> items;
  if (!control) return items;
  auto ask = [control](UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(control, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeout,
                             &result))
      return static_cast<LRESULT>(-1);
    return static_cast<LRESULT>(result);
  };
  const LRESULT n = ask(count, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    const LRESULT size = ask(length, i, 0);
    std::wstring text(size > 0 ? size + 1 : 1, L'\0');
    const LRESULT copied = ask(get, i, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(copied > 0 ? std::min<size_t>(copied, text.size() - 1) : 0);
    std::string narrow;
    if (!text.empty()) {
      const int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                            nullptr, 0, nullptr, nullptr);
      narrow.resize(bytes > 0 ? bytes : 0);
      if (bytes > 0)
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &narrow[0],
                            bytes, nullptr, nullptr);
    }
    items.push_back(narrow);
  }
  return items;
}
}  // namespace

std::vector<std::string> WizardDriver::ListItems(int controlId) {
  return Items(Control(controlId), LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT);
}

void WizardDriver::SelectListItem(int controlId, int index) {
  HWND control = Control(controlId);
  if (!control) return;
  PostMessageA(control, LB_SETCURSEL, index, 0);
  PostMessageA(GetParent(control), WM_COMMAND, MAKEWPARAM(controlId, LBN_SELCHANGE),
               reinterpret_cast<LPARAM>(control));
}

void WizardDriver::DoubleClickListItem(int controlId, int index) {
  HWND control = Control(controlId);
  if (!control) return;
  SelectListItem(controlId, index);
  PostMessageA(GetParent(control), WM_COMMAND, MAKEWPARAM(controlId, LBN_DBLCLK),
               reinterpret_cast<LPARAM>(control));
}

std::vector<std::string> WizardDriver::ComboItems(int controlId) {
  return Items(Control(controlId), CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}

std::string WizardDriver::ComboSelection(int controlId) {
  HWND control = Control(controlId);
  if (!control) return {};
  LRESULT index = Ask(control, CB_GETCURSEL);
  std::vector<std::string> items = ComboItems(controlId);
  return index >= 0 && static_cast<size_t>(index) < items.size() ? items[index] : std::string();
}

void WizardDriver::SelectComboItem(int controlId, int index) {
  HWND control = Control(controlId);
  if (!control) return;
  PostMessageA(control, CB_SETCURSEL, index, 0);
  PostMessageA(GetParent(control), WM_COMMAND, MAKEWPARAM(controlId, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(control));
}

bool WizardDriver::ShowsProgress(const std::string& until, DWORD timeout) {
  std::set<std::string> texts;
  std::set<LRESULT> positions;
  for (const DWORD start = GetTickCount(); GetTickCount() - start < timeout; Sleep(30)) {
    const HWND page = ActivePage();
    const std::string text = page ? WindowText(GetDlgItem(page, IDC_PERCENT_TEXT)) : "";
    if (!text.empty()) texts.insert(text);
    const LRESULT position = page ? Ask(GetDlgItem(page, IDC_PROGRESS), PBM_GETPOS) : 0;
    if (position > 0) positions.insert(position);
    if (Contains(LogText(), until)) break;
  }
  Screenshot("progress");
  if (texts.size() >= 2 && positions.size() >= 2) return true;
  Fail("the install page showed " + std::to_string(texts.size()) + " percentages and " +
       std::to_string(positions.size()) + " bar positions before \"" + until + "\"");
  return false;
}

std::string WizardDriver::SheetTitle() { return WindowText(Sheet()); }

std::string WizardDriver::NextButtonText() {
  HWND sheet = Sheet();
  return sheet ? WindowText(GetDlgItem(sheet, IDC_SHEET_NEXT)) : std::string();
}

HWND WizardDriver::Sheet() {
  for (HWND dialog : Dialogs(state_->process.dwProcessId))
    if (IsSheet(dialog)) return dialog;
  return nullptr;
}

HWND WizardDriver::ActivePage() {
  HWND sheet = Sheet();
  return sheet ? reinterpret_cast<HWND>(Ask(sheet, PSM_GETCURRENTPAGEHWND)) : nullptr;
}

bool WizardDriver::WaitFocus(int sheetControlId, DWORD timeout) {
  auto describe = [](HWND window) {
    if (!window) return std::string("no window");
    return ClassName(window) + " " + std::to_string(GetDlgCtrlID(window)) + " \"" +
           WindowText(window) + "\"" + (IsWindowEnabled(window) ? "" : " (disabled)") +
           (IsWindowVisible(window) ? "" : " (hidden)");
  };
  const DWORD start = GetTickCount();
  std::string first, last;
  do {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    HWND focus = GetGUIThreadInfo(state_->process.dwThreadId, &info) ? info.hwndFocus : nullptr;
    HWND sheet = Sheet();
    HWND wanted = sheet ? GetDlgItem(sheet, sheetControlId) : nullptr;
    if (wanted && focus == wanted && IsWindowEnabled(wanted) && IsWindowVisible(wanted)) return true;
    last = describe(focus);
    if (first.empty()) first = last;
    Sleep(kPoll);
  } while (GetTickCount() - start < timeout);
  Fail("the keyboard focus is on " + first + (last == first ? "" : " (at the end on " + last + ")") +
       ", not on the sheet's control " + std::to_string(sheetControlId));
  return false;
}

namespace {
// A top-down 32-bit bitmap of that size.
BITMAPINFOHEADER TopDown32(int width, int height) {
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = -height;
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  return header;
}

// A window's client area as it is on the screen, top-down 32-bit pixels.
std::vector<DWORD> ClientPixels(HWND window, int* width, int* height) {
  RECT client = {};
  GetClientRect(window, &client);
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  *width = client.right;
  *height = client.bottom;
  std::vector<DWORD> pixels(static_cast<size_t>(*width) * *height);
  if (pixels.empty()) return pixels;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, *width, *height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, *width, *height, screen, origin.x, origin.y, SRCCOPY);
  SelectObject(memory, previous);
  BITMAPINFOHEADER header = TopDown32(*width, *height);
  GetDIBits(memory, bitmap, 0, *height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// The watermark bitmap of an executable's resources, top-down 32-bit pixels.
std::vector<DWORD> WatermarkPixels(const std::string& executable, int* width, int* height) {
  std::vector<DWORD> pixels;
  HMODULE module = LoadLibraryExA(executable.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HBITMAP bitmap = module ? static_cast<HBITMAP>(LoadImageA(module, MAKEINTRESOURCEA(IDB_WATERMARK),
                                                            IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION))
                          : nullptr;
  BITMAP info = {};
  if (bitmap && GetObjectA(bitmap, sizeof info, &info)) {
    *width = info.bmWidth;
    *height = info.bmHeight;
    pixels.resize(static_cast<size_t>(*width) * *height);
    BITMAPINFOHEADER header = TopDown32(*width, *height);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, *height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
              DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
  }
  if (bitmap) DeleteObject(bitmap);
  if (module) FreeLibrary(module);
  return pixels;
}
}  // namespace

bool WizardDriver::ShowsWatermark(DWORD timeout) {
  int markWidth = 0, markHeight = 0;
  const std::vector<DWORD> mark = WatermarkPixels(SetupPath(), &markWidth, &markHeight);
  if (mark.empty()) {
    Fail("no watermark bitmap in " + SetupPath());
    return false;
  }
  const DWORD start = GetTickCount();
  std::string differs;
  do {
    HWND sheet = Sheet();
    // The watermark ends at the line over the buttons: compared down to a
    // little above them.
    HWND cancel = sheet ? GetDlgItem(sheet, IDCANCEL) : nullptr;
    RECT button = {};
    if (cancel) {
      GetWindowRect(cancel, &button);
      MapWindowPoints(nullptr, sheet, reinterpret_cast<POINT*>(&button), 2);
    }
    int width = 0, height = 0;
    const std::vector<DWORD> shown = sheet ? ClientPixels(sheet, &width, &height) : std::vector<DWORD>();
    const int right = std::min(markWidth, width), bottom = std::min<int>(markHeight, button.top - 20);
    int wrong = 0, samples = 0;
    differs.clear();
    for (int y = 0; y < bottom; y += 3) {
      for (int x = 0; x < right; x += 3) {
        ++samples;
        const DWORD seen = shown[static_cast<size_t>(y) * width + x] & 0xFFFFFF;
        const DWORD wanted = mark[static_cast<size_t>(y) * markWidth + x] & 0xFFFFFF;
        if (seen == wanted) continue;
        if (wrong++ == 0) {
          char text[96];
          std::snprintf(text, sizeof text, "at %d,%d %06lX instead of %06lX", x, y,
                        static_cast<unsigned long>(seen), static_cast<unsigned long>(wanted));
          differs = text;
        }
      }
    }
    if (samples > 1000 && wrong == 0) return true;
    differs = std::to_string(wrong) + " of " + std::to_string(samples) + " points differ, first " +
              differs;
    Sleep(kPoll);
  } while (GetTickCount() - start < timeout);
  Fail("the sheet does not show its watermark whole: " + differs);
  return false;
}

std::vector<int> WizardDriver::SheetPages() {
  std::vector<int> pages;
  HWND sheet = Sheet();
  for (int index = 0; sheet && index < 32; ++index) {
    LRESULT id = Ask(sheet, PSM_INDEXTOID, index);
    if (id <= 0) break;
    pages.push_back(static_cast<int>(id));
  }
  return pages;
}

std::optional<DWORD> WizardDriver::WaitExit(DWORD timeout) {
  if (!state_->process.hProcess) {
    ADD_FAILURE() << "the setup was not started";
    return std::nullopt;
  }
  if (WaitForSingleObject(state_->process.hProcess, timeout) != WAIT_OBJECT_0) {
    Fail("the setup did not end within " + std::to_string(timeout) + " ms");
    return std::nullopt;
  }
  DWORD code = 0;
  GetExitCodeProcess(state_->process.hProcess, &code);
  return code;
}

bool WizardDriver::Running() {
  return state_->process.hProcess && WaitForSingleObject(state_->process.hProcess, 0) == WAIT_TIMEOUT;
}

bool WizardDriver::ExitsWith(DWORD expected) {
  std::optional<DWORD> code = WaitExit();
  if (!code) return false;
  if (*code != expected) {
    Fail("the setup ended with " + std::to_string(*code) + ", not " + std::to_string(expected));
    return false;
  }
  return true;
}

// --- Shared roads and endings ------------------------------------------------

bool WizardDriver::ChooseTask(int taskId, bool startShown) {
  if (!startShown && !WaitPage("WIZ_START")) return false;
  Click(taskId);
  Next();
  return true;
}

bool WizardDriver::ToSelectUnitAsNewOffice(bool startShown) {
  if (!ChooseTask(IDC_TASK_INSTALL, startShown) || !WaitPage("WIZ_PMNEW")) return false;
  SetText(IDC_OFFICE_CODE, "01234");
  SetText(IDC_OFFICE_PASSWORD, kPassword);
  Next();
  return WaitPage("WIZ_SELECTUNIT");
}

bool WizardDriver::ToInstallAsNewOffice(const std::string& drive) {
  if (!ToSelectUnitAsNewOffice()) return false;
  if (!drive.empty()) {
    const std::vector<std::string> drives = ComboItems(IDC_DRIVE_COMBO);
    const auto at = std::find(drives.begin(), drives.end(), drive);
    if (at == drives.end()) {
      Fail("WIZ_SELECTUNIT offers no drive \"" + drive + "\"");
      return false;
    }
    SelectComboItem(IDC_DRIVE_COMBO, static_cast<int>(at - drives.begin()));
  }
  Next();
  if (!WaitPage("WIZ_BEFOREINSTALL")) return false;
  Next();
  // With nothing to download the chain may be past WIZ_INSTALL before the
  // sheet could be seen on it: the log tells.
  return WaitPageLogged("WIZ_INSTALL");
}

bool WizardDriver::StartAsNewOffice(const std::string& arguments, const StartOptions& options) {
  return Start(arguments, options) && ToInstallAsNewOffice();
}

bool WizardDriver::ToInstallOnFoundOffice(int taskId, const std::string& question, bool checks) {
  if (!ChooseTask(taskId) || !WaitPage("WIZ_PMSELECT")) return false;
  SelectListItem(IDC_PM_LIST, 0);
  Next();
  if (!question.empty()) {
    std::optional<Box> box = WaitBox("Attenzione");
    if (!box) return false;
    if (box->text.size() < question.size() ||
        box->text.compare(box->text.size() - question.size(), question.size(), question) != 0) {
      Fail("the office's question does not end with \"" + question + "\": " + box->text);
      return false;
    }
    Answer(*box, IDYES);
  }
  if (checks) {
    if (!WaitPage("WIZ_BEFOREINSTALL")) return false;
    Next();
  }
  return WaitPageLogged("WIZ_INSTALL", kChainWait);
}

bool WizardDriver::WaitEndPageDone(bool shareQuestion, DWORD timeout) {
  const DWORD start = GetTickCount();
  if (shareQuestion) {
    std::optional<Box> question = WaitBox("Condivisione", timeout);
    if (!question) return false;
    if (!Contains(question->text, "Procedere con la condivisione")) {
      Fail("the final page's box is not the share question: " + question->text);
      return false;
    }
    Answer(*question, IDNO);
  }
  do {
    if (ShownPage() == "WIZ_END") {
      if (!KeepsTitle("WIZ_END", timeout)) return false;
      Sleep(kPaintSettle);
      Screenshot("WIZ_END");
      return true;
    }
    for (const Box& box : Boxes(state_->process.dwProcessId)) {
      Fail("a box opened before the final page was done: \"" + box.caption + "\" " + box.text);
      return false;
    }
    Sleep(kPoll);
  } while (GetTickCount() - start < timeout);
  Fail("the sheet did not show WIZ_END within " + std::to_string(timeout) + " ms");
  return false;
}

bool WizardDriver::CancelAndExit() {
  Cancel();
  return ExitsWith(0);
}

bool WizardDriver::FinishAndExit(bool notice) {
  Finish();
  if (notice) {
    std::optional<Box> box = WaitBox("Importante");
    if (!box) return false;
    EXPECT_EQ(box->text.rfind("Per accedere alla Piattaforma ZAN 2025 anche dalle altre", 0), 0u)
        << box->text;
    Answer(*box, IDOK);
  } else {
    EXPECT_TRUE(NoBoxFor(1500)) << "a box opened after Finish";
  }
  return ExitsWith(0);
}

bool WizardDriver::WaitLogHolds(const std::string& text, DWORD timeout) {
  DWORD start = GetTickCount();
  do {
    if (Contains(LogText(), text)) return true;
    Sleep(kPoll);
  } while (GetTickCount() - start < timeout);
  Fail("the log holds no line containing \"" + text + "\" within " + std::to_string(timeout) + " ms");
  return false;
}

namespace {
struct TitleSearch {
  std::string prefix;
  HWND found;
};

BOOL CALLBACK MatchTitle(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<TitleSearch*>(context);
  // The title as the window manager keeps it: no message to a window that
  // may belong to any process.
  char title[512] = {};
  GetWindowTextA(window, title, sizeof title);
  if (IsWindowVisible(window) && std::string(title).rfind(search->prefix, 0) == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

HWND WizardDriver::WaitCredentialBox(DWORD timeout) {
  DWORD start = GetTickCount();
  do {
    TitleSearch search{"Accesso alla rete", nullptr};
    EnumWindows(MatchTitle, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    Sleep(kPoll);
  } while (GetTickCount() - start < timeout);
  Fail("no credential box within " + std::to_string(timeout) + " ms");
  return nullptr;
}

void WizardDriver::EnterCredentials(HWND box, const std::string& user, const std::string& password) {
  std::vector<HWND> children;
  EnumChildWindows(box, CollectChildren, reinterpret_cast<LPARAM>(&children));
  for (HWND child : children) {
    if (Lower(ClassName(child)) != "edit") continue;
    const bool secret = (GetWindowLongA(child, GWL_STYLE) & ES_PASSWORD) != 0;
    const std::string& text = secret ? password : user;
    for (char c : text) PostMessageA(child, WM_CHAR, static_cast<BYTE>(c), 1);
    for (DWORD start = GetTickCount(); GetTickCount() - start < kBoxWait; Sleep(kPoll))
      if (static_cast<size_t>(Ask(child, WM_GETTEXTLENGTH)) >= text.size()) break;
  }
  Screenshot("credential-box");
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

void WizardDriver::CancelCredentials(HWND box) {
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

void WizardDriver::Screenshot(const std::string& name) {
  char number[8];
  std::snprintf(number, sizeof number, "%02d-", ++state_->shots);
  std::string path = state_->shotFolder + "\\" + number + SafeName(name) + ".bmp";
  HDC screen = GetDC(nullptr);
  int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  WriteBmp(path, bitmap, memory, width, height);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

std::string WizardDriver::LogText() { return ReadBytes(SetupLogPath()); }

std::vector<std::string> WizardDriver::LogLines() { return SplitLines(LogText(), true); }

int WizardDriver::CountLog(const std::string& text) {
  std::vector<std::string> lines = LogLines();
  return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                        [&](const std::string& line) { return Contains(line, text); }));
}

std::string WizardDriver::LogValue(const std::string& marker) {
  std::string value;
  for (const std::string& line : LogLines())
    if (line.find(marker) != std::string::npos) value = line.substr(line.find(marker) + marker.size());
  return value;
}

// --- The machine -----------------------------------------------------------

std::string SetupLogPath() {
  char folder[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
  return std::string(folder) + "\\DesktopApp\\DesktopApp_setup_log.txt";
}

std::string SetupExe() { return Env("E2E_SETUP_EXE"); }
std::string SetupNextExe() { return Env("E2E_SETUP_NEXT_EXE"); }

std::string FileVersion(const std::string& path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return {};
  std::string block(size, '\0');
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoA(path.c_str(), 0, size, &block[0]) ||
      !VerQueryValueA(&block[0], "\\", reinterpret_cast<void**>(&info), &length) || !info)
    return {};
  return std::to_string(HIWORD(info->dwProductVersionMS)) + "." + std::to_string(LOWORD(info->dwProductVersionMS)) +
         "." + std::to_string(HIWORD(info->dwProductVersionLS)) + "." +
         std::to_string(LOWORD(info->dwProductVersionLS));
}

std::string TempFolder() {
  char folder[MAX_PATH + 1] = {};
  GetTempPathA(sizeof folder, folder);
  return WithSlash(folder);
}

std::string ScratchFolder() { return "C:\\e2e\\"; }

void SetDotNet48(bool present) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full", 0,
                      nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot open the .NET Framework key";
    return;
  }
  if (present) {
    DWORD release = 528040;
    RegSetValueExA(key, "Release", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&release), sizeof release);
  } else {
    RegDeleteValueA(key, "Release");
  }
  RegCloseKey(key);
}

namespace {
// The user's desktop pointed at a folder of this prefix.
void UsePrivateDesktop() {
  static const char kDesktop[] = "C:\\users\\Public\\e2e_desktop";
  HKEY key = nullptr;
  if (RegCreateKeyA(HKEY_CURRENT_USER,
                    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                    &key) == ERROR_SUCCESS) {
    RegSetValueExA(key, "Desktop", 0, REG_SZ, reinterpret_cast<const BYTE*>(kDesktop), sizeof kDesktop);
    RegCloseKey(key);
  }
  CreateDirectoryA(kDesktop, nullptr);
  EXPECT_EQ(DesktopFolder(), kDesktop);
}
}  // namespace

void ResetMachine() {
  EndLeftoverProcesses();
  UsePrivateDesktop();
  std::string temp = TempFolder();
  // Folders that may hold a scenario's links go before the scratch folder
  // their targets lie in: Wine does not list a link whose target is gone.
  for (const std::string& path : {std::string("C:\\ZAN"), Parent(SetupLogPath()),
                                  std::string("C:\\setup_run"), std::string("C:\\e2e")})
    RemoveTree(path);
  for (const char* name : {"korval2025.7z", "desktopapp.7z", "ZAN2025.7z", "ZAN2025_DEV.7z",
                           "ZAN2025_TEST.7z", "ndp48-web.exe", "ndp48-web.mark", "NewSetupExe"})
    RemoveTree(temp + name);
  RemoveTree(ShortcutPath());
  DeleteRegistryValues(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Microsoft\\Windows\\Explorer",
                       "EnableShellShortcutIconRemotePath");
  for (const char* compatibility : {kPersistedKey, kLayersKey})
    DeleteRegistryValues(HKEY_CURRENT_USER, compatibility, "wrun32.exe");
  SetDotNet48(true);
  if (!RulesFile().empty()) ClearServerRules();
  ClearRequests();
  for (const auto& served : g_served) WriteBytes(served.first, served.second);
  g_served.clear();
}

std::optional<std::string> RegString(HKEY root, const std::string& key, const std::string& name) {
  DWORD type = 0, size = 0;
  if (RegGetValueA(root, key.c_str(), name.c_str(), RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                   &type, nullptr, &size) != ERROR_SUCCESS)
    return std::nullopt;
  std::string value(size, '\0');
  if (RegGetValueA(root, key.c_str(), name.c_str(), RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                   &type, &value[0], &size) != ERROR_SUCCESS)
    return std::nullopt;
  value.resize(size > 0 ? size - 1 : 0);
  return value;
}

std::optional<DWORD> RegDword(HKEY root, const std::string& key, const std::string& name) {
  DWORD value = 0, size = sizeof value;
  if (RegGetValueA(root, key.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
    return std::nullopt;
  return value;
}

bool WaitFile(const std::string& path, DWORD timeout) {
  DWORD start = GetTickCount();
  while (!Exists(path)) {
    if (GetTickCount() - start >= timeout) {
      ADD_FAILURE() << path << " did not appear within " << timeout << " ms";
      return false;
    }
    Sleep(kPoll);
  }
  return true;
}

std::string DesktopFolder() {
  char folder[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, folder);
  return folder;
}

std::string ShortcutPath() { return DesktopFolder() + "\\Servizi ZAN.lnk"; }

TempFolderOverride::TempFolderOverride(const std::string& folder)
    : tmp_(Env("TMP")), temp_(Env("TEMP")) {
  MakeFolders(folder);
  SetEnvironmentVariableA("TMP", folder.c_str());
  SetEnvironmentVariableA("TEMP", folder.c_str());
}

TempFolderOverride::~TempFolderOverride() {
  SetEnvironmentVariableA("TMP", tmp_.empty() ? nullptr : tmp_.c_str());
  SetEnvironmentVariableA("TEMP", temp_.empty() ? nullptr : temp_.c_str());
}

std::vector<DWORD> ProcessesNamed(const std::string& name) {
  std::vector<DWORD> found;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return found;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
    if (Lower(entry.szExeFile) == Lower(name)) found.push_back(entry.th32ProcessID);
  CloseHandle(snapshot);
  return found;
}

std::string ProcessImagePath(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return {};
  char path[MAX_PATH] = {};
  DWORD size = sizeof path;
  const BOOL read = QueryFullProcessImageNameA(process, 0, path, &size);
  CloseHandle(process);
  return read ? std::string(path, size) : std::string();
}

std::string CurrentAssignee() {
  char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD computerSize = sizeof computer;
  GetComputerNameA(computer, &computerSize);
  char user[257] = {};  // UNLEN + 1
  DWORD userSize = sizeof user;
  GetUserNameA(user, &userSize);
  return std::string(computer) + "\\" + user;
}

std::string BuildFolder() { return Env("E2E_BUILD_DIR_WIN"); }

// --- The local update server ----------------------------------------------

std::string ServerRoot() { return Env("E2E_SERVER_ROOT"); }

std::string ServedFile(const std::string& requestPath) {
  std::string path = ServerRoot() + requestPath;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

void Serve(const std::string& requestPath, const std::string& bytes) {
  const std::string file = ServedFile(requestPath);
  if (!g_served.count(file)) g_served[file] = ReadBytes(file);
  EXPECT_TRUE(WriteBytes(file, bytes)) << file;
}

std::vector<std::string> ServerRequestLines() {
  std::string text = ReadBytes(Env("E2E_REQUEST_LOG"));
  return SplitLines(text.size() > g_requestOffset ? text.substr(g_requestOffset) : std::string(), true);
}

std::vector<std::string> ServerRequests() {
  std::vector<std::string> paths;
  // "METHOD PATH STATUS BYTES"; the path may hold blanks.
  for (const std::string& line : ServerRequestLines()) {
    size_t first = line.find(' ');
    size_t last = line.rfind(' ');
    size_t beforeLast = last == std::string::npos || last == 0 ? std::string::npos : line.rfind(' ', last - 1);
    if (first == std::string::npos || beforeLast == std::string::npos || beforeLast <= first) continue;
    paths.push_back(line.substr(first + 1, beforeLast - first - 1));
  }
  return paths;
}

std::vector<std::string> WaitRequests(size_t count, DWORD timeout) {
  DWORD start = GetTickCount();
  std::vector<std::string> requests = ServerRequests();
  while (requests.size() < count) {
    if (GetTickCount() - start >= timeout) {
      ADD_FAILURE() << "the server logged " << requests.size() << " requests, not " << count << ", within "
                    << timeout << " ms";
      break;
    }
    Sleep(kPoll);
    requests = ServerRequests();
  }
  return requests;
}

void ClearRequests() { g_requestOffset = ReadBytes(Env("E2E_REQUEST_LOG")).size(); }

void SetServerRule(const std::string& path, const std::string& mode) {
  std::map<std::string, std::string> rules = ReadRules();
  rules[Lower(path)] = mode;
  WriteRules(rules);
}

void ClearServerRules() { WriteRules({}); }

// --- The register ---------------------------------------------------------

std::vector<std::vector<std::string>> QueryRegister(const std::string& registerPath, const std::string& sql) {
  return RunRegisterScript(registerPath, sql, "query");
}

namespace {

void ExecRegister(const std::string& registerPath, const std::string& sql) {
  MakeFolders(Parent(registerPath));
  RunRegisterScript(registerPath, sql, "exec");
}

std::string SqlText(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted + "'";
}

// kPassword as the register stores it.
std::string StoredPassword() {
  static const char kKey[] = "ZAN-shared";
  std::string bytes = kPassword;
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(bytes[i] ^ kKey[i % 10]);
  return bytes;
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char byte : bytes) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

}  // namespace

std::string StoredPasswordHex() { return Hex(StoredPassword()); }

void WriteOffice(const std::vector<Workstation>& rows, bool runtime, const std::string& folder,
                 const std::string& moreSql) {
  std::string sql =
      "CREATE TABLE meta (key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);"
      "CREATE TABLE Workpoint (idWorkpoint INTEGER PRIMARY KEY AUTOINCREMENT, pm TEXT, pwd BLOB, "
      "pdl INTEGER, assignee TEXT, path TEXT, creationtime INTEGER DEFAULT 0);"
      "CREATE TABLE Workpoint_SwExt (idWorkpoint INTEGER, idSwExt INTEGER);"
      "CREATE TABLE SwExt (idSwExt INTEGER PRIMARY KEY AUTOINCREMENT, software TEXT, anno TEXT, "
      "cmdline TEXT, arguments TEXT);";
  std::vector<int> years;
  for (const Workstation& row : rows) {
    size_t year = std::find(years.begin(), years.end(), row.year) - years.begin();
    if (year == years.size()) {
      years.push_back(row.year);
      sql += "INSERT INTO SwExt VALUES (" + std::to_string(year + 1) + ", 'KORVAL', " +
             SqlText(std::to_string(row.year)) +
             ", '\\home\\BIN\\wrun32.exe', '-c ..\\etc\\cblconfi ..\\obj\\tkmenu.acu rete <pdl> "
             "<path_year>');";
      const std::string platform = folder + "ZAN" + std::to_string(row.year) + "\\";
      EXPECT_TRUE(WriteBytes(platform + "HOME\\ETC\\INSTALLA.MOD", row.pm + kPassword));
      if (runtime) {
        EXPECT_TRUE(WriteBytes(platform + "HOME\\BIN\\wrun32.exe", "MZ"));
      }
    }
    sql += "INSERT INTO Workpoint (pm, pwd, pdl, assignee, path, creationtime) VALUES (" +
           SqlText(row.pm) + ", CAST(X'" + Hex(StoredPassword()) + "' AS TEXT), " +
           std::to_string(row.pdl) + ", " + SqlText(row.assignee) + ", " + SqlText(folder) +
           ", datetime('now'));"
           "INSERT INTO Workpoint_SwExt VALUES (last_insert_rowid(), " +
           std::to_string(year + 1) + ");";
  }
  ExecRegister(folder + "ZAN_Shared\\SharedInfo", sql + moreSql);
}

std::vector<std::vector<std::string>> RegisterWorkstations(const std::string& registerPath) {
  return QueryRegister(
      registerPath,
      "SELECT w.pm, hex(w.pwd), w.pdl, w.assignee, w.path, s.software, s.anno, s.cmdline "
      "FROM Workpoint w JOIN Workpoint_SwExt ws ON w.idWorkpoint = ws.idWorkpoint "
      "JOIN SwExt s ON s.idSwExt = ws.idSwExt ORDER BY s.anno, w.pdl, w.assignee");
}

}  // namespace e2e
