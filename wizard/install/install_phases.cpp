// The install chain: phase 1 (Korval package), 2 (DesktopApp descriptor),
// 3 (DesktopApp archive or the check of the installed one), 4 (Korval
// unpacking), 5 (DesktopApp unpacking or copy), and the restore phase that
// replaces phase 1 in restore mode. Each phase skips to the next, starts a
// download whose completion calls the next, or starts an unpack thread that
// carries the chain on.
#include <windows.h>

#include <string>

#include "app.h"
#include "desktopapp_checksum.h"
#include "file_utils.h"
#include "install_decisions.h"
#include "log.h"
#include "permissions.h"
#include "process_checks.h"
#include "resource.h"
#include "sheet.h"
#include "text_utils.h"
#include "unpack_threads.h"

namespace {

void SetPhaseLabel(const char* text) { SetDlgItemTextA(g_app->m_hwndPage, IDC_PHASE_LABEL, text); }

std::string Local(const std::string& name) { return ".\\" + name; }

// Starts an unpack thread and keeps its handle. Without a thread the chain
// cannot go on: the run ends as a failed unpacking would, with the error.
void StartUnpackingOrEnd(unsigned(__stdcall* procedure)(void*)) {
  if (HANDLE thread = StartUnpackThread(procedure)) {
    g_app->m_unpackThread = thread;
    return;
  }
  const DWORD error = ERROR_NOT_ENOUGH_MEMORY;
  ShowBox(g_app->m_hwndSheet, "Errore " + std::to_string(error) + " nella decompressione.",
          "Errore", MB_OK | MB_ICONERROR);
  EndRun(error);
}

}  // namespace

void CApp::InstallPhase1() {
  Log("[  INFO] Install phase 1 - Korval download");
  m_step = StepKorvalPackage;
  SetPhaseLabel("Fase 1 di 4 - Download componenti");
  CSetting& setting = *m_setting;
  setting.current.rootPath = WithBackslash(setting.current.rootPath);
  setting.installRoot = setting.current.rootPath + setting.platformName + "\\";

  const std::string local = Local(g_korvalPackageName);
  switch (DecideKorvalSource(setting.platformName, setting.current.anno, FileOpens(local))) {
    case KorvalSource::AlreadyInstalled:
      Log("[  INFO] Install phase 1 - Korval download skipped, already installed");
      InstallPhase2();
      return;
    case KorvalSource::LocalPackage:
      Log("[* WARN] Install phase 1 - Korval download skipped, detected local package for Korval "
          "install, using it");
      m_localKorvalPackage = local;
      InstallPhase2();
      return;
    case KorvalSource::Download:
      // Always the production server's package, whatever the environment.
      StartRequest(g_korvalPackageUrl, false);
      return;
  }
}

void CApp::InstallPhase2() {
  Log("[  INFO] Install phase 2 - DesktopApp xml check");
  m_step = StepDesktopAppXml;
  SetPhaseLabel("Fase 2 di 4 - Download componenti");
  const std::string local = Local(g_desktopAppArchive);
  // A DesktopApp archive beside the setup skips the descriptor and phase 3.
  if (FileOpens(local)) {
    Log("[* WARN] Install phase 2 - DesktopApp xml check skipped, detected local package for "
        "DesktopApp install, using it");
    m_localDesktopAppPackage = local;
    InstallPhase4();
    return;
  }
  Log("[  INFO] Start checking DesktopApp xml -> " + QuoteForLog(m_desktopAppXmlUrl));
  StartRequest(m_desktopAppXmlUrl, false);
}

void CApp::InstallPhase3() {
  Log("[  INFO] Install phase 3 - DesktopApp archive download");
  m_step = StepDesktopAppArchive;
  SetPhaseLabel("Fase 2 di 4 - Verifica componenti");
  const std::string& installed = m_setting->desktopAppPath;
  const bool matches = !installed.empty() &&
                       VerifyFolderChecksum(installed, m_desktopAppChecksum, m_desktopAppVersion);
  if (DecideArchiveStep(installed, matches) == DesktopAppArchiveStep::KeepInstalled) {
    Log("[  INFO] Install phase 3 - DesktopApp archive download skipped, detected valid "
        "DesktopApp installation");
    InstallPhase4();
    return;
  }
  SetPhaseLabel("Fase 2 di 4 - Download componenti");
  WaitForPlatformClosed(m_hwndPage);
  if (IsVexRunning(true)) Log("[* WARN] Vex already running, terminated");
  if (IsDesktopAppRunning(true)) Log("[* WARN] EE - DesktopApp already running, terminated");
  Log("[  INFO] Start checking DesktopApp package -> " + QuoteForLog(m_desktopAppUrl));
  StartRequest(m_desktopAppUrl, false);
}

void CApp::InstallPhase4() {
  Log("[  INFO] Install phase 4 - Korval install");
  m_step = StepKorvalInstall;
  SetPhaseLabel("Fase 3 di 4 - Installazione componenti");
  if (FileOpens(m_tempKorvalPackage) || FileOpens(m_localKorvalPackage)) {
    StartUnpackingOrEnd(KorvalDecompressionThread);
    return;
  }
  Log("[  INFO] Install phase 4 - Korval install skipped, already installed");
  InstallPhase5();
}

void CApp::InstallPhase5() {
  // On the Korval unpack thread a confirmed Cancel may be waiting for it.
  UnpackCheckpoint();
  Log("[  INFO] Install phase 5 - DesktopApp install");
  m_step = StepDesktopAppInstall;
  SetPhaseLabel("Fase 4 di 4 - Installazione componenti");
  const bool archiveOpens =
      FileOpens(m_tempDesktopAppPackage) || FileOpens(m_localDesktopAppPackage);
  const std::string destination = ToUpper(GetDesktopAppBinPath());
  const std::string& installed = m_setting->desktopAppPath;
  switch (DecideDesktopAppPlacement(archiveOpens, installed, destination)) {
    case DesktopAppPlacement::Unpack:
      StartUnpackingOrEnd(DesktopAppDecompressionThread);
      return;
    case DesktopAppPlacement::AlreadyInPlace:
      Log("[  INFO] Install phase 5 - DesktopApp install skipped, already installed, no need to "
          "copy or decompress");
      break;
    case DesktopAppPlacement::CopyFromElsewhere: {
      Log("[  INFO] Install phase 5 - DesktopApp copy instead of decompress -> from " + installed +
          " to " + destination);
      if (!IsDirectory(destination)) CreateDirectoryTree(destination);
      Log("[  INFO] Setting privileges and attributes on -> " + destination);
      SetFolderPermissions(destination);
      SetAttributesRecursive(destination);
      const std::string source = WithBackslash(installed);
      CopyFolderContents(source, destination);
      // The shell copy reports nothing: a copy that did not land would leave
      // a shortcut to nothing, so say so in the log. The chain goes on.
      std::string missing;
      if (const DWORD error = CheckFolderCopy(source, destination, &missing))
        Log("[**  ERR] DesktopApp copy failed on " + missing + " -> " + std::to_string(error));
      break;
    }
  }
  PostMessageA(m_hwndSheet, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
}

void CApp::RestorePhase() {
  Log("[  INFO] Restore mode");
  SetPhaseLabel("Fase 1 di 4 - Ripristino funzionalita'");
  const std::string folder = GetLogFolder();
  Log("[  INFO] Removing user folder on path -> " + folder);
  // The whole content goes, the log included; the next line starts a new log.
  DeleteFolderContents(folder);
  Log("[  INFO] Starting DesktopApp checksum check");
  InstallPhase2();
}
