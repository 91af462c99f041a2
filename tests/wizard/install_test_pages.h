// A stand-in for the install page and the sheet frame in the test process:
// a real progress bar 1019 and statics 1020 and 1021 whose messages are
// recorded, and a frame that records the Next it is asked to press. Used by
// the in-process tests of the unpack threads.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <prsht.h>

#include <string>
#include <vector>

#include "app.h"
#include "resource.h"

namespace install_test {

struct Recorded {
  std::vector<std::string> percentTexts;       // WM_SETTEXT on 1021
  std::vector<std::pair<WPARAM, LPARAM>> ranges;  // PBM_SETRANGE32
  std::vector<WPARAM> positions;                // PBM_SETPOS
  int nextPresses = 0;                          // PSM_PRESSBUTTON(PSBTN_NEXT) on the frame
};

inline Recorded& Record() {
  static Recorded recorded;
  return recorded;
}

inline WNDPROC& OriginalProc(int id) {
  static WNDPROC bar = nullptr, text = nullptr;
  return id == IDC_PROGRESS ? bar : text;
}

inline LRESULT CALLBACK BarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == PBM_SETRANGE32) Record().ranges.emplace_back(wParam, lParam);
  if (message == PBM_SETPOS) Record().positions.push_back(wParam);
  return CallWindowProcA(OriginalProc(IDC_PROGRESS), hwnd, message, wParam, lParam);
}

inline LRESULT CALLBACK TextProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETTEXT)
    Record().percentTexts.push_back(reinterpret_cast<const char*>(lParam));
  return CallWindowProcA(OriginalProc(IDC_PERCENT_TEXT), hwnd, message, wParam, lParam);
}

inline LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == PSM_PRESSBUTTON && wParam == PSBTN_NEXT) ++Record().nextPresses;
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

// The page and the frame, owned by the calling thread, stored in g_app.
class Windows {
 public:
  Windows() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    WNDCLASSA frameClass = {};
    frameClass.lpfnWndProc = FrameProc;
    frameClass.hInstance = GetModuleHandleA(nullptr);
    frameClass.lpszClassName = "ZanInstallTestFrame";
    RegisterClassA(&frameClass);
    frame_ = CreateWindowExA(0, "ZanInstallTestFrame", "", WS_POPUP, 0, 0, 400, 300, nullptr,
                             nullptr, nullptr, nullptr);
    page_ = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 300, 100, nullptr, nullptr,
                            nullptr, nullptr);
    bar_ = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD, 0, 0, 200, 20, page_,
                           reinterpret_cast<HMENU>(IDC_PROGRESS), nullptr, nullptr);
    CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 30, 200, 20, page_,
                    reinterpret_cast<HMENU>(IDC_PHASE_LABEL), nullptr, nullptr);
    HWND text = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 60, 200, 20, page_,
                                reinterpret_cast<HMENU>(IDC_PERCENT_TEXT), nullptr, nullptr);
    OriginalProc(IDC_PROGRESS) = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(bar_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BarProc)));
    OriginalProc(IDC_PERCENT_TEXT) = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(text, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TextProc)));
    Record() = Recorded();
    g_app->m_hwndPage = page_;
    g_app->m_hwndSheet = frame_;
  }
  ~Windows() {
    DestroyWindow(page_);
    DestroyWindow(frame_);
  }
  HWND page() const { return page_; }
  HWND bar() const { return bar_; }
  std::string Text(int id) const {
    char buffer[512] = {};
    GetDlgItemTextA(page_, id, buffer, sizeof buffer);
    return buffer;
  }

 private:
  HWND frame_ = nullptr, page_ = nullptr, bar_ = nullptr;
};

// Handles this thread's messages (the worker's sent ones included) until
// `done` holds or `timeoutMs` passes; true when it held.
template <typename Done>
bool PumpUntil(Done done, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
  return true;
}

}  // namespace install_test
