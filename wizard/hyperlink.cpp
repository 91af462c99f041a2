// Static controls that behave as links: hand cursor, underline under the
// mouse, blue text drawn by the parent.
#include "hyperlink.h"

#include <shellapi.h>

#include "log.h"
#include "sheet.h"
#include "vendor.h"

namespace {

const char kOriginalProc[] = "_Hyperlink_Original_Proc_";
const char kOriginalFont[] = "_Hyperlink_Original_Font_";
const char kUnderlineFont[] = "_Hyperlink_Underline_Font_";
const char kFromStatic[] = "_Hyperlink_From_Static_";

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
