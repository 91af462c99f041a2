// The lock file in a scratch office folder; the user's answer comes from an
// injected message box.
#include "lock_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "constants.h"
#include "file_utils.h"
#include "log.h"
#include "test_support.h"

using testing_support::Exists;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

struct BoxCall {
  HWND owner;
  std::string text;
  std::string caption;
  UINT style;
};
std::vector<BoxCall> g_boxes;
int g_answer = IDYES;

int WINAPI FakeBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  g_boxes.push_back({owner, text, caption, style});
  return g_answer;
}

INT_PTR CALLBACK PageProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// A dialog window whose DWL_MSGRESULT the check may set.
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
    logDir_ = temp_.path().substr(0, temp_.path().size() - 1);
    SetLogFolderForTesting(logDir_);
    office_ = temp_ / "office";
    CreateDirectoryA(office_.c_str(), nullptr);
    CreateDirectoryA((office_ + "\\ZAN_Shared").c_str(), nullptr);
    lock_ = office_ + "\\ZAN_Shared\\LockFile";
  }
  void TearDown() override {
    SetLockMessageBoxForTesting(nullptr);
    SetLogFolderForTesting("");
  }
  std::string LogText() { return ReadBytes(logDir_ + g_logFileName); }

  TempDir temp_;
  std::string logDir_, office_, lock_;
};

TEST_F(LockFileTest, PathWithOrWithoutTrailingBackslash) {
  EXPECT_EQ(GetLockFilePath("C:\\Uff"), "C:\\Uff\\ZAN_Shared\\LockFile");
  EXPECT_EQ(GetLockFilePath("C:\\Uff\\"), "C:\\Uff\\ZAN_Shared\\LockFile");
}

TEST_F(LockFileTest, RecordsAreAppendedWithoutLineEnds) {
  WriteLockFile(office_, "12");
  const std::string holder = GetComputerUserName();
  const std::string first = ReadBytes(lock_);
  ASSERT_EQ(first.size(), 23 + 1 + holder.size() + 1 + 2);
  EXPECT_EQ(first[0], '[');
  EXPECT_EQ(first[22], ']');
  EXPECT_EQ(first.substr(23), ";" + holder + ";12");
  EXPECT_EQ(first.find_first_of("\r\n"), std::string::npos);

  WriteLockFile(office_ + "\\", "");
  const std::string both = ReadBytes(lock_);
  ASSERT_EQ(both.size(), first.size() + 23 + 1 + holder.size() + 1);
  EXPECT_EQ(both.substr(0, first.size()), first);
  EXPECT_EQ(both.substr(first.size() + 23), ";" + holder + ";");
}

TEST_F(LockFileTest, WriteWithoutSharedFolderDoesNothing) {
  const std::string bare = temp_ / "bare";
  CreateDirectoryA(bare.c_str(), nullptr);
  WriteLockFile(bare, "1");
  EXPECT_FALSE(Exists(bare + "\\ZAN_Shared"));
}

TEST_F(LockFileTest, ReadGivesTheFirstWord) {
  struct Case {
    std::string content;
    std::string word;
  } cases[] = {
      {"[20240102@03:04:05:006];PC\\mario;7", "[20240102@03:04:05:006];PC\\mario;7"},
      {"[1];PC\\mario rossi;7", "[1];PC\\mario"},
      {"  \r\n\tlead;x\ty", "lead;x"},
      {"a;b;1[2];c;d;", "a;b;1[2];c;d;"},
      {"", ""},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteBytes(lock_, c.content));
    EXPECT_EQ(ReadLockFile(office_), c.word) << c.content;
  }
  DeleteFileA(lock_.c_str());
  EXPECT_EQ(ReadLockFile(office_), "");
}

TEST_F(LockFileTest, NoLockAsksNothing) {
  EXPECT_EQ(CheckLockFile(nullptr, office_), 0);
  EXPECT_TRUE(g_boxes.empty());
  EXPECT_NE(LogText().find("[  INFO] No lock file detected on " + lock_ + "\r\n"),
            std::string::npos);
}

TEST_F(LockFileTest, AnswersOtherThanNoGoOn) {
  ASSERT_TRUE(WriteBytes(lock_, "[x];PC\\anna bianchi;3"));
  HWND page = CreatePage();
  for (int answer : {IDYES, 0}) {
    g_answer = answer;
    if (page) SetWindowLongA(page, DWL_MSGRESULT, 5);
    EXPECT_EQ(CheckLockFile(page, office_), 1);
    if (page) {
      EXPECT_EQ(GetWindowLongA(page, DWL_MSGRESULT), 5);
    }
  }
  ASSERT_EQ(g_boxes.size(), 2u);
  EXPECT_EQ(g_boxes[0].owner, page);
  EXPECT_EQ(g_boxes[0].text,
            "E' stata rilevata un'altra installazione concorrente per questo Codice Ufficio. "
            "Vuoi procedere?");
  EXPECT_EQ(g_boxes[0].caption, "Attenzione");
  EXPECT_EQ(g_boxes[0].style, 0x34u);
  EXPECT_EQ(ReadBytes(lock_), "[x];PC\\anna bianchi;3");
  const std::string log = LogText();
  EXPECT_NE(log.find("[* WARN] Lock file detected on " + lock_ + " -> [x];PC\\anna\r\n"),
            std::string::npos);
  EXPECT_NE(log.find("[* WARN] User choose to continue with setup"), std::string::npos);
  if (page) DestroyWindow(page);
}

TEST_F(LockFileTest, NoStopsThePage) {
  WriteLockFile(office_, "");
  g_answer = IDNO;
  EXPECT_EQ(CheckLockFile(nullptr, office_), -1);
  EXPECT_NE(LogText().find("[  INFO] User choose NOT to continue with setup"), std::string::npos);
  EXPECT_TRUE(Exists(lock_));
  EXPECT_EQ(g_boxes.size(), 1u);

  HWND page = CreatePage();
  if (!page) GTEST_SKIP() << "no window without a display: dialog result not checked";
  EXPECT_EQ(CheckLockFile(page, office_), -1);
  EXPECT_EQ(GetWindowLongA(page, DWL_MSGRESULT), -1);
  DestroyWindow(page);
}

TEST_F(LockFileTest, DeleteRemovesTheLockAndToleratesNone) {
  WriteLockFile(office_, "1");
  ASSERT_TRUE(Exists(lock_));
  DeleteLockFile(office_);
  EXPECT_FALSE(Exists(lock_));
  DeleteLockFile(office_);
  EXPECT_TRUE(Exists(office_ + "\\ZAN_Shared"));
  EXPECT_EQ(CheckLockFile(nullptr, office_), 0);
}

}  // namespace
