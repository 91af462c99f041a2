// A drive letter of the Wine prefix defined through Wine's mount manager (the
// request winecfg makes), mapped to a folder with the drive type of our
// choice, and removed with the object. Letters added this way are real to
// every process of the prefix, with their types (a "network" drive included).
#pragma once

#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <string>
#include <vector>

class WineDrive {
 public:
  WineDrive(char letter, const std::string& folder, ULONG type) : letter_(letter) {
    typedef char*(CDECL * UnixName)(LPCWSTR);
    auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if ((GetLogicalDrives() & (1u << (letter - 'A'))) || !unixName) return;
    char* unixPath = unixName(std::wstring(folder.begin(), folder.end()).c_str());
    ok_ = unixPath && Define(unixPath, type);
    HeapFree(GetProcessHeap(), 0, unixPath);
  }
  ~WineDrive() {
    if (ok_) Define(nullptr, DRIVE_NO_ROOT_DIR);
  }
  WineDrive(const WineDrive&) = delete;
  WineDrive& operator=(const WineDrive&) = delete;
  // False off Wine, or when the letter is taken.
  bool ok() const { return ok_; }

 private:
  bool Define(const char* unixPath, ULONG type) {
    struct UnixDrive {  // Wine's mount manager request (include/ddk/mountmgr.h)
      ULONG size, type, fs_type;
      DWORD serial;
      ULONGLONG unix_dev;
      WCHAR letter;
      USHORT mount_point_offset, device_offset, label_offset;
    };
    std::vector<char> buffer(sizeof(UnixDrive) + (unixPath ? std::strlen(unixPath) + 1 : 0));
    UnixDrive* request = reinterpret_cast<UnixDrive*>(buffer.data());
    request->size = static_cast<ULONG>(buffer.size());
    request->type = type;
    request->letter = static_cast<WCHAR>(letter_ - 'A' + 'a');
    if (unixPath)
      std::strcpy(buffer.data() + (request->mount_point_offset = sizeof(UnixDrive)), unixPath);
    HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, 0);
    if (manager == INVALID_HANDLE_VALUE) return false;
    DWORD returned = 0;
    const BOOL done = DeviceIoControl(
        manager, CTL_CODE(ULONG('m'), 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS),
        buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
    CloseHandle(manager);
    return done != FALSE;
  }

  char letter_;
  bool ok_ = false;
};
