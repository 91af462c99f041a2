// The office pages in this process: the folder check with its log lines and
// boxes, and the pages created from their real templates.
#include <windows.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include <deque>

#include "app.h"
#include "resource.h"
#include "sheet.h"
#include "test_support.h"
#include "wine_drive.h"

using testing_support::LogCapture;
using testing_support::TempDir;

namespace {

struct SeenBox {
  HWND owner;
  std::string text, caption;
  UINT style;
};
std::vector<SeenBox> g_boxes;
std::deque<int> g_answers;  // answers in order; IDOK when none is left

int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  g_boxes.push_back({owner, text, caption, style});
  if (g_answers.empty()) return IDOK;
  const int answer = g_answers.front();
  g_answers.pop_front();
  return answer;
}

// The log's messages without their timestamps.
std::vector<std::string> Messages(const LogCapture& log) {
  std::vector<std::string> lines;
  const std::string text = log.Text();
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    if (end - at > 24) lines.push_back(text.substr(at + 24, end - at - 24));
    at = end + 2;
  }
  return lines;
}

const HWND kSheet = reinterpret_cast<HWND>(0x5EE7);

class OfficePages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!g_app) g_app = new CApp();
  }
  void SetUp() override {
    CSetting& s = *g_app->m_setting;
    s.sharedInfoRecords.clear();
    s.current = InstallRecord();
    s.platformName = "ZAN2025";
    s.year = "2025";
    g_app->m_hwndSheet = kSheet;
    g_boxes.clear();
    g_answers.clear();
    SetMessageBoxForTesting(&RecordBox);
  }
  void TearDown() override { SetMessageBoxForTesting(nullptr); }

  void AddRecord(const std::string& pm, const std::string& rootPath) {
    auto r = std::make_unique<InstallRecord>();
    r->pm = pm;
    r->anno = "2025";
    r->rootPath = rootPath;
    g_app->m_setting->sharedInfoRecords.push_back(std::move(r));
  }
};

TEST_F(OfficePages, FolderCheckLogsAndBoxesOfEachConflict) {
  const std::string incongruenza =
      "ATTENZIONE!!\n\nE' stata rilevata una incongruenza tra il codice ufficio e la cartella "
      "di installazione indicati.";
  const std::string piuInstallazioni =
      "ATTENZIONE!\n\nSono state individuate piu' installazioni del Codice Ufficio 00123.\n\n"
      "Per continuare l'installazione e' necessario contattare l'assistenza ZAN "
      "(Tel. 0999 123456).";
  const struct {
    std::string recordPm, recordRoot;
    bool accepted;
    std::vector<std::string> log;
    std::string box;
  } cases[] = {
      {"00555", "c:\\zan\\pm00123", false,
       {"[* WARN] Install requirements check failed path -> C:\\ZAN\\PM00123\\",
        "[* WARN] Already existant path -> c:\\zan\\pm00123\\",
        "[* WARN] Current uacode -> 00123", "[* WARN] Uacode existant in path -> 00555"},
       incongruenza},
      {"00123", "D:\\ZAN\\PM00123\\", false,
       {"[* WARN] Current uacode -> 00123", "[* WARN] Uacode already existant in path -> 00123"},
       piuInstallazioni},
      {"00124", "D:\\ZAN\\PM00124\\", true, {"[  INFO] Local installation detected"}, ""},
  };
  for (const auto& c : cases) {
    SetUp();
    LogCapture log;
    AddRecord(c.recordPm, c.recordRoot);
    g_app->m_setting->current.pm = "00123";
    EXPECT_EQ(c.accepted, g_app->CheckInstallRequirements("C:\\ZAN\\PM00123")) << c.recordRoot;
    EXPECT_EQ(c.log, Messages(log)) << c.recordRoot;
    EXPECT_EQ("C:\\ZAN\\PM00123\\", g_app->m_setting->current.rootPath);
    if (c.box.empty()) {
      EXPECT_TRUE(g_boxes.empty()) << c.recordRoot;
      continue;
    }
    ASSERT_EQ(1u, g_boxes.size()) << c.recordRoot;
    EXPECT_EQ(c.box, g_boxes[0].text);
    EXPECT_EQ("Attenzione", g_boxes[0].caption);
    EXPECT_EQ(kSheet, g_boxes[0].owner);  // the sheet, not the page
  }
}

TEST_F(OfficePages, FolderOnANetworkDriveIsLoggedAsNetworkInstallation) {
  TempDir folder;
  WineDrive drive('N', folder.path(), DRIVE_REMOTE);
  if (!drive.ok()) GTEST_SKIP() << "Wine's mount manager did not give a network drive N:";
  LogCapture log;
  g_app->m_setting->current.pm = "00123";
  EXPECT_TRUE(g_app->CheckInstallRequirements("N:\\ZAN\\PM00123"));
  EXPECT_EQ(std::vector<std::string>{"[  INFO] Network installation detected"}, Messages(log));
}

}  // namespace
