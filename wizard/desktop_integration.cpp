#include "desktop_integration.h"

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "app.h"
#include "file_utils.h"
#include "handles.h"
#include "log.h"
#include "text_utils.h"

const char kCompatPersistedKey[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility "
    "Assistant\\Persisted";
const char kCompatLayersKey[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";
const char kAutorunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

namespace {


// The target of an existing link, lower-cased; false when any step of reading
// it fails.
bool LinkTargetLower(const std::string& linkPath, std::string* target) {
  ComScope com;
  ComPtr<IShellLinkA> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              link.outVoid())))
    return false;
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.outVoid()))) return false;
  const std::wstring wide = AnsiToWide(linkPath);
  if (FAILED(file->Load(wide.c_str(), 0))) return false;
  if (FAILED(link->Resolve(nullptr, SLR_NO_UI))) return false;
  char path[MAX_PATH] = {};  // the interface's own limit
  if (FAILED(link->GetPath(path, MAX_PATH, nullptr, SLGP_SHORTPATH))) return false;
  *target = ToLower(path);
  return true;
}

bool WriteLink(const std::string& linkPath, const std::string& target,
               const std::string& workingFolder, const std::string& description) {
  ComScope com;
  ComPtr<IShellLinkA> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              link.outVoid())))
    return false;
  if (FAILED(link->SetDescription(description.c_str()))) return false;
  if (FAILED(link->SetPath(target.c_str()))) return false;
  if (FAILED(link->SetWorkingDirectory(workingFolder.c_str()))) return false;
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.outVoid()))) return false;
  const std::wstring wide = AnsiToWide(linkPath);
  return SUCCEEDED(file->Save(wide.c_str(), TRUE));
}

// Copies source to destination through a temporary file beside it, so the
// destination is replaced only by a complete copy. The failure's text, or
// empty on success.
std::string ReplaceWithCopy(const std::string& source, const std::string& destination) {
  std::string bytes;
  std::string failure = ReadWholeFile(source, &bytes);
  if (!failure.empty()) return source + ": " + failure;
  const std::string temporary = destination + ".part";
  // Without sharing restrictions, as the repair opens its files.
  failure = WriteWholeFile(temporary, bytes,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (!failure.empty())
    failure = temporary + ": " + failure;
  else if (!MoveFileExA(temporary.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING))
    failure = "cannot replace " + destination + " (" + LastErrorText() + ")";
  if (!failure.empty()) DeleteFileA(temporary.c_str());
  return failure;
}

}  // namespace

std::string ShortcutPath(const std::string& desktopFolder, const std::string& userProfile,
                         const std::string& name) {
  if (!desktopFolder.empty()) return desktopFolder + "\\" + name + ".lnk";
  return userProfile + "\\Desktop\\" + name + ".lnk";
}

ShortcutOutcome PlaceShortcut(const std::string& linkPath, const std::string& target,
                              const std::string& workingFolder, const std::string& description,
                              bool restoreMode) {
  bool exists = PathFileExistsA(linkPath.c_str()) != FALSE;
  if (exists) {
    std::string current;
    // Links that launched the Vex agent belong to an older layout.
    if (LinkTargetLower(linkPath, &current) && current.find("vex.exe") != std::string::npos) {
      DeleteFileA(linkPath.c_str());
      exists = false;
    }
  }
  if (exists && !restoreMode) return ShortcutOutcome::Kept;
  return WriteLink(linkPath, target, workingFolder, description) ? ShortcutOutcome::Written
                                                                 : ShortcutOutcome::Failed;
}

bool CApp::CreateDesktopShortcut() {
  std::string desktop;
  char folder[MAX_PATH] = {};  // the shell call's own limit
  if (SHGetSpecialFolderPathA(nullptr, folder, CSIDL_DESKTOPDIRECTORY, FALSE)) desktop = folder;
  std::string profile;
  if (desktop.empty()) {
    const DWORD size = GetEnvironmentVariableA("USERPROFILE", nullptr, 0);
    if (size > 0) {
      std::vector<char> value(size);
      const DWORD length = GetEnvironmentVariableA("USERPROFILE", value.data(), size);
      if (length < size) profile.assign(value.data(), length);
    }
  }
  const std::string bin = GetDesktopAppBinPath();
  PlaceShortcut(ShortcutPath(desktop, profile, m_setting->companyName), bin + g_desktopAppExe,
                bin, m_setting->companyName, m_restoreMode);
  return true;
}

std::string CompatValueName(const std::string& runtimeBinPath) {
  return runtimeBinPath + "\\wrun32.exe";
}

bool SetRunAsAdminCompatFlagsIn(HKEY root, const std::string& persistedKey,
                                const std::string& layersKey, const std::string& valueName) {
  RegKey persisted;
  if (RegCreateKeyA(root, persistedKey.c_str(), persisted.out()) != ERROR_SUCCESS) return false;
  const DWORD two = 2;
  if (RegSetValueExA(persisted.get(), valueName.c_str(), 0, REG_DWORD,
                     reinterpret_cast<const BYTE*>(&two), sizeof(two)) != ERROR_SUCCESS)
    return false;
  RegKey layers;
  if (RegCreateKeyA(root, layersKey.c_str(), layers.out()) != ERROR_SUCCESS) return false;
  static const char kLayer[] = "ELEVATECREATEPROCESS";
  return RegSetValueExA(layers.get(), valueName.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(kLayer), sizeof(kLayer)) == ERROR_SUCCESS;
}

bool SetRunAsAdminCompatFlags() {
  return SetRunAsAdminCompatFlagsIn(HKEY_CURRENT_USER, kCompatPersistedKey, kCompatLayersKey,
                                    CompatValueName(g_app->m_setting->runtimeBinPath));
}

bool RemoveVexFromAutorunIn(HKEY root, const std::string& runKey) {
  RegKey run;
  if (RegOpenKeyExA(root, runKey.c_str(), 0, KEY_ALL_ACCESS, run.out()) != ERROR_SUCCESS)
    return false;
  if (RegDeleteValueA(run.get(), "Vex") == ERROR_SUCCESS)
    Log("[  INFO] Vex removed from autorun");
  else
    Log("[* WARN] Vex NOT removed from autorun");
  return true;
}

bool RemoveVexFromAutorun() { return RemoveVexFromAutorunIn(HKEY_CURRENT_USER, kAutorunKey); }

void RepairVexExecutableIn(const std::string& desktopAppBin, const std::string& vexBin) {
  const std::string source = desktopAppBin + "vex.exe";
  const std::string destination = vexBin + "vex.exe";
  if (!FileExists(source)) {
    Log("[* WARN] Vex fake source not found");
    return;
  }
  if (!FileExists(destination)) {
    Log("[  INFO] Vex regular not found");
    return;
  }
  const std::string failure = ReplaceWithCopy(source, destination);
  if (failure.empty())
    Log("[  INFO] Vex fake fixed");
  else
    Log("[* WARN] Vex fake NOT fixed, " + destination + " left as it was -> " + failure);
  const std::string leftover = vexBin + "new_vex.exe";
  if (FileExists(leftover)) {
    DeleteFileA(leftover.c_str());
    Log("[  INFO] Vex new executable deleted");
  }
}

void RepairVexExecutable() { RepairVexExecutableIn(GetDesktopAppBinPath(), GetVexBinPath()); }
