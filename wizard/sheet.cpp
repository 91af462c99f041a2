// The wizard's property sheet: the page table and RunWizard, the conventions
// the pages share, the frame's subclass procedure (discovery indicator, share
// reports, help), the office list, hyperlink statics and the exception guard.
#include "sheet.h"

#include <commctrl.h>
#include <prsht.h>
#include <shellapi.h>

#include <atomic>

#include "log.h"
#include "os_version.h"
#include "pages.h"
#include "resource.h"
#include "share_discovery.h"
#include "system_utils.h"
#include "vendor.h"

namespace {

// The boxes' function (a test may answer them itself).
MessageBoxFunction g_messageBox = &MessageBoxA;

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
// Records taken out of the list as duplicates. Never freed: a page handler
// may still hold one across its boxes.
InstallRecordList g_removedRecords;

// The string loader's one buffer.
char g_stringBuffer[1000];

const char kOriginalProc[] = "_Hyperlink_Original_Proc_";
const char kOriginalFont[] = "_Hyperlink_Original_Font_";
const char kUnderlineFont[] = "_Hyperlink_Underline_Font_";
const char kFromStatic[] = "_Hyperlink_From_Static_";

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
    {IDD_WIZ_REQNETFWNOTMET, GuardedDlgProc<WizReqNetFwNotMetDlgProc>, kExteriorFlags, 0, 0},
    {IDD_WIZ_START, GuardedDlgProc<WizStartDlgProc>, kExteriorFlags | PSP_HASHELP, 0, 0},
    {IDD_WIZ_NOTSUPPORTED, GuardedDlgProc<WizNotSupportedDlgProc>, kInteriorFlags,
     IDS_NOTSUPPORTED_TITLE, IDS_NOTSUPPORTED_SUBTITLE},
    {IDD_WIZ_PMSELECT, GuardedDlgProc<WizPmSelectDlgProc>, kInteriorFlags, IDS_PMSELECT_TITLE,
     IDS_PMSELECT_SUBTITLE},
    {IDD_WIZ_PMNEW, GuardedDlgProc<WizPmNewDlgProc>, kInteriorFlags, IDS_PMNEW_TITLE,
     IDS_PMNEW_SUBTITLE},
    {IDD_WIZ_SELECTUNIT, GuardedDlgProc<WizSelectUnitDlgProc>, kInteriorFlags,
     IDS_SELECTUNIT_TITLE, IDS_SELECTUNIT_SUBTITLE},
    {IDD_WIZ_BEFOREINSTALL, GuardedDlgProc<WizBeforeInstallDlgProc>, kInteriorFlags,
     IDS_INSTALL_TITLE, IDS_BEFOREINSTALL_SUBTITLE},
    {IDD_WIZ_INSTALL, GuardedDlgProc<WizInstallDlgProc>, kInteriorFlags, IDS_INSTALL_TITLE,
     IDS_INSTALL_SUBTITLE},
    {IDD_WIZ_END, GuardedDlgProc<WizEndDlgProc>, kExteriorFlags | PSP_HASHELP, 0, 0},
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

WNDPROC SavedProc(HWND window) {
  return reinterpret_cast<WNDPROC>(GetPropA(window, kOriginalProc));
}

LRESULT CallSaved(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC saved = SavedProc(window);
  if (!saved) return DefWindowProcA(window, message, wParam, lParam);
  return CallWindowProcA(saved, window, message, wParam, lParam);
}

LRESULT HyperlinkParentMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CTLCOLORSTATIC && GetPropA(reinterpret_cast<HWND>(lParam), kFromStatic)) {
    const LRESULT brush = CallSaved(hwnd, message, wParam, lParam);
    SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 192));
    return brush;
  }
  if (message == WM_DESTROY) {
    WNDPROC saved = SavedProc(hwnd);
    if (saved) SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(saved));
    RemovePropA(hwnd, kOriginalProc);
    if (saved) return CallWindowProcA(saved, hwnd, message, wParam, lParam);
    return DefWindowProcA(hwnd, message, wParam, lParam);
  }
  return CallSaved(hwnd, message, wParam, lParam);
}

LRESULT HyperlinkStaticMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETCURSOR: {
      HCURSOR hand = LoadCursor(nullptr, IDC_HAND);
      SetCursor(hand ? hand : LoadCursor(nullptr, IDC_ARROW));
      return TRUE;
    }
    case WM_MOUSEMOVE:
      if (GetCapture() != hwnd) {
        SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetPropA(hwnd, kUnderlineFont)),
                     FALSE);
        InvalidateRect(hwnd, nullptr, FALSE);
        SetCapture(hwnd);
      } else {
        RECT rect;
        GetWindowRect(hwnd, &rect);
        POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        ClientToScreen(hwnd, &point);
        if (!PtInRect(&rect, point)) {
          SendMessageA(hwnd, WM_SETFONT,
                       reinterpret_cast<WPARAM>(GetPropA(hwnd, kOriginalFont)), FALSE);
          InvalidateRect(hwnd, nullptr, FALSE);
          ReleaseCapture();
        }
      }
      break;
    case WM_DESTROY: {
      WNDPROC saved = SavedProc(hwnd);
      if (saved) SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(saved));
      SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetPropA(hwnd, kOriginalFont)),
                   FALSE);
      HGDIOBJ underline = GetPropA(hwnd, kUnderlineFont);
      if (underline) DeleteObject(underline);
      RemovePropA(hwnd, kOriginalProc);
      RemovePropA(hwnd, kOriginalFont);
      RemovePropA(hwnd, kUnderlineFont);
      RemovePropA(hwnd, kFromStatic);
      if (saved) return CallWindowProcA(saved, hwnd, message, wParam, lParam);
      return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    default:
      break;
  }
  return CallSaved(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK HyperlinkParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return Guarded([&] { return HyperlinkParentMessage(hwnd, message, wParam, lParam); });
}

LRESULT CALLBACK HyperlinkStaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return Guarded([&] { return HyperlinkStaticMessage(hwnd, message, wParam, lParam); });
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

int ShowBox(HWND owner, const std::string& text, const std::string& caption, UINT style) {
  return g_messageBox(owner, text.c_str(), caption.c_str(), style);
}

void SetMessageBoxForTesting(MessageBoxFunction function) {
  g_messageBox = function ? function : &MessageBoxA;
}

void SetSheetTitle(HWND sheet) {
  const std::string title =
      g_app->EnvironmentPrefix() + LoadStr(IDS_APP_TITLE) + " - " + g_app->m_osVersion->GetName();
  SendMessageA(sheet, PSM_SETTITLEA, 0, reinterpret_cast<LPARAM>(title.c_str()));
}

HFONT SetTahomaFont(HWND dialog, int controlId, int height, int weight) {
  HFONT font = CreateFontA(height, 0, 0, 0, weight, 0, 0, 0, 0, 0, 0, 0, 0, "Tahoma");
  SendDlgItemMessageA(dialog, controlId, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  return font;
}

std::string LoadStr(UINT id) {
  g_stringBuffer[0] = '\0';
  const int length =
      LoadStringA(GetModuleHandleA(nullptr), id, g_stringBuffer, sizeof g_stringBuffer);
  return std::string(g_stringBuffer, length > 0 ? length : 0);
}

BOOL ConvertStaticToHyperlink(HWND dialog, int controlId) {
  HWND control = GetDlgItem(dialog, controlId);
  if (!control) return TRUE;
  HWND parent = GetParent(control);
  if (parent && reinterpret_cast<WNDPROC>(GetWindowLongPtrA(parent, GWLP_WNDPROC)) !=
                    &HyperlinkParentProc) {
    SetPropA(parent, kOriginalProc, reinterpret_cast<HANDLE>(GetWindowLongPtrA(parent, GWLP_WNDPROC)));
    SetWindowLongPtrA(parent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HyperlinkParentProc));
  }
  SetWindowLongPtrA(control, GWL_STYLE, GetWindowLongPtrA(control, GWL_STYLE) | SS_NOTIFY);
  SetPropA(control, kOriginalProc, reinterpret_cast<HANDLE>(GetWindowLongPtrA(control, GWLP_WNDPROC)));
  SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HyperlinkStaticProc));

  HFONT font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
  SetPropA(control, kOriginalFont, font);
  LOGFONTA description = {};
  GetObjectA(font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT),
             sizeof description, &description);
  description.lfUnderline = TRUE;
  SetPropA(control, kUnderlineFont, CreateFontIndirectA(&description));
  SetPropA(control, kFromStatic, reinterpret_cast<HANDLE>(1));
  return TRUE;
}

void OpenInstallationGuide() {
  Log("[  INFO] Opening guide to browser");
  ShellExecuteA(nullptr, "open", kInstallationGuideUrl, nullptr, nullptr, SW_SHOWNORMAL);
}

void OpenNetFrameworkDownloadPage() {
  Log("[  INFO] Opening link for Net Fw Installer");
  ShellExecuteA(nullptr, "open", kNetFrameworkDownloadUrl, nullptr, nullptr, SW_SHOWNORMAL);
}

void FillPmList(HWND list) {
  const LRESULT count = list ? SendMessageA(list, LB_GETCOUNT, 0, 0) : 0;
  for (LRESULT i = 0; i < count; ++i) SendMessageA(list, LB_DELETESTRING, 0, 0);

  InstallRecordList& records = g_app->m_setting->sharedInfoRecords;
  for (size_t i = 0; i < records.size(); ++i) {
    for (size_t j = i + 1; j < records.size();) {
      if (records[j]->pm == records[i]->pm && records[j]->rootPath == records[i]->rootPath &&
          records[j]->anno == records[i]->anno) {
        g_removedRecords.push_back(std::move(records[j]));
        records.erase(records.begin() + j);
      } else {
        ++j;
      }
    }
  }
  if (!list) return;

  for (const auto& record : records) {
    std::string entry = record->type == 2 ? "Unita' Periferica " + record->pm + " installata in " +
                                                record->rootPath
                                          : "Ufficio Autorizzato " + record->pm + " - " +
                                                record->anno + " (" + record->rootPath + ")";
    if (entry.size() > 511) entry.resize(511);
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
  }
  SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  SetFocus(list);
}

void RefreshOfficeList() {
  SortPmRecords(g_app->m_setting->sharedInfoRecords);
  FillPmList(g_app->m_hwndPage ? GetDlgItem(g_app->m_hwndPage, IDC_PM_LIST) : nullptr);
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
    EndRun(static_cast<UINT>(-1));
  }
  Log(line);
  ShowBox(nullptr, "Errore indefinito dell'applicazione.", "Errore",
          MB_OK | MB_ICONERROR | MB_TASKMODAL);
  EndRun(static_cast<UINT>(-1));
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
    Log("[**  ERR] Exception occurred in app initialization");
    ShowBox(nullptr, "Errore indefinito dell'applicazione.", "Errore", MB_OK | MB_ICONERROR);
    EndRun(static_cast<UINT>(-1));
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
