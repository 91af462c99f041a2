// fixtures: install_variants
// The Korval unpack thread for real in the test process: install phase 4
// starts it on a four-entry package, the page's bar and percentage move
// through 0, 25, 50 and 75, the tree is what 7zz unpacks, and phase 5 on the
// thread presses Next. A damaged package ends the process with 6 after its
// box, the platform folder emptied (a death test: the run really ends).
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
using testing_support::ReadBytes;
using testing_support::TestData;

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

TEST_F(InstallUnpackTest, FourEntriesShowZeroToSeventyFiveThenPhaseFivePressesNext) {
  CSetting& setting = *g_app->m_setting;
  setting.current.rootPath = temp_.path().substr(0, temp_.path().size() - 1);  // no final "\"
  g_app->m_tempKorvalPackage = TestData("install_variants\\four.7z");

  ASSERT_TRUE(RunFromPhase4());

  EXPECT_EQ(Record().percentTexts, (std::vector<std::string>{"0% completato", "25% completato",
                                                             "50% completato", "75% completato"}));
  EXPECT_EQ(Record().positions, (std::vector<WPARAM>{0, 1, 2, 3}));
  ASSERT_EQ(Record().ranges.size(), 1u);
  EXPECT_EQ(Record().ranges[0].first, 0u);
  EXPECT_EQ(Record().ranges[0].second, 4);
  EXPECT_EQ(Record().nextPresses, 1);
  EXPECT_EQ(setting.current.rootPath, temp_.path());
  EXPECT_EQ(setting.installRoot, temp_.path() + "ZAN2025\\");
  for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
    SCOPED_TRACE(name);
    const std::string expected = ReadBytes(TestData("install_variants\\ref_four\\") + name);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(ReadBytes(setting.installRoot + name), expected);
  }
  EXPECT_EQ(windows_->Text(IDC_PHASE_LABEL), "Fase 4 di 4 - Installazione componenti");
  EXPECT_EQ(g_app->m_step, StepDesktopAppInstall);
  EXPECT_TRUE(log_.Has("[  INFO] Install phase 4 - Korval install"));
  EXPECT_TRUE(log_.Has("[  INFO] Starting Korval decompression"));
  EXPECT_TRUE(log_.Has("[  INFO] Install phase 5 - DesktopApp install skipped, already installed, "
                       "no need to copy or decompress"));
  EXPECT_FALSE(UnpackRunning());
}

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

// The damaged package's box, recorded in a file, since the run ends.
std::string DeathFolder() { return testing_support::TestData("") + "..\\install_unpack_death\\"; }
int WINAPI RecordBoxAndAnswerOk(HWND, LPCSTR text, LPCSTR caption, UINT style) {
  testing_support::WriteBytes(DeathFolder() + "box.txt", std::string(caption) + "|" + text + "|" +
                                                             std::to_string(style));
  return IDOK;
}

TEST_F(InstallUnpackTest, ADamagedPackageEndsTheRunWithSixAfterEmptyingThePlatformFolder) {
  const std::string root = DeathFolder();
  testing_support::RemoveTree(root);
  ASSERT_TRUE(testing_support::WriteBytes(root + "beside.txt", "stays"));
  ASSERT_TRUE(testing_support::WriteBytes(root + "ZAN2025\\earlier.txt", "goes"));
  EXPECT_EXIT(
      {
        SetMessageBoxForTesting(RecordBoxAndAnswerOk);
        g_app->m_setting->current.rootPath = root;
        g_app->m_tempKorvalPackage = TestData("install_variants\\korval_damaged.7z");
        RunFromPhase4();
      },
      testing::ExitedWithCode(6), "");
  EXPECT_EQ(ReadBytes(root + "box.txt"),
            "Errore|Errore 6 nella decompressione.|" + std::to_string(MB_OK | MB_ICONERROR));
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((root + "ZAN2025\\*").c_str(), &entry);
  std::vector<std::string> left;
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (entry.cFileName[0] != '.') left.push_back(entry.cFileName);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  EXPECT_EQ(left, std::vector<std::string>{});
  EXPECT_EQ(ReadBytes(root + "beside.txt"), "stays");
  testing_support::RemoveTree(root);
}

}  // namespace
