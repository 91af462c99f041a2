#include "log.h"

#include <shlobj.h>

#include <cstdio>
#include <mutex>

#include "constants.h"

HANDLE g_singleInstanceMutex = nullptr;

namespace {

std::mutex g_overrideMutex;
std::string g_folderOverride;

std::string LogFolder() {
  {
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    if (!g_folderOverride.empty()) return g_folderOverride;
  }
  return GetLogFolder();
}

// Creates a folder and its missing parents; failures are left to the open.
void CreateFolders(const std::string& folder) {
  for (size_t i = 3; i <= folder.size(); ++i) {
    if (i == folder.size() || folder[i] == '\\' || folder[i] == '/')
      CreateDirectoryA(folder.substr(0, i).c_str(), nullptr);
  }
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

void Log(const std::string& message) {
  // The whole line is made in memory and written with one append-only write,
  // so lines from concurrent threads and processes never interleave.
  std::string line = GetLogTimestamp() + " ";
  line.reserve(line.size() + message.size() + 8);
  for (char c : message) {
    if (c == '\n') line += '\r';
    line += c;
  }
  line += "\r\n";

  const std::string folder = LogFolder();
  if (folder.empty()) return;
  CreateFolders(folder);
  const std::string file = folder + g_logFileName;
  HANDLE h = CreateFileA(file.c_str(), FILE_APPEND_DATA,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
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
