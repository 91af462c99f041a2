// The setup's page templates and its please-wait dialog as the user sees
// them: each page inside a real Wizard97 property sheet with the header and
// watermark pictures, set up by the page's own WM_INITDIALOG (its fonts,
// texts and pictures) and filled with sample run-time texts; every text fits,
// nothing overlaps, nothing leaves the page, no picture is painted over and
// the watermark stays clear.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "app.h"
#include "resource.h"
#include "sheet.h"
#include "test_sheet.h"

namespace {

using testing_support::TestPage;

std::string WindowText(HWND window) {
  int length = GetWindowTextLengthA(window);
  std::string text(length + 1, '\0');
  text.resize(GetWindowTextA(window, &text[0], length + 1));
  return text;
}

std::string ClassName(HWND window) {
  char name[64] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

LONG Style(HWND window) { return GetWindowLongA(window, GWL_STYLE); }

std::string Describe(HWND control) {
  return "control " + std::to_string(GetDlgCtrlID(control)) + " \"" + WindowText(control).substr(0, 40) + "\"";
}

RECT ChildRect(HWND parent, HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

bool IsTextStatic(HWND control) {
  return ClassName(control) == "Static" && (Style(control) & SS_TYPEMASK) <= SS_RIGHT;
}

// The size a control's text needs with its font: word-wrapped to `width`
// (0: on one line).
SIZE TextExtent(HWND control, int width) {
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
  std::string text = WindowText(control);
  RECT rect = {0, 0, width > 0 ? width : 10000, 0};
  UINT flags = DT_CALCRECT | DT_EXPANDTABS | (width > 0 ? DT_WORDBREAK : DT_SINGLELINE);
  DrawTextA(dc, text.c_str(), -1, &rect, flags);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

// The part of the page a visible control really covers: a static's text, the
// other controls' whole rectangle.
RECT Occupied(HWND page, HWND control) {
  RECT rect = ChildRect(page, control);
  if (IsTextStatic(control)) {
    SIZE text = TextExtent(control, rect.right - rect.left);
    rect.right = rect.left + text.cx;
    rect.bottom = rect.top + text.cy;
  }
  return rect;
}

std::vector<HWND> VisibleControls(HWND page) {
  std::vector<HWND> controls;
  for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if ((Style(child) & WS_VISIBLE) && !(IsTextStatic(child) && WindowText(child).empty()))
      controls.push_back(child);
  return controls;
}

bool IsGroupBox(HWND control) {
  return ClassName(control) == "Button" && (Style(control) & BS_TYPEMASK) == BS_GROUPBOX;
}

// Every visible text fits its control, nothing leaves the page, nothing
// overlaps (but the controls inside a group box), no background is painted
// over a picture, and on an exterior page nothing covers the watermark.
void ExpectCleanLayout(HWND page, bool exterior) {
  RECT client;
  GetClientRect(page, &client);
  std::vector<HWND> controls = VisibleControls(page);
  for (HWND control : controls) {
    SCOPED_TRACE(Describe(control));
    RECT rect = ChildRect(page, control);
    RECT used = Occupied(page, control);
    EXPECT_GE(used.left, client.left);
    EXPECT_GE(used.top, client.top);
    EXPECT_LE(used.right, client.right);
    EXPECT_LE(used.bottom, client.bottom);
    if (IsTextStatic(control)) {
      EXPECT_LE(used.bottom, rect.bottom) << "text cut at the bottom";
    } else if (ClassName(control) == "Button" && !IsGroupBox(control)) {
      SIZE text = TextExtent(control, 0);
      int box = (Style(control) & BS_TYPEMASK) == BS_PUSHBUTTON ? 8 : GetSystemMetrics(SM_CXMENUCHECK) + 4;
      EXPECT_LE(text.cx + box, rect.right - rect.left) << "text cut on the right";
    }
    if (exterior) {
      EXPECT_GE(used.left, 164) << "covers the watermark";
    }
  }
  // A static erases its whole rectangle: one that reaches into a picture must
  // lie below it and clip its siblings, or it paints over the picture.
  for (HWND picture : controls) {
    if (ClassName(picture) != "Static" || (Style(picture) & SS_TYPEMASK) != SS_BITMAP) continue;
    RECT pictureRect = ChildRect(page, picture);
    bool above = true;  // walking down the z-order from the picture
    for (HWND other = GetWindow(page, GW_CHILD); other; other = GetWindow(other, GW_HWNDNEXT)) {
      if (other == picture) {
        above = false;
        continue;
      }
      RECT otherRect = ChildRect(page, other), both;
      if (!(Style(other) & WS_VISIBLE) || !IntersectRect(&both, &otherRect, &pictureRect)) continue;
      SCOPED_TRACE(Describe(other) + " reaches into the picture");
      EXPECT_FALSE(above) << "lies above the picture";
      EXPECT_EQ(Style(other) & WS_CLIPSIBLINGS, WS_CLIPSIBLINGS);
    }
  }
  for (size_t i = 0; i < controls.size(); ++i) {
    for (size_t j = i + 1; j < controls.size(); ++j) {
      if (IsGroupBox(controls[i]) || IsGroupBox(controls[j])) continue;
      RECT a = Occupied(page, controls[i]), b = Occupied(page, controls[j]), both;
      EXPECT_FALSE(IntersectRect(&both, &a, &b)) << Describe(controls[i]) << " overlaps " << Describe(controls[j]);
    }
  }
}

// The page procedures of the sheet take WM_INITDIALOG only: the rest of
// their work needs a running setup.
INT_PTR CALLBACK InitOnly(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_INITDIALOG) return FALSE;
  const int index = static_cast<int>(reinterpret_cast<PROPSHEETPAGEA*>(lParam)->lParam);
  return SheetPageProcedure(index)(page, message, wParam, lParam);
}

// The templates in the order of the wizard's PageIndex.
const TestPage kPages[kPageCount] = {
    {IDD_WIZ_REQNETFWNOTMET, InitOnly, true}, {IDD_WIZ_START, InitOnly, true},
    {IDD_WIZ_NOTSUPPORTED, InitOnly},         {IDD_WIZ_PMSELECT, InitOnly},
    {IDD_WIZ_PMNEW, InitOnly},                {IDD_WIZ_SELECTUNIT, InitOnly},
    {IDD_WIZ_BEFOREINSTALL, InitOnly},        {IDD_WIZ_INSTALL, InitOnly},
    {IDD_WIZ_END, InitOnly, true},
};

// One sheet for the program, never destroyed (see MakeTestSheet). The start
// page's own set-up skips the update check only when it is done.
HWND Sheet() {
  static HWND sheet = [] {
    g_app = new CApp();  // like the setup's: never freed
    g_app->m_updateChecked = true;
    g_app->m_setting->year = "2025";
    HWND made = testing_support::MakeTestSheet({std::begin(kPages), std::end(kPages)}, PSH_MODELESS);
    testing_support::PumpUntil([] { return true; }, 0);
    return made;
  }();
  return sheet;
}

// Shows page `index` in the top-left corner of the screen; its window.
HWND Show(int index) {
  SetWindowPos(Sheet(), HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
  SendMessageA(Sheet(), PSM_SETCURSEL, index, 0);
  testing_support::PumpUntil([] { return true; }, 0);
  return reinterpret_cast<HWND>(SendMessageA(Sheet(), PSM_GETCURRENTPAGEHWND, 0, 0));
}

// Run-time content as the pages fill it, for the layout check.
void FillSample(HWND page, int templateId) {
  const struct { int page, id; const char* text; } samples[] = {
      {IDD_WIZ_SELECTUNIT, IDC_INSTALL_PATH, "C:\\ZAN\\PM00123"},
      {IDD_WIZ_BEFOREINSTALL, IDC_INSTALL_PATH, "C:\\ZAN\\PM00123\\"},
      {IDD_WIZ_INSTALL, IDC_PHASE_LABEL, "Fase 1 di 4 - Download componenti"},
      {IDD_WIZ_INSTALL, IDC_PERCENT_TEXT, "45% completato"}};
  for (const auto& sample : samples)
    if (sample.page == templateId) SetDlgItemTextA(page, sample.id, sample.text);
  if (templateId == IDD_WIZ_PMSELECT) ShowWindow(GetDlgItem(page, IDC_DISCOVERY_BITMAP), SW_SHOW);
}

class ResourcesPage : public ::testing::TestWithParam<int> {};

TEST_P(ResourcesPage, Layout) {
  const TestPage& page = kPages[GetParam()];
  HWND window = Show(GetParam());
  ASSERT_NE(window, nullptr);
  if (page.templateId != IDD_WIZ_END) {
    FillSample(window, page.templateId);
    ExpectCleanLayout(window, page.exterior);
    return;
  }
  // The final page shows the installation texts or the restore texts.
  const int install[] = {IDC_END_TITLE, IDC_END_TEXT, IDC_END_NEWS, IDC_END_NEWS_HINT};
  const int restore[] = {IDC_END_RESTORE_TITLE, IDC_END_RESTORE_TEXT};
  for (int id : install) ShowWindow(GetDlgItem(window, id), SW_SHOW);
  ExpectCleanLayout(window, true);
  for (int id : install) ShowWindow(GetDlgItem(window, id), SW_HIDE);
  for (int id : restore) ShowWindow(GetDlgItem(window, id), SW_SHOW);
  ExpectCleanLayout(window, true);
}

INSTANTIATE_TEST_SUITE_P(Pages, ResourcesPage, ::testing::Range(0, int{kPageCount}),
                         [](const ::testing::TestParamInfo<int>& page) {
                           return std::string(PageName(page.param));
                         });

INT_PTR CALLBACK WaitProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// The please-wait dialog, left open (see MakeTestSheet).
TEST(ResourcesWaitDialog, Layout) {
  HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_WAIT), nullptr,
                                   WaitProc, 0);
  ASSERT_NE(dialog, nullptr);
  ExpectCleanLayout(dialog, false);
}

}  // namespace
