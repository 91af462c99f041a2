// The wizard's property sheet: the page table, the conventions every page
// follows (activation, navigation results, title), the frame's subclass
// procedure that keeps the office list current while the network search
// reports shares, and the guard at Windows' frames.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <exception>
#include <string>

#include "app.h"
#include "boxes.h"

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
// The same, as a dialog procedure returns it (TRUE: the result is set).
INT_PTR PageAnswer(HWND page, LONG_PTR result);
// The sheet title of the start pages: environment prefix + string 1005 +
// " - " + the Windows display name. The sheet keeps it on every later page.
void SetSheetTitle(HWND sheet);
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

// A dialog procedure that runs `Proc` inside Guarded: what any dialog of the
// wizard should use (the pages through PageDlgProc).
template <DLGPROC Proc>
INT_PTR CALLBACK GuardedDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return Guarded([&]() -> INT_PTR { return Proc(hwnd, message, wParam, lParam); });
}

// Posted to a page once its activation handler has returned; handled by
// PageDlgProc with PageShown.
constexpr UINT WM_PAGE_SHOWN = WM_APP + 1;
// The sheet has shown `page` (nothing when another page is shown by now): it
// gets back the title the start pages set, is painted whole, and a focus
// left on a button that cannot take keys goes to the default button. Wine's
// sheet writes the page's own empty title after the activation, and repaints
// only the header band when it changes pages, so an exterior page shown
// after an interior one (or after boxes during its activation) would keep
// the previous page's background in place of its watermark. On Windows the
// title and the picture are the same as before.
void PageShown(HWND page);

// What the sheet gives Windows for each page: `Proc` inside Guarded, and
// after each activation the posted WM_PAGE_SHOWN.
template <DLGPROC Proc>
INT_PTR CALLBACK PageDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAGE_SHOWN) {
    Guarded([&] { PageShown(hwnd); });
    return TRUE;
  }
  const INT_PTR result = GuardedDlgProc<Proc>(hwnd, message, wParam, lParam);
  if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == PSN_SETACTIVE)
    PostMessageA(hwnd, WM_PAGE_SHOWN, 0, 0);
  return result;
}
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
