// The wizard's property sheet: the page table, the conventions every page
// follows (activation, navigation results, boxes, fonts, title), the frame's
// subclass procedure that keeps the office list current while the network
// search reports shares, and the small window pieces the pages share.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

#include "app.h"

// "WIZ_REQNETFWNOTMET" ... "WIZ_END", by PageIndex.
const char* PageName(int index);
// The dialog procedure the sheet gives Windows for the page of that PageIndex
// (the page's own procedure inside GuardedDlgProc); null for any other index.
DLGPROC SheetPageProcedure(int index);

// A page became active: logs "[  INFO] Sheet active -> " + its name, stores
// its index in m_pageIndex and posts PSM_SETWIZBUTTONS with `buttons` to the
// sheet (no post when buttons is 0).
void PageActivated(HWND page, PageIndex index, DWORD buttons);
// The page's answer to a sheet notification (DWLP_MSGRESULT): a template id
// jumps to that page, -1 stays.
void SetPageResult(HWND page, LONG_PTR result);
// MessageBoxA, never with the text as a format. Every box of the wizard goes
// through here (or through MessageBoxSeam), so in-process tests can answer.
int ShowBox(HWND owner, const std::string& text, const std::string& caption, UINT style);
// Test seam: the function ShowBox calls (null restores MessageBoxA).
using MessageBoxFunction = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
void SetMessageBoxForTesting(MessageBoxFunction function);
// The sheet title of the start pages: environment prefix + string 1005 +
// " - " + the Windows display name.
void SetSheetTitle(HWND sheet);
// A "Tahoma" font of that height and weight (never deleted), set on the control.
HFONT SetTahomaFont(HWND dialog, int controlId, int height, int weight);
// The text of a string resource of the program; empty when it cannot be
// loaded. A copy: valid as long as the caller keeps it.
std::string LoadStr(UINT id);
// Turns a static control into a hyperlink (hand cursor, underline on hover,
// blue text); the page reacts to its click itself. True.
BOOL ConvertStaticToHyperlink(HWND dialog, int controlId);
// Open the vendor's installation guide / Microsoft's .NET 4.8 download page.
void OpenInstallationGuide();
void OpenNetFrameworkDownloadPage();
// Empties and refills the office list from CSetting::sharedInfoRecords,
// dropping duplicate records (same pm, rootPath and anno) from the vector.
void FillPmList(HWND list);
// Subclasses the sheet frame with WizSheetSubclassProc (once).
void SubclassSheet(HWND sheet);
LRESULT CALLBACK WizSheetSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Ends the run after an exception escaped a handler: logs
// "[**  ERR] Exception " + what, shows "Errore indefinito dell'applicazione."
// (caption "Errore") and ends the process with -1.
[[noreturn]] void FatalException(const char* what);

// Runs `body` as one handler at a boundary with Windows' own frames (window
// and dialog procedures, delegate calls, thread entries): an exception ends
// the run through FatalException instead of unwinding into Windows. While any
// guarded handler runs on the user-interface thread, a share found on the
// network only reads its register; sorting and refilling the office list wait
// until the outermost handler has returned, so a handler may hold a record
// across its boxes.
template <typename Body>
auto Guarded(Body&& body) -> decltype(body());

// Internals of Guarded. The depth counts the guarded handlers running on the
// user-interface thread (the thread that runs the wizard); other threads'
// handlers are not counted.
void EnterHandler();
void LeaveHandler();
int HandlerDepth();

// A dialog procedure that runs `Proc` inside Guarded: what the sheet gives
// Windows for each page, and what any other dialog of the wizard should use.
template <DLGPROC Proc>
INT_PTR CALLBACK GuardedDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return Guarded([&]() -> INT_PTR { return Proc(hwnd, message, wParam, lParam); });
}

// Sorts the register records and refills the office list of the active page
// (when it has one), dropping duplicates. What a share report does once no
// page handler is running.
void RefreshOfficeList();
template <typename Body>
auto Guarded(Body&& body) -> decltype(body()) {
  struct Scope {
    Scope() { EnterHandler(); }
    ~Scope() { LeaveHandler(); }
  } scope;
  try {
    return body();
  } catch (const std::exception& e) {
    FatalException(e.what());
  } catch (...) {
    FatalException("(unknown)");
  }
}
