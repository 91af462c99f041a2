#include "log.h"

#include <shlobj.h>

#include <cstdio>
#include <mutex>

#include "constants.h"
#include "file_utils.h"

HANDLE g_singleInstanceMutex = nullptr;

namespace {

std::mutex g_overrideMutex;
std::string g_folderOverride;
// The shell's answer, asked once: the call costs more than the rest of a line,
// and the folder does not move while the process runs.
std::string g_shellFolder;

std::string LogFolder() {
  std::lock_guard<std::mutex> lock(g_overrideMutex);
  if (!g_folderOverride.empty()) return g_folderOverride;
  if (g_shellFolder.empty()) g_shellFolder = GetLogFolder();
  return g_shellFolder;
}

HANDLE OpenForAppend(const std::string& file) {
  return CreateFileA(file.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

std::string GetLogFolder() {
  char path[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathA(nullptr, path, CSIDL_LOCAL_APPDATA, FALSE) || !path[0])
    return std::string();
  return std::string(path) + "\\DesktopApp";
}

std::string GetLogTimestamp() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char buffer[80];
  std::snprintf(buffer, sizeof buffer, "[%02d%02d%02d@%02d:%02d:%02d:%03d]", t.wYear, t.wMonth,
                t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  return buffer;
}

std::string QuoteForLog(const std::string& text, size_t limit) {
  const size_t shown = text.size() < limit ? text.size() : limit;
  std::string quoted;
  quoted.reserve(shown + 32);
  for (size_t i = 0; i < shown; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      quoted += escaped;
    } else {
      quoted += static_cast<char>(c);
    }
  }
  if (shown < text.size()) quoted += "... (" + std::to_string(text.size()) + " bytes)";
  return quoted;
}

std::string QuoteSharedText(const std::string& text) { return QuoteForLog(text, MAX_PATH); }

void Log(const std::string& message) {
  // The whole line is made in memory and written with one append-only write
  // under a lock, so lines from concurrent threads and processes never mix.
  std::string line = GetLogTimestamp() + " ";
  line.reserve(line.size() + message.size() + 8);
  for (char c : message) {
    if (c == '\n') line += '\r';
    line += c;
  }
  line += "\r\n";

  const std::string folder = LogFolder();
  if (folder.empty()) return;
  const std::string file = folder + g_logFileName;
  // Read access only so the handle may take a byte-range lock; writes through
  // an append-only handle still go to the end. The folder (and its parents) is
  // made only when the open finds it missing, which also covers a folder
  // deleted while the setup runs.
  HANDLE h = OpenForAppend(file);
  if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND) {
    CreateDirectoryTree(folder);  // a failure is left to the second open
    h = OpenForAppend(file);
  }
  if (h == INVALID_HANDLE_VALUE) return;
  // Not every file system makes an append atomic (Wine's does not): writers in
  // all threads and processes take turns through an exclusive lock on one byte
  // far past any real end of the file. Without the lock the line is still
  // written.
  OVERLAPPED region = {};
  region.Offset = 0xFFFFFFFE;
  region.OffsetHigh = 0x7FFFFFFF;
  const BOOL locked = LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &region);
  DWORD written = 0;
  WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  if (locked) UnlockFileEx(h, 0, 1, 0, &region);
  CloseHandle(h);
}

void DeleteLogFile() {
  const std::string folder = LogFolder();
  if (!folder.empty()) DeleteFileA((folder + g_logFileName).c_str());
}

bool CheckSingleInstance(std::string name) {
  if (name.empty()) name = "ServiziZAN_Setup";
  g_singleInstanceMutex = CreateMutexA(nullptr, TRUE, name.c_str());
  const DWORD error = GetLastError();
  // Access denied means the mutex exists but belongs to an elevated copy.
  return error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED;
}

BOOL ReleaseSingleInstance() {
  ReleaseMutex(g_singleInstanceMutex);
  const BOOL closed = CloseHandle(g_singleInstanceMutex);
  g_singleInstanceMutex = nullptr;
  return closed;
}

void SetLogFolderForTesting(const std::string& folder) {
  std::lock_guard<std::mutex> lock(g_overrideMutex);
  g_folderOverride = folder;
}
