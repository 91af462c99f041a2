#include "files.h"

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>

namespace testing_support {
namespace {

std::string Parent(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return folder;
}

bool IsReparsePoint(const std::string& path) {
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

// Removes the link itself, never its target. True when it is gone.
bool RemoveFolderLink(const std::string& link) {
  return RunUnixUntil("/bin/rm -f \"" + UnixPath(link) + "\"", [&] { return !Exists(link); });
}

std::wstring Wide(const std::string& text) {
  const int count = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(count > 0 ? count : 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], count);
  return wide;
}

// The shell's link object and its file side, released with the object.
struct ShellLink {
  IShellLinkA* shell = nullptr;
  IPersistFile* file = nullptr;
  ShellLink() {
    CoInitialize(nullptr);
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IShellLinkA, reinterpret_cast<void**>(&shell))))
      shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  }
  ~ShellLink() {
    if (file) file->Release();
    if (shell) shell->Release();
    CoUninitialize();
  }
};

// What Tree and Entries list; `detail`: 0 bytes only, 1 with folders and
// times, 2 folders and times without the bytes.
void CollectTree(const std::string& root, const std::string& relative, int detail,
                 std::map<std::string, std::string>* files) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((root + relative + "*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = entry.cFileName, path = relative + name;
    if (name == "." || name == ".." || (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (detail) (*files)[path] = "<folder>";
      CollectTree(root, path + "\\", detail, files);
      continue;
    }
    std::string& value = (*files)[path];
    if (detail != 2) value = ReadBytes(root + path);
    const FILETIME& t = entry.ftLastWriteTime;
    if (detail) value += "@" + std::to_string((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
}

}  // namespace

bool WriteBytes(const std::string& path, const std::string& bytes) {
  MakeFolders(Parent(path));
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
  return ok && written == bytes.size();
}

std::string ReadBytes(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::string();
  std::string out;
  char buf[65536];
  DWORD got = 0;
  while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
  CloseHandle(h);
  return out;
}

std::string UffautBytes(unsigned char high, unsigned char low) {
  std::string bytes(523, '\x55');
  bytes[521] = static_cast<char>(high);
  bytes[522] = static_cast<char>(low);
  return bytes;
}

std::string ZanolinfBytes(std::string prot) {
  for (size_t i = 0; i < prot.size(); ++i)
    prot[i] = static_cast<char>(static_cast<unsigned char>(prot[i]) - (i + 1));
  return "[GENERAL]\r\nNAME=office\r\n[DATA]\r\nPROT=" + prot + "\r\n";
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeFolders(const std::string& folder) {
  if (folder.size() < 3 || Exists(folder)) return;
  MakeFolders(Parent(folder));
  CreateDirectoryA(folder.c_str(), nullptr);
}

bool RemoveTree(const std::string& path) {
  std::string target = path;
  while (target.size() > 3 && target.back() == '\\') target.pop_back();
  const DWORD attributes = GetFileAttributesA(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  // A link goes itself; what it leads to may be a scenario's own files.
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return RemoveFolderLink(target);
  SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return DeleteFileA(target.c_str()) != FALSE;
  for (const std::string& name : Names(target)) RemoveTree(target + "\\" + name);
  RemoveDirectoryA(target.c_str());
  return !Exists(target);
}

std::map<std::string, std::string> Tree(const std::string& folder) {
  std::map<std::string, std::string> files;
  CollectTree(WithSlash(folder), "", 0, &files);
  return files;
}

std::map<std::string, std::string> Entries(const std::string& folder, bool bytes) {
  std::map<std::string, std::string> entries;
  CollectTree(WithSlash(folder), "", bytes ? 1 : 2, &entries);
  return entries;
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((WithSlash(folder) + "*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = entry.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

HeldFile::HeldFile(const std::string& path, DWORD share)
    : handle_(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {}

void HeldFile::Release() {
  if (held()) CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

Link ReadLink(const std::string& path) {
  Link link;
  ShellLink l;
  if (l.file && SUCCEEDED(l.file->Load(Wide(path).c_str(), 0))) {
    char text[MAX_PATH] = {};
    link.read = true;
    l.shell->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
    link.target = text;
    text[0] = '\0';
    l.shell->GetWorkingDirectory(text, MAX_PATH);
    link.folder = text;
    text[0] = '\0';
    l.shell->GetDescription(text, MAX_PATH);
    link.description = text;
  }
  return link;
}

bool WriteLink(const std::string& path, const std::string& target) {
  ShellLink l;
  return l.file && SUCCEEDED(l.shell->SetPath(target.c_str())) &&
         SUCCEEDED(l.file->Save(Wide(path).c_str(), TRUE));
}

std::string UnixPath(const std::string& windowsPath) {
  using ToUnix = char*(CDECL*)(LPCWSTR);
  static const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!toUnix) return {};
  char* unix = toUnix(Wide(windowsPath).c_str());
  if (!unix) return {};
  std::string result = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return result;
}

bool MakeFolderLink(const std::string& link, const std::string& target) {
  MakeFolders(Parent(link));
  const std::string unixTarget = UnixPath(target);
  const std::string unixParent = UnixPath(Parent(link));
  if (unixTarget.empty() || unixParent.empty()) return false;
  return RunUnixUntil("/bin/ln -s \"" + unixTarget + "\" \"" + unixParent + "/" +
                          link.substr(link.find_last_of('\\') + 1) + "\"",
                      [&] { return IsReparsePoint(link); });
}

}  // namespace testing_support
