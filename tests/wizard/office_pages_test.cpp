// The office pages in this process: the folder check with its log lines and
// boxes, and the pages created from their real templates.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include <map>

#include "app.h"
#include "box_recorder.h"
#include "drive_mapping.h"
#include "file_utils.h"
#include "lock_file.h"
#include "pages.h"
#include "resource.h"
#include "share_discovery.h"
#include "shared_info.h"
#include "sheet.h"
#include "test_support.h"
#include "wine_drive.h"

using testing_support::BoxRecorder;
using testing_support::LogCapture;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

const HWND kSheet = reinterpret_cast<HWND>(0x5EE7);

class OfficePages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    if (!g_app) g_app = new CApp();
  }
  void SetUp() override {
    CSetting& s = *g_app->m_setting;
    s.sharedInfoRecords.clear();
    s.sharedInfoFiles.clear();
    s.drives.clear();
    s.current = InstallRecord();
    s.platformName = "ZAN2025";
    s.year = "2025";
    g_app->m_hwndSheet = kSheet;
    boxes_.Clear();
  }
  void TearDown() override { SetDriveApiForTesting(nullptr); }

  void AddRecord(const std::string& pm, const std::string& rootPath) {
    auto r = std::make_unique<InstallRecord>();
    r->pm = pm;
    r->anno = "2025";
    r->rootPath = rootPath;
    g_app->m_setting->sharedInfoRecords.push_back(std::move(r));
  }
  BoxRecorder boxes_;
};

// The code's own folder already recorded for it elsewhere: the end-to-end
// scenarios meet the other conflict and the accepted folder.
TEST_F(OfficePages, FolderCheckRefusesASecondInstallationOfTheCode) {
  LogCapture log;
  AddRecord("00123", "D:\\ZAN\\PM00123\\");
  g_app->m_setting->current.pm = "00123";
  EXPECT_FALSE(g_app->CheckInstallRequirements("C:\\ZAN\\PM00123"));
  EXPECT_EQ(std::vector<std::string>({"[* WARN] Current uacode -> 00123",
                                      "[* WARN] Uacode already existant in path -> 00123"}),
            log.Lines());
  ASSERT_EQ(1u, boxes_.seen.size());
  EXPECT_EQ("ATTENZIONE!\n\nSono state individuate piu' installazioni del Codice Ufficio 00123.\n\n"
            "Per continuare l'installazione e' necessario contattare l'assistenza ZAN "
            "(Tel. 0999 123456).",
            boxes_.seen[0].text);
  EXPECT_EQ(kSheet, boxes_.seen[0].owner);  // the sheet, not the page
}

TEST_F(OfficePages, FolderOnANetworkDriveIsLoggedAsNetworkInstallation) {
  TempDir folder;
  WineDrive drive('N', folder.path(), DRIVE_REMOTE);
  if (!drive.ok()) GTEST_SKIP() << "Wine's mount manager did not give a network drive N:";
  LogCapture log;
  g_app->m_setting->current.pm = "00123";
  EXPECT_TRUE(g_app->CheckInstallRequirements("N:\\ZAN\\PM00123"));
  EXPECT_EQ(std::vector<std::string>{"[  INFO] Network installation detected"}, log.Lines());
}

INT_PTR CALLBACK QuietPage(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The sheet is never shown: without a window manager, hiding a shown window
// waits two seconds for the display.
int CALLBACK HiddenSheet(HWND, UINT message, LPARAM lParam) {
  struct TemplateExStart {
    WORD version, signature;
    DWORD helpId, exStyle, style;
  };
  if (message != PSCB_PRECREATE) return 0;
  auto* ex = reinterpret_cast<TemplateExStart*>(lParam);
  if (ex->signature == 0xFFFF)
    ex->style &= ~WS_VISIBLE;
  else
    reinterpret_cast<DLGTEMPLATE*>(lParam)->style &= ~WS_VISIBLE;
  return 0;
}

// A modeless Wizard97 sheet of real page templates, its frame subclassed as
// the wizard's is; page procedures guarded as the wizard guards them.
class TestSheet {
 public:
  TestSheet(const std::vector<std::pair<WORD, DLGPROC>>& pages, int start) {
    std::vector<HPROPSHEETPAGE> handles;
    for (const auto& page : pages) {
      PROPSHEETPAGEA p = {};
      p.dwSize = sizeof p;
      p.hInstance = GetModuleHandleA(nullptr);
      p.pszTemplate = MAKEINTRESOURCEA(page.first);
      p.pfnDlgProc = page.second;
      handles.push_back(CreatePropertySheetPageA(&p));
    }
    PROPSHEETHEADERA h = {};
    h.dwSize = sizeof h;
    h.dwFlags = PSH_WIZARD97 | PSH_MODELESS | PSH_USECALLBACK;
    h.pfnCallback = &HiddenSheet;
    h.hInstance = GetModuleHandleA(nullptr);
    h.nPages = static_cast<UINT>(handles.size());
    h.nStartPage = start;
    h.phpage = handles.data();
    sheet_ = reinterpret_cast<HWND>(PropertySheetA(&h));
    SubclassSheet(sheet_);
    g_app->SetSheetWindow(sheet_);
    Pump();
  }
  ~TestSheet() { DestroyWindow(sheet_); }
  HWND page() const {
    return reinterpret_cast<HWND>(SendMessageA(sheet_, PSM_GETCURRENTPAGEHWND, 0, 0));
  }
  // The template of the active page.
  int pageId() const {
    const LRESULT index = SendMessageA(sheet_, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(page()), 0);
    return static_cast<int>(SendMessageA(sheet_, PSM_INDEXTOID, index, 0));
  }
  void Press(int button) {
    SendMessageA(sheet_, PSM_PRESSBUTTON, button, 0);
    Pump();
  }
  static void Pump() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
  }

 private:
  HWND sheet_ = nullptr;
};

// The drive list with no entry picked (the end-to-end scenario always has one).
TEST_F(OfficePages, DrivePageWaitsForADrive) {
  CSetting& s = *g_app->m_setting;
  s.drives = {"C:\\"};
  s.systemDriveRoot = "C:";
  s.current.pm = "00123";
  LogCapture log;
  TestSheet sheet({{IDD_WIZ_SELECTUNIT, GuardedDlgProc<WizSelectUnitDlgProc>},
                   {IDD_WIZ_BEFOREINSTALL, &QuietPage}},
                  0);
  SendDlgItemMessageA(sheet.page(), IDC_DRIVE_COMBO, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  sheet.Press(PSBTN_NEXT);
  EXPECT_EQ(IDD_WIZ_SELECTUNIT, sheet.pageId());
  EXPECT_TRUE(log.Has("[* WARN] No drive selected for the installation"));
  EXPECT_TRUE(boxes_.seen.empty());
}

// An office folder with a register holding one workstation of `pm` in
// `anno` (another user's) and the platform's marker file.
void MakeOffice(const std::string& folder, const std::string& pm, const std::string& anno) {
  const std::string path = folder + "ZAN_Shared\\SharedInfo";
  ASSERT_TRUE(CreateDirectoryTree(folder + "ZAN_Shared"));
  ASSERT_EQ(0, CreateSharedInfo(path));
  int id = 0;
  ASSERT_EQ(0, CheckInstallation(path, anno, &id));
  ASSERT_EQ(0, AddPdlEntry(path, pm, "PWD", id, folder, "OTHERPC\\other"));
  ASSERT_TRUE(WriteBytes(folder + "ZAN" + anno + "\\HOME\\ETC\\INSTALLA.MOD", pm + "PWD"));
}

std::string g_foundFolder;
HWND g_listDuringBox = nullptr;
int g_listCountDuringBox = -1;

// The lock question: while it is open, discovery reports a share holding an
// office that sorts first.
int WINAPI ShareFoundThenYes(HWND, LPCSTR, LPCSTR, UINT) {
  SendMessageA(g_app->m_hwndSheet, WM_SHARE_FOUND, reinterpret_cast<WPARAM>(g_foundFolder.c_str()),
               2025);
  g_listCountDuringBox = static_cast<int>(SendMessageA(g_listDuringBox, LB_GETCOUNT, 0, 0));
  return IDYES;
}

TEST_F(OfficePages, ShareFoundWhileTheLockQuestionIsOpenKeepsThePickedOffice) {
  TempDir root;
  MakeOffice(root / "A\\", "00200", "2024");
  MakeOffice(root / "B\\", "00300", "2024");
  MakeOffice(root / "C\\", "00100", "2024");
  CSetting& s = *g_app->m_setting;
  s.ReadSharedInfo(root / "A\\", 2025);
  s.ReadSharedInfo(root / "B\\", 2025);
  ASSERT_EQ(2u, s.sharedInfoRecords.size());
  WriteLockFile(root / "B\\", "1");
  g_foundFolder = root / "C\\";
  SetLockMessageBoxForTesting(&ShareFoundThenYes);

  TestSheet sheet({{IDD_WIZ_PMSELECT, GuardedDlgProc<WizPmSelectDlgProc>},
                   {IDD_WIZ_BEFOREINSTALL, &QuietPage}},
                  0);
  g_listDuringBox = GetDlgItem(sheet.page(), IDC_PM_LIST);
  SendMessageA(g_listDuringBox, LB_SETCURSEL, 1, 0);  // office 00300
  sheet.Press(PSBTN_NEXT);
  SetLockMessageBoxForTesting(nullptr);

  EXPECT_EQ(IDD_WIZ_BEFOREINSTALL, sheet.pageId());  // an earlier year: no question
  EXPECT_EQ("00300", s.current.pm);
  EXPECT_EQ(root / "B\\", s.current.rootPath);
  EXPECT_EQ(2, g_listCountDuringBox);  // the list waited for the handler
  // Then the list was sorted and refilled with the office found.
  ASSERT_EQ(3, SendMessageA(g_listDuringBox, LB_GETCOUNT, 0, 0));
  EXPECT_EQ("00100", s.sharedInfoRecords[0]->pm);
}

// Drive mapping without a network provider: the share is connected as Y:.
DWORD WINAPI NoConnection(LPCSTR, LPSTR remote, LPDWORD) {
  remote[0] = '\0';
  return ERROR_NOT_CONNECTED;
}
UINT WINAPI FreeLetter(LPCSTR root) { return root[0] == 'Y' ? DRIVE_NO_ROOT_DIR : DRIVE_FIXED; }
DWORD g_useResult = 0;
DWORD WINAPI ConnectY(HWND, LPNETRESOURCEA, LPCSTR, LPCSTR, DWORD, LPSTR access, LPDWORD, LPDWORD) {
  if (g_useResult == 0) lstrcpyA(access, "Y:");
  return g_useResult;
}

TEST_F(OfficePages, PickedShareIsMappedAndItsRecordsNameTheDrive) {
  const DriveMappingCalls calls = {&NoConnection, &FreeLetter, &ConnectY};
  const std::string unc = "\\\\SRV\\SHARE\\PM00400\\";
  const struct {
    DWORD useResult;
    int page;
    std::string rootPath, box;
  } cases[] = {
      {0, IDD_WIZ_BEFOREINSTALL, "Y:\\", ""},
      {ERROR_NO_NETWORK, IDD_WIZ_PMSELECT, unc,
       "Si e' verificato un problema durante la creazione dell'unita' di rete."},
  };
  for (const auto& c : cases) {
    SetUp();
    g_useResult = c.useResult;
    // The failure is Wine's own: it has no network provider to connect with.
    SetDriveMappingCallsForTesting(c.useResult ? nullptr : &calls);
    LogCapture log;
    for (const char* anno : {"2024", "2023"}) {
      AddRecord("00400", unc);
      auto& r = *g_app->m_setting->sharedInfoRecords.back();
      r.anno = anno;
      r.platformPath = unc + "ZAN" + anno;
      r.sharedInfoPath = unc + "ZAN_Shared\\SharedInfo";
    }
    TestSheet sheet({{IDD_WIZ_PMSELECT, GuardedDlgProc<WizPmSelectDlgProc>},
                     {IDD_WIZ_BEFOREINSTALL, &QuietPage}},
                    0);
    SendDlgItemMessageA(sheet.page(), IDC_PM_LIST, LB_SETCURSEL, 0, 0);
    sheet.Press(PSBTN_NEXT);
    const CSetting& s = *g_app->m_setting;
    EXPECT_EQ(c.page, sheet.pageId());
    EXPECT_EQ(c.rootPath, s.current.rootPath);
    EXPECT_EQ(c.box, boxes_.LastText());
    if (c.useResult) continue;
    EXPECT_EQ("Y:\\ZAN2024", s.current.platformPath);
    EXPECT_EQ("Y:\\ZAN_Shared\\SharedInfo", s.current.sharedInfoPath);
    EXPECT_EQ("Y:\\", s.installRoot);
    EXPECT_EQ("Y:\\ZAN2023", s.sharedInfoRecords[1]->platformPath);  // the other record too
    EXPECT_TRUE(log.Has("[  INFO] Unit created as Y:\\"));
    EXPECT_TRUE(log.Has("[INFO] Zan path -> " + unc + "ZAN2023 -> Y:\\ZAN2023"));
  }
  SetDriveMappingCallsForTesting(nullptr);
}

// Free bytes by drive ("C:"), as the free-space call reports them.
std::map<std::string, uint64_t> g_freeBytes;
BOOL WINAPI FreeBytes(LPCSTR root, PULARGE_INTEGER available, PULARGE_INTEGER total,
                      PULARGE_INTEGER free) {
  const auto it = g_freeBytes.find(root);
  if (it == g_freeBytes.end()) return FALSE;
  available->QuadPart = total->QuadPart = free->QuadPart = it->second;
  return TRUE;
}
const DriveApi kInjectedFreeSpace = {&GetLogicalDriveStringsA, &GetDriveTypeA, &FreeBytes};

TEST_F(OfficePages, PreInstallFreeSpaceMustExceedEachThreshold) {
  TempDir other;
  WineDrive drive('P', other.path(), DRIVE_FIXED);
  if (!drive.ok()) GTEST_SKIP() << "Wine's mount manager did not give a drive P:";
  TempDir onC;
  SetDriveApiForTesting(&kInjectedFreeSpace);
  const std::string korvalText = "ATTENZIONE!!\n\nLo spazio sull'unita' disco selezionata non e' "
                                 "sufficiente. Sono necessari almeno ";
  const struct {
    std::string rootPath;
    uint64_t freeC, freeP;
    std::string box;  // empty: WIZ_INSTALL is reached
  } cases[] = {
      {onC / "PM00123\\", 750000000, 0, korvalText + "750 MB liberi."},
      {onC / "PM00123\\", 750000001, 0, ""},
      {"P:\\PM00123\\", 4000000000u, 525000000, korvalText + "525 MB liberi."},
      {"P:\\PM00123\\", 10000000, 525000001,
       "ATTENZIONE!!\n\nLo spazio sull'unita' disco C:\\ non e' sufficiente. Sono necessari "
       "almeno 10 MB liberi."},
      {"P:\\PM00123\\", 10000001, 525000001, ""},
  };
  for (const auto& c : cases) {
    SetUp();
    SetDriveApiForTesting(&kInjectedFreeSpace);
    g_freeBytes = {{"C:", c.freeC}, {"P:", c.freeP}};
    CSetting& s = *g_app->m_setting;
    s.current.pm = "00123";
    s.current.rootPath = c.rootPath;
    s.current.isNewOffice = true;
    TestSheet sheet({{IDD_WIZ_BEFOREINSTALL, GuardedDlgProc<WizBeforeInstallDlgProc>},
                     {IDD_WIZ_INSTALL, &QuietPage}},
                    0);
    g_app->m_hwndPage = reinterpret_cast<HWND>(0x9A6E);  // the page before it
    sheet.Press(PSBTN_NEXT);
    EXPECT_EQ(c.box.empty() ? IDD_WIZ_INSTALL : IDD_WIZ_BEFOREINSTALL, sheet.pageId())
        << c.rootPath << " C " << c.freeC << " P " << c.freeP;
    EXPECT_EQ(c.box, boxes_.LastText());
    if (!c.box.empty()) {
      EXPECT_EQ(g_app->m_hwndPage, boxes_.seen.back().owner);
    }
  }
}

}  // namespace
