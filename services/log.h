// The setup log (one line per call, opened and closed each time, safe from any
// thread) and the guard that keeps a second copy of the setup from running.
#pragma once

#include <windows.h>

#include <string>

// Handle of the single-instance mutex; null when none is held.
extern HANDLE g_singleInstanceMutex;

// The user's local application-data folder + "\DesktopApp" (no trailing "\");
// empty when the shell cannot give it.
std::string GetLogFolder();
// The local time as "[YYYYMMDD@hh:mm:ss:mmm]".
std::string GetLogTimestamp();
// Appends "<timestamp> <message>" and CR LF to the log; every "\n" of the
// message is stored as CR LF. A line that cannot be written is dropped.
void Log(const std::string& message);
// Text from outside (a server's answer, a URL) as a log line may quote it: at
// most `limit` bytes of it, each control character written as "\xHH", and
// when cut, "..." and the whole length in bytes, so no such text can make a
// line of its own or a line without end.
std::string QuoteForLog(const std::string& text, size_t limit = 200);
// Text from the office's shared files (the register, INSTALLA.MOD), which any
// PC of the office can write, quoted the same way and cut past the longest
// value the setup itself writes there (a path of MAX_PATH bytes). Usual
// values come out unchanged.
std::string QuoteSharedText(const std::string& text);
// Deletes the log file; a missing file is no error.
void DeleteLogFile();

// Creates the named mutex (empty name: "ServiziZAN_Setup"), initially owned.
// False when another process holds it already.
bool CheckSingleInstance(std::string name);
// Releases and closes the mutex; the CloseHandle result.
BOOL ReleaseSingleInstance();

// Test seam: a folder used in place of GetLogFolder() (empty restores it).
void SetLogFolderForTesting(const std::string& folder);
