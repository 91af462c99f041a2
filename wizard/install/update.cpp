// The setup's own update: the request for the setup information under the
// please-wait dialog, the download of a newer package, and the replacement of
// the running executable by the setup it holds, which is then started in its
// place. The downloads continue in the download completion.
#include "update.h"

#include <commctrl.h>

#include "app.h"
#include "extract_7z.h"
#include "file_utils.h"
#include "handles.h"
#include "log.h"
#include "resource.h"
#include "server_answers.h"
#include "sheet.h"
#include "system_utils.h"
#include "text_utils.h"
#include "vendor.h"

namespace {

// The setup information is a few dotted numbers: a longer answer is no setup
// information and is not read.
constexpr DWORD kSetupInfoMaxBody = 64 * 1024;
// The please-wait dialog blocks the wizard while the update check runs and
// cannot be closed: a server that never ends its answer must count as a
// connection failure. The setup information (a few bytes) may take 60 s as a
// whole; the setup package (over 100 MB) must go on arriving, at least 1 KB a
// second over every 60 s, however long a slow line takes for all of it.
constexpr DWORD kSetupInfoTimeLimitMs = 60000;
constexpr DWORD kSetupPackageLowSpeedWindowMs = 60000;

// The limit or window, or a shorter one from "ZAN_UPDATE_TIME_LIMIT_MS" in
// the environment (the tests' way to meet it without waiting minutes).
DWORD UpdateTimeLimit(DWORD normal) {
  char text[16] = {};
  const DWORD length = GetEnvironmentVariableA("ZAN_UPDATE_TIME_LIMIT_MS", text, sizeof text);
  if (length == 0 || length >= sizeof text) return normal;
  const int shorter = StringToInt(text);
  if (shorter <= 0 || static_cast<DWORD>(shorter) >= normal) return normal;
  Log("[* WARN] Update request time limit shortened -> " + Decimal(shorter) + " ms");
  return static_cast<DWORD>(shorter);
}

std::string Joined(const std::vector<std::string>& pieces) {
  std::string text;
  for (const std::string& piece : pieces) text += (text.empty() ? "" : ".") + piece;
  return text;
}

// The box that advises fetching the new setup by hand.
void ShowUpdateFailure() {
  ShowBox(nullptr,
          std::string("Impossibile completare l'operazione di aggiornamento, si consiglia di "
                      "terminare l'installazione e scaricare la nuova versione da ") +
              kPlatformPageUrl,
          "Attenzione", MB_OK | MB_ICONERROR);
}

// An update that cannot go ahead (no usable new setup): the box, and the
// wizard goes on with the running setup.
DWORD AbandonUpdate(CApp& app, DWORD code) {
  ShowUpdateFailure();
  EndWaitDialog(app);
  return code;
}

bool IsEmptyFolder(const std::string& folder) {
  WIN32_FIND_DATAA entry;
  FindHandle find(FindFirstFileA((folder + "\\*").c_str(), &entry));
  if (!find.valid()) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::string name = entry.cFileName;
    if (name != "." && name != "..") return false;
  } while (FindNextFileA(find.get(), &entry));
  return true;
}

}  // namespace

INT_PTR CALLBACK WaitDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
  return Guarded([&]() -> INT_PTR {
    switch (message) {
      case WM_INITDIALOG:
        SendDlgItemMessageA(hwnd, IDC_WAIT_PROGRESS, PBM_SETMARQUEE, TRUE, 0);
        g_app->m_hwndWaitDlg = hwnd;
        PlaceWindow(hwnd, false);
        return TRUE;
      case WM_CLOSE:
        return TRUE;  // the close box is ignored: only the update steps end the dialog
      case WM_COMMAND:
        // Escape (IDCANCEL) and Enter (IDOK) reach the hidden buttons' ids.
        return LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK;
      default:
        return FALSE;
    }
  });
}

void HideWaitDialog(CApp& app) {
  if (app.m_hwndWaitDlg) ShowWindow(app.m_hwndWaitDlg, SW_HIDE);
}

void ShowWaitDialog(CApp& app) {
  if (app.m_hwndWaitDlg) ShowWindow(app.m_hwndWaitDlg, SW_SHOWNORMAL);
}

void EndWaitDialog(CApp& app) {
  if (app.m_hwndWaitDlg) EndDialog(app.m_hwndWaitDlg, 1);
}

// Empty without a temporary folder: a relative folder would land beside the
// running setup.
std::string UpdateFolder() {
  const std::string temp = TempFolder();
  return temp.empty() ? std::string() : temp + "NewSetupExe";
}

DWORD PrepareUpdateFolder(const std::string& folder) {
  Log("[  INFO] Delete temp update path -> " + folder);
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    // A file under the folder's name would keep the folder from being made.
    SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(folder.c_str());
  } else if (attributes != INVALID_FILE_ATTRIBUTES) {
    DeleteFolderContents(folder);
  }
  if (!CreateDirectoryA((folder + "\\").c_str(), nullptr)) {
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS || !IsDirectory(folder)) {
      Log("[**  ERR] Cannot create directory " + folder + "\\ -> " + Decimal(error));
      return error;
    }
  }
  // A leftover setup must not pass for the one the package holds.
  if (!IsEmptyFolder(folder)) {
    Log("[**  ERR] Cannot empty directory " + folder + "\\");
    return ERROR_DIR_NOT_EMPTY;
  }
  return 0;
}

NewSetupVerdict JudgeNewSetup(bool exists, const std::vector<std::string>& newVersion,
                              const std::vector<std::string>& ownVersion) {
  if (!exists) return NewSetupVerdict::Missing;
  if (newVersion.empty()) return NewSetupVerdict::NoVersion;
  if (!IsNewerVersion(newVersion, ownVersion)) return NewSetupVerdict::NotNewer;
  return NewSetupVerdict::Replace;
}

DWORD ReplaceExecutable(const std::string& exe, const std::string& newSetup) {
  const size_t separator = exe.find_last_of('\\');
  const std::string folder = exe.substr(0, separator + 1);
  const std::string old = folder + "old_" + exe.substr(separator + 1);

  // An "old_" file of an earlier update would make the rename fail, and every
  // later run would update again.
  if (FileExists(old)) {
    Log("[  INFO] Delete old setup -> " + old);
    SetFileAttributesA(old.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileA(old.c_str())) {
      const DWORD error = GetLastError();
      Log("[* WARN] Cannot delete old setup " + old + " -> " + Decimal(error));
      return error;
    }
  }

  const BOOL renamed = MoveFileExA(exe.c_str(), old.c_str(), MOVEFILE_COPY_ALLOWED);
  const DWORD renameError = GetLastError();
  Log("[  INFO] Renaming from path " + exe + " -> " + old);
  if (!renamed) {
    Log("[* WARN] Cannot rename setup " + exe + " -> " + Decimal(renameError));
    return renameError;
  }

  const BOOL copied = CopyFileA(newSetup.c_str(), exe.c_str(), FALSE);
  const DWORD copyError = GetLastError();
  Log("[  INFO] Copying from path " + newSetup + " -> " + exe);
  if (copied) return 0;

  // The office must not be left without its setup under its own name: a
  // partial copy is replaced by the old file again.
  Log("[* WARN] Cannot copy new setup " + newSetup + " -> " + Decimal(copyError));
  Log("[  INFO] Renaming back from path " + old + " -> " + exe);
  if (!MoveFileExA(old.c_str(), exe.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING))
    Log("[**  ERR] Cannot rename back " + old + " -> " + LastErrorText());
  return copyError;
}

std::string NewSetupCommandLine(const std::string& newSetup, const std::string& switches) {
  return "\"" + newSetup + "\" " + switches;
}

void CApp::CheckForUpdate() {
  if (m_updateChecked) return;
  m_updateChecked = true;
  Log("[  INFO] Looking for new update -> " + QuoteForLog(m_updateInfoUrl));
  m_step = StepUpdateInfo;
  StartRequest(m_updateInfoUrl, false, kSetupInfoMaxBody, UpdateTimeLimit(kSetupInfoTimeLimitMs));
  if (m_hwndWaitDlg) {  // a retry: the dialog is open, hidden
    ShowWindow(m_hwndWaitDlg, SW_SHOWNORMAL);
    return;
  }
  const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_WAIT),
                                         m_hwndPage, WaitDlgProc, 0);
  if (result == -1) Log("[**  ERR] Cannot open the update dialog -> " + LastErrorText());
  // The dialog is gone: later steps must find no window to show or end.
  m_hwndWaitDlg = nullptr;
}

void CApp::DownloadSetupUpdate() {
  Log("[  INFO] Looking for new setup -> " + QuoteForLog(m_setupPackageUrl));
  m_step = StepSetupPackage;
  StartRequest(m_setupPackageUrl, true, 0, 0, UpdateTimeLimit(kSetupPackageLowSpeedWindowMs));
}

DWORD CApp::ApplySetupUpdate() {
  const std::string folder = UpdateFolder();
  if (folder.empty()) return AbandonUpdate(*this, ERROR_PATH_NOT_FOUND);
  DWORD code = PrepareUpdateFolder(folder);
  if (code != 0) return AbandonUpdate(*this, code);

  std::string current;
  code = Extract7z(m_tempSetupPackage, folder + "\\", &current, nullptr);
  if (code != 0) {
    Log("[**  ERR] Cannot unzip archive " + m_tempSetupPackage + " -> " + m_tempSetupPackage +
        " -> " + folder + "\\ -> " + Decimal(code));
    AbandonUpdate(*this, code);
    Log("[  INFO] Delete temp update path -> " + folder);
    DeleteFolderContents(folder);
    RemoveDirectoryA(folder.c_str());
    return code;
  }

  // Nothing is moved before the package has proved to hold a newer setup.
  const std::string newSetup = folder + "\\" + m_setupExeName;
  const DWORD attributes = GetFileAttributesA(newSetup.c_str());
  const bool exists =
      attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  std::vector<std::string> newVersion;
  std::vector<std::string> ownVersion;
  if (exists) GetFileVersion(newSetup, &newVersion);
  GetFileVersion("", &ownVersion);
  switch (JudgeNewSetup(exists, newVersion, ownVersion)) {
    case NewSetupVerdict::Missing:
      Log("[**  ERR] New setup missing from the package -> " + newSetup);
      return AbandonUpdate(*this, ERROR_FILE_NOT_FOUND);
    case NewSetupVerdict::NoVersion:
      Log("[**  ERR] New setup without a version -> " + newSetup);
      return AbandonUpdate(*this, ERROR_INVALID_DATA);
    case NewSetupVerdict::NotNewer:
      Log("[**  ERR] New setup not newer than the running one -> " + newSetup + " -> " +
          Joined(newVersion) + " -> " + Joined(ownVersion));
      return AbandonUpdate(*this, ERROR_INVALID_DATA);
    case NewSetupVerdict::Replace:
      break;
  }

  const std::string exe = OwnExecutablePath();
  if (exe.empty()) {
    Log("[**  ERR] Cannot read the setup's own path -> " + LastErrorText());
    return AbandonUpdate(*this, ERROR_INVALID_DATA);
  }
  // A setup kept where it cannot be replaced (a read-only share, a CD, a file
  // held by another program) still runs the update, from the update folder;
  // the setup in its own folder stays as it was.
  ReplaceExecutable(exe, newSetup);

  ReleaseSingleInstance();
  std::string commandLine = NewSetupCommandLine(newSetup, m_cmdLine);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (CreateProcessA(newSetup.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                     nullptr, &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    const DWORD error = GetLastError();
    CheckSingleInstance("");
    Log("[**  ERR] Cannot start new process " + newSetup + " -> " + Decimal(error));
    ShowUpdateFailure();
  }
  EndWaitDialog(*this);
  EndRun(0);
}
