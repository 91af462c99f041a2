// The sheet's machinery on real windows: the office list, share reports that
// arrive while a page handler is busy (the discovery thread's SendMessage
// reaching the sheet inside a modal loop), the discovery timer, hyperlink
// statics, and exceptions escaping a page procedure of a real property sheet
// and every page procedure and thread entry, each in a child copy of this
// program.
#include "sheet.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <prsht.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "app.h"
#include "hyperlink.h"
#include "install/unpack_threads.h"
#include "log.h"
#include "office_list.h"
#include "pages.h"
#include "resource.h"
#include "share_discovery.h"
#include "shared_info.h"
#include "startup.h"
#include "test_support.h"

// One allocation made to fail on purpose: the next one after the flag is set.
std::atomic<bool> g_failNextAllocation{false};

void* operator new(std::size_t size) {
  if (g_failNextAllocation.exchange(false)) throw std::bad_alloc();
  if (void* block = std::malloc(size ? size : 1)) return block;
  throw std::bad_alloc();
}

namespace {

using testing_support::LogCapture;
using testing_support::TempDir;
using testing_support::WriteBytes;

CApp* App() {
  if (!g_app) g_app = new CApp();
  return g_app;
}

InstallRecordList& Records() { return App()->m_setting->sharedInfoRecords; }

std::unique_ptr<InstallRecord> Record(const std::string& pm, const std::string& root,
                                      const std::string& anno = "2025", int type = 1) {
  auto r = std::make_unique<InstallRecord>();
  r->pm = pm;
  r->anno = anno;
  r->rootPath = root;
  r->platformPath = root + "ZAN" + anno;
  r->type = type;
  return r;
}

// True while the block is allocated on the runtime's heap (not freed).
bool StillAllocated(const void* block) {
  return HeapValidate(reinterpret_cast<HANDLE>(_get_heap_handle()), 0, block) != FALSE;
}

std::vector<std::string> ListTexts(HWND list) {
  std::vector<std::string> texts;
  const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    std::string text(SendMessageA(list, LB_GETTEXTLEN, i, 0), '\0');
    SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
    texts.push_back(text);
  }
  return texts;
}

INT_PTR CALLBACK PlainPage(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG;
}

// A wizard sheet of one page on the office selection page's template (the
// office list and the discovery indicators); modeless: its window.
HWND OnePageSheet(DLGPROC procedure, DWORD flags) {
  PROPSHEETPAGEA page = {};
  page.dwSize = sizeof page;
  page.hInstance = GetModuleHandleA(nullptr);
  page.pszTemplate = MAKEINTRESOURCEA(IDD_WIZ_PMSELECT);
  page.pfnDlgProc = procedure;
  HPROPSHEETPAGE pages[] = {CreatePropertySheetPageA(&page)};
  PROPSHEETHEADERA header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_WIZARD | flags;
  header.nPages = 1;
  header.phpage = pages;
  return reinterpret_cast<HWND>(PropertySheetA(&header));
}

// A modeless wizard sheet with one page, subclassed as WIZ_START does, with
// the application object pointing at it.
class SheetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    Records().clear();
    sheet_ = OnePageSheet(GuardedDlgProc<PlainPage>, PSH_MODELESS);
    ASSERT_NE(sheet_, nullptr);
    page_ = reinterpret_cast<HWND>(SendMessageA(sheet_, PSM_GETCURRENTPAGEHWND, 0, 0));
    ASSERT_NE(page_, nullptr);
    list_ = GetDlgItem(page_, IDC_PM_LIST);
    ASSERT_NE(list_, nullptr);
    SubclassSheet(sheet_);
    App()->SetSheetWindow(sheet_);
    App()->m_hwndPage = page_;
    App()->SetDiscoveryRunning(false);
  }
  void TearDown() override {
    DestroyWindow(sheet_);
    App()->SetSheetWindow(nullptr);
    App()->m_hwndPage = nullptr;
    Records().clear();
  }

  // Removes and dispatches the share reports posted to the sheet; how many.
  int DispatchPostedReports() {
    int count = 0;
    MSG msg;
    while (PeekMessageA(&msg, sheet_, WM_SHARE_FOUND, WM_SHARE_FOUND, PM_REMOVE)) {
      ++count;
      DispatchMessageA(&msg);
    }
    return count;
  }

  // An office folder whose register lists one workstation of office `pm`.
  std::string OfficeWithRegister(const std::string& pm) {
    const std::string office = dir_ / ("PM" + pm + "\\");
    const std::string reg = office + "ZAN_Shared\\SharedInfo";
    EXPECT_TRUE(WriteBytes(office + "ZAN2025\\HOME\\BIN\\ZANOLINF.TXT", "[DATA]\r\n"));
    EXPECT_TRUE(CreateDirectoryA((office + "ZAN_Shared").c_str(), nullptr));
    EXPECT_EQ(CreateSharedInfo(reg), kSharedInfoOk);
    int year = 0;
    EXPECT_EQ(CheckInstallation(reg, "2025", &year), kSharedInfoOk);
    EXPECT_EQ(AddPdlEntry(reg, pm, "secret", year, office, "OTHERPC\\someone"), kSharedInfoOk);
    return office;
  }

  LogCapture log_;
  TempDir dir_;
  HWND sheet_ = nullptr;
  HWND page_ = nullptr;
  HWND list_ = nullptr;
};

TEST_F(SheetTest, OfficeListDropsLaterDuplicatesAndKeepsThemAllocated) {
  Records().push_back(Record("00034", "C:\\ZAN\\PM00034\\"));
  Records().push_back(Record("00012", "\\\\SRV\\ZAN\\PM00012\\", "2024", 2));
  Records().push_back(Record("00034", "C:\\ZAN\\PM00034\\"));        // duplicate of the first
  Records().push_back(Record("00034", "C:\\ZAN\\PM00034\\", "2024"));  // another year
  Records().push_back(Record("00034", "c:\\zan\\pm00034\\"));        // the case counts
  Records().push_back(Record("00077", "C:\\" + std::string(600, 'x') + "\\"));
  const InstallRecord* first = Records()[0].get();
  const InstallRecord* duplicate = Records()[2].get();
  SendMessageA(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("left over"));
  SendMessageA(list_, LB_SETCURSEL, 0, 0);

  FillPmList(list_);

  ASSERT_EQ(Records().size(), 5u);
  EXPECT_EQ(Records()[0].get(), first);
  ASSERT_TRUE(StillAllocated(duplicate));
  EXPECT_EQ(duplicate->pm, "00034");
  const std::vector<std::string> texts = ListTexts(list_);
  ASSERT_EQ(texts.size(), 5u);
  EXPECT_EQ(texts[1], "Unita' Periferica 00012 installata in \\\\SRV\\ZAN\\PM00012\\");
  EXPECT_EQ(texts[3], "Ufficio Autorizzato 00034 - 2025 (c:\\zan\\pm00034\\)");
  EXPECT_EQ(texts[4].size(), 511u);
  EXPECT_EQ(texts[4].rfind("Ufficio Autorizzato 00077 - 2025 (C:\\xxx", 0), 0u);
  EXPECT_EQ(SendMessageA(list_, LB_GETCURSEL, 0, 0), LB_ERR);
}

// What the discovery thread does for one share: the share, then a refresh.
struct ShareReport {
  HWND sheet;
  std::string folder;
};
DWORD WINAPI ReportShare(void* parameter) {
  auto* report = static_cast<ShareReport*>(parameter);
  SendMessageA(report->sheet, WM_SHARE_FOUND, reinterpret_cast<WPARAM>(report->folder.c_str()),
               2025);
  SendMessageA(report->sheet, WM_SHARE_FOUND, 0, 0);
  return 0;
}

TEST_F(SheetTest, ShareReportsWaitForTheBusyHandlerThenRefreshOnce) {
  const std::string office = OfficeWithRegister("00056");
  Records().push_back(Record("00034", "C:\\ZAN\\PM00034\\"));
  Records().push_back(Record("00012", "C:\\ZAN\\PM00012\\"));
  Records().push_back(Record("00012", "C:\\ZAN\\PM00012\\"));
  InstallRecord* held = nullptr;
  const InstallRecord* other = Records()[2].get();
  std::vector<const InstallRecord*> inside;  // the records as the handler saw them last
  LRESULT listInside = -1;

  // A page's handler picks entry 1 and shows a box; meanwhile the discovery
  // thread reports a share with an office and then asks for a refresh.
  Guarded([&] {
    held = Records()[1].get();
    ShareReport report{sheet_, office};
    HANDLE thread = CreateThread(nullptr, 0, &ReportShare, &report, 0, nullptr);
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(thread, 0) == WAIT_TIMEOUT && GetTickCount() - start < 10000) {
      MsgWaitForMultipleObjects(1, &thread, FALSE, 100, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    CloseHandle(thread);

    for (const auto& record : Records()) inside.push_back(record.get());
    listInside = SendMessageA(list_, LB_GETCOUNT, 0, 0);
    return 0;
  });

  // The register was read at once, but nothing moved under the handler.
  ASSERT_EQ(inside.size(), 4u);
  EXPECT_EQ(inside[1], held);
  EXPECT_EQ(inside[0]->pm, "00034");
  EXPECT_EQ(inside[3]->pm, "00056");
  EXPECT_EQ(listInside, 0);

  // Once it has returned: one refresh, sorted, without the duplicate.
  EXPECT_EQ(DispatchPostedReports(), 1);
  ASSERT_EQ(Records().size(), 3u);
  EXPECT_EQ(Records()[0]->pm, "00012");
  EXPECT_EQ(Records()[1]->pm, "00034");
  EXPECT_EQ(Records()[2]->pm, "00056");
  EXPECT_EQ(ListTexts(list_).size(), 3u);
  ASSERT_TRUE(StillAllocated(held));
  EXPECT_TRUE(StillAllocated(other));
  EXPECT_EQ(held->pm, "00012");
}

TEST_F(SheetTest, ShareReportsOutsideHandlersRefreshAtOnce) {
  const std::string office = OfficeWithRegister("00009");
  Records().push_back(Record("00034", "C:\\ZAN\\PM00034\\"));
  // A share without an office adds nothing: the list is left alone.
  SendMessageA(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("untouched"));
  SendMessageA(sheet_, WM_SHARE_FOUND, reinterpret_cast<WPARAM>(dir_.path().c_str()), 2025);
  EXPECT_EQ(ListTexts(list_), std::vector<std::string>{"untouched"});

  SendMessageA(sheet_, WM_SHARE_FOUND, reinterpret_cast<WPARAM>(office.c_str()), 2025);
  ASSERT_EQ(Records().size(), 2u);
  EXPECT_EQ(Records()[0]->pm, "00009");
  EXPECT_EQ(ListTexts(list_).size(), 2u);
  EXPECT_EQ(DispatchPostedReports(), 0);
}

TEST_F(SheetTest, DiscoveryTimerBlinksThenStopsAndLogsTheList) {
  Records().push_back(Record("00034", "C:\\ZAN\\PM00034\\"));
  HWND bitmap = GetDlgItem(page_, IDC_DISCOVERY_BITMAP);
  HWND text = GetDlgItem(page_, IDC_DISCOVERY_TEXT);
  auto shown = [](HWND w) { return (GetWindowLongPtrA(w, GWL_STYLE) & WS_VISIBLE) != 0; };
  App()->m_pageIndex = PagePmSelect;
  App()->SetDiscoveryRunning(true);
  ASSERT_NE(SetTimer(sheet_, 0, 60000, nullptr), 0u);

  const bool before = shown(bitmap);
  SendMessageA(sheet_, WM_TIMER, 0, 0);
  EXPECT_NE(shown(bitmap), before);
  SendMessageA(sheet_, WM_TIMER, 0, 0);
  EXPECT_EQ(shown(bitmap), before);
  EXPECT_TRUE(shown(text));
  EXPECT_FALSE(log_.Has("Full list detected"));

  App()->SetDiscoveryRunning(false);
  SendMessageA(sheet_, WM_TIMER, 0, 0);
  EXPECT_FALSE(shown(bitmap));
  EXPECT_FALSE(shown(text));
  EXPECT_TRUE(log_.Has("[  INFO] Full list detected after net discovery\r\n"));
  EXPECT_TRUE(log_.Has(RecordLogLine(*Records()[0])));
  EXPECT_FALSE(KillTimer(sheet_, 0));  // already stopped
}

TEST_F(SheetTest, HyperlinkStaticsAreClickableAndDrawnBlue) {
  HWND link = GetDlgItem(page_, IDC_GUIDE_LINK);
  ASSERT_NE(link, nullptr);
  EXPECT_TRUE(ConvertStaticToHyperlink(page_, IDC_GUIDE_LINK));
  EXPECT_NE(GetWindowLongPtrA(link, GWL_STYLE) & SS_NOTIFY, 0);  // clickable
  HDC dc = GetDC(link);
  SendMessageA(page_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(link));
  EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 192));
  // Any other control keeps the page's own colours.
  SendMessageA(page_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(list_));
  EXPECT_NE(GetTextColor(dc), RGB(0, 0, 192));
  ReleaseDC(link, dc);
}

// ---- Exceptions at Windows' frames, each run in a child copy of this program
// that must end with -1 and the log line (the box answered).

const char kChildLogVariable[] = "ZAN_SHEET_TEST_CHILD_LOG";
const char kChildRowVariable[] = "ZAN_SHEET_TEST_CHILD_ROW";

// Starts this program again running only the disabled test `test`, its log
// in `logFolder`, with `row` for it to read; the child's exit code, or a
// failure when it does not end in time.
DWORD RunChild(const std::string& test, const std::string& logFolder, int row,
               const std::function<void(const PROCESS_INFORMATION&)>& meanwhile = nullptr) {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string commandLine = std::string("\"") + self +
                            "\" --gtest_also_run_disabled_tests --gtest_filter=" + test;
  SetEnvironmentVariableA(kChildLogVariable, logFolder.c_str());
  SetEnvironmentVariableA(kChildRowVariable, std::to_string(row).c_str());
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child = {};
  const BOOL started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0,
                                      nullptr, nullptr, &startup, &child);
  SetEnvironmentVariableA(kChildLogVariable, nullptr);
  SetEnvironmentVariableA(kChildRowVariable, nullptr);
  if (!started) {
    ADD_FAILURE() << "child not started: " << GetLastError();
    return 0;
  }
  if (meanwhile) meanwhile(child);
  const bool ended = WaitForSingleObject(child.hProcess, 30000) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(child.hProcess, 99);
  EXPECT_TRUE(ended) << test << " row " << row;
  DWORD exitCode = 0;
  GetExitCodeProcess(child.hProcess, &exitCode);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  return exitCode;
}

// The child's side: the log where the parent reads it, and its row.
int ChildRow() {
  char folder[MAX_PATH] = {}, row[16] = {};
  EXPECT_NE(GetEnvironmentVariableA(kChildLogVariable, folder, sizeof folder), 0u);
  SetLogFolderForTesting(folder);
  GetEnvironmentVariableA(kChildRowVariable, row, sizeof row);
  return std::atoi(row);
}

INT_PTR CALLBACK ThrowingPage(HWND, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == PSN_SETACTIVE)
    throw std::runtime_error("page failure");
  return message == WM_INITDIALOG;
}

// A modal sheet whose page throws when it becomes active.
TEST(SheetChild, DISABLED_PageProcedureThrows) {
  ChildRow();
  App();
  OnePageSheet(GuardedDlgProc<ThrowingPage>, 0);
  ADD_FAILURE() << "the sheet returned";
}

struct FindBox {
  DWORD process;
  HWND box;
};

BOOL CALLBACK FindErrorBox(HWND window, LPARAM param) {
  auto* find = reinterpret_cast<FindBox*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char className[32] = {}, caption[64] = {};
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, caption, sizeof caption);
  if (process == find->process && std::string(className) == "#32770" &&
      std::string(caption) == "Errore") {
    find->box = window;
    return FALSE;
  }
  return TRUE;
}

TEST(Guard, AnExceptionFromAPageEndsTheRunWithTheBoxAndMinusOne) {
  LogCapture log;
  const DWORD exitCode =
      RunChild("SheetChild.DISABLED_PageProcedureThrows", log.folder(), 0,
               [&](const PROCESS_INFORMATION& child) {
        FindBox find = {child.dwProcessId, nullptr};
        const DWORD start = GetTickCount();
        while (!find.box && GetTickCount() - start < 30000 &&
               WaitForSingleObject(child.hProcess, 100) == WAIT_TIMEOUT)
          EnumWindows(&FindErrorBox, reinterpret_cast<LPARAM>(&find));
        ASSERT_NE(find.box, nullptr) << log.Text();
        char text[128] = {};
        GetDlgItemTextA(find.box, 0xFFFF, text, sizeof text);
        EXPECT_STREQ(text, "Errore indefinito dell'applicazione.");
        PostMessageA(find.box, WM_COMMAND, IDOK, 0);
      });
  EXPECT_EQ(exitCode, 0xFFFFFFFFu);
  EXPECT_TRUE(log.Has("[**  ERR] Exception page failure\r\n"));
}

// The entries Windows calls: every page procedure of the sheet's table and
// every thread entry. Each is made to throw at its first allocation.
struct GuardedEntry {
  const char* name;
  std::function<void()> call;
};
std::vector<GuardedEntry> GuardedEntries() {
  std::vector<GuardedEntry> entries;
  for (int page = 0; page < kPageCount; ++page)
    entries.push_back({PageName(page), [page] {
                         NMHDR activation = {nullptr, 0, static_cast<UINT>(PSN_SETACTIVE)};
                         SheetPageProcedure(page)(nullptr, WM_NOTIFY, 0,
                                                  reinterpret_cast<LPARAM>(&activation));
                       }});
  entries.push_back({"Korval unpack thread", [] { KorvalDecompressionThread(nullptr); }});
  entries.push_back({"DesktopApp unpack thread", [] { DesktopAppDecompressionThread(nullptr); }});
  entries.push_back({"discovery thread", [] { DiscoveryThreadEntry(nullptr); }});
  return entries;
}

int WINAPI AnswerOk(HWND, LPCSTR, LPCSTR, UINT) { return IDOK; }

TEST(SheetChild, DISABLED_EntryThrows) {
  const GuardedEntry entry = GuardedEntries().at(ChildRow());
  App();
  SetMessageBoxForTesting(&AnswerOk);
  g_failNextAllocation = true;
  entry.call();
  ADD_FAILURE() << entry.name << " returned";
}

TEST(Guard, EveryPageProcedureAndThreadEntryEndsTheRunOnAnException) {
  const std::vector<GuardedEntry> entries = GuardedEntries();
  for (size_t row = 0; row < entries.size(); ++row) {
    SCOPED_TRACE(entries[row].name);
    LogCapture log;
    EXPECT_EQ(RunChild("SheetChild.DISABLED_EntryThrows", log.folder(), static_cast<int>(row)),
              0xFFFFFFFFu);
    EXPECT_TRUE(log.Has("[**  ERR] Exception std::bad_alloc\r\n")) << log.Text();
  }
}

}  // namespace
