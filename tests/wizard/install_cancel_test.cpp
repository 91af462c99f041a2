// fixtures: install_variants
// A confirmed Cancel stops a running unpack thread before anything is deleted
// or the run ends: the thread parks at its next safe point, even while it is
// sending progress to the page of the waiting thread, and writes nothing
// afterwards; a thread started after the stop stops at once. A program of its
// own: the parked threads stay parked.
#include "install/unpack_threads.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app.h"
#include "install_test_pages.h"
#include "test_support.h"

using install_test::Record;

namespace {

TEST(InstallCancelTest, StoppingALongUnpackingParksTheThreadPromptlyAndItWritesNoMore) {
  testing_support::TempDir temp;
  testing_support::LogCapture log;
  g_app = new CApp();
  install_test::Windows windows;
  CSetting& setting = *g_app->m_setting;
  setting.platformName = "ZAN2025";
  setting.current.rootPath = temp / "office\\";
  g_app->m_tempKorvalPackage = temp / "korval2025.7z";
  ASSERT_TRUE(CopyFileA(testing_support::TestData("install_variants\\korval_long.7z").c_str(),
                        g_app->m_tempKorvalPackage.c_str(), FALSE));
  g_app->m_tempDesktopAppPackage = temp / "absent.7z";

  g_app->InstallPhase4();
  ASSERT_TRUE(install_test::PumpUntil([] { return Record().positions.size() > 2; }, 30000))
      << Record().positions.size() << "\n" << log.Text();
  ASSERT_TRUE(UnpackRunning());

  const DWORD start = GetTickCount();
  EXPECT_TRUE(StopUnpacking(3000));
  EXPECT_LT(GetTickCount() - start, 3000u);
  EXPECT_FALSE(UnpackRunning());
  const size_t written = testing_support::Tree(setting.installRoot).size();
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, 12000u);
  // The thread would write a file every few milliseconds if it were still going.
  install_test::PumpUntil([] { return false; }, 1000);
  EXPECT_EQ(testing_support::Tree(setting.installRoot).size(), written);
  EXPECT_EQ(Record().nextPresses, 0);
  EXPECT_EQ(WaitForSingleObject(g_app->m_unpackThread, 0), DWORD(WAIT_TIMEOUT));
  // The parked thread holds the package open until the process ends.
  EXPECT_FALSE(DeleteFileA(g_app->m_tempKorvalPackage.c_str()));
}

// A Cancel confirmed while an unpack thread is being started: the new thread
// stops at its start, before it ends any program or makes any folder.
TEST(InstallCancelTest, AThreadStartedAfterTheStopDoesNothing) {
  testing_support::LogCapture log;
  if (!g_app) g_app = new CApp();
  install_test::Windows windows;
  ASSERT_TRUE(StopUnpacking(3000));
  ASSERT_NE(StartUnpackThread(DesktopAppDecompressionThread), nullptr);
  EXPECT_TRUE(install_test::PumpUntil([] { return !UnpackRunning(); }, 10000));
  EXPECT_EQ(log.Text(), "");
  EXPECT_EQ(Record().nextPresses, 0);
}

}  // namespace
