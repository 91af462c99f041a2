#include "file_utils.h"

#include <windows.h>
#include <shellapi.h>

#include "log.h"

namespace {

// First three characters of the Windows folder, e.g. "C:\".
std::string SystemDriveRoot() {
  char buffer[1024] = {};
  const UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return std::string();
  return std::string(buffer).substr(0, 3);
}

bool EndsWithSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

bool IsAbsolute(const std::string& path) {
  const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  const bool unc = path.size() >= 2 && (path[0] == '\\' || path[0] == '/') &&
                   (path[1] == '\\' || path[1] == '/');
  return drive || unc;
}

// True when the folder, once resolved ("C:\X\..\" is "C:\"), is a drive root.
bool ResolvesToDriveRoot(const std::string& folder) {
  char full[MAX_PATH * 4] = {};
  const DWORD length = GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return true;  // unresolvable: treat as unsafe
  return IsDriveRoot(full);
}

// The shell pattern naming the folder's content: without its "\" it would
// also take the siblings ("...\1.2*" matches 1.20 and 1.2.1).
std::string ContentPattern(const std::string& folder) {
  return folder + (EndsWithSeparator(folder) ? "*" : "\\*");
}

// Fills a zeroed 260-character shell buffer with one path, so the list is
// double-zero-terminated. False when the path and both zeros do not fit.
bool FillShellBuffer(const std::string& path, char (&buffer)[MAX_PATH]) {
  ZeroMemory(buffer, sizeof buffer);
  if (path.size() + 2 > sizeof buffer) return false;
  path.copy(buffer, path.size());
  return true;
}

void RunShellOperation(UINT function, const char* from, const char* to) {
  SHFILEOPSTRUCTA operation = {};
  operation.hwnd = nullptr;
  operation.wFunc = function;
  operation.pFrom = from;
  operation.pTo = to;
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
  SHFileOperationA(&operation);
}

}  // namespace

std::string GetDesktopAppPath() { return SystemDriveRoot() + "ZAN\\DesktopApp\\"; }

std::string GetDesktopAppBinPath() { return GetDesktopAppPath() + "BIN\\"; }

std::string GetVexBinPath() { return SystemDriveRoot() + "ZAN\\Vex\\BIN\\"; }

bool CreateDirectoryTree(const std::string& path) {
  // No "A" call can make a folder this long; refusing it here also bounds the
  // recursion below (a hostile archive may nest tens of thousands of folders).
  if (path.size() >= MAX_PATH) return false;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES)
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0;
  const size_t separator = path.find_last_of("\\/");
  if (separator != std::string::npos) CreateDirectoryTree(path.substr(0, separator));
  return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDriveRoot(std::string path) {
  if (path.empty()) return false;
  if (path.back() != '\\') path += '\\';
  return path == std::string(1, path[0]) + ":\\";
}

bool CanWriteToFolder(const std::string& folder) {
  std::string probe = folder;
  if (probe.empty() || probe.back() != '\\') probe += '\\';
  probe += "test_privileges.txt";
  DeleteFileA(probe.c_str());
  HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  DeleteFileA(probe.c_str());
  return true;
}

void CopyFolderContents(const std::string& source, const std::string& target) {
  if (source.empty()) {
    Log("[* WARN] CopyFolderContents: empty source folder, nothing copied");
    return;
  }
  char from[MAX_PATH];
  char to[MAX_PATH];
  if (!FillShellBuffer(ContentPattern(source), from) || !FillShellBuffer(target, to)) {
    Log("[* WARN] CopyFolderContents: path too long, nothing copied -> " + source + " -> " +
        target);
    return;
  }
  RunShellOperation(FO_COPY, from, to);
}

void DeleteFolderContents(const std::string& folder) {
  // The delete is final (no undo), so anything but a specific absolute folder
  // is refused: an empty or relative one would empty the current folder.
  if (folder.empty()) {
    Log("[* WARN] DeleteFolderContents: empty folder, nothing deleted");
    return;
  }
  if (!IsAbsolute(folder)) {
    Log("[* WARN] DeleteFolderContents: relative folder, nothing deleted -> " + folder);
    return;
  }
  if (ResolvesToDriveRoot(folder)) {
    Log("[* WARN] DeleteFolderContents: drive root, nothing deleted -> " + folder);
    return;
  }
  char from[MAX_PATH];
  if (!FillShellBuffer(ContentPattern(folder), from)) {
    Log("[* WARN] DeleteFolderContents: path too long, nothing deleted -> " + folder);
    return;
  }
  RunShellOperation(FO_DELETE, from, nullptr);
}

void SetAttributesRecursive(std::string folder) {
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  WIN32_FIND_DATAA entry;
  FindHandle find(FindFirstFileA((folder + "*").c_str(), &entry));
  if (!find.valid()) return;
  unsigned count = 0;
  do {
    if (entry.cFileName[0] == '.') continue;
    const std::string path = folder + entry.cFileName;
    // A junction is not descended into: it may lead outside the tree or back
    // up into it.
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      SetAttributesRecursive(path);
    if (entry.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) {
      SetFileAttributesA(path.c_str(), 0);
      ++count;
    }
  } while (FindNextFileA(find.get(), &entry));
  if (count > 0)
    Log("[  INFO] Set attributes on " + std::to_string(count) + " files/folder in " + folder);
}

std::string OwnExecutablePath(size_t initialSize) {
  std::string buffer(initialSize > 0 ? initialSize : 1, '\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length =
        GetModuleFileNameA(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size() && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      buffer.resize(length);
      return buffer;
    }
    if (buffer.size() >= 32768) return std::string();  // beyond any Windows path
    buffer.resize(buffer.size() * 2);
  }
}

bool GetFileVersion(const std::string& path, std::vector<std::string>* out) {
  const std::string file = path.empty() ? OwnExecutablePath() : path;
  if (file.empty()) return false;
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &handle);
  if (size == 0) return false;
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(file.c_str(), 0, size, block.data())) return false;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\", &value, &length) || value == nullptr ||
      length != sizeof(VS_FIXEDFILEINFO))
    return false;
  const VS_FIXEDFILEINFO* info = static_cast<const VS_FIXEDFILEINFO*>(value);
  std::vector<std::string> parts = {
      std::to_string(HIWORD(info->dwProductVersionMS)),
      std::to_string(LOWORD(info->dwProductVersionMS)),
      std::to_string(HIWORD(info->dwProductVersionLS)),
      std::to_string(LOWORD(info->dwProductVersionLS)),
  };
  if (out) *out = std::move(parts);
  return true;
}

std::string GetComputerUserName() {
  char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD computerSize = sizeof computer;
  if (!GetComputerNameA(computer, &computerSize)) computer[0] = '\0';
  char user[257] = {};
  DWORD userSize = sizeof user;
  if (!GetUserNameA(user, &userSize)) user[0] = '\0';
  return std::string(computer) + "\\" + user;
}
