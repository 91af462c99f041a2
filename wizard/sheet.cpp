// The wizard's property sheet: the page table and RunWizard, the conventions
// the pages share, the frame's subclass procedure (discovery indicator, share
// reports, help) and the exception guard.
#include "sheet.h"

#include <commctrl.h>
#include <prsht.h>
#include <shellapi.h>

#include <atomic>

#include "hyperlink.h"
#include "log.h"
#include "office_list.h"
#include "os_version.h"
#include "pages.h"
#include "resource.h"
#include "share_discovery.h"
#include "system_utils.h"
#include "vendor.h"

namespace {

// The thread that runs the wizard; guarded handlers are counted only there.
DWORD g_uiThread = GetCurrentThreadId();
int g_handlerDepth = 0;
// A share report changed the records while a handler ran: the sort and the
// refill wait for the outermost handler to return.
bool g_refreshPending = false;
// Set by the first fatal exception; a second one ends the run at once.
std::atomic<bool> g_fatal{false};

// The frame's own procedure, kept when WIZ_START subclasses it.
WNDPROC g_sheetProc = nullptr;
// The discovery indicators of WIZ_PMSELECT, once it was active during a tick.
HWND g_discoveryBitmap = nullptr;
HWND g_discoveryText = nullptr;
// The title the start pages gave the sheet; empty until then.
std::string g_sheetTitle;

const char* const kPageNames[kPageCount] = {
    "WIZ_REQNETFWNOTMET", "WIZ_START",         "WIZ_NOTSUPPORTED",
    "WIZ_PMSELECT",       "WIZ_PMNEW",         "WIZ_SELECTUNIT",
    "WIZ_BEFOREINSTALL",  "WIZ_INSTALL",       "WIZ_END",
};

// One row of the page table.
struct PageSpec {
  WORD templateId;
  DLGPROC procedure;
  DWORD flags;
  UINT headerTitle;  // string ids; 0 for the exterior pages
  UINT headerSubtitle;
};

constexpr DWORD kExteriorFlags = PSP_USETITLE | PSP_HIDEHEADER;
constexpr DWORD kInteriorFlags =
    PSP_USETITLE | PSP_HASHELP | PSP_USEHEADERTITLE | PSP_USEHEADERSUBTITLE;

const PageSpec kPageTable[kPageCount] = {
    {IDD_WIZ_REQNETFWNOTMET, PageDlgProc<WizReqNetFwNotMetDlgProc>, kExteriorFlags, 0, 0},
    {IDD_WIZ_START, PageDlgProc<WizStartDlgProc>, kExteriorFlags | PSP_HASHELP, 0, 0},
    {IDD_WIZ_NOTSUPPORTED, PageDlgProc<WizNotSupportedDlgProc>, kInteriorFlags,
     IDS_NOTSUPPORTED_TITLE, IDS_NOTSUPPORTED_SUBTITLE},
    {IDD_WIZ_PMSELECT, PageDlgProc<WizPmSelectDlgProc>, kInteriorFlags, IDS_PMSELECT_TITLE,
     IDS_PMSELECT_SUBTITLE},
    {IDD_WIZ_PMNEW, PageDlgProc<WizPmNewDlgProc>, kInteriorFlags, IDS_PMNEW_TITLE,
     IDS_PMNEW_SUBTITLE},
    {IDD_WIZ_SELECTUNIT, PageDlgProc<WizSelectUnitDlgProc>, kInteriorFlags,
     IDS_SELECTUNIT_TITLE, IDS_SELECTUNIT_SUBTITLE},
    {IDD_WIZ_BEFOREINSTALL, PageDlgProc<WizBeforeInstallDlgProc>, kInteriorFlags,
     IDS_INSTALL_TITLE, IDS_BEFOREINSTALL_SUBTITLE},
    {IDD_WIZ_INSTALL, PageDlgProc<WizInstallDlgProc>, kInteriorFlags, IDS_INSTALL_TITLE,
     IDS_INSTALL_SUBTITLE},
    {IDD_WIZ_END, PageDlgProc<WizEndDlgProc>, kExteriorFlags | PSP_HASHELP, 0, 0},
};

bool OnUiThread() { return GetCurrentThreadId() == g_uiThread; }

void DeleteIfOpens(const std::string& path) {
  if (!path.empty() && FileOpens(path)) DeleteFileA(path.c_str());
}

void SetVisible(HWND window, bool visible) {
  if (window && IsWindow(window)) ShowWindow(window, visible ? SW_SHOW : SW_HIDE);
}

// The control's own visibility, whatever its parents' (IsWindowVisible would
// read a control of a hidden page as hidden and never blink it off).
bool ShownItself(HWND window) {
  return (GetWindowLongPtrA(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

// The discovery timer: blink the indicator while the search runs, then stop,
// hide it and log the full list once.
void OnDiscoveryTick(HWND sheet) {
  if (g_app->m_pageIndex == PagePmSelect) {
    HWND page = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    g_discoveryBitmap = GetDlgItem(page, IDC_DISCOVERY_BITMAP);
    g_discoveryText = GetDlgItem(page, IDC_DISCOVERY_TEXT);
  }
  if (g_app->DiscoveryRunning()) {
    if (g_discoveryBitmap && IsWindow(g_discoveryBitmap))
      SetVisible(g_discoveryBitmap, !ShownItself(g_discoveryBitmap));
    return;
  }
  KillTimer(sheet, 0);
  SetVisible(g_discoveryBitmap, false);
  SetVisible(g_discoveryText, false);
  Log("[  INFO] Full list detected after net discovery");
  for (const auto& record : g_app->m_setting->sharedInfoRecords) Log(RecordLogLine(*record));
}

// A share found on the network (wParam its path) or a plain refresh (0).
void OnShareReport(WPARAM wParam, LPARAM lParam) {
  CSetting* setting = g_app->m_setting;
  if (wParam) {
    const size_t before = setting->sharedInfoRecords.size();
    setting->ReadSharedInfo(reinterpret_cast<const char*>(wParam), static_cast<int>(lParam));
    // Records are only appended here, so indices and pointers a page holds
    // stay right; the order changes only in the refresh.
    if (setting->sharedInfoRecords.size() == before) return;
  }
  // This procedure is one guarded handler; any other below it on this thread
  // is a page handler that may hold a list index across a box.
  if (HandlerDepth() > 1) {
    g_refreshPending = true;
    return;
  }
  RefreshOfficeList();
}

LRESULT SheetMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_HELP:
      OpenInstallationGuide();
      break;
    case WM_TIMER:
      OnDiscoveryTick(hwnd);
      break;
    case WM_SHARE_FOUND:
      OnShareReport(wParam, lParam);
      return 0;
    default:
      break;
  }
  if (!g_sheetProc) return DefWindowProcA(hwnd, message, wParam, lParam);
  return CallWindowProcA(g_sheetProc, hwnd, message, wParam, lParam);
}

}  // namespace

const char* PageName(int index) {
  return index >= 0 && index < kPageCount ? kPageNames[index] : "";
}

DLGPROC SheetPageProcedure(int index) {
  return index >= 0 && index < kPageCount ? kPageTable[index].procedure : nullptr;
}

void PageActivated(HWND page, PageIndex index, DWORD buttons) {
  Log(std::string("[  INFO] Sheet active -> ") + PageName(index));
  g_app->m_pageIndex = index;
  if (buttons) PostMessageA(GetParent(page), PSM_SETWIZBUTTONS, 0, buttons);
}

void SetPageResult(HWND page, LONG_PTR result) {
  SetWindowLongPtrA(page, DWLP_MSGRESULT, result);
}

INT_PTR PageAnswer(HWND page, LONG_PTR result) {
  SetPageResult(page, result);
  return TRUE;
}

void SetSheetTitle(HWND sheet) {
  g_sheetTitle =
      g_app->EnvironmentPrefix() + LoadStr(IDS_APP_TITLE) + " - " + g_app->m_osVersion->GetName();
  SendMessageA(sheet, PSM_SETTITLEA, 0, reinterpret_cast<LPARAM>(g_sheetTitle.c_str()));
}

void PageShown(HWND page) {
  HWND sheet = GetParent(page);
  if (reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)) != page) return;
  if (!g_sheetTitle.empty())
    SendMessageA(sheet, PSM_SETTITLEA, 0, reinterpret_cast<LPARAM>(g_sheetTitle.c_str()));
  RedrawWindow(sheet, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  // The keys go to the focused window. Turning off the button pressed (Next,
  // on the install page) leaves no focus at all, and the final page would
  // keep the install page's Cancel focused: the default button takes it.
  HWND focus = GetFocus();
  const bool onCancel = GetParent(focus) == sheet && GetDlgCtrlID(focus) == IDCANCEL;
  if (!focus || !IsWindowEnabled(focus) || !IsWindowVisible(focus) || onCancel) {
    const LRESULT defaultId = SendMessageA(sheet, DM_GETDEFID, 0, 0);
    SetFocus(GetDlgItem(sheet, HIWORD(defaultId) == DC_HASDEFID ? LOWORD(defaultId) : IDCANCEL));
  }
}

void SubclassSheet(HWND sheet) {
  if (reinterpret_cast<WNDPROC>(GetWindowLongPtrA(sheet, GWLP_WNDPROC)) == &WizSheetSubclassProc)
    return;
  g_sheetProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(sheet, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WizSheetSubclassProc)));
}

LRESULT CALLBACK WizSheetSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return Guarded([&] { return SheetMessage(hwnd, message, wParam, lParam); });
}

void FatalException(const char* what) {
  const std::string line = std::string("[**  ERR] Exception ") + (what ? what : "");
  // A second failure while the first one's box is open ends the run at once.
  if (g_fatal.exchange(true)) {
    Log(line);
    EndRun(kRunFailed);
  }
  EndRunWithBox(line, "Errore indefinito dell'applicazione.", "Errore", MB_TASKMODAL);
}

void EnterHandler() {
  if (OnUiThread()) ++g_handlerDepth;
}

void LeaveHandler() {
  if (!OnUiThread()) return;
  if (--g_handlerDepth > 0 || !g_refreshPending) return;
  HWND sheet = g_app ? g_app->m_hwndSheet : nullptr;
  if (sheet && PostMessageA(sheet, WM_SHARE_FOUND, 0, 0)) g_refreshPending = false;
}

int HandlerDepth() { return OnUiThread() ? g_handlerDepth : 0; }

int CApp::RunWizard(HINSTANCE instance, const std::string& cmdLine) {
  g_uiThread = GetCurrentThreadId();
  m_cmdLine = cmdLine;
  bool failed = false;
  try {
    failed = Initialize();
  } catch (...) {
    EndRunWithBox("[**  ERR] Exception occurred in app initialization",
                  "Errore indefinito dell'applicazione.", "Errore");
  }
  if (failed) {
    Log("[**  ERR] InitFailed");
    EndRun(0);
  }

  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  for (int i = 0; i < kPageCount; ++i) {
    const PageSpec& spec = kPageTable[i];
    PROPSHEETPAGEA page = {};
    page.dwSize = sizeof page;
    page.dwFlags = spec.flags;
    page.hInstance = instance;
    page.pszTemplate = MAKEINTRESOURCEA(spec.templateId);
    page.pfnDlgProc = SheetPageProcedure(i);
    page.pszTitle = "";
    page.pszHeaderTitle = MAKEINTRESOURCEA(spec.headerTitle);
    page.pszHeaderSubTitle = MAKEINTRESOURCEA(spec.headerSubtitle);
    m_pages[i] = CreatePropertySheetPageA(&page);
  }

  PROPSHEETHEADERA header = {};
  header.dwSize = sizeof header;
  // The bitmaps go as handles: Wine's sheet paints the header band and its
  // bitmap only then; Windows shows the same either way.
  header.dwFlags = PSH_WIZARD97 | PSH_WATERMARK | PSH_HEADER | PSH_USEHBMWATERMARK | PSH_USEHBMHEADER;
  header.hwndParent = nullptr;
  header.hInstance = instance;
  header.nPages = kPageCount;
  header.nStartPage = IsNetFramework48Installed() ? PageStart : PageReqNetFwNotMet;
  header.phpage = m_pages;
  header.hbmWatermark = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_WATERMARK));
  header.hbmHeader = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_HEADER));
  PropertySheetA(&header);

  DeleteIfOpens(m_tempKorvalPackage);
  DeleteIfOpens(m_tempDesktopAppPackage);
  DeleteIfOpens(m_tempSetupPackage);
  return 0;
}
