#include "end_decisions.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "file_utils.h"
#include "log.h"
#include "text_utils.h"

namespace {

// A field as "%s" took it: up to its first zero byte.
std::string CText(const std::string& text) { return std::string(text.c_str()); }

}  // namespace

std::string InstallaModPath(const std::string& installRoot) {
  return CText(installRoot) + "\\HOME\\ETC\\INSTALLA.MOD";
}

std::string InstallaModBytes(const std::string& pm, const std::string& pwd,
                             const std::string& installRoot) {
  char number[16];
  std::snprintf(number, sizeof number, "%.5d", StringToInt(pm));
  const std::string text = std::string(number) + CText(pwd) + "\r\n" + CText(installRoot);
  std::string bytes;
  bytes.reserve(text.size() + 2);
  for (char c : text) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  return bytes;
}

bool WriteInstallaMod(const std::string& installRoot, const std::string& pm,
                      const std::string& pwd) {
  const std::string path = InstallaModPath(installRoot);
  // Shared as the C runtime's "w" opens it: others may read and write.
  const std::string failure = WriteWholeFile(path, InstallaModBytes(pm, pwd, installRoot),
                                             FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (!failure.empty()) {
    Log("[**  ERR] Unable to write configuration -> " + path + " -> " + failure);
    return false;
  }
  Log("[  INFO] Written -> " + path);
  return true;
}

PeripheralFiles PeripheralUnitFiles(const std::string& installRoot) {
  const std::string root = CText(installRoot);
  return {root + "\\FILES\\TXT\\velmora.uff", root + "\\HOME\\ETC\\installa.mod",
          root + "\\HOME\\ETC\\installa.up"};
}

bool MovePeripheralConfig(const std::string& installRoot) {
  const PeripheralFiles files = PeripheralUnitFiles(installRoot);
  DeleteFileA(files.flag.c_str());
  if (!CopyFileA(files.current.c_str(), files.kept.c_str(), FALSE)) {
    Log("[**  ERR] Unable to copy " + files.current + " to " + files.kept + " (" +
        LastErrorText() + "), " + files.current + " kept");
    return false;
  }
  DeleteFileA(files.current.c_str());
  Log("[  INFO] Written -> " + files.kept);
  return true;
}

ConfigStep ConfigStepFor(int type, const std::string& recordYear, const std::string& year) {
  if (type == 1) return recordYear != year ? ConfigStep::InstallaMod : ConfigStep::None;
  if (type == 2) return ConfigStep::PeripheralUnit;
  return ConfigStep::None;
}

bool PlaceRuntimeRoot(std::string* path, const std::string& installRoot) {
  std::string replaced;
  if (!ReplaceString(*path, "%", installRoot, &replaced)) return false;
  *path = replaced;
  return true;
}

ElevatedCommand ElevatedShareCommand(const std::string& modulePath, const std::string& switches,
                                     const std::string& officeCode, const std::string& folder) {
  const auto parameters = [](const std::string& own, const std::string& code,
                             const std::string& office) {
    return own + " /SHARE=" + code + ";" + office;
  };
  // For the log, the same parameters: the office code is a register record's,
  // quoted and cut as such; the run's own switches and the folder are escaped
  // but never cut, so a long usual folder is logged as it is passed.
  return {modulePath, parameters(switches, officeCode, folder),
          parameters(QuoteForLog(switches, std::string::npos), QuoteSharedText(officeCode),
                     QuoteForLog(folder, std::string::npos))};
}

ShareResult ElevatedShareResult(bool exitCodeRead, DWORD exitCode) {
  ShareResult result;
  if (!exitCodeRead) return result;
  result.created = exitCode == 0;
  result.code = static_cast<int>(exitCode);
  return result;
}

std::string ShareSuccessText(const std::string& downloadUrl) {
  return "La Piattaforma ZAN e' stata condivisa con successo.\n\nTerminata l'installazione, "
         "posizionarsi sugli altri PC dello Studio e procedere a scaricare il setup da " +
         downloadUrl +
         ".\nUna volta scaricato il setup, eseguirlo e selezionare l'opzione Aggiungi un posto di "
         "lavoro.\nQuesta operazione dovra' essere fatta per ogni PC dello Studio in cui si "
         "desidera utilizzare la Piattaforma ZAN.";
}

std::string ShareFailureLogLine(int code) {
  if (code == 0) return "[* WARN] Error retrieving exit code";
  return "[* WARN] Sharing failed due to error -> " + IntToString(code);
}

std::string FinishNoticeText(const std::string& year) {
  return "Per accedere alla Piattaforma ZAN " + year +
         " anche dalle altre postazioni di lavoro procedere a chiudere in tutte le postazioni "
         "l'icona ZAN presente nell'area di notifica di Windows (in basso a destra vicino "
         "all'ora e data di Windows):\n1. Cliccare sull'icona ZAN presente nell'area delle "
         "notifiche di Windows\n2. Selezionare Esci\noppure riavviare i PC Client.";
}
