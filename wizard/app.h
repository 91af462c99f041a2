// The one application object of the setup: the server environment and its
// URLs, the package paths, the download step, the wizard's windows and the
// options of the command line. Created once by WinMain, reached through g_app
// from every page, download callback and worker thread, never freed.
#pragma once

#include <windows.h>
#include <prsht.h>

#include <cstdint>
#include <string>

#include "constants.h"
#include "service_settings.h"
#include "settings.h"
#include "wininet_wrapper.h"

class COSVersion;

// What the current download or install step is (m_step).
enum DownloadStep : int16_t {
  StepNone = -1,
  StepKorvalPackage = 1,
  StepDesktopAppXml = 2,
  StepDesktopAppArchive = 3,
  StepKorvalInstall = 4,
  StepDesktopAppInstall = 5,
  StepUpdateInfo = 10,
  StepSetupPackage = 20,
};

// Sheet index of each page, before any page is removed; m_pageIndex keeps it.
enum PageIndex {
  PageReqNetFwNotMet = 0,
  PageStart = 1,
  PageNotSupported = 2,
  PagePmSelect = 3,
  PagePmNew = 4,
  PageSelectUnit = 5,
  PageBeforeInstall = 6,
  PageInstall = 7,
  PageEnd = 8,
  kPageCount = 9,
};

class CApp final : public WininetWrapperDelegate {
 public:
  // Builds the object; throws what COSVersion throws when Windows will not
  // report its version.
  CApp();
  CApp(const CApp&) = delete;
  CApp& operator=(const CApp&) = delete;

  // Download notifications, on the user-interface thread (download_complete.cpp).
  void OnDownloadStarted(WininetWrapper* request, DWORD contentLength) override;
  void OnDownloadProgress(WininetWrapper* request, DWORD received) override;
  void OnDownloadComplete(WininetWrapper* request) override;

  // Start-up, the sheet and its pages; returns when the sheet has closed
  // (sheet.cpp). Other ends of the run leave the process from inside.
  int RunWizard(HINSTANCE instance, const std::string& cmdLine);
  // The start-up checks and switches; true means failure (startup.cpp).
  bool Initialize();

  // The setup's own update (update.cpp).
  void CheckForUpdate();
  void DownloadSetupUpdate();
  DWORD ApplySetupUpdate();

  // The install chain (install_phases.cpp).
  void InstallPhase1();
  void InstallPhase2();
  void InstallPhase3();
  void InstallPhase4();
  void InstallPhase5();
  void RestorePhase();

  // The drive page's check of the chosen folder; false after its box
  // (pages/new_office_pages.cpp).
  bool CheckInstallRequirements(const std::string& folder);

  // The desktop shortcut; always true (desktop_integration.cpp).
  bool CreateDesktopShortcut();

  // Starts a GET of `url` (lower-cased unless raw) with the run's proxy
  // credentials, the request's bounds (WininetWrapper's maxBody, timeLimitMs
  // and lowSpeedWindowMs, 0: none) and this object as delegate; the request
  // becomes m_request.
  WininetWrapper* StartRequest(const std::string& url, bool raw, DWORD maxBody = 0,
                               DWORD timeLimitMs = 0, DWORD lowSpeedWindowMs = 0);
  // Copies the URL set of the environment into the URL fields.
  void UseUrlSet(int environment);
  // "DEV - ", "TEST - " or "" by m_environment.
  std::string EnvironmentPrefix() const;
  // Stores the sheet frame here and where the services read it.
  void SetSheetWindow(HWND sheet);
  // The network share discovery is running (cleared by its thread).
  bool DiscoveryRunning() const;
  void SetDiscoveryRunning(bool running);
  // The "SKIPPERMISSION" switch, kept where the permission service reads it.
  void SetSkipPermission(bool skip);
  bool SkipPermission() const;

  HPROPSHEETPAGE m_pages[kPageCount] = {};
  int32_t m_environment = EnvProduction;
  int16_t m_step = StepNone;
  CSetting* m_setting = nullptr;
  COSVersion* m_osVersion = nullptr;
  WininetWrapper* m_request = nullptr;
  bool m_updateChecked = false;
  bool m_noDiscovery = false;
  std::string m_localKorvalPackage;
  std::string m_localDesktopAppPackage;
  std::string m_tempKorvalPackage;
  std::string m_tempDesktopAppPackage;
  std::string m_tempSetupPackage;
  std::string m_updateInfoUrl;
  std::string m_setupPackageUrl;
  std::string m_setupExeName;
  std::string m_setupPackageName;
  std::string m_desktopAppXmlUrl;
  std::string m_desktopAppUrl;
  std::string m_desktopAppVersion;
  std::string m_desktopAppChecksum;
  bool m_restoreMode = false;
  HANDLE m_unpackThread = nullptr;
  int32_t m_pageIndex = 0;
  std::string m_proxyUser;
  std::string m_proxyPassword;
  HWND m_hwndSheet = nullptr;
  HWND m_hwndPage = nullptr;
  HWND m_hwndWaitDlg = nullptr;
  std::string m_cmdLine;
  // The "UP" switch: this run installs a peripheral unit. The pages make
  // `current` an authorised office's again (a new code, a picked record), so
  // the kind the final page writes for is taken from here.
  bool m_peripheralUnit = false;
  bool m_notSupportedRemoved = false;
  bool m_pmSelectRemoved = false;
};

// The one application object; set once by WinMain.
extern CApp* g_app;

// Writes the Explorer policy value "EnableShellShortcutIconRemotePath" (1)
// under HKLM; silently does nothing without the rights. Always true.
bool SetShortcutIconRemotePathPolicy();

// "[  INFO] PM pm-pdl (anno) assignee -> platformPath -> sharedInfoPath",
// with " (CURRENT USER)" and " (NETSHARE)" where they apply.
std::string RecordLogLine(const InstallRecord& record);

// The temporary folder as GetTempPathA gives it (ending in "\").
std::string TempFolder();

// True when the file can be opened for reading.
bool FileOpens(const std::string& path);

// Ends the process at once with the code, from any thread. No runtime exit
// handler runs, so nothing is torn down under a live sheet or a worker thread
// that still writes files.
[[noreturn]] void EndRun(UINT exitCode);
// The exit code of a run that failed (unsupported system, failed detection,
// an escaped exception).
constexpr UINT kRunFailed = static_cast<UINT>(-1);
