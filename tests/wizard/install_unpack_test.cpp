// fixtures: install_variants
// The unpack threads in the test process, on the install page's own template
// in a sheet whose progress bar, percentage text and frame record what they
// are told.
// - The progress from the threads' callback: once per percentage, and over the
//   whole 32-bit range, which no archive the end-to-end stories serve reaches.
// - A confirmed Cancel stops a running unpack thread before anything is
//   deleted or the run ends: the thread parks at its next safe point, even
//   while it is sending progress to the page of the waiting thread, and writes
//   nothing afterwards; a thread started after the stop stops at once. A stop
//   is for good, so these run last, in this order.
#include "install/unpack_threads.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <prsht.h>

#include <map>
#include <string>
#include <vector>

#include "app.h"
#include "resource.h"
#include "test_sheet.h"
#include "test_support.h"

namespace {

struct Recorded {
  std::vector<std::string> percentTexts;          // WM_SETTEXT on the percentage
  std::vector<std::pair<WPARAM, LPARAM>> ranges;  // PBM_SETRANGE32 on the bar
  std::vector<WPARAM> positions;                  // PBM_SETPOS on the bar
  int nextPresses = 0;                            // PSM_PRESSBUTTON(PSBTN_NEXT) on the frame
};

Recorded& Record() {
  static Recorded recorded;
  return recorded;
}

std::map<HWND, WNDPROC>& Originals() {
  static std::map<HWND, WNDPROC> originals;
  return originals;
}

// The bar's, the percentage's and the frame's procedure: records, then passes
// on all but Next, which stays on the page.
LRESULT CALLBACK Recording(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const int id = GetDlgCtrlID(hwnd);
  if (message == PSM_PRESSBUTTON && wParam == PSBTN_NEXT) return ++Record().nextPresses;
  if (id == IDC_PROGRESS && message == PBM_SETRANGE32) Record().ranges.emplace_back(wParam, lParam);
  if (id == IDC_PROGRESS && message == PBM_SETPOS) Record().positions.push_back(wParam);
  if (id == IDC_PERCENT_TEXT && message == WM_SETTEXT)
    Record().percentTexts.push_back(reinterpret_cast<const char*>(lParam));
  return CallWindowProcA(Originals()[hwnd], hwnd, message, wParam, lParam);
}

INT_PTR CALLBACK PlainPage(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG;
}

// The sheet on the install page, made once (see MakeTestSheet), and the
// application object (never freed, like the setup's) pointing at it.
HWND InstallPage() {
  static HWND page = [] {
    g_app = new CApp();
    HWND sheet = testing_support::MakeTestSheet({{IDD_WIZ_INSTALL, PlainPage}}, PSH_MODELESS);
    HWND made = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    for (HWND window : {sheet, GetDlgItem(made, IDC_PROGRESS), GetDlgItem(made, IDC_PERCENT_TEXT)})
      Originals()[window] = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Recording)));
    g_app->m_hwndSheet = sheet;
    g_app->m_hwndPage = made;
    return made;
  }();
  return page;
}

class InstallUnpackTest : public testing::Test {
 protected:
  void SetUp() override {
    InstallPage();
    Record() = Recorded();
  }
  HWND bar() const { return GetDlgItem(InstallPage(), IDC_PROGRESS); }
};

TEST_F(InstallUnpackTest, ManyEntriesUpdateThePageOncePerPercentageAndEndOnTheLastEntry) {
  for (uint32_t index = 0; index < 1000; ++index) DecompressionProgressCallback(index, 1000);
  ASSERT_EQ(Record().percentTexts.size(), 100u);
  EXPECT_EQ(Record().percentTexts.front(), "0% completato");
  EXPECT_EQ(Record().percentTexts.back(), "99% completato");
  EXPECT_EQ(Record().positions.size(), 101u);  // each percentage, and the last entry
  EXPECT_EQ(SendMessageA(bar(), PBM_GETRANGE, FALSE, 0), 1000);
  EXPECT_EQ(SendMessageA(bar(), PBM_GETPOS, 0, 0), 999);

  // The next archive starts its own range, even of the same size.
  DecompressionProgressCallback(0, 1000);
  EXPECT_EQ(Record().ranges.size(), 2u);
  EXPECT_EQ(Record().percentTexts.back(), "0% completato");
}

TEST_F(InstallUnpackTest, ProgressOfMoreThan65535EntriesKeepsTheWholeRange) {
  DecompressionProgressCallback(70000, 100000);
  EXPECT_EQ(SendMessageA(bar(), PBM_GETRANGE, FALSE, 0), 100000);
  EXPECT_EQ(SendMessageA(bar(), PBM_GETPOS, 0, 0), 70000);
  char text[32] = {};
  GetDlgItemTextA(InstallPage(), IDC_PERCENT_TEXT, text, sizeof text);
  EXPECT_STREQ(text, "70% completato");
}

TEST_F(InstallUnpackTest, StoppingALongUnpackingParksTheThreadPromptlyAndItWritesNoMore) {
  testing_support::TempDir temp;
  testing_support::LogCapture log;
  CSetting& setting = *g_app->m_setting;
  setting.platformName = "ZAN2025";
  setting.current.rootPath = temp / "office\\";
  g_app->m_tempKorvalPackage = temp / "korval2025.7z";
  ASSERT_TRUE(CopyFileA(testing_support::TestData("install_variants\\korval_long.7z").c_str(),
                        g_app->m_tempKorvalPackage.c_str(), FALSE));
  g_app->m_tempDesktopAppPackage = temp / "absent.7z";

  g_app->InstallPhase4();
  ASSERT_TRUE(testing_support::PumpUntil([] { return Record().positions.size() > 2; }, 30000))
      << Record().positions.size() << "\n" << log.Text();
  ASSERT_TRUE(UnpackRunning());
  // No pumping until the thread waits inside its next send of progress to the
  // page: the stop must handle that send, or the thread never parks.
  const DWORD held = GetTickCount();
  while (!(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) && GetTickCount() - held < 30000)
    Sleep(1);
  ASSERT_TRUE(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) << "no progress was sent";

  const DWORD start = GetTickCount();
  EXPECT_TRUE(StopUnpacking(3000));
  EXPECT_LT(GetTickCount() - start, 3000u);
  EXPECT_FALSE(UnpackRunning());
  const size_t written = testing_support::Tree(setting.installRoot).size();
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, 12000u);
  // The thread would write a file every few milliseconds if it were still going.
  testing_support::PumpUntil([] { return false; }, 1000);
  EXPECT_EQ(testing_support::Tree(setting.installRoot).size(), written);
  EXPECT_EQ(Record().nextPresses, 0);
  EXPECT_EQ(WaitForSingleObject(g_app->m_unpackThread, 0), DWORD(WAIT_TIMEOUT));
  // The parked thread holds the package open until the process ends.
  EXPECT_FALSE(DeleteFileA(g_app->m_tempKorvalPackage.c_str()));
}

// A Cancel confirmed while an unpack thread is being started: the new thread
// stops at its start, before it ends any program or makes any folder.
TEST_F(InstallUnpackTest, AThreadStartedAfterTheStopDoesNothing) {
  testing_support::LogCapture log;
  ASSERT_TRUE(StopUnpacking(3000));
  ASSERT_NE(StartUnpackThread(DesktopAppDecompressionThread), nullptr);
  EXPECT_TRUE(testing_support::PumpUntil([] { return !UnpackRunning(); }, 10000));
  EXPECT_EQ(log.Text(), "");
  EXPECT_EQ(Record().nextPresses, 0);
}

}  // namespace
