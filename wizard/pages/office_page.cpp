// WIZ_PMSELECT: the installations found in the offices' registers, the pick
// of one of them (with the drive mapping of a share) or "Nuovo Ufficio".
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <string>

#include "app.h"
#include "drive_mapping.h"
#include "file_utils.h"
#include "hyperlink.h"
#include "lock_file.h"
#include "log.h"
#include "office_decisions.h"
#include "office_list.h"
#include "pages.h"
#include "permissions.h"
#include "resource.h"
#include "share_discovery.h"
#include "shared_info.h"
#include "sheet.h"
#include "text_utils.h"

namespace {

constexpr LONG_PTR kStay = -1;

void InitPage(HWND page) {
  CSetting& s = *g_app->m_setting;
  SetTahomaFont(page, IDC_PM_LIST, 16, 400);
  char prompt[261] = {};
  GetDlgItemTextA(page, IDC_PMSELECT_PROMPT, prompt, sizeof(prompt));
  std::string text = prompt;
  if (text.size() > 5 && ReplaceString(text, "<year>", s.year, &text))
    SetDlgItemTextA(page, IDC_PMSELECT_PROMPT, text.c_str());
  FillPmList(GetDlgItem(page, IDC_PM_LIST));
  ConvertStaticToHyperlink(page, IDC_GUIDE_LINK);
}

void Activate(HWND page) {
  CSetting& s = *g_app->m_setting;
  // Back would lead to a start page that chose this road for these records.
  const DWORD buttons = s.HasDiskScanRecords() || s.HasPendingSharedInfoRecord()
                            ? PSWIZB_NEXT
                            : PSWIZB_BACK | PSWIZB_NEXT;
  PageActivated(page, PagePmSelect, buttons);
  g_app->m_hwndPage = page;
  if (!g_app->DiscoveryRunning()) {
    ShowWindow(GetDlgItem(page, IDC_DISCOVERY_BITMAP), SW_HIDE);
    ShowWindow(GetDlgItem(page, IDC_DISCOVERY_TEXT), SW_HIDE);
  }
}

void NewOffice(HWND page) {
  ResetAsNewOffice(g_app->m_setting->current);
  SendMessageA(GetParent(page), PSM_SETCURSEL, 0,
               reinterpret_cast<LPARAM>(g_app->m_pages[PagePmNew]));
}

// A picked installation on a share: map a drive to it and make every record
// of that share name the drive. False after the box when no drive was made.
bool MapPickedShare(HWND page, const InstallRecord& picked) {
  CSetting& s = *g_app->m_setting;
  Log("[  INFO] User selected a net share not mapped, ask if wants to create a net mapping unit");
  std::string drive;
  if (!MapNetworkDrive(s.current.rootPath, &drive)) {
    Log("[* WARN] Unit creation error");
    ShowBox(page, "Si e' verificato un problema durante la creazione dell'unita' di rete.",
            kWarningCaption, MB_OK | MB_ICONWARNING);
    return false;
  }
  drive = WithBackslash(drive);
  Log("[  INFO] Unit created as " + drive);
  for (const std::string& line : RewriteUncPaths(s.sharedInfoRecords,
                                                 WithBackslash(s.current.rootPath), drive))
    Log(line);
  s.current.platformPath = picked.platformPath;
  s.current.rootPath = picked.rootPath;
  s.current.sharedInfoPath = picked.sharedInfoPath;
  s.installRoot = s.current.rootPath;
  // The sheet re-sorts and refills the list once this handler has returned.
  SendMessageA(g_app->m_hwndSheet, WM_SHARE_FOUND, 0, 0);
  return true;
}

std::string InstalledQuestion(const std::string& anno, const std::string& pm,
                              const std::string& what) {
  return "La Piattaforma ZAN " + anno + " per l'Ufficio Autorizzato " + pm + " risulta gia' " +
         "installata.\n\n" + "Procedere alla creazione " + what + " in Piattaforma?";
}

// The Next decision tree; the page result.
LONG_PTR Next(HWND page) {
  CSetting& s = *g_app->m_setting;
  InstallRecord& current = s.current;
  const int index = static_cast<int>(SendDlgItemMessageA(page, IDC_PM_LIST, LB_GETCURSEL, 0, 0));
  Log("[  INFO] Index -> " + IntToString(index));
  if (index < 0 || static_cast<size_t>(index) >= s.sharedInfoRecords.size()) {
    Log("[  INFO] User didn't selected any pm");
    ShowBox(page,
            "Cliccare il Codice Ufficio per il quale installare la Piattaforma ZAN " + s.year +
                " e poi premere Avanti.",
            kWarningCaption, MB_OK | MB_ICONWARNING);
    return kStay;
  }
  // The record itself, not its index, for the whole handler: boxes below
  // pump messages, and a share found meanwhile may add records (the sheet
  // keeps the sort and de-duplication for after this handler).
  const InstallRecord* const picked = s.sharedInfoRecords[index].get();

  if (CheckLockFile(page, picked->rootPath) < 0) return kStay;

  if (const InstallRecord* newer = NewerYearEntry(s.sharedInfoRecords, picked)) {
    Log("[  INFO] Installation already updated -> " + QuoteSharedText(picked->pm) + " -> " +
        QuoteSharedText(picked->anno) + " -> " + QuoteSharedText(picked->rootPath));
    ShowBox(page,
            "La Piattaforma ZAN " + newer->anno + " " + "per l'Ufficio Autorizzato " +
                picked->pm + " " + "risulta gia' installata.",
            kWarningCaption, MB_OK | MB_ICONWARNING);
    return kStay;
  }

  TakePickedRecord(current, *picked);
  s.installRoot = current.rootPath;

  if (IsUncPath(current.rootPath) && !MapPickedShare(page, *picked)) return IDD_WIZ_PMSELECT;

  if (current.anno != s.year) {
    Log("[  INFO] Korval installed but not updated -> " + QuoteSharedText(current.pm) + " -> " +
        QuoteSharedText(current.anno));
    Log("[  INFO] Korval path -> " + QuoteSharedText(current.rootPath));
    return IDD_WIZ_BEFOREINSTALL;
  }

  const std::string registerPath = RegisterPathOf(current);
  bool found = false;
  ExistValidInstall(registerPath, current.pm, StringToInt(s.year), &found);
  if (found) {
    Log("[  INFO] Installation already active -> " + QuoteSharedText(current.pm) + " -> " +
        QuoteSharedText(current.anno) + " -> " + (current.notPending ? "OK" : "NOT VALID"));
    // A row marked not valid is reset on the pre-install page.
    if (!current.notPending) return IDD_WIZ_BEFOREINSTALL;
    const int answer = ShowBox(page, InstalledQuestion(current.anno, picked->pm, "dell'icona di accesso"),
                               kWarningCaption, MB_YESNO | MB_ICONQUESTION);
    return answer == IDYES ? IDD_WIZ_INSTALL : IDD_WIZ_PMSELECT;
  }

  Log("[  INFO] Korval updated, going to create a new pdl -> " + QuoteSharedText(current.pm));
  const int answer = ShowBox(
      page, InstalledQuestion(current.anno, picked->pm, "del posto di lavoro e dell'icona di accesso"),
      kWarningCaption, MB_YESNO | MB_ICONQUESTION);
  if (answer != IDYES) {
    Log("[  INFO] User choose NOT to create a new pdl");
    return IDD_WIZ_PMSELECT;
  }
  Log("[  INFO] User choose to create a new pdl");
  const std::string folder = FolderOfFile(registerPath);
  if (CreateDirectoryTree(folder)) Log("[* WARN] SharedInfo dir created -> " + folder);
  Log("[  INFO] Setting privileges and attributes on -> " + folder);
  SetFolderPermissions(folder);
  SetAttributesRecursive(folder);
  if (!CanWriteToFolder(folder)) {
    Log("[* WARN] Not enough privileges -> " + registerPath);
    ShowBox(page,
            "Non si dispone dei privilegi di scrittura sulla cartella di destinazione. "
            "Controllare le impostazioni e riprovare.",
            kWarningCaption, MB_OK | MB_ICONWARNING);
    return IDD_WIZ_PMSELECT;
  }
  return IDD_WIZ_BEFOREINSTALL;
}

}  // namespace

INT_PTR CALLBACK WizPmSelectDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      InitPage(hwnd);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_PM_LIST && HIWORD(wParam) == LBN_DBLCLK)
        PostMessageA(GetParent(hwnd), PSM_PRESSBUTTON, PSBTN_NEXT, 0);
      else if (LOWORD(wParam) == IDC_GUIDE_LINK)
        OpenInstallationGuide();
      else if (LOWORD(wParam) == IDC_NEW_OFFICE && HIWORD(wParam) == BN_CLICKED)
        NewOffice(hwnd);
      return FALSE;
    case WM_NOTIFY:
      switch (reinterpret_cast<const NMHDR*>(lParam)->code) {
        case PSN_SETACTIVE:
          Activate(hwnd);
          return PageAnswer(hwnd, 0);
        case PSN_WIZNEXT:
          return PageAnswer(hwnd, Next(hwnd));
        case PSN_HELP:
          OpenInstallationGuide();
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}
