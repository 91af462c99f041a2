// The sheet's machinery no end-to-end story reaches under Wine, where the
// network search finds no share and nothing throws: the office list keeping
// the duplicates it drops, share reports arriving while a page handler is
// busy (the discovery thread's SendMessage reaching the sheet inside a modal
// loop) or idle, and an exception in every page procedure and thread entry,
// each in a child copy of this program.
#include "sheet.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "app.h"
#include "install/unpack_threads.h"
#include "office_list.h"
#include "resource.h"
#include "share_discovery.h"
#include "shared_info.h"
#include "startup.h"
#include "test_sheet.h"
#include "test_support.h"

// One allocation made to fail on purpose: the next one after the flag is set.
// Kept out of line: inlined, GCC takes the library's delete of its blocks for a
// mismatch.
std::atomic<bool> g_failNextAllocation{false};

__attribute__((noinline)) void* operator new(std::size_t size) {
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

// A modeless sheet of one page on the office selection page's template (the
// office list), made once (see MakeTestSheet) and subclassed as WIZ_START
// does, with the application object pointing at it.
class SheetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    Records().clear();
    static HWND sheet = testing_support::MakeTestSheet(
        {{IDD_WIZ_PMSELECT, GuardedDlgProc<PlainPage>}}, PSH_MODELESS);
    sheet_ = sheet;
    ASSERT_NE(sheet_, nullptr);
    page_ = reinterpret_cast<HWND>(SendMessageA(sheet_, PSM_GETCURRENTPAGEHWND, 0, 0));
    ASSERT_NE(page_, nullptr);
    list_ = GetDlgItem(page_, IDC_PM_LIST);
    ASSERT_NE(list_, nullptr);
    SendMessageA(list_, LB_RESETCONTENT, 0, 0);
    SubclassSheet(sheet_);
    App()->SetSheetWindow(sheet_);
    App()->m_hwndPage = page_;
    App()->SetDiscoveryRunning(false);
  }
  void TearDown() override { Records().clear(); }

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
  std::vector<const InstallRecord*> inside;  // the records as the handler saw them last
  LRESULT listInside = -1;

  // A page's handler picks entry 1 and shows a box; meanwhile the discovery
  // thread reports a share with an office and then asks for a refresh.
  Guarded([&] {
    held = Records()[1].get();
    ShareReport report{sheet_, office};
    HANDLE thread = CreateThread(nullptr, 0, &ReportShare, &report, 0, nullptr);
    EXPECT_TRUE(testing_support::PumpUntil(
        [&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, 10000));
    CloseHandle(thread);

    for (const auto& record : Records()) inside.push_back(record.get());
    listInside = SendMessageA(list_, LB_GETCOUNT, 0, 0);
    return 0;
  });

  // The register was read at once, but nothing moved under the handler.
  ASSERT_EQ(inside.size(), 4u);
  EXPECT_EQ(inside[1], held);
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

// ---- Exceptions at Windows' frames: every page procedure of the sheet's
// table and every thread entry, made to throw at its first allocation in a
// child copy of this program, must log the exception, show the box and end
// the run with -1.

LogCapture* g_childLog = nullptr;

// Answers the box, telling on the error stream whether the exception was
// logged before it and what it said.
int WINAPI ReportBox(HWND, LPCSTR text, LPCSTR caption, UINT) {
  std::fprintf(stderr, "logged %d, %s: %s\n",
               g_childLog->Has("[**  ERR] Exception std::bad_alloc\r\n"), caption, text);
  return IDOK;
}

TEST(Guard, EveryPageProcedureAndThreadEntryEndsTheRunOnAnException) {
  std::vector<std::pair<std::string, std::function<void()>>> entries;
  for (int page = 0; page < kPageCount; ++page)
    entries.push_back({PageName(page), [page] {
                         NMHDR activation = {nullptr, 0, static_cast<UINT>(PSN_SETACTIVE)};
                         SheetPageProcedure(page)(nullptr, WM_NOTIFY, 0,
                                                  reinterpret_cast<LPARAM>(&activation));
                       }});
  entries.push_back({"Korval unpack thread", [] { KorvalDecompressionThread(nullptr); }});
  entries.push_back({"DesktopApp unpack thread", [] { DesktopAppDecompressionThread(nullptr); }});
  entries.push_back({"discovery thread", [] { DiscoveryThreadEntry(nullptr); }});
  for (const auto& entry : entries) {
    SCOPED_TRACE(entry.first);
    EXPECT_EXIT(
        {
          LogCapture log;
          g_childLog = &log;
          App();
          SetMessageBoxForTesting(&ReportBox);
          g_failNextAllocation = true;
          entry.second();
        },
        ::testing::ExitedWithCode(-1), "logged 1, Errore: Errore indefinito dell'applicazione\\.");
  }
}

}  // namespace
