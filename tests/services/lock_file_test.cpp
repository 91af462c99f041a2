// The lock file in a scratch office folder; a message box that cannot be shown.
#include "lock_file.h"

#include <gtest/gtest.h>

#include <string>

#include "file_utils.h"
#include "test_support.h"

using testing_support::ReadBytes;

namespace {

int WINAPI BoxNotShown(HWND, LPCSTR, LPCSTR, UINT) { return 0; }

class LockFileTest : public testing::Test {
 protected:
  void SetUp() override {
    SetLockMessageBoxForTesting(BoxNotShown);
    CreateDirectoryA(office_.c_str(), nullptr);
    CreateDirectoryA((office_ + "\\ZAN_Shared").c_str(), nullptr);
  }
  void TearDown() override { SetLockMessageBoxForTesting(nullptr); }

  testing_support::TempDir temp_;
  testing_support::LogCapture log_;
  const std::string office_ = temp_ / "office";
  const std::string lock_ = office_ + "\\ZAN_Shared\\LockFile";
};

TEST_F(LockFileTest, RecordsAreAppendedWithoutLineEnds) {
  WriteLockFile(office_, "12");
  WriteLockFile(office_ + "\\", "");
  const std::string holder = ";" + GetComputerUserName() + ";", both = ReadBytes(lock_);
  const size_t second = 23 + holder.size() + 2;  // after "[timestamp]" + holder + "12"
  ASSERT_EQ(both.size(), second + 23 + holder.size());
  EXPECT_EQ(both.substr(23, holder.size() + 2) + both.substr(second + 23), holder + "12" + holder);
  EXPECT_EQ(std::string() + both[0] + both[22] + both[second] + both[second + 22], "[][]");
}

// A box that could not be shown (0) goes on, as Yes does; the log names the
// holder by the record's first word. (The question, its answers, and no
// question without a lock are seen end to end.)
TEST_F(LockFileTest, ABoxThatCannotBeShownGoesOn) {
  ASSERT_TRUE(testing_support::WriteBytes(lock_, "[x];PC\\anna bianchi;3"));
  EXPECT_EQ(CheckLockFile(GetDesktopWindow(), office_), 1);
  EXPECT_EQ(ReadBytes(lock_), "[x];PC\\anna bianchi;3");
  EXPECT_TRUE(log_.Has("[* WARN] Lock file detected on " + lock_ + " -> [x];PC\\anna\r\n"));
}

// Any PC of the office can write the lock: its first word reaches the log
// line cut to 200 bytes and with its control characters escaped, as any
// text from outside.
TEST_F(LockFileTest, TheLockIsQuotedInTheLogLine) {
  const std::string detected = "[* WARN] Lock file detected on " + lock_ + " -> ";
  const struct {
    const char* what;
    std::string lock, shown;
  } rows[] = {
      {"a long word", std::string(100000, 'A') + " rest",
       std::string(200, 'A') + "... (more than 200 bytes)"},
      {"a word of 200 bytes", std::string(200, 'B') + "\n", std::string(200, 'B')},
      {"control characters", "[x];PC\\\x1b[2J\x07" "a\x7f\x01;3 rest",
       "[x];PC\\\\x1B[2J\\x07a\\x7F\\x01;3"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    ASSERT_TRUE(testing_support::WriteBytes(lock_, r.lock));
    log_.Clear();
    EXPECT_EQ(CheckLockFile(GetDesktopWindow(), office_), 1);
    EXPECT_TRUE(log_.Has(detected + r.shown + "\r\n")) << log_.Text().substr(0, 1000);
  }
}

}  // namespace
