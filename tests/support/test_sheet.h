// For the wizard's in-process tests: a Wizard97 property sheet of the setup's
// own page templates and pictures, each page on a dialog procedure of the
// test's choosing, and a pump for this thread's messages.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <prsht.h>

#include <vector>

#include "resource.h"

namespace testing_support {

struct TestPage {
  WORD templateId;
  DLGPROC procedure;
  bool exterior = false;  // a start or final page: no header band, the watermark
};

// The sheet of `pages`, starting on the first; each page's PROPSHEETPAGE
// lParam is its index. With PSH_MODELESS in `flags` the sheet's window;
// without, the sheet runs modally and this returns when it closes. Without a
// window manager Wine waits two seconds whenever a shown window is unmapped:
// keep a modeless sheet for the whole program.
inline HWND MakeTestSheet(const std::vector<TestPage>& pages, DWORD flags) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  const HINSTANCE module = GetModuleHandleA(nullptr);
  std::vector<HPROPSHEETPAGE> handles;
  for (size_t i = 0; i < pages.size(); ++i) {
    PROPSHEETPAGEA page = {};
    page.dwSize = sizeof page;
    page.dwFlags = pages[i].exterior ? PSP_HIDEHEADER : 0;
    page.hInstance = module;
    page.pszTemplate = MAKEINTRESOURCEA(pages[i].templateId);
    page.pfnDlgProc = pages[i].procedure;
    page.lParam = static_cast<LPARAM>(i);
    handles.push_back(CreatePropertySheetPageA(&page));
  }
  PROPSHEETHEADERA header = {};
  header.dwSize = sizeof header;
  // The pictures go in as handles, as the wizard gives them: Wine paints the
  // header band and its picture only then.
  header.dwFlags = PSH_WIZARD97 | PSH_WATERMARK | PSH_HEADER | PSH_USEHBMWATERMARK |
                   PSH_USEHBMHEADER | flags;
  header.hInstance = module;
  header.nPages = static_cast<UINT>(handles.size());
  header.phpage = handles.data();
  header.hbmWatermark = LoadBitmapA(module, MAKEINTRESOURCEA(IDB_WATERMARK));
  header.hbmHeader = LoadBitmapA(module, MAKEINTRESOURCEA(IDB_HEADER));
  return reinterpret_cast<HWND>(PropertySheetA(&header));
}

// Handles this thread's messages (a worker's sent ones included) until `done`
// holds or `timeoutMs` passes; true when it held. Pumps at least once.
template <typename Done>
bool PumpUntil(Done done, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    if (done()) return true;
    if (GetTickCount() - start > timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

}  // namespace testing_support
