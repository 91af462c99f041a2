// The start pages: WIZ_REQNETFWNOTMET (installs the .NET Framework 4.8 and
// ends the run), WIZ_START (welcome, update check, invalid-configuration
// question, the choice of task) and WIZ_NOTSUPPORTED (taken out of the sheet
// before it can be shown).
#include "start_pages.h"

#include <commctrl.h>
#include <prsht.h>

#include "app.h"
#include "file_utils.h"
#include "hyperlink.h"
#include "log.h"
#include "office_decisions.h"
#include "pages.h"
#include "process_checks.h"
#include "resource.h"
#include "share_discovery.h"
#include "shared_info.h"
#include "sheet.h"
#include "system_utils.h"
#include "text_utils.h"

#ifndef PSWIZB_CANCEL
#define PSWIZB_CANCEL 0x00000010
#endif

StartPageRemovals DecideStartPageRemovals(bool notSupportedRemoved, bool pmSelectRemoved,
                                          bool anyRecord, bool discoveryRunning) {
  StartPageRemovals removals;
  removals.notSupported = !notSupportedRemoved;
  removals.pmSelect = !anyRecord && !discoveryRunning && !pmSelectRemoved;
  // Once WIZ_NOTSUPPORTED is gone (now or earlier) WIZ_PMSELECT moves up.
  removals.pmSelectPosition = 2;
  return removals;
}

bool HasRecordOfYear(const InstallRecordList& records, const std::string& year) {
  for (const auto& record : records)
    if (record->anno == year) return true;
  return false;
}

int PickRestoreRecord(const InstallRecordList& records, const std::string& year,
                      const std::function<bool(const InstallRecord&)>& restorable) {
  int first = -1;
  for (size_t i = 0; i < records.size(); ++i) {
    if (!restorable(*records[i])) continue;
    if (records[i]->anno == year) return static_cast<int>(i);
    if (first < 0) first = static_cast<int>(i);
  }
  return first;
}

void MakeCurrentInstall(CSetting& setting, const InstallRecord& record) {
  TakePickedRecord(setting.current, record);
  setting.installRoot = WithBackslash(record.rootPath) + setting.platformName + "\\";
}

namespace {

// The invalid-configuration question is asked once per run.
bool g_invalidConfigAsked = false;

HWND Sheet(HWND page) { return GetParent(page); }

void BringToFront(HWND sheet) {
  SetWindowPos(sheet, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(sheet);
}

UINT NotifyCode(LPARAM lParam) { return reinterpret_cast<NMHDR*>(lParam)->code; }

// ---- WIZ_REQNETFWNOTMET

void ReqNetFwInit(HWND page) {
  SetTahomaFont(page, IDC_HEADING, 24, 400);
  g_app->SetSheetWindow(Sheet(page));
  g_app->m_hwndPage = page;
  PlaceWindow(Sheet(page), false);
  BringToFront(Sheet(page));
}

void ReqNetFwActive(HWND page) {
  PageActivated(page, PageReqNetFwNotMet, PSWIZB_NEXT | PSWIZB_CANCEL);
  SetSheetTitle(Sheet(page));
  HWND next = GetDlgItem(Sheet(page), IDC_SHEET_NEXT);
  SetWindowTextA(next, "Installa");
  SetFocus(next);
}

// Writes the web installer out and opens it (or its download page), then
// ends the run: the user starts the setup again afterwards.
[[noreturn]] void InstallNetFramework() {
  std::string installer;
  if (ExtractBinaryResource(IDR_NETFW_INSTALLER, "ndp48-web.exe", &installer))
    OpenWithShell(installer);
  else
    OpenNetFrameworkDownloadPage();
  EndRun(0);
}

// ---- WIZ_START

void StartInit(HWND page) {
  HWND sheet = Sheet(page);
  SubclassSheet(sheet);
  SetTahomaFont(page, IDC_HEADING, 24, 400);
  SetDlgItemTextA(page, IDC_INTRO_TEXT, LoadStr(IDS_START_TEXT).c_str());
  g_app->SetSheetWindow(sheet);
  g_app->m_hwndPage = page;
  if (g_app->DiscoveryRunning())
    SetTimer(sheet, 0, 450, nullptr);
  else
    SendMessageA(sheet, WM_SHARE_FOUND, 0, 0);
  PlaceWindow(sheet, false);
  g_app->CheckForUpdate();
  BringToFront(sheet);
}

void StartActive(HWND page) {
  CSetting* setting = g_app->m_setting;
  PageActivated(page, PageStart, PSWIZB_NEXT);
  SetSheetTitle(Sheet(page));
  if (!IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE))
    Log("[* WARN] SSE2 instruction not detected or check failed. Setup may crash.");
  if (!setting->HasDiskScanRecords() && !setting->HasPendingSharedInfoRecord()) return;

  for (const auto& record : setting->sharedInfoRecords)
    if (!record->notPending)
      Log("[* WARN] PM -> " + QuoteSharedText(record->pm) + " -> " +
          QuoteSharedText(record->platformPath) + " -> " + QuoteSharedText(record->assignee) +
          " -> " + QuoteSharedText(record->sharedInfoPath) + " -> INVALID");
  ShowWindow(page, SW_SHOW);
  ShowWindow(Sheet(page), SW_SHOW);
  if (!setting->HasPendingRecordForCurrentYear()) {
    Log("[  INFO] Invalid install detected but not for current year");
    return;
  }
  Log("[* WARN] Invalid install detected for current year");
  if (g_invalidConfigAsked) return;
  g_invalidConfigAsked = true;
  if (ShowBox(page,
              "ATTENZIONE!!\n\nE' stata rilevata una configurazione non valida, vuoi procedere "
              "con l'installazione?",
              "Attenzione", MB_YESNO | MB_ICONQUESTION) != IDYES) {
    Log("[* WARN] Not proceeding with wrong config installation");
    EndRun(1);
  }
  Log("[* WARN] Proceed with wrong config installation");
  if (!setting->diskScanRecords.empty()) {
    for (const auto& record : setting->diskScanRecords)
      setting->sharedInfoRecords.push_back(std::make_unique<InstallRecord>(*record));
    SortPmRecords(setting->sharedInfoRecords);
  }
  CheckRadioButton(page, IDC_TASK_INSTALL, IDC_TASK_RESTORE, IDC_TASK_INSTALL);
  PostMessageA(Sheet(page), PSM_PRESSBUTTON, PSBTN_NEXT, 0);
}

void RemoveStartPages(HWND sheet) {
  const StartPageRemovals removals =
      DecideStartPageRemovals(g_app->m_notSupportedRemoved, g_app->m_pmSelectRemoved,
                              !g_app->m_setting->sharedInfoRecords.empty(),
                              g_app->DiscoveryRunning());
  if (removals.notSupported) {
    SendMessageA(sheet, PSM_REMOVEPAGE, 2,
                 reinterpret_cast<LPARAM>(g_app->m_pages[PageNotSupported]));
    g_app->m_notSupportedRemoved = true;
  }
  if (removals.pmSelect) {
    SendMessageA(sheet, PSM_REMOVEPAGE, removals.pmSelectPosition,
                 reinterpret_cast<LPARAM>(g_app->m_pages[PagePmSelect]));
    g_app->m_pmSelectRemoved = true;
  }
}

// The restore's checks; the answer to the sheet (-1 or a template id).
LONG_PTR StartRestore(HWND page) {
  CSetting* setting = g_app->m_setting;
  const int picked =
      PickRestoreRecord(setting->sharedInfoRecords, setting->year, [](const InstallRecord& r) {
        bool found = false;
        return ExistValidInstall(r.sharedInfoPath, r.pm, StringToInt(r.anno), &found) ==
                   kSharedInfoOk &&
               found;
      });
  if (picked < 0) {
    ShowBox(page, "ATTENZIONE!!\n\nNon e' stata rilevata nessuna Piattaforma ZAN da ripristinare.",
            "Attenzione", MB_OK | MB_ICONWARNING);
    return -1;
  }
  if (IsKorvalRunning()) {
    AskToClosePlatform(page);
    return IDD_WIZ_START;
  }
  if (IsVexRunning(true)) Log("[* WARN] EE - Vex already running, terminated");
  if (IsDesktopAppRunning(true)) Log("[* WARN] EE - DesktopApp already running, terminated");
  // The record checked above: the boxes shown since cannot have changed the
  // list (share reports wait for this handler), so the index still holds.
  MakeCurrentInstall(*setting, *setting->sharedInfoRecords[picked]);
  g_app->m_restoreMode = true;
  return IDD_WIZ_INSTALL;
}

// Next on WIZ_START: the answer to the sheet (0 moves on).
LONG_PTR StartNext(HWND page) {
  const bool install = IsDlgButtonChecked(page, IDC_TASK_INSTALL) == BST_CHECKED;
  const bool addWorkstation = IsDlgButtonChecked(page, IDC_TASK_ADD_WORKSTATION) == BST_CHECKED;
  const bool restore = IsDlgButtonChecked(page, IDC_TASK_RESTORE) == BST_CHECKED;
  if (!install && !addWorkstation && !restore) {
    Log("[  INFO] No radio option selected");
    ShowBox(page, "ATTENZIONE!!\n\nSeleziona un'opzione per procedere.", "Attenzione",
            MB_OK | MB_ICONWARNING);
    return IDD_WIZ_START;
  }
  if (addWorkstation &&
      !HasRecordOfYear(g_app->m_setting->sharedInfoRecords, g_app->m_setting->year)) {
    ShowBox(page,
            "ATTENZIONE!!\n\nNon e' stata trovata nessuna Piattaforma ZAN " + g_year +
                " per cui creare un nuovo posto di lavoro.",
            "Attenzione", MB_OK | MB_ICONWARNING | MB_HELP);
    return -1;
  }
  RemoveStartPages(Sheet(page));
  if (restore) return StartRestore(page);
  return 0;
}

// ---- WIZ_NOTSUPPORTED

void NotSupportedInit(HWND page) {
  SetTahomaFont(page, IDC_NOTSUPPORTED_HEADING, 20, 700);
  SetDlgItemTextA(page, IDC_NOTSUPPORTED_TEXT, LoadStr(IDS_NOTSUPPORTED_TEXT).c_str());
  SetTahomaFont(page, IDC_NOTSUPPORTED_NOTICE, 13, 700);
  SetDlgItemTextA(page, IDC_NOTSUPPORTED_NOTICE, LoadStr(IDS_NOTSUPPORTED_NOTICE).c_str());
}

}  // namespace

INT_PTR CALLBACK WizReqNetFwNotMetDlgProc(HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ReqNetFwInit(hwnd);
    return TRUE;
  }
  if (message != WM_NOTIFY) return FALSE;
  switch (NotifyCode(lParam)) {
    case PSN_SETACTIVE:
      ReqNetFwActive(hwnd);
      SetPageResult(hwnd, 0);
      return TRUE;
    case PSN_WIZNEXT:
      InstallNetFramework();
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK WizStartDlgProc(HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    StartInit(hwnd);
    return TRUE;
  }
  if (message != WM_NOTIFY) return FALSE;
  switch (NotifyCode(lParam)) {
    case PSN_SETACTIVE:
      StartActive(hwnd);
      SetPageResult(hwnd, 0);
      return TRUE;
    case PSN_WIZNEXT:
      SetPageResult(hwnd, StartNext(hwnd));
      return TRUE;
    case PSN_HELP:
      OpenInstallationGuide();
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK WizNotSupportedDlgProc(HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    NotSupportedInit(hwnd);
    return TRUE;
  }
  if (message != WM_NOTIFY) return FALSE;
  switch (NotifyCode(lParam)) {
    case PSN_SETACTIVE:
      g_app->m_hwndPage = hwnd;
      PageActivated(hwnd, PageNotSupported, PSWIZB_BACK | PSWIZB_NEXT);
      SetPageResult(hwnd, 0);
      return TRUE;
    case PSN_HELP:
      OpenInstallationGuide();
      return TRUE;
    default:
      return FALSE;
  }
}
