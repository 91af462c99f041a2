// WIZ_BEFOREINSTALL: shows the office folder; Next makes and opens the
// folders the install needs, probes write access and free space, prepares the
// register folder and resets the user's workstation row that is not valid.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <string>
#include <vector>

#include "app.h"
#include "file_utils.h"
#include "hyperlink.h"
#include "log.h"
#include "office_decisions.h"
#include "pages.h"
#include "permissions.h"
#include "resource.h"
#include "shared_info.h"
#include "sheet.h"
#include "text_utils.h"

namespace {


// Creates the folder and opens it to every local user.
void PrepareFolder(const std::string& folder) {
  CreateDirectoryTree(folder);
  SetFolderPermissions(folder);
  SetAttributesRecursive(folder);
}

std::string WindowsFolder() {
  std::vector<char> buffer(1024, '\0');
  const UINT length = GetWindowsDirectoryA(buffer.data(), static_cast<UINT>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return std::string();
  return std::string(buffer.data(), length);
}

void NoWriteAccess(HWND page, const std::string& folder) {
  ShowBox(page,
          "Non si dispone dei privilegi di scrittura sulla cartella di destinazione " + folder +
              ". Controllare le impostazioni e riprovare.",
          kWarningCaption, MB_OK | MB_ICONWARNING);
}

LONG_PTR Next(HWND page) {
  CSetting& s = *g_app->m_setting;
  const InstallRecord& current = s.current;

  const std::string office = WithBackslash(current.rootPath);
  Log("[  INFO] Setting privileges and attributes on -> " + office);
  // A folder that is there already is left as it is.
  if (!IsDirectory(office)) {
    PrepareFolder(office);
    if (!CanWriteToFolder(office)) {
      Log("[* WARN] Not enough privileges for Korval -> " + current.rootPath);
      NoWriteAccess(page, current.rootPath);
      return -1;
    }
  }

  const std::string platform = office + s.platformName + "\\";
  Log("[  INFO] Setting privileges and attributes on -> " + platform);
  PrepareFolder(platform);

  CreateDirectoryTree(GetDesktopAppBinPath());
  const std::string desktopApp = GetDesktopAppPath();
  Log("[  INFO] Setting privileges and attributes on -> " + desktopApp);
  SetFolderPermissions(desktopApp);
  const std::string windows = WindowsFolder();
  if (!CanWriteToFolder(desktopApp)) {
    Log("[* WARN] Not enough privileges for DesktopApp -> " + desktopApp);
    ShowBox(page,
            "L'installazione della Piattaforma ZAN richiede i privilegi di scrittura sulla "
            "cartella " + windows.substr(0, 3) + "ZAN" +
                ". Controllare le impostazioni e riprovare.",
            kWarningCaption, MB_OK | MB_ICONWARNING);
    return -1;
  }

  const auto refused = FirstRefusedSpaceCheck(
      FreeSpaceChecks(current.rootPath, windows, current.anno, s.platformName),
      [&s](const std::string& path, uint32_t required) { return s.CheckDiskSpace(path, required); });
  if (refused) {
    Log(SpaceRefusalLog(*refused));
    ShowBox(g_app->m_hwndPage, SpaceRefusalText(*refused, windows), kWarningCaption,
            MB_OK | MB_ICONERROR);
    return -1;
  }

  Log("[  INFO] Korval install path confirmed -> " + current.rootPath);
  Log("[  INFO] DesktopApp install path confirmed -> " + desktopApp);

  const std::string shared = current.rootPath + "ZAN_Shared\\";
  CreateDirectoryTree(shared);
  Log("[  INFO] Setting privileges and attributes on -> " + shared);
  SetFolderPermissions(shared);
  SetAttributesRecursive(shared);
  if (!CanWriteToFolder(shared)) {
    Log("[* WARN] Not enough privileges for SharedInfo folder -> " + shared);
    NoWriteAccess(page, current.rootPath);
    return -1;
  }

  const std::string registerPath = shared + "SharedInfo";
  bool found = false;
  ExistValidInstall(registerPath, current.pm, StringToInt(s.year), &found);
  // The row looked up is the platform year's: remove it only when that is the
  // year being installed, else a valid row of the earlier year, which the
  // final page copies forward, would go.
  if (ShouldRemoveWorkpoint(found, current.notPending, current.anno, s.year)) {
    const int result = RemoveWorkpoint(registerPath, current.pm, current.anno);
    if (result == 0) {
      Log("[  INFO] Existant pdl has been deleted. Proceed with installation.");
    } else {
      Log("[**  ERR] Existant pdl hasn't been deleted -> " + IntToString(result));
      ShowBox(page,
              "Si e' verificato un errore durante la reimpostazione del posto di lavoro. "
              "Contattare l'assistenza.",
              kWarningCaption, MB_OK | MB_ICONERROR);
    }
  }
  return 0;
}

}  // namespace

INT_PTR CALLBACK WizBeforeInstallDlgProc(HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_NOTIFY) return FALSE;
  switch (reinterpret_cast<const NMHDR*>(lParam)->code) {
    case PSN_SETACTIVE:
      PageActivated(hwnd, PageBeforeInstall, 0);
      SetDlgItemTextA(hwnd, IDC_INSTALL_PATH, g_app->m_setting->current.rootPath.c_str());
      return PageAnswer(hwnd, 0);
    case PSN_WIZNEXT:
      return PageAnswer(hwnd, Next(hwnd));
    case PSN_WIZBACK:
      return PageAnswer(hwnd, OfficePageTemplate(g_app->m_setting->current.isNewOffice));
    case PSN_HELP:
      OpenInstallationGuide();
      return TRUE;
  }
  return FALSE;
}
