// The start-up step of the application object: the machine and Windows
// checks, the search for earlier installations, the command-line switches,
// the update server's URL set and the start of the network share discovery.
#include "startup.h"

#include <process.h>

#include <vector>

#include "app.h"
#include "file_utils.h"
#include "log.h"
#include "os_version.h"
#include "share_discovery.h"
#include "sheet.h"
#include "system_utils.h"
#include "text_utils.h"

const char kCommandLineHelp[] =
    "Sintassi del comando:\n\n/UP \t= Installazione silenziosa unita' periferica\n/?\t= Questo help";

unsigned __stdcall DiscoveryThreadEntry(void* parameter) {
  return Guarded([&] { return NetworkShareDiscoveryThread(parameter); });
}

CommandLineSwitches ParseSwitches(const std::string& cmdLine, int defaultEnvironment) {
  CommandLineSwitches switches;
  switches.environment = defaultEnvironment;
  if (cmdLine.empty()) return switches;

  std::vector<std::string> pieces;
  SplitStringInto(ToUpper(cmdLine), "/", pieces);
  if (pieces.size() < 2) {
    switches.outcome = CommandLineSwitches::kNoSlash;
    return switches;
  }
  switches.outcome = CommandLineSwitches::kOk;
  for (size_t i = 1; i < pieces.size(); ++i) {
    const std::string piece = TrimBlanks(pieces[i]);
    if (piece == "UP") switches.peripheralUnit = true;
    if (piece == "SKIPUPDATE") switches.skipUpdate = true;
    if (piece == "SKIPPERMISSION") switches.skipPermission = true;
    if (piece == "NODISCOVERY") switches.noDiscovery = true;
    if (piece == "?") {
      switches.outcome = CommandLineSwitches::kHelp;
      return switches;
    }
    if (piece == "DEV") switches.environment = EnvDev;
    if (piece == "TEST1") switches.environment = EnvTest;
  }
  return switches;
}

void ResetCurrentInstall(CSetting& setting) {
  InstallRecord& current = setting.current;
  current.pm.clear();
  current.pwd.clear();
  current.type = 1;
  current.platformPath = setting.installRoot;
  current.rootPath = setting.installRoot;
  current.isNewOffice = false;
  current.fromSharedInfo = false;
  current.notPending = false;
  if (setting.sharedInfoRecords.size() != 1) return;
  const InstallRecord& only = *setting.sharedInfoRecords.front();
  current.pm = only.pm;
  current.pwd = only.pwd;
  current.type = only.type;
  current.platformPath = only.platformPath;
  current.rootPath = only.rootPath;
  current.notPending = only.notPending;
}

bool CApp::Initialize() {
  try {
    double mhz = 0;
    std::string processor;
    GetProcessorInfo(&mhz, &processor);
    Log("[  INFO] Processor name -> " + processor);
    Log("[  INFO] Processor speed -> " + std::to_string(static_cast<long long>(mhz)));

    const std::string osName = m_osVersion->GetName();
    if (!IsWindows7OrLater(m_osVersion->GetMajor(), m_osVersion->GetMinor())) {
      EndRunWithBox("[**  ERR] Unsupported OS detected -> " + osName,
                    "Sistema operativo non supportato.\n\nE' possibile utilizzare il software "
                    "solo su Windows 7, 8, 8.1, 10 e 11",
                    "Servizi ZAN - Errore");
    }
    Log("[  INFO] Supported OS detected -> " + osName);

    std::vector<std::string> version;
    GetFileVersion("", &version);
    std::string versionText;
    for (const std::string& part : version) versionText += (versionText.empty() ? "" : ".") + part;
    Log("[  INFO] Current installed version -> " + versionText);
    Log("[  INFO] Current assignee -> " + GetComputerUserName());

    m_setting->Load();
    if (m_setting->CheckForPreviousPlatform() != 0) {
      EndRunWithBox("[**  ERR] Previous platform detect not completed successfully",
                    "Errore nella rilevazione delle precedenti installazioni.", "Errore");
    }
    for (const auto& record : m_setting->sharedInfoRecords) Log(RecordLogLine(*record));
    Log("[  INFO] Platform detection completed successfully -> " +
        std::to_string(m_setting->sharedInfoRecords.size()) + " found");
    if (!m_setting->diskScanRecords.empty()) {
      Log("[* WARN] Orphan installation detected -> " +
          std::to_string(m_setting->diskScanRecords.size()));
      for (const auto& record : m_setting->diskScanRecords)
        Log("[* WARN] Orphan PM -> " + QuoteSharedText(record->pm) + " path -> " +
            QuoteSharedText(record->platformPath));
    }
    ResetCurrentInstall(*m_setting);

    const CommandLineSwitches switches = ParseSwitches(m_cmdLine, m_environment);
    switch (switches.outcome) {
      case CommandLineSwitches::kEmpty:
        Log("[  INFO] No command line provided");
        break;
      case CommandLineSwitches::kNoSlash:
        Log("[  INFO] Command line provided -> " + m_cmdLine);
        ShowBox(nullptr, std::string("Attenzione comando errato.\n\n") + kCommandLineHelp,
                "Informazioni", MB_OK | MB_ICONINFORMATION);
        return true;
      case CommandLineSwitches::kHelp:
        Log("[  INFO] Command line provided -> " + m_cmdLine);
        ShowBox(nullptr, kCommandLineHelp, "Informazioni", MB_OK | MB_ICONINFORMATION);
        return true;
      case CommandLineSwitches::kOk:
        Log("[  INFO] Command line provided -> " + m_cmdLine);
        if (switches.peripheralUnit) {
          m_setting->current.type = 2;
          m_peripheralUnit = true;
        }
        if (switches.skipUpdate) m_updateChecked = true;
        if (switches.skipPermission) SetSkipPermission(true);
        if (switches.noDiscovery) m_noDiscovery = true;
        m_environment = switches.environment;
        break;
    }

    UseUrlSet(m_environment);
    const std::string temp = TempFolder();  // empty: no path, as for the other packages
    m_tempSetupPackage = temp.empty() ? std::string() : temp + m_setupPackageName;
    if (!m_cmdLine.empty() && !temp.empty()) DeleteFileA(m_tempSetupPackage.c_str());

    if (m_noDiscovery) {
      Log("[  INFO] Network discovery not started due to switch on commandline");
    } else {
      SetDiscoveryRunning(true);
      const uintptr_t thread =
          _beginthreadex(nullptr, 0, &DiscoveryThreadEntry, nullptr, 0, nullptr);
      if (thread)
        CloseHandle(reinterpret_cast<HANDLE>(thread));
      else
        SetDiscoveryRunning(false);
    }
    return false;
  } catch (const std::exception& e) {
    Log(std::string("[**  ERR] Exception ") + e.what());
    ShowBox(nullptr, e.what(), "Errore", MB_OK | MB_ICONERROR);
    return true;
  } catch (...) {
    Log("[**  ERR] Exception on CApp::Initialize ");
    ShowBox(nullptr, "Errore imprevisto durante l'inizializzazione.", "Errore",
            MB_OK | MB_ICONERROR);
    return true;
  }
}
