// The lock file in a scratch office folder; a message box that cannot be shown.
#include "lock_file.h"

#include <gtest/gtest.h>

#include <string>

#include "file_utils.h"
#include "test_support.h"

using testing_support::Exists;
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

  const std::string bare = temp_ / "bare";  // no ZAN_Shared: nothing is made
  CreateDirectoryA(bare.c_str(), nullptr);
  WriteLockFile(bare, "1");
  EXPECT_FALSE(Exists(bare + "\\ZAN_Shared"));
}

TEST_F(LockFileTest, ReadGivesTheFirstWord) {
  const std::pair<std::string, std::string> cases[] = {
      {"[1];PC\\mario rossi;7", "[1];PC\\mario"}, {"  \r\n\tlead;x\ty", "lead;x"}, {"", ""}};
  for (const auto& c : cases) {
    ASSERT_TRUE(testing_support::WriteBytes(lock_, c.first));
    EXPECT_EQ(ReadLockFile(office_), c.second) << c.first;
  }
  DeleteFileA(lock_.c_str());
  EXPECT_EQ(ReadLockFile(office_), "");
}

// A box that could not be shown (0) goes on, as Yes does. (The question, its
// answers, and no question without a lock are seen end to end.)
TEST_F(LockFileTest, ABoxThatCannotBeShownGoesOn) {
  ASSERT_TRUE(testing_support::WriteBytes(lock_, "[x];PC\\anna bianchi;3"));
  EXPECT_EQ(CheckLockFile(GetDesktopWindow(), office_), 1);
  EXPECT_EQ(ReadBytes(lock_), "[x];PC\\anna bianchi;3");
  EXPECT_TRUE(log_.Has("[* WARN] Lock file detected on " + lock_ + " -> [x];PC\\anna\r\n"));
}

}  // namespace
