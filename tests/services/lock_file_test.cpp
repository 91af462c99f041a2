// The lock file in a scratch office folder; the user's answer comes from an
// injected message box.
#include "lock_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "file_utils.h"
#include "test_support.h"

using testing_support::Exists;
using testing_support::LogCapture;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

struct BoxCall {
  HWND owner;
  std::string text, caption;
  UINT style;
};
std::vector<BoxCall> g_boxes;
int g_answer = IDYES;

int WINAPI FakeBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  g_boxes.push_back({owner, text, caption, style});
  return g_answer;
}

INT_PTR CALLBACK PageProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// A dialog window whose DWL_MSGRESULT the check may set; null without a display.
HWND CreatePage() {
  struct {
    DLGTEMPLATE t;
    WORD menu, cls, title;
  } tmpl = {};
  tmpl.t.style = WS_POPUP;
  return CreateDialogIndirectParamA(GetModuleHandleA(nullptr), &tmpl.t, nullptr, PageProc, 0);
}

class LockFileTest : public testing::Test {
 protected:
  void SetUp() override {
    g_boxes.clear();
    g_answer = IDYES;
    SetLockMessageBoxForTesting(FakeBox);
    CreateDirectoryA(office_.c_str(), nullptr);
    CreateDirectoryA((office_ + "\\ZAN_Shared").c_str(), nullptr);
  }
  void TearDown() override { SetLockMessageBoxForTesting(nullptr); }

  TempDir temp_;
  LogCapture log_;
  const std::string office_ = temp_ / "office";
  const std::string lock_ = office_ + "\\ZAN_Shared\\LockFile";
};

TEST_F(LockFileTest, RecordsAreAppendedWithoutLineEnds) {
  EXPECT_EQ(GetLockFilePath("C:\\Uff\\"), "C:\\Uff\\ZAN_Shared\\LockFile");
  WriteLockFile(office_, "12");
  const std::string holder = GetComputerUserName();
  const std::string first = ReadBytes(lock_);
  ASSERT_EQ(first.size(), 23 + 1 + holder.size() + 1 + 2);
  EXPECT_EQ(first[0], '[');
  EXPECT_EQ(first[22], ']');
  EXPECT_EQ(first.substr(23), ";" + holder + ";12");

  WriteLockFile(office_ + "\\", "");
  const std::string both = ReadBytes(lock_);
  ASSERT_EQ(both.size(), first.size() + 23 + 1 + holder.size() + 1);
  EXPECT_EQ(both.substr(0, first.size()), first);
  EXPECT_EQ(both.substr(first.size() + 23), ";" + holder + ";");

  const std::string bare = temp_ / "bare";  // no ZAN_Shared: nothing is made
  CreateDirectoryA(bare.c_str(), nullptr);
  WriteLockFile(bare, "1");
  EXPECT_FALSE(Exists(bare + "\\ZAN_Shared"));
}

TEST_F(LockFileTest, ReadGivesTheFirstWord) {
  const std::pair<std::string, std::string> cases[] = {
      {"[20240102@03:04:05:006];PC\\mario;7", "[20240102@03:04:05:006];PC\\mario;7"},
      {"[1];PC\\mario rossi;7", "[1];PC\\mario"},
      {"  \r\n\tlead;x\ty", "lead;x"},
      {"", ""}};
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteBytes(lock_, c.first));
    EXPECT_EQ(ReadLockFile(office_), c.second) << c.first;
  }
  DeleteFileA(lock_.c_str());
  EXPECT_EQ(ReadLockFile(office_), "");
}

TEST_F(LockFileTest, AnswersOtherThanNoGoOn) {
  ASSERT_TRUE(WriteBytes(lock_, "[x];PC\\anna bianchi;3"));
  HWND page = CreatePage();
  for (int answer : {IDYES, 0}) {
    g_answer = answer;
    if (page) SetWindowLongA(page, DWL_MSGRESULT, 5);
    EXPECT_EQ(CheckLockFile(page, office_), 1);
    EXPECT_TRUE(!page || GetWindowLongA(page, DWL_MSGRESULT) == 5);
  }
  ASSERT_EQ(g_boxes.size(), 2u);
  EXPECT_EQ(g_boxes[0].owner, page);
  EXPECT_EQ(g_boxes[0].text,
            "E' stata rilevata un'altra installazione concorrente per questo Codice Ufficio. "
            "Vuoi procedere?");
  EXPECT_EQ(g_boxes[0].caption, "Attenzione");
  EXPECT_EQ(g_boxes[0].style, 0x34u);
  EXPECT_EQ(ReadBytes(lock_), "[x];PC\\anna bianchi;3");
  EXPECT_TRUE(log_.Has("[* WARN] Lock file detected on " + lock_ + " -> [x];PC\\anna\r\n"));
  EXPECT_TRUE(log_.Has("[* WARN] User choose to continue with setup")) << log_.Text();
  if (page) DestroyWindow(page);
}

TEST_F(LockFileTest, NoStopsThePage) {
  WriteLockFile(office_, "");
  g_answer = IDNO;
  EXPECT_EQ(CheckLockFile(nullptr, office_), -1);
  EXPECT_TRUE(log_.Has("[  INFO] User choose NOT to continue with setup")) << log_.Text();
  EXPECT_TRUE(Exists(lock_));
  EXPECT_EQ(g_boxes.size(), 1u);

  HWND page = CreatePage();
  if (!page) GTEST_SKIP() << "no window without a display: dialog result not checked";
  EXPECT_EQ(CheckLockFile(page, office_), -1);
  EXPECT_EQ(GetWindowLongA(page, DWL_MSGRESULT), -1);
  DestroyWindow(page);
}

TEST_F(LockFileTest, DeleteRemovesTheLockAndNoLockAsksNothing) {
  WriteLockFile(office_, "1");
  DeleteLockFile(office_);
  EXPECT_FALSE(Exists(lock_));
  DeleteLockFile(office_);
  EXPECT_TRUE(Exists(office_ + "\\ZAN_Shared"));
  EXPECT_EQ(CheckLockFile(nullptr, office_), 0);
  EXPECT_TRUE(g_boxes.empty());
  EXPECT_TRUE(log_.Has("[  INFO] No lock file detected on " + lock_ + "\r\n")) << log_.Text();
}

}  // namespace
