// The Korval unpack thread's pieces in the test process: phase 4 without a
// package, and the page's progress from the thread's callback, once per
// percentage and over the whole 32-bit range. (A real package unpacked, its
// progress on the page, phase 5 pressing Next and a damaged package ending
// the run with 6 are the end-to-end install scenarios'.)
#include "install/unpack_threads.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app.h"
#include "install_test_pages.h"
#include "sheet.h"
#include "test_support.h"

using install_test::Record;

namespace {

class InstallUnpackTest : public testing::Test {
 protected:
  void SetUp() override {
    static CApp* app = new CApp();  // like the setup's: never freed
    g_app = app;
    windows_ = new install_test::Windows();
    CSetting& setting = *g_app->m_setting;
    setting.platformName = "ZAN2025";
    setting.desktopAppPath.clear();
    g_app->m_localKorvalPackage.clear();
    g_app->m_localDesktopAppPackage.clear();
    g_app->m_tempDesktopAppPackage = temp_ / "absent\\desktopapp.7z";
  }
  void TearDown() override {
    delete windows_;
    SetMessageBoxForTesting(nullptr);
  }
  // Runs the chain from phase 4 until Next is pressed (bounded).
  bool RunFromPhase4() {
    g_app->InstallPhase4();
    const bool pressed = install_test::PumpUntil([] { return Record().nextPresses > 0; }, 30000);
    if (g_app->m_unpackThread) WaitForSingleObject(g_app->m_unpackThread, 10000);
    return pressed;
  }

  testing_support::TempDir temp_;
  testing_support::LogCapture log_;
  install_test::Windows* windows_ = nullptr;
};

TEST_F(InstallUnpackTest, WithoutAPackagePhaseFourSkipsAndPhaseFivePressesNextOnThisThread) {
  g_app->m_tempKorvalPackage = temp_ / "absent\\korval2025.7z";
  g_app->m_unpackThread = nullptr;
  ASSERT_TRUE(RunFromPhase4());
  EXPECT_EQ(g_app->m_unpackThread, nullptr);
  EXPECT_TRUE(log_.Has("[  INFO] Install phase 4 - Korval install skipped, already installed"));
  EXPECT_TRUE(Record().percentTexts.empty());
}

TEST_F(InstallUnpackTest, ManyEntriesUpdateThePageOncePerPercentageAndEndOnTheLastEntry) {
  for (uint32_t index = 0; index < 1000; ++index) DecompressionProgressCallback(index, 1000);
  ASSERT_EQ(Record().percentTexts.size(), 100u);
  EXPECT_EQ(Record().percentTexts.front(), "0% completato");
  EXPECT_EQ(Record().percentTexts.back(), "99% completato");
  EXPECT_EQ(Record().positions.size(), 101u);  // each percentage, and the last entry
  EXPECT_EQ(SendMessageA(windows_->bar(), PBM_GETRANGE, FALSE, 0), 1000);
  EXPECT_EQ(SendMessageA(windows_->bar(), PBM_GETPOS, 0, 0), 999);

  // The next archive starts its own range, even of the same size.
  DecompressionProgressCallback(0, 1000);
  EXPECT_EQ(Record().ranges.size(), 2u);
  EXPECT_EQ(Record().percentTexts.back(), "0% completato");
}

TEST_F(InstallUnpackTest, ProgressOfMoreThan65535EntriesKeepsTheWholeRange) {
  DecompressionProgressCallback(70000, 100000);
  EXPECT_EQ(SendMessageA(windows_->bar(), PBM_GETRANGE, FALSE, 0), 100000);
  EXPECT_EQ(SendMessageA(windows_->bar(), PBM_GETPOS, 0, 0), 70000);
  EXPECT_EQ(windows_->Text(IDC_PERCENT_TEXT), "70% completato");
}

}  // namespace
