// The setup's resources as the user sees them: every page template inside a
// real Wizard97 property sheet with the header and watermark bitmaps, and the
// please-wait dialog, laid out with the texts and fonts the pages set (every
// text fits, nothing overlaps, the watermark stays clear); the styles a user
// would notice, the strings, the bitmaps' sizes, the embedded installer and
// the version block.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "resource.h"

namespace {

HINSTANCE Module() { return GetModuleHandleA(nullptr); }

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

std::string LoadText(UINT id) {
  std::vector<char> buffer(4096);
  int length = LoadStringA(Module(), id, buffer.data(), static_cast<int>(buffer.size()));
  return std::string(buffer.data(), length);
}

LONG Style(HWND window) { return GetWindowLongA(window, GWL_STYLE); }

// Styles a user would notice: (style & mask) == value.
struct StyleCase {
  int page, id;
  const char* fact;
  DWORD mask, value;
};

const StyleCase kStyles[] = {
    {IDD_WIZ_PMSELECT, IDC_PM_LIST, "offices in the order found", LBS_SORT, 0},
    {IDD_WIZ_PMNEW, IDC_OFFICE_CODE, "code in upper case", ES_UPPERCASE, ES_UPPERCASE},
    {IDD_WIZ_PMNEW, IDC_OFFICE_PASSWORD, "password masked", ES_PASSWORD, ES_PASSWORD},
    {IDD_WIZ_SELECTUNIT, IDC_DRIVE_COMBO, "drives to pick, not to type", 3, CBS_DROPDOWNLIST},
};

// The pages in sheet order, with their flags and header strings.
struct PageCase {
  int index, templateId;
  const char* name;
  DWORD flags;
  UINT headerTitle, headerSubtitle;
};

constexpr DWORD kExterior = PSP_USETITLE | PSP_HASHELP | PSP_HIDEHEADER;
constexpr DWORD kInterior = PSP_USETITLE | PSP_HASHELP | PSP_USEHEADERTITLE | PSP_USEHEADERSUBTITLE;

const PageCase kPages[] = {
    {0, IDD_WIZ_REQNETFWNOTMET, "WIZ_REQNETFWNOTMET", PSP_USETITLE | PSP_HIDEHEADER, 0, 0},
    {1, IDD_WIZ_START, "WIZ_START", kExterior, 0, 0},
    {2, IDD_WIZ_NOTSUPPORTED, "WIZ_NOTSUPPORTED", kInterior, 200, 205},
    {3, IDD_WIZ_PMSELECT, "WIZ_PMSELECT", kInterior, 210, 211},
    {4, IDD_WIZ_PMNEW, "WIZ_PMNEW", kInterior, 201, 206},
    {5, IDD_WIZ_SELECTUNIT, "WIZ_SELECTUNIT", kInterior, 150, 151},
    {6, IDD_WIZ_BEFOREINSTALL, "WIZ_BEFOREINSTALL", kInterior, 204, 152},
    {7, IDD_WIZ_INSTALL, "WIZ_INSTALL", kInterior, 204, 209},
    {8, IDD_WIZ_END, "WIZ_END", kExterior, 0, 0},
};

bool IsExterior(int templateId) {
  for (const PageCase& page : kPages)
    if (page.templateId == templateId) return (page.flags & PSP_HIDEHEADER) != 0;
  return false;
}

// ---------------------------------------------------------------------------
// What the real pages do when they are created, so the layout is judged with
// the fonts and pictures the user sees.

struct FontCase {
  int page, id, height, weight;
};

const FontCase kFonts[] = {
    {IDD_WIZ_REQNETFWNOTMET, IDC_HEADING, 24, 400},
    {IDD_WIZ_START, IDC_HEADING, 24, 400},
    {IDD_WIZ_NOTSUPPORTED, IDC_NOTSUPPORTED_HEADING, 20, 700},
    {IDD_WIZ_NOTSUPPORTED, IDC_NOTSUPPORTED_NOTICE, 13, 700},
    {IDD_WIZ_PMSELECT, IDC_PM_LIST, 16, 400},
    {IDD_WIZ_PMNEW, IDC_OFFICE_CODE, 16, 700},
    {IDD_WIZ_PMNEW, IDC_OFFICE_PASSWORD, 16, 700},
    {IDD_WIZ_END, IDC_END_TITLE, 24, 400},
    {IDD_WIZ_END, IDC_END_RESTORE_TITLE, 24, 400},
};

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_INITDIALOG) return FALSE;
  int templateId = static_cast<int>(reinterpret_cast<PROPSHEETPAGEA*>(lParam)->lParam);
  for (const FontCase& font : kFonts) {
    if (font.page != templateId) continue;
    HFONT handle = CreateFontA(font.height, 0, 0, 0, font.weight, 0, 0, 0, 0, 0, 0, 0, 0, "Tahoma");
    SendDlgItemMessageA(page, font.id, WM_SETFONT, reinterpret_cast<WPARAM>(handle), TRUE);
  }
  // The texts the pages load from the string table.
  const struct { int page, id; UINT text; } loaded[] = {{IDD_WIZ_START, IDC_INTRO_TEXT, IDS_START_TEXT},
      {IDD_WIZ_NOTSUPPORTED, IDC_NOTSUPPORTED_TEXT, IDS_NOTSUPPORTED_TEXT},
      {IDD_WIZ_NOTSUPPORTED, IDC_NOTSUPPORTED_NOTICE, IDS_NOTSUPPORTED_NOTICE}};
  for (const auto& text : loaded)
    if (text.page == templateId) SetDlgItemTextA(page, text.id, LoadText(text.text).c_str());
  if (templateId == IDD_WIZ_END) {
    HBITMAP picture = LoadBitmapA(Module(), MAKEINTRESOURCEA(IDB_FINISHED));
    SendDlgItemMessageA(page, IDC_END_BITMAP, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
  }
  return TRUE;
}

INT_PTR CALLBACK WaitProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

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
void ExpectCleanLayout(HWND page, int templateId) {
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
    if (IsExterior(templateId)) {
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

// ---------------------------------------------------------------------------
// The sheet: nine pages as the wizard creates them, modeless.

// Top-level windows are created once and never destroyed nor moved away:
// without a window manager, Wine waits two seconds whenever it unmaps one.
HWND CreateSheet() {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  HPROPSHEETPAGE pages[9];
  for (const PageCase& page : kPages) {
    PROPSHEETPAGEA psp = {};
    psp.dwSize = sizeof psp;
    psp.dwFlags = page.flags;
    psp.hInstance = Module();
    psp.pszTemplate = MAKEINTRESOURCEA(page.templateId);
    psp.pfnDlgProc = PageProc;
    psp.pszTitle = "";
    psp.lParam = page.templateId;
    psp.pszHeaderTitle = page.headerTitle ? MAKEINTRESOURCEA(page.headerTitle) : nullptr;
    psp.pszHeaderSubTitle = page.headerSubtitle ? MAKEINTRESOURCEA(page.headerSubtitle) : nullptr;
    pages[page.index] = CreatePropertySheetPageA(&psp);
  }
  PROPSHEETHEADERA psh = {};
  psh.dwSize = sizeof psh;
  // The bitmaps go in as handles: Wine paints the header bitmap (and the
  // white header band) only then; Windows paints both either way.
  psh.dwFlags = PSH_WIZARD97 | PSH_WATERMARK | PSH_HEADER | PSH_USEHBMWATERMARK | PSH_USEHBMHEADER | PSH_MODELESS;
  psh.hInstance = Module();
  psh.nPages = 9;
  psh.nStartPage = 1;
  psh.phpage = pages;
  psh.hbmWatermark = LoadBitmapA(Module(), MAKEINTRESOURCEA(IDB_WATERMARK));
  psh.hbmHeader = LoadBitmapA(Module(), MAKEINTRESOURCEA(IDB_HEADER));
  HWND sheet = reinterpret_cast<HWND>(PropertySheetA(&psh));
  if (sheet) SetWindowTextA(sheet, LoadText(IDS_APP_TITLE).c_str());
  Pump();
  return sheet;
}

class ResourcesSheet : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static HWND sheet = CreateSheet();
    sheet_ = sheet;
  }

  // Shows page `index` in the top-left corner of the screen; its window.
  static HWND Show(int index) {
    SetWindowPos(sheet_, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    SendMessageA(sheet_, PSM_SETCURSEL, index, 0);
    Pump();
    return reinterpret_cast<HWND>(SendMessageA(sheet_, PSM_GETCURRENTPAGEHWND, 0, 0));
  }

  static HWND sheet_;
};
HWND ResourcesSheet::sheet_ = nullptr;

void ExpectStyles(HWND dialog, int templateId) {
  for (const StyleCase& s : kStyles) {
    if (s.page != templateId) continue;
    SCOPED_TRACE(s.fact);
    HWND control = GetDlgItem(dialog, s.id);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(static_cast<DWORD>(Style(control)) & s.mask, s.value);
  }
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
  if (templateId != IDD_WIZ_PMSELECT) return;
  std::string prompt = WindowText(GetDlgItem(page, IDC_PMSELECT_PROMPT));
  size_t year = prompt.find("<year>");
  ASSERT_NE(year, std::string::npos) << "the prompt names the year";
  SetDlgItemTextA(page, IDC_PMSELECT_PROMPT, prompt.replace(year, 6, "2025").c_str());
  ShowWindow(GetDlgItem(page, IDC_DISCOVERY_BITMAP), SW_SHOW);
}

class ResourcesPage : public ResourcesSheet, public ::testing::WithParamInterface<PageCase> {};

TEST_P(ResourcesPage, StylesAndLayout) {
  const PageCase& page = GetParam();
  ASSERT_NE(sheet_, nullptr);
  HWND window = Show(page.index);
  ASSERT_NE(window, nullptr);
  ExpectStyles(window, page.templateId);
  if (page.templateId == IDD_WIZ_END) {
    // The final page shows the installation texts or the restore texts.
    for (int id : {IDC_END_TITLE, IDC_END_TEXT, IDC_END_NEWS, IDC_END_NEWS_HINT})
      ShowWindow(GetDlgItem(window, id), SW_SHOW);
    ExpectCleanLayout(window, page.templateId);
    for (int id : {IDC_END_TITLE, IDC_END_TEXT, IDC_END_NEWS, IDC_END_NEWS_HINT})
      ShowWindow(GetDlgItem(window, id), SW_HIDE);
    for (int id : {IDC_END_RESTORE_TITLE, IDC_END_RESTORE_TEXT}) ShowWindow(GetDlgItem(window, id), SW_SHOW);
    ExpectCleanLayout(window, page.templateId);
    return;
  }
  FillSample(window, page.templateId);
  ExpectCleanLayout(window, page.templateId);
}

INSTANTIATE_TEST_SUITE_P(Pages, ResourcesPage, ::testing::ValuesIn(kPages),
                         [](const ::testing::TestParamInfo<PageCase>& page) { return std::string(page.param.name); });

// Offices beyond the list's height stay reachable.
TEST_F(ResourcesSheet, OfficeListScrollsWhenFull) {
  HWND list = GetDlgItem(Show(3), IDC_PM_LIST);
  ASSERT_NE(list, nullptr);
  for (int i = 0; i < 40; ++i) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Ufficio"));
  EXPECT_EQ(Style(list) & WS_VSCROLL, WS_VSCROLL);
  SendMessageA(list, LB_RESETCONTENT, 0, 0);
}

// The please-wait dialog: its title and its layout. Left open (see
// CreateSheet).
TEST(ResourcesWaitDialog, TitleAndLayout) {
  HWND dialog = CreateDialogParamA(Module(), MAKEINTRESOURCEA(IDD_WAIT), nullptr, WaitProc, 0);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(WindowText(dialog), "Verfica aggiornamenti") << "the title as the users know it";
  ExpectCleanLayout(dialog, IDD_WAIT);
}

// The string table's escapes come through as line breaks and quotes, and
// every header the sheet asks for is there.
TEST(ResourcesStrings, EscapesAndHeaders) {
  EXPECT_EQ(LoadText(IDS_START_TEXT),
            "Si consiglia di chiudere tutte le applicazioni attive prima di procedere.\n\n\n"
            "Per interrompere ora le operazioni premere Annulla.\nPer consultare la Guida premere \"?\".");
  for (const PageCase& page : kPages) {
    for (UINT id : {page.headerTitle, page.headerSubtitle}) {
      if (id == 0) continue;
      SCOPED_TRACE(id);
      EXPECT_FALSE(LoadText(id).empty());
    }
  }
}

TEST(ResourcesBitmaps, Sizes) {
  struct {
    int id;
    LONG width, height;
  } cases[] = {{IDB_HEADER, 49, 49}, {IDB_WATERMARK, 164, 314}, {IDB_DISCOVERY, 16, 16}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.id);
    HBITMAP bitmap = LoadBitmapA(Module(), MAKEINTRESOURCEA(c.id));
    ASSERT_NE(bitmap, nullptr);
    BITMAP info = {};
    ASSERT_NE(GetObjectA(bitmap, sizeof info, &info), 0);
    EXPECT_EQ(info.bmWidth, c.width);
    EXPECT_EQ(info.bmHeight, c.height);
    DeleteObject(bitmap);
  }
}

TEST(ResourcesInstaller, EmbeddedProgram) {
  HRSRC resource = FindResourceA(Module(), MAKEINTRESOURCEA(IDR_NETFW_INSTALLER), "BINARY");
  ASSERT_NE(resource, nullptr);
  EXPECT_GT(SizeofResource(Module(), resource), 1024u);
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(Module(), resource)));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::string(bytes, 2), "MZ") << "a Windows program";
}

// The numbers of the version block and its texts come from one setting.
TEST(ResourcesVersion, NumbersMatchTexts) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  DWORD size = GetFileVersionInfoSizeA(path, nullptr);
  ASSERT_GT(size, 0u);
  std::vector<char> data(size);
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, data.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  char numbers[64];
  snprintf(numbers, sizeof numbers, "%u.%u.%u.%u", HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
           HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
  char* text = nullptr;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\StringFileInfo\\041004b0\\ProductVersion", reinterpret_cast<void**>(&text), &length));
  EXPECT_EQ(std::string(text), numbers);
}

}  // namespace
