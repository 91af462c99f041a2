// The final page's decisions and file work, apart from its window: the
// platform's configuration file INSTALLA.MOD (its exact bytes and a checked
// write), the peripheral unit's configuration files, the runtime folders, the
// command line of the elevated copy that creates the share, and the texts of
// the share and finish boxes.
#pragma once

#include <windows.h>

#include <string>

// installRoot + "\HOME\ETC\INSTALLA.MOD" (installRoot ends in "\", so the
// path holds "\\HOME"; Windows reads it as one separator).
std::string InstallaModPath(const std::string& installRoot);
// The bytes of INSTALLA.MOD as the platform reads them: the office code as a
// number of at least five digits, the password field, CR CR LF, the platform
// folder, no line end. (The file was once written from "%0.5d%s\r\n%s"
// through a text-mode stream, which turns each LF into CR LF; the bytes keep
// that shape, also for a LF inside a field.)
std::string InstallaModBytes(const std::string& pm, const std::string& pwd,
                             const std::string& installRoot);
// Writes INSTALLA.MOD and logs "[  INFO] Written -> " + path, or
// "[**  ERR] Unable to write configuration -> " + path + the failure; false
// then (the caller shows its box).
bool WriteInstallaMod(const std::string& installRoot, const std::string& pm,
                      const std::string& pwd);

// The peripheral unit's files below the platform folder.
struct PeripheralFiles {
  std::string flag;     // FILES\TXT\velmora.uff
  std::string current;  // HOME\ETC\installa.mod
  std::string kept;     // HOME\ETC\installa.up
};
PeripheralFiles PeripheralUnitFiles(const std::string& installRoot);
// Deletes the flag file and moves installa.mod to installa.up: installa.mod
// is deleted only after the copy succeeded, since it is then the unit's only
// configuration. Logs "Written -> " + installa.up, or the failure; the result.
bool MovePeripheralConfig(const std::string& installRoot);

// Which configuration file the page writes.
enum class ConfigStep { None, InstallaMod, PeripheralUnit };
// Kind 1 (authorised office) whose record year differs from the platform year
// (a new office has none): INSTALLA.MOD; kind 2: the peripheral files.
ConfigStep ConfigStepFor(int type, const std::string& recordYear, const std::string& year);

// Puts installRoot in place of the first "%" of a runtime path template; false
// (path unchanged) when it holds no "%".
bool PlaceRuntimeRoot(std::string* path, const std::string& installRoot);

// The elevated copy of the setup that creates the share.
struct ElevatedCommand {
  std::string executable;
  std::string parameters;
  std::string loggedParameters;  // parameters as the log shows them
};
// modulePath is the setup's own file; switches are the run's own (the text
// after the program name); the copy recognises " /SHARE=" + code + ";" +
// folder at the end.
ElevatedCommand ElevatedShareCommand(const std::string& modulePath, const std::string& switches,
                                     const std::string& officeCode, const std::string& folder);
// What the elevated copy's end means: created when its exit code was read and
// is 0; the code c of the failure report (0 when it could not be read).
struct ShareResult {
  bool created = false;
  int code = 0;
};
ShareResult ElevatedShareResult(bool exitCodeRead, DWORD exitCode);

// The share success box, naming the page where other PCs get the setup.
std::string ShareSuccessText(const std::string& downloadUrl);
// The failure report's log line for code c.
std::string ShareFailureLogLine(int code);
// The Finish notice when workstations were added for other users or years.
std::string FinishNoticeText(const std::string& year);
