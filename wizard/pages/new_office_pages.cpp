// WIZ_PMNEW (a new office code and its password field), WIZ_SELECTUNIT (the
// drive of its folder) and the check of that folder against the
// installations found.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app.h"
#include "file_utils.h"
#include "hyperlink.h"
#include "log.h"
#include "office_decisions.h"
#include "pages.h"
#include "resource.h"
#include "sheet.h"
#include "text_utils.h"

namespace {

// The password field's width in INSTALLA.MOD: every reader takes eight bytes.
constexpr int kPasswordWidth = 8;

std::string ItemText(HWND page, int id, int maxChars) {
  std::vector<char> buffer(maxChars + 1, '\0');
  GetDlgItemTextA(page, id, buffer.data(), maxChars + 1);
  return buffer.data();
}

// The code edit changed (typing, or the code written back on activation): the
// code keeps five characters, and the folder follows it.
void OfficeCodeEdited(HWND page) {
  CSetting& s = *g_app->m_setting;
  if (!s.sharedInfoRecords.empty() && !s.current.isNewOffice) return;
  std::string text = ItemText(page, IDC_OFFICE_CODE, 6);
  if (text.size() > 5) {
    text = CutOfficeCode(text);
    SetDlgItemTextA(page, IDC_OFFICE_CODE, text.c_str());
    SendDlgItemMessageA(page, IDC_OFFICE_CODE, EM_SETSEL, text.size(), text.size());
  }
  s.current.pm = text;
  const OfficeFolder folder = NewOfficeFolder(s.current.basePath, text);
  s.current.rootPath = folder.rootPath;
  s.current.platformPath = folder.platformPath;
}

LONG_PTR PmNewNext(HWND page) {
  CSetting& s = *g_app->m_setting;
  s.current.anno.clear();
  s.current.isNewOffice = true;
  const std::string code = ItemText(page, IDC_OFFICE_CODE, 19);
  std::string padded;
  const NewCodeVerdict verdict = CheckNewOfficeCode(code, s.sharedInfoRecords, &padded);
  if (verdict == NewCodeVerdict::kInvalid) {
    Log("[* WARN] Invalid PM inserted -> " + code);
    ShowBox(page, "ATTENZIONE!!\n\nIl codice ufficio NON E' VALIDO!", kWarningCaption,
            MB_OK | MB_ICONERROR);
    return IDD_WIZ_PMNEW;
  }
  s.current.pm = padded;
  s.current.pwd = ItemText(page, IDC_OFFICE_PASSWORD, kPasswordWidth);
  if (verdict == NewCodeVerdict::kAlreadyFound) {
    Log("[* WARN] New PM already existant -> " + s.current.pm);
    ShowBox(page, "ATTENZIONE!!\n\nL'ufficio autorizzato e' gia' stato rilevato!", kWarningCaption,
            MB_OK | MB_ICONERROR);
    return IDD_WIZ_PMSELECT;
  }
  // The register takes no workstation without it: refused here, not after
  // the whole download.
  if (s.current.pwd.empty()) {
    Log("[* WARN] Empty password inserted");
    ShowBox(page, "ATTENZIONE!!\n\nLa password NON E' VALIDA!", kWarningCaption, MB_OK | MB_ICONERROR);
    return IDD_WIZ_PMNEW;
  }
  return 0;
}

void FillDrives(HWND page) {
  const CSetting& s = *g_app->m_setting;
  HWND combo = GetDlgItem(page, IDC_DRIVE_COMBO);
  const auto entries = DriveEntries(
      s.drives, [](const std::string& root) { return GetDriveTypeA(root.c_str()); },
      s.systemDriveRoot);
  for (const DriveEntry& entry : entries)
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.text.c_str()));
  // Selected once all are in: the combo sorts, so indices move while filling.
  for (const DriveEntry& entry : entries) {
    if (!entry.selected) continue;
    const LRESULT at = SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                    reinterpret_cast<LPARAM>(entry.text.c_str()));
    if (at != CB_ERR) SendMessageA(combo, CB_SETCURSEL, at, 0);
  }
}

std::string SelectedDriveText(HWND page) {
  HWND combo = GetDlgItem(page, IDC_DRIVE_COMBO);
  const LRESULT selected = SendMessageA(combo, CB_GETCURSEL, 0, 0);
  if (selected == CB_ERR) return std::string();
  const LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, selected, 0);
  if (length == CB_ERR) return std::string();
  std::vector<char> buffer(length + 1, '\0');
  SendMessageA(combo, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(buffer.data()));
  return buffer.data();
}

// The folder beside the drive list: the chosen drive's (the system drive's
// until one is chosen).
void ShowInstallPath(HWND page) {
  const CSetting& s = *g_app->m_setting;
  const auto choice = ChooseDrive(SelectedDriveText(page), s.current.pm);
  const std::string folder =
      choice ? choice->folder : s.systemDriveRoot + "\\ZAN\\PM" + s.current.pm;
  SetDlgItemTextA(page, IDC_INSTALL_PATH, folder.c_str());
}

LONG_PTR SelectUnitNext(HWND page) {
  CSetting& s = *g_app->m_setting;
  const auto choice = ChooseDrive(SelectedDriveText(page), s.current.pm);
  if (!choice) {
    // Without a letter the folder would read ":\ZAN\PM.....": wait for a drive.
    Log("[* WARN] No drive selected for the installation");
    return -1;
  }
  if (!g_app->CheckInstallRequirements(choice->folder)) return -1;
  s.current.rootPath = choice->folder + "\\";
  s.current.basePath = choice->basePath;
  return 0;
}

}  // namespace

INT_PTR CALLBACK WizPmNewDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetTahomaFont(hwnd, IDC_OFFICE_CODE, 16, 700);
      SetTahomaFont(hwnd, IDC_OFFICE_PASSWORD, 16, 700);
      SendDlgItemMessageA(hwnd, IDC_OFFICE_PASSWORD, EM_SETLIMITTEXT, kPasswordWidth, 0);
      ConvertStaticToHyperlink(hwnd, IDC_PMNEW_GUIDE_LINK);
      ResetAsNewOffice(g_app->m_setting->current);
      return TRUE;
    case WM_COMMAND:
      // Text changes only: the focus leaving the edit after Next would put
      // the unpadded code back in place of the padded one.
      if (LOWORD(wParam) == IDC_OFFICE_CODE && HIWORD(wParam) == EN_CHANGE)
        OfficeCodeEdited(hwnd);
      else if (LOWORD(wParam) == IDC_PMNEW_GUIDE_LINK)
        OpenInstallationGuide();
      return FALSE;
    case WM_NOTIFY:
      switch (reinterpret_cast<const NMHDR*>(lParam)->code) {
        case PSN_SETACTIVE: {
          PageActivated(hwnd, PagePmNew, PSWIZB_BACK | PSWIZB_NEXT);
          g_app->m_hwndPage = hwnd;
          const InstallRecord& current = g_app->m_setting->current;
          // Writing the code runs the edit handler: the folder follows the drive.
          SetDlgItemTextA(hwnd, IDC_OFFICE_CODE, current.pm.c_str());
          SetDlgItemTextA(hwnd, IDC_OFFICE_PASSWORD, current.pwd.c_str());
          return PageAnswer(hwnd, 0);
        }
        case PSN_WIZNEXT:
          return PageAnswer(hwnd, PmNewNext(hwnd));
        case PSN_HELP:
          OpenInstallationGuide();
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

INT_PTR CALLBACK WizSelectUnitDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      ConvertStaticToHyperlink(hwnd, IDC_GUIDE_LINK);
      FillDrives(hwnd);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_GUIDE_LINK) OpenInstallationGuide();
      if (LOWORD(wParam) == IDC_DRIVE_COMBO && HIWORD(wParam) == CBN_SELCHANGE)
        ShowInstallPath(hwnd);
      return FALSE;
    case WM_NOTIFY:
      switch (reinterpret_cast<const NMHDR*>(lParam)->code) {
        case PSN_SETACTIVE: {
          PageActivated(hwnd, PageSelectUnit, 0);
          g_app->m_hwndPage = hwnd;
          ShowInstallPath(hwnd);
          return PageAnswer(hwnd, 0);
        }
        case PSN_WIZNEXT:
          return PageAnswer(hwnd, SelectUnitNext(hwnd));
        case PSN_WIZBACK:
          return PageAnswer(hwnd, OfficePageTemplate(g_app->m_setting->current.isNewOffice));
        case PSN_HELP:
          OpenInstallationGuide();
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

bool CApp::CheckInstallRequirements(const std::string& folder) {
  InstallRecord& current = m_setting->current;
  current.rootPath = WithBackslash(folder);
  const InstallConflict conflict =
      FindInstallConflict(m_setting->sharedInfoRecords, current.rootPath, current.pm);
  if (conflict.kind == InstallConflictKind::kFolderOfOtherCode) {
    Log("[* WARN] Install requirements check failed path -> " + current.rootPath);
    Log("[* WARN] Already existant path -> " + QuoteSharedText(conflict.recordRootPath));
    Log("[* WARN] Current uacode -> " + QuoteSharedText(current.pm));
    Log("[* WARN] Uacode existant in path -> " + QuoteSharedText(conflict.recordPm));
    ShowBox(m_hwndSheet,
            "ATTENZIONE!!\n\nE' stata rilevata una incongruenza tra il codice ufficio e la "
            "cartella di installazione indicati.",
            kWarningCaption, MB_OK | MB_ICONERROR);
    return false;
  }
  if (conflict.kind == InstallConflictKind::kCodeElsewhere) {
    Log("[* WARN] Current uacode -> " + QuoteSharedText(current.pm));
    Log("[* WARN] Uacode already existant in path -> " + QuoteSharedText(conflict.recordPm));
    ShowBox(m_hwndSheet,
            "ATTENZIONE!\n\nSono state individuate piu' installazioni del Codice Ufficio " +
                conflict.recordPm +
                ".\n\nPer continuare l'installazione e' necessario contattare l'assistenza ZAN "
                "(Tel. 0999 123456).",
            kWarningCaption, MB_OK | MB_ICONERROR);
    return false;
  }
  if (GetDriveTypeA(current.rootPath.substr(0, 3).c_str()) == DRIVE_REMOTE)
    Log("[  INFO] Network installation detected");
  else
    Log("[  INFO] Local installation detected");
  return true;
}
