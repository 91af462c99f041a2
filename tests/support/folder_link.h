// Folder links for tests, shared by the in-process helpers and the wizard
// driver (header only: the driver links no product code). A link is what
// Windows calls one, a reparse point. Wine 8 makes none through
// CreateSymbolicLinkA (it reports success and makes nothing) or a junction
// (error 50), and cannot remove one (RemoveDirectoryA and DeleteFileA act on
// the target); there a link is a Unix symbolic link, which Wine lists with
// FILE_ATTRIBUTE_REPARSE_POINT, made and removed from the Linux side.
#pragma once

#include <windows.h>

#include <string>

namespace folder_link {

// The Unix path of a Windows path under Wine; "" elsewhere.
inline std::string UnixPath(const std::string& windowsPath) {
  using ToUnix = char*(CDECL*)(LPCWSTR);
  static const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!toUnix) return {};
  const int count = MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, nullptr, 0);
  std::wstring wide(count, L'\0');
  MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, &wide[0], count);
  char* unix = toUnix(wide.c_str());
  if (!unix) return {};
  std::string result = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return result;
}

inline bool IsReparsePoint(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Starts a Linux program (Wine gives no handle for one) and waits, bounded,
// until `done` holds.
template <typename Done>
bool RunUnixUntil(std::string command, Done done) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return false;
  if (process.hProcess) CloseHandle(process.hProcess);
  if (process.hThread) CloseHandle(process.hThread);
  for (DWORD start = GetTickCount(); !done(); Sleep(20))
    if (GetTickCount() - start > 30000) return false;
  return true;
}

// Makes `link` (its parent must exist) a link to the folder `target`. True
// when the link is there, reported as a reparse point.
inline bool MakeFolderLink(const std::string& link, const std::string& target) {
  CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2);
  if (IsReparsePoint(link)) return true;
  const size_t slash = link.find_last_of('\\');
  const std::string unixTarget = UnixPath(target);
  const std::string unixParent = UnixPath(link.substr(0, slash));
  if (unixTarget.empty() || unixParent.empty()) return false;
  return RunUnixUntil("/bin/ln -s \"" + unixTarget + "\" \"" + unixParent + "/" +
                          link.substr(slash + 1) + "\"",
                      [&] { return IsReparsePoint(link); });
}

// Removes the link itself, never its target. True when it is gone.
inline bool RemoveFolderLink(const std::string& link) {
  const std::string unixLink = UnixPath(link);
  if (unixLink.empty()) return RemoveDirectoryA(link.c_str()) != FALSE;
  return RunUnixUntil("/bin/rm -f \"" + unixLink + "\"",
                      [&] { return GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES; });
}

}  // namespace folder_link
