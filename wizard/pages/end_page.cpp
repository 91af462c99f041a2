// WIZ_END: records the workstation, writes the configuration files, runs the
// desktop integration, offers the office folder as a network share and
// removes the lock; Finish closes the wizard.
#include "end_page.h"

#include <windows.h>
#include <shellapi.h>

#include "app.h"
#include "constants.h"
#include "desktop_integration.h"
#include "end_decisions.h"
#include "file_utils.h"
#include "lock_file.h"
#include "log.h"
#include "network_share.h"
#include "pages.h"
#include "permissions.h"
#include "process_checks.h"
#include "resource.h"
#include "shared_info.h"
#include "sheet.h"
#include "text_utils.h"
#include "vendor.h"

bool g_endPageDone = false;
bool g_otherWorkpointsCreated = false;

namespace {

CreateNetShareFunction g_createNetShare = &CreateNetShare;

const char kConfigWriteError[] =
    "Errore nella scrittura delle configurazioni sul disco. L'applicazione potrebbe non "
    "funzionare correttamente.";
const char kRegisterWriteError[] =
    "Errore nella scrittura delle configurazioni sul disco. Verificare i privilegi di scrittura "
    "sulla cartella di destinazione.";
const char kShareQuestion[] =
    "Se desideri utilizzare la Piattaforma ZAN anche negli altri PC dello Studio e' necessario "
    "che le cartelle ZAN siano condivise nella rete locale dello Studio.\n\nProcedere con la "
    "condivisione della Piattaforma ZAN per utilizzarla in multiutenza da piu' postazioni di "
    "lavoro?";
const char kShareFailed[] =
    "La condivisione automatica della Cartella ZAN non e' andata a buon fine.\nTerminata "
    "l'installazione procedere a condividere la cartella ZAN tramite l'interfaccia di "
    "Windows.\nNell'Assistente ZAN e' disponibile la guida.";

void ShowControl(HWND page, int id) { ShowWindow(GetDlgItem(page, id), SW_SHOW); }

void CloseRunningPrograms(HWND page) {
  WaitForPlatformClosed(page);
  if (IsVexRunning(true)) Log("[* WARN] Vex already running, terminated");
  if (IsDesktopAppRunning(true)) Log("[* WARN] DesktopApp already running, terminated");
}

// Records this workstation in the office register and copies the office's
// workstations into the years where they are missing. A row that cannot be
// written ends the run (exit 0, the lock stays for the next run to see).
void RecordWorkstation(HWND page) {
  const CSetting& setting = *g_app->m_setting;
  const InstallRecord& current = setting.current;
  const std::string folder = current.rootPath + "ZAN_Shared";
  const std::string registerPath = folder + "\\SharedInfo";

  CreateDirectoryTree(folder);
  Log("[  INFO] Setting privileges and attributes on -> " + folder);
  SetFolderPermissions(folder);
  SetAttributesRecursive(folder);

  if (CreateSharedInfo(registerPath) != kSharedInfoOk)
    ShowBox(page, kConfigWriteError, "Errore", MB_OK | MB_ICONERROR);

  int idSwExt = 0;
  if (CheckInstallation(registerPath, setting.year, &idSwExt) != kSharedInfoOk) return;
  bool found = false;
  int result =
      ExistValidInstall(registerPath, current.pm, StringToInt(setting.year), &found, "");
  if (!found)
    result = AddPdlEntry(registerPath, current.pm, current.pwd, idSwExt, current.rootPath, "");
  if (result != kSharedInfoOk) {
    Log("[**  ERR] Unable to write on SharedInfo -> " + registerPath);
    ShowBox(page, kRegisterWriteError, "Errore", MB_OK | MB_ICONERROR);
    EndRun(0);
  }
  if (DuplicateEntireYear(registerPath, current.pm, setting.year, &g_otherWorkpointsCreated) !=
      kSharedInfoOk)
    Log("[**  ERR] Errors on creating pdl for past year on SharedInfo -> " + registerPath);
  else if (g_otherWorkpointsCreated)
    Log("[  INFO] Created other user on same year and/or current user on previous year");
}

void WriteConfiguration(HWND page) {
  const CSetting& setting = *g_app->m_setting;
  const InstallRecord& current = setting.current;
  const int kind = g_app->m_peripheralUnit ? 2 : current.type;
  switch (ConfigStepFor(kind, current.anno, setting.year)) {
    case ConfigStep::InstallaMod:
      if (!WriteInstallaMod(setting.installRoot, current.pm, current.pwd))
        ShowBox(page, kConfigWriteError, "Errore", MB_OK | MB_ICONERROR);
      break;
    case ConfigStep::PeripheralUnit:
      MovePeripheralConfig(setting.installRoot);
      break;
    case ConfigStep::None:
      break;
  }
}

// Starts the setup again with administrator rights to create the share;
// waits for it a bounded time.
ShareResult CreateShareElevated(const std::string& officeCode, const std::string& folder) {
  const ElevatedCommand command =
      ElevatedShareCommand(OwnExecutablePath(), g_app->m_cmdLine, officeCode, folder);
  Log("[  INFO] executable -> " + command.executable);
  Log("[  INFO] params -> " + command.loggedParameters);
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = "runas";
  info.lpFile = command.executable.c_str();
  info.lpParameters = command.parameters.c_str();
  info.nShow = SW_HIDE;
  if (!ShellExecuteExA(&info)) {
    Log("[* WARN] Unable to start setup as admin -> " +
        LastErrorText());
    Log("[* WARN] Failed to start setup to create net share with admin privileges");
    return ShareResult();
  }
  bool read = false;
  DWORD exitCode = 0;
  if (info.hProcess) {
    WaitForSingleObject(info.hProcess, 4000);
    read = GetExitCodeProcess(info.hProcess, &exitCode) != FALSE;
    CloseHandle(info.hProcess);
  }
  Log("[  INFO] Setup with admin privileges started successfully");
  return ElevatedShareResult(read, exitCode);
}

void ReportShareFailure(HWND page, int code) {
  Log(ShareFailureLogLine(code));
  ShowBox(page, kShareFailed, "Condivisione", MB_OK | MB_ICONWARNING);
}

void ReportShareSuccess(HWND page) {
  ShowBox(page, ShareSuccessText(kSetupDownloadUrl), "Condivisione", MB_OK | MB_ICONINFORMATION);
}

void OfferShare(HWND page) {
  const InstallRecord& current = g_app->m_setting->current;
  const std::string& folder = current.rootPath;
  const std::string drive = folder.substr(0, 3);
  if (GetDriveTypeA(drive.c_str()) == DRIVE_REMOTE) {
    Log("[  INFO] Destination unit is " + drive + " and is remote, so don't ask for share it");
    return;
  }
  Log("[  INFO] Destination unit is " + drive + " and is not remote, so look if can be shared");
  if (IsDriveRoot(folder)) {
    Log("[  INFO] Destination path is root, so no net share will be created -> " + folder);
    return;
  }
  if (DetectDestinationShare(folder)) return;
  if (NetShareExists(current.pm)) {
    Log("[  INFO] There is already a network share for " + folder + ", going on");
    return;
  }
  Log("[  INFO] No network share, ask user if wants to create it for path " + folder);
  if (ShowBox(page, kShareQuestion, "Condivisione", MB_YESNO | MB_ICONQUESTION) != IDYES) {
    Log("[* WARN] User choose NOT to create a network share for path " + folder);
    return;
  }
  Log("[  INFO] User choose to create a network share for path " + folder);
  int code = 0;
  if (g_createNetShare(current.pm, "", folder, &code)) {
    ReportShareSuccess(page);
    return;
  }
  if (code != ERROR_ACCESS_DENIED) {
    ReportShareFailure(page, code);
    return;
  }
  Log("[* WARN] Sharing failed due to privilege error, check alternarives");
  const ShareResult elevated = CreateShareElevated(current.pm, folder);
  if (!elevated.created) {
    ReportShareFailure(page, elevated.code);
    return;
  }
  ReportShareSuccess(page);
  Log("[  INFO] Net share created successfully");
}

void Activate(HWND page) {
  PageActivated(page, PageEnd, PSWIZB_FINISH);
  g_app->m_hwndPage = page;
  // The arrow replaces the install page's wait cursor.
  SendMessageA(page, WM_SETCURSOR, reinterpret_cast<WPARAM>(page), 0);

  CSetting& setting = *g_app->m_setting;
  if (g_app->m_restoreMode) {
    ShowControl(page, IDC_END_RESTORE_TEXT);
    ShowControl(page, IDC_END_RESTORE_TITLE);
  } else {
    if (g_endPageDone) return;
    CloseRunningPrograms(page);
    RecordWorkstation(page);
    WriteConfiguration(page);
    ShowControl(page, IDC_END_TEXT);
    ShowControl(page, IDC_END_NEWS);
    ShowControl(page, IDC_END_NEWS_HINT);
    ShowControl(page, IDC_END_TITLE);
  }

  PlaceRuntimeRoot(&setting.runtimeBinPath, setting.installRoot);
  PlaceRuntimeRoot(&setting.runtimeExePath, setting.installRoot);
  if (!setting.runtimeExePath.empty()) {
    g_app->CreateDesktopShortcut();
    SetRunAsAdminCompatFlags();
    RemoveVexFromAutorun();
    RepairVexExecutable();
  }
  if (!g_app->m_restoreMode) OfferShare(page);

  DeleteLockFile(setting.current.rootPath);
  Log("[  INFO] Deleted lock file");
  g_endPageDone = true;
}

void InitDialog(HWND page) {
  HFONT title = CreateFontA(24, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Tahoma");
  SendDlgItemMessageA(page, IDC_END_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(title), TRUE);
  SendDlgItemMessageA(page, IDC_END_RESTORE_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(title),
                      TRUE);
  HBITMAP bitmap = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_FINISHED));
  SendDlgItemMessageA(page, IDC_END_BITMAP, STM_SETIMAGE, IMAGE_BITMAP,
                      reinterpret_cast<LPARAM>(bitmap));
}

}  // namespace

void SetCreateNetShareForTesting(CreateNetShareFunction function) {
  g_createNetShare = function ? function : &CreateNetShare;
}

INT_PTR CALLBACK WizEndDlgProc(HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      InitDialog(hwnd);
      return FALSE;
    case WM_SETCURSOR:
      SetCursor(LoadCursorA(nullptr, IDC_ARROW));
      SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_NOTIFY: {
      const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->code == PSN_SETACTIVE) {
        Activate(hwnd);
        SetPageResult(hwnd, 0);  // the page is shown
        return TRUE;
      }
      if (header->code == PSN_WIZFINISH || header->code == PSN_WIZNEXT) {
        if (g_otherWorkpointsCreated)
          ShowBox(hwnd, FinishNoticeText(g_year), "Importante", MB_OK | MB_ICONINFORMATION);
        return FALSE;  // no message result: the sheet closes
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}
