// The application object: its construction (Windows version, settings, the
// Explorer policy value, the production URL set, the temporary package
// paths), its requests, the values it shares with the services, and the end
// of a run.
#include "app.h"

#include <cstdio>

#include "constants.h"
#include "file_utils.h"
#include "log.h"
#include "os_version.h"
#include "text_utils.h"

CApp* g_app = nullptr;

CApp::CApp() {
  m_osVersion = new COSVersion();
  m_setting = new CSetting();
  GetServiceSettings().setting = m_setting;
  SetShortcutIconRemotePathPolicy();
  UseUrlSet(EnvProduction);
  // Without a temporary folder the paths stay empty: a relative name would be
  // the packages the user put beside the setup, deleted here and at the end.
  const std::string temp = TempFolder();
  if (!temp.empty()) {
    m_tempKorvalPackage = temp + g_korvalPackageName;
    m_tempDesktopAppPackage = temp + g_desktopAppArchive;
    DeleteFileA(m_tempKorvalPackage.c_str());
    DeleteFileA(m_tempDesktopAppPackage.c_str());
  }
}

WininetWrapper* CApp::StartRequest(const std::string& url, bool raw, DWORD maxBody,
                                   DWORD timeLimitMs, DWORD lowSpeedWindowMs) {
  auto* request = new WininetWrapper(url, raw);
  request->maxBody = maxBody;
  request->timeLimitMs = timeLimitMs;
  request->lowSpeedWindowMs = lowSpeedWindowMs;
  if (!m_proxyUser.empty() || !m_proxyPassword.empty())
    request->SetProxyCredentials(m_proxyUser, m_proxyPassword);
  request->delegate = this;
  request->Start();
  m_request = request;
  return request;
}

void CApp::UseUrlSet(int environment) {
  const ServerUrlSet& urls = UrlSetFor(environment);
  m_updateInfoUrl = urls.setupInfoUrl;
  m_setupExeName = urls.setupExeName;
  m_setupPackageName = urls.setupPackageName;
  m_setupPackageUrl = urls.setupPackageUrl;
  m_desktopAppXmlUrl = urls.desktopAppXmlUrl;
}

std::string CApp::EnvironmentPrefix() const { return UrlSetFor(m_environment).titlePrefix; }

void CApp::SetSheetWindow(HWND sheet) {
  m_hwndSheet = sheet;
  GetServiceSettings().sheetWindow = sheet;
}

bool CApp::DiscoveryRunning() const { return GetServiceSettings().discoveryRunning; }
void CApp::SetDiscoveryRunning(bool running) { GetServiceSettings().discoveryRunning = running; }
void CApp::SetSkipPermission(bool skip) { GetServiceSettings().skipPermission = skip; }
bool CApp::SkipPermission() const { return GetServiceSettings().skipPermission; }

bool SetShortcutIconRemotePathPolicy() {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Microsoft\\Windows\\Explorer\\", 0,
                      nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return true;
  const DWORD enabled = 1;
  RegSetValueExA(key, "EnableShellShortcutIconRemotePath", 0, REG_DWORD,
                 reinterpret_cast<const BYTE*>(&enabled), sizeof(enabled));
  RegCloseKey(key);
  return true;
}

std::string RecordLogLine(const InstallRecord& record) {
  std::string line = "[  INFO] PM " + QuoteSharedText(record.pm) + "-" +
                     QuoteSharedText(record.pdl) + " (" + QuoteSharedText(record.anno) + ") " +
                     QuoteSharedText(record.assignee) + " -> " +
                     QuoteSharedText(record.platformPath) + " -> " +
                     QuoteSharedText(record.sharedInfoPath);
  if (record.assignee == GetComputerUserName()) line += " (CURRENT USER)";
  if (!record.platformPath.empty() && record.platformPath[0] == '\\') line += " (NETSHARE)";
  return line;
}

std::string TempFolder() {
  // GetTempPathA never gives more than MAX_PATH + 1 characters.
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(sizeof(buffer), buffer);
  if (length == 0 || length >= sizeof(buffer)) {
    Log("[**  ERR] Temporary folder not available -> " + LastErrorText());
    return std::string();
  }
  return std::string(buffer, length);
}

bool FileOpens(const std::string& path) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return false;
  fclose(file);
  return true;
}

void EndRun(UINT exitCode) {
  TerminateProcess(GetCurrentProcess(), exitCode);
  // TerminateProcess on the own process does not return; should it ever,
  // the runtime's exit is the next best end.
  ExitProcess(exitCode);
}
