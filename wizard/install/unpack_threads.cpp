#include "unpack_threads.h"

#include <commctrl.h>
#include <process.h>

#include <atomic>
#include <string>

#include "app.h"
#include "extract_7z.h"
#include "file_utils.h"
#include "install_decisions.h"
#include "log.h"
#include "permissions.h"
#include "process_checks.h"
#include "resource.h"
#include "sheet.h"
#include "text_utils.h"

namespace {

const char kSharingViolationText[] =
    " nella decompressione. L'installazione proseguira' ma in caso di problemi di avvio "
    "piattaforma, si consiglia di eseguire nuovamente il setup con l'opzione 'Ripristina "
    "l'avvio della Piattaforma'.";

// The stop handshake. `g_running` counts started threads whose body has not
// returned; `g_parked` those of them stopped at a safe point. A thread started
// by another unpack thread is counted before its starter ends, so the count
// never drops to zero between the two unpackings.
std::atomic<int> g_running{0};
std::atomic<int> g_parked{0};
std::atomic<bool> g_stopRequested{false};
HANDLE g_changed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
thread_local bool t_unpackThread = false;

unsigned __stdcall Trampoline(void* procedure) {
  t_unpackThread = true;
  // A Cancel confirmed while the thread was being started: it ends nothing
  // and writes nothing (the DesktopApp thread ends programs and makes folders
  // before its first unpacking).
  UnpackCheckpoint();
  const unsigned result = reinterpret_cast<unsigned(__stdcall*)(void*)>(procedure)(nullptr);
  --g_running;
  SetEvent(g_changed);
  return result;
}

std::string UnpackErrorText(DWORD result) {
  return "Errore " + std::to_string(result) + " nella decompressione.";
}

// The failed end of an unpacking: box, the destination emptied, and the
// process ended from this thread with the code, so that no exit handler of
// the runtime runs under the live sheet.
[[noreturn]] void FailUnpacking(DWORD result, const std::string& destination) {
  ShowBox(g_app->m_hwndSheet, UnpackErrorText(result), "Errore", MB_OK | MB_ICONERROR);
  UnpackCheckpoint();
  Log("[**  ERR] Delete destination path -> " + destination);
  DeleteFolderContents(destination);
  EndRun(result);
}

}  // namespace

HANDLE StartUnpackThread(unsigned(__stdcall* procedure)(void*)) {
  ++g_running;
  const uintptr_t handle = _beginthreadex(nullptr, 0, Trampoline,
                                          reinterpret_cast<void*>(procedure), 0, nullptr);
  if (handle == 0) {
    --g_running;
    Log("[**  ERR] Unpack thread not started -> " + LastErrorText());
    return nullptr;
  }
  return reinterpret_cast<HANDLE>(handle);
}

bool UnpackRunning() { return g_running.load() - g_parked.load() > 0; }

bool StopUnpacking(DWORD timeout) {
  g_stopRequested = true;
  const DWORD start = GetTickCount();
  for (;;) {
    if (!UnpackRunning()) return true;
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeout) return false;
    // A thread may be inside a SendMessage to our page: handle sent messages
    // (and only those) while waiting, or it never reaches its safe point.
    // Those already waiting first: the wait wakes only for sends that are new
    // since the queue was last looked at.
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    MsgWaitForMultipleObjects(1, &g_changed, FALSE, timeout - elapsed, QS_SENDMESSAGE);
  }
}

void UnpackCheckpoint() {
  if (!t_unpackThread || !g_stopRequested) return;
  ++g_parked;
  SetEvent(g_changed);
  for (;;) Sleep(INFINITE);
}

void DecompressionProgressCallback(uint32_t index, uint32_t total) {
  UnpackCheckpoint();
  // Each update repaints the page at once (the bar paints inside PBM_SETPOS),
  // which costs milliseconds on a visible sheet: the page is told only what
  // it can show, a new archive's range, a new percentage and the last entry.
  // One unpacking runs at a time, so plain statics do.
  static uint32_t shownTotal = 0;
  static int shownPercentage = -1;
  const HWND page = g_app->m_hwndPage;
  const HWND bar = GetDlgItem(page, IDC_PROGRESS);
  if (index == 0 || total != shownTotal) {
    SendMessageA(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(total));
    shownTotal = total;
    shownPercentage = -1;
  }
  const int percentage = UnpackPercentage(index, total);
  if (percentage == shownPercentage && index + 1 != total) return;
  SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(index), 0);
  if (percentage != shownPercentage)
    SetDlgItemTextA(page, IDC_PERCENT_TEXT, PercentText(percentage).c_str());
  shownPercentage = percentage;
}

unsigned __stdcall KorvalDecompressionThread(void*) {
  return Guarded([]() -> unsigned {
    Log("[  INFO] Starting Korval decompression");
    CSetting& setting = *g_app->m_setting;
    setting.current.rootPath = WithBackslash(setting.current.rootPath);
    const std::string platformFolder = setting.current.rootPath + setting.platformName;
    setting.installRoot = platformFolder + "\\";
    if (!IsDirectory(platformFolder)) {
      // One level only: Extract7z creates every folder it needs below it.
      CreateDirectoryA(platformFolder.c_str(), nullptr);
      SetFolderPermissions(platformFolder);
    }
    const std::string archive =
        PackageForThread(g_app->m_localKorvalPackage, FileOpens(g_app->m_localKorvalPackage),
                         g_app->m_tempKorvalPackage);
    UnpackCheckpoint();
    std::string currentPath;
    const DWORD result =
        Extract7z(archive, setting.installRoot, &currentPath, DecompressionProgressCallback);
    UnpackCheckpoint();
    if (result != 0) {
      Log("[**  ERR] Korval decompression error -> " + std::to_string(result));
      FailUnpacking(result, setting.installRoot);
    }
    SetAttributesRecursive(platformFolder);
    UnpackCheckpoint();
    g_app->InstallPhase5();
    return 0;
  });
}

unsigned __stdcall DesktopAppDecompressionThread(void*) {
  return Guarded([]() -> unsigned {
    Log("[  INFO] Starting DesktopApp decompression");
    WaitForPlatformClosed(g_app->m_hwndPage, &UnpackCheckpoint);
    if (IsVexRunning(true)) Log("[* WARN] Vex already running, terminated");
    if (IsDesktopAppRunning(true)) Log("[* WARN] DesktopApp already running, terminated");

    const std::string destination = GetDesktopAppBinPath();
    CreateDirectoryTree(destination);
    const std::string desktopAppFolder = GetDesktopAppPath();
    Log("[  INFO] Setting privileges and attributes on -> " + desktopAppFolder);
    SetFolderPermissions(desktopAppFolder);

    const std::string archive = PackageForThread(g_app->m_localDesktopAppPackage,
                                                 FileOpens(g_app->m_localDesktopAppPackage),
                                                 g_app->m_tempDesktopAppPackage);
    UnpackCheckpoint();
    std::string currentPath;
    const DWORD result =
        Extract7z(archive, destination, &currentPath, DecompressionProgressCallback);
    UnpackCheckpoint();
    SetAttributesRecursive(desktopAppFolder);

    switch (DesktopAppUnpackOutcome(result)) {
      case UnpackOutcome::Next:
        break;
      case UnpackOutcome::WarnThenNext:
        Log("[**  ERR] DesktopApp decompression error -> " + std::to_string(result));
        ShowBox(g_app->m_hwndSheet, "Errore " + std::to_string(result) + kSharingViolationText,
                "Attenzione", MB_OK | MB_ICONWARNING);
        Log("[* WARN] Proceeding install on error 32 (ERROR_SHARING_VIOLATION)");
        break;
      case UnpackOutcome::EndRun:
        Log("[**  ERR] DesktopApp decompression error -> " + std::to_string(result));
        FailUnpacking(result, destination);
    }
    UnpackCheckpoint();
    PostMessageA(g_app->m_hwndSheet, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
    return 0;
  });
}
