#include "system_utils.h"

#include <shellapi.h>

#include "file_utils.h"
#include "handles.h"
#include "log.h"

bool IsNetFramework48Installed() {
  RegKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full",
                    0, KEY_READ, key.out()) != ERROR_SUCCESS)
    return false;
  DWORD release = 0;
  DWORD type = 0;
  DWORD size = sizeof release;
  if (RegQueryValueExA(key.get(), "Release", nullptr, &type, reinterpret_cast<BYTE*>(&release),
                       &size) != ERROR_SUCCESS)
    return false;
  return type == REG_DWORD && size == sizeof release && release >= 528040;
}

int GetProcessorInfo(double* mhz, std::string* name) {
  RegKey key;
  const LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                                    "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", 0,
                                    KEY_READ, key.out());
  if (opened != ERROR_SUCCESS) return opened;

  DWORD speed = 0;
  DWORD type = 0;
  DWORD size = sizeof speed;
  if (RegQueryValueExA(key.get(), "~MHz", nullptr, &type, reinterpret_cast<BYTE*>(&speed), &size) ==
          ERROR_SUCCESS &&
      type == REG_DWORD && size == sizeof speed && mhz)
    *mhz = static_cast<double>(speed);

  // One byte more than read, so a name filling the whole 260 bytes still ends.
  char text[MAX_PATH + 1] = {};
  size = MAX_PATH;
  if (RegQueryValueExA(key.get(), "ProcessorNameString", nullptr, nullptr,
                       reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS)
    text[0] = '\0';
  if (name) *name = text;
  return ERROR_SUCCESS;
}

bool ExtractBinaryResource(WORD resourceId, const std::string& fileName, std::string* path) {
  // The name is joined to the temporary folder: anything but a plain file
  // name could put the file elsewhere.
  if (fileName.empty() || fileName.find_first_of("\\/:") != std::string::npos ||
      fileName == "." || fileName == "..") {
    Log("[* WARN] ExtractBinaryResource: not a plain file name -> " + fileName);
    return false;
  }
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(resourceId), "BINARY");
  if (!found) return false;
  HGLOBAL loaded = LoadResource(nullptr, found);
  if (!loaded) return false;
  const DWORD size = SizeofResource(nullptr, found);
  const void* data = LockResource(loaded);
  if (!data || size == 0) return false;

  char temp[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(MAX_PATH, temp);
  if (length == 0 || length > MAX_PATH) return false;
  const std::string target = std::string(temp) + fileName;

  DeleteFileA(target.c_str());  // an existing file goes first; a missing one is no error
  // Deny none, deletion included: a file of the temporary folder, which a
  // scanner or a cleaner may open or remove while it is written.
  const std::string failure =
      WriteWholeFile(target, std::string(static_cast<const char*>(data), size),
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  // A truncated installer must not be left where it could be started.
  if (!failure.empty()) {
    DeleteFileA(target.c_str());
    return false;
  }
  if (path) *path = target;
  return true;
}

HINSTANCE OpenWithShell(const std::string& path) {
  return ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOW);
}

POINT WindowPlacement(int screenWidth, int screenHeight, int windowWidth, int windowHeight,
                      bool corner) {
  const int dx = screenWidth - windowWidth;
  const int dy = screenHeight - windowHeight;
  POINT at;
  if (corner) {
    at.x = dx;
    at.y = dy - 30;  // room for the taskbar
  } else {
    at.x = dx / 2;
    at.y = dy / 2;
  }
  if (at.x < 0) at.x = 0;
  if (at.y < 0) at.y = 0;
  return at;
}

void PlaceWindow(HWND window, bool corner) {
  if (!window) return;
  RECT rect;
  if (!GetWindowRect(window, &rect)) return;
  HDC dc = GetDC(window);
  if (!dc) return;
  const int screenWidth = GetDeviceCaps(dc, HORZRES);
  const int screenHeight = GetDeviceCaps(dc, VERTRES);
  ReleaseDC(window, dc);
  const POINT at = WindowPlacement(screenWidth, screenHeight, rect.right - rect.left,
                                   rect.bottom - rect.top, corner);
  SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

