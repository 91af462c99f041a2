// Helpers shared by the tests of the installation records, the register
// reading and the start-up search: a scratch log, the marker files of an
// installed platform written byte by byte, registers, and Wine drive letters.
#pragma once

#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <string>
#include <vector>

#include "constants.h"
#include "log.h"
#include "shared_info.h"
#include "test_support.h"

namespace detection_test {

// Points the log at a scratch folder for the life of the object.
class ScratchLog {
 public:
  ScratchLog() : folder_(dir_ / "log") { SetLogFolderForTesting(folder_); }
  ~ScratchLog() { SetLogFolderForTesting(""); }
  std::string Text() const { return testing_support::ReadBytes(folder_ + g_logFileName); }
  // The messages of the log, without their timestamps.
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    const std::string text = Text();
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      size_t space = line.find("] ");
      out.push_back(space == std::string::npos ? line : line.substr(space + 2));
      start = end + 2;
    }
    return out;
  }

 private:
  testing_support::TempDir dir_;
  std::string folder_;
};

// FILES\uffaut: filler bytes with the office code at offsets 521 (high) and
// 522 (low).
inline std::string UffautBytes(unsigned char high, unsigned char low) {
  std::string bytes(523, '\x55');
  bytes[521] = static_cast<char>(high);
  bytes[522] = static_cast<char>(low);
  return bytes;
}

// The platform's scrambling of a "PROT" value: byte i (from 1) minus i.
inline std::string ScrambleProt(const std::string& plain) {
  std::string out = plain;
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char>(static_cast<unsigned char>(out[i]) - (i + 1));
  return out;
}

inline std::string ZanolinfBytes(const std::string& plainProt) {
  return "[GENERAL]\r\nNAME=office\r\n[DATA]\r\nPROT=" + ScrambleProt(plainProt) + "\r\n";
}

// Adds a workstation of `pm` in year `anno` to the register of the office
// folder (ending in "\"), creating the register when needed.
inline bool AddWorkstation(const std::string& officeFolder, const std::string& pm,
                           const std::string& anno, const std::string& assignee) {
  const std::string shared = officeFolder + "ZAN_Shared";
  CreateDirectoryA(officeFolder.c_str(), nullptr);
  CreateDirectoryA(shared.c_str(), nullptr);
  const std::string path = shared + "\\SharedInfo";
  int id = 0;
  return CreateSharedInfo(path) == kSharedInfoOk &&
         CheckInstallation(path, anno, &id) == kSharedInfoOk &&
         AddPdlEntry(path, pm, "segreto", id, officeFolder, assignee) == kSharedInfoOk;
}

// A drive letter defined through Wine's mount manager (as its configuration
// tool does), mapped to a folder, with a drive type of our choice; removed
// again with the object. ok() is false off Wine or when the letter is taken.
class WineDrive {
 public:
  WineDrive(char letter, const std::string& folder, ULONG type) : letter_(letter) {
    if (GetLogicalDrives() & (1u << (letter - 'A'))) return;
    typedef char*(CDECL * UnixName)(LPCWSTR);
    auto unix_name = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!unix_name) return;
    std::wstring wide(folder.begin(), folder.end());
    char* unix_path = unix_name(wide.c_str());
    if (!unix_path) return;
    ok_ = Define(unix_path, type);
    HeapFree(GetProcessHeap(), 0, unix_path);
  }
  ~WineDrive() {
    if (ok_) Define(nullptr, DRIVE_NO_ROOT_DIR);
  }
  WineDrive(const WineDrive&) = delete;
  WineDrive& operator=(const WineDrive&) = delete;
  bool ok() const { return ok_; }
  std::string root() const { return std::string(1, letter_) + ":\\"; }

 private:
  // Wine's mount manager request (include/ddk/mountmgr.h).
  struct UnixDrive {
    ULONG size;
    ULONG type;
    ULONG fs_type;
    DWORD serial;
    ULONGLONG unix_dev;
    WCHAR letter;
    USHORT mount_point_offset;
    USHORT device_offset;
    USHORT label_offset;
  };

  bool Define(const char* unixPath, ULONG type) {
    const DWORD kDefineUnixDrive =
        CTL_CODE(static_cast<ULONG>('m'), 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
    std::vector<char> buffer(sizeof(UnixDrive) + (unixPath ? std::strlen(unixPath) + 1 : 0));
    UnixDrive* request = reinterpret_cast<UnixDrive*>(buffer.data());
    request->size = static_cast<ULONG>(buffer.size());
    request->type = type;
    request->letter = static_cast<WCHAR>(letter_ - 'A' + 'a');
    if (unixPath) {
      std::strcpy(buffer.data() + sizeof(UnixDrive), unixPath);
      request->mount_point_offset = sizeof(UnixDrive);
    }
    HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
    if (manager == INVALID_HANDLE_VALUE) return false;
    DWORD returned = 0;
    BOOL done = DeviceIoControl(manager, kDefineUnixDrive, buffer.data(),
                                static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
    CloseHandle(manager);
    return done != FALSE;
  }

  char letter_;
  bool ok_ = false;
};

// The network share the detect_unc fixture serves from a test-data folder.
inline std::string ShareRoot() { return "\\\\detectsrv\\offices\\"; }
inline std::string ShareFolderLocal() { return testing_support::TestData("detect_unc") + "\\"; }

}  // namespace detection_test
