// WIZ_INSTALL: checks and writes the office's lock file, then runs the install
// chain (or the restore chain) with the wait cursor and no way back; a
// confirmed Cancel deletes the downloaded packages.
#include <windows.h>

#include <commctrl.h>
#include <prsht.h>

#include <string>

#include "app.h"
#include "hyperlink.h"
#include "lock_file.h"
#include "office_decisions.h"
#include "log.h"
#include "pages.h"
#include "resource.h"
#include "sheet.h"
#include "install/unpack_threads.h"

namespace {

// How long a confirmed Cancel waits for an unpack thread to reach a point
// where it holds nothing and writes nothing.
constexpr DWORD kUnpackStopWait = 3000;

void OnSetActive(HWND page) {
  PageActivated(page, PageInstall, 0);
  CSetting& setting = *g_app->m_setting;
  // The lock check: -1 the user stops (back to the office page), 0 no lock
  // file, 1 one found that the user goes on with.
  switch (CheckLockFile(page, setting.current.rootPath)) {
    case -1:
      SetPageResult(page, OfficePageTemplate(setting.current.isNewOffice));
      return;
    case 0:
      Log("[  INFO] Created lock file");
      WriteLockFile(setting.current.rootPath, setting.current.pdl);
      break;
    default:
      Log("[* WARN] Lock file not created because already exists");
      break;
  }
  g_app->m_hwndPage = page;
  SendMessageA(page, WM_SETCURSOR, reinterpret_cast<WPARAM>(page), MAKELPARAM(HTCLIENT, 0));
  PostMessageA(g_app->m_hwndSheet, PSM_SETWIZBUTTONS, 0, PSWIZB_DISABLEDFINISH);
  if (g_app->m_restoreMode) {
    SetDlgItemTextA(page, IDC_INSTALL_GROUP, "Ripristino in corso");
    g_app->RestorePhase();
  } else {
    SetDlgItemTextA(page, IDC_INSTALL_GROUP, "Installazione in corso");
    g_app->InstallPhase1();
  }
  // Last, as the cursor message and the chain's boxes write the same result.
  SetPageResult(page, 0);
}

void DeletePackagesThatOpen() {
  for (const std::string* package :
       {&g_app->m_tempKorvalPackage, &g_app->m_tempDesktopAppPackage, &g_app->m_tempSetupPackage})
    if (FileOpens(*package)) DeleteFileA(package->c_str());
}

// PSN_QUERYCANCEL: TRUE keeps the sheet open.
BOOL OnQueryCancel(HWND page) {
  if (ShowBox(page, "Sei sicuro di voler interrompere l'installazione?", "Attenzione",
              MB_YESNO | MB_ICONQUESTION) != IDYES)
    return TRUE;
  if (!UnpackRunning()) {
    DeletePackagesThatOpen();
    return FALSE;
  }
  // An unpack thread writes files and sends messages to this page: it is
  // stopped first, so that nothing it reads is deleted under it, and the run
  // ends here, so that no exit handler runs while it exists. A package it
  // still holds open stays and is deleted when the next run starts.
  StopUnpacking(kUnpackStopWait);
  DeletePackagesThatOpen();
  Log("[* WARN] Installation cancelled during unpacking, run ended");
  EndRun(0);
}

}  // namespace

INT_PTR CALLBACK WizInstallDlgProc(HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetDlgItemTextA(hwnd, IDC_PHASE_LABEL, "");
      SetDlgItemTextA(hwnd, IDC_PERCENT_TEXT, "");
      return TRUE;
    case WM_SETCURSOR:
      SetCursor(LoadCursor(nullptr, IDC_WAIT));
      SetPageResult(hwnd, TRUE);
      return TRUE;
    case WM_NOTIFY: {
      const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
      switch (header->code) {
        case PSN_SETACTIVE:
          OnSetActive(hwnd);
          return TRUE;
        case PSN_HELP:
          OpenInstallationGuide();
          return TRUE;
        case PSN_QUERYCANCEL:
          SetPageResult(hwnd, OnQueryCancel(hwnd));
          return TRUE;
      }
      break;
    }
  }
  return FALSE;
}
