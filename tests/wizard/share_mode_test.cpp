// The elevated share mode's checks that keep the elevated copy from sharing
// anything but an office folder (real folders in a scratch folder, drive
// types through the seam). (Finding the share part of the command line is
// the end-to-end share-mode story's.)
#include "share_mode.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using testing_support::LogCapture;
using testing_support::TempDir;
using testing_support::WriteBytes;

// Drive types by letter: C fixed, R remote, D CD-ROM.
UINT WINAPI FakeDriveType(LPCSTR root) {
  const char letter = static_cast<char>(toupper(root[0]));
  return letter == 'C' ? DRIVE_FIXED : letter == 'R' ? DRIVE_REMOTE
       : letter == 'D' ? DRIVE_CDROM : DRIVE_NO_ROOT_DIR;
}

class ShareRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDriveTypeFunctionForTesting(&FakeDriveType);
    office_ = dir_ / "ZAN\\PM01234;B";
    ASSERT_TRUE(WriteBytes(office_ + "\\ZAN_Shared\\SharedInfo", "register"));
    ASSERT_TRUE(CreateDirectoryA((dir_ / "fake").c_str(), nullptr));
    // A folder named like the register is no register.
    ASSERT_TRUE(CreateDirectoryA((dir_ / "fake\\ZAN_Shared").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((dir_ / "fake\\ZAN_Shared\\SharedInfo").c_str(), nullptr));
  }
  void TearDown() override { SetDriveTypeFunctionForTesting(nullptr); }

  TempDir dir_;
  std::string office_;  // C:\...\ZAN\PM01234;B, holding its register
};

// (The refusals the elevated copy meets on this machine, a missing folder and
// its log and exit code are the end-to-end share-mode stories'; drive types
// other than C's fixed one come only through the seam.)
TEST_F(ShareRequestTest, OnlyAnOfficeFolderOnAFixedDriveIsAccepted) {
  // The scratch folder is on C: (a real, fixed drive of the prefix).
  ASSERT_EQ(office_.substr(0, 3), "C:\\");
  const std::string onDrive = office_.substr(2);  // "\users\...\PM01234;B"
  struct Row {
    std::string part;
    DWORD code;
    std::string warning;  // a piece of the warning line
  };
  const Row rows[] = {
      // The folder is all after the first ";"; a short code is a code.
      {"SHARE=1;" + office_, 0, ""},
      {"SHARE=;" + office_, 87, "(office code not valid) -> "},
      {"SHARE=12a;" + office_, 87, "(office code not valid)"},
      // ".." could lead out of the office folder; here it leads back in, to a
      // folder that would pass every other check.
      {"SHARE=01234;" + office_ + "\\..\\PM01234;B", 87, "(\".\" or \"..\" in the folder)"},
      {"SHARE=01234;" + office_ + ".", 87, "(folder name ending in a dot or blank)"},
      {"SHARE=01234;C:" + onDrive.substr(0, 6) + "\\\\" + onDrive.substr(7), 87,
       "(empty folder name)"},
      {"SHARE=01234;" + office_ + ":stream", 87, "(invalid character in the folder)"},
      {"SHARE=01234;C:", 87, "(not an absolute folder on a drive)"},
      {"SHARE=01234;" + dir_.path() + "fake", 87, "(no office register)"},
      {"SHARE=01234; " + office_, 87, "(not an absolute folder on a drive)"},
      {"SHARE=01234;\\\\?\\" + office_, 87, "(not an absolute folder on a drive)"},
      {"SHARE=01234;R" + office_.substr(1), 87, "(not a local fixed drive)"},
      {"SHARE=01234;D" + office_.substr(1), 87, "(not a local fixed drive)"},
  };
  for (const Row& row : rows) {
    ShareRequest request;
    std::string warning;
    EXPECT_EQ(CheckShareRequest(row.part, &request, &warning), row.code) << row.part;
    if (row.code == 0) {
      EXPECT_EQ(warning, "") << row.part;
    } else {
      EXPECT_EQ(warning.rfind("[* WARN] -------> ", 0), 0u) << warning;
      EXPECT_NE(warning.find(row.warning), std::string::npos) << row.part << " -> " << warning;
    }
  }
}

// The office code and the folder come from the parent's register and from
// whoever started the copy: every line the share mode writes escapes their
// control characters, and a folder as long as a usual one is logged whole.
TEST_F(ShareRequestTest, TheRequestIsQuotedInEveryLogLine) {
  const std::string forged = "\r\n[  INFO] forged";
  const std::string escaped = "\\x0D\\x0A[  INFO] forged";
  const std::string longFolder = "C:\\" + std::string(250, 'x');
  const struct {
    std::string part;
    DWORD code;
    std::vector<std::string> lines;
  } rows[] = {
      {"SHARE=01234" + forged + ";C:\\x" + forged, 87,
       {"[  INFO] -------> Command line -> SHARE=01234" + escaped + ";C:\\x" + escaped,
        "[  INFO] -------> Share folder -> C:\\x" + escaped,
        "[  INFO] -------> PM -> 01234" + escaped,
        "[* WARN] -------> Share refused (office code not valid) -> 01234" + escaped}},
      {"SHARE=01234;C:\\x" + forged, 87,
       {"[* WARN] -------> Share refused (invalid character in the folder) -> C:\\x" + escaped}},
      {"SHARE=01234;" + office_ + "\x7F", 3,
       {"[* WARN] -------> Folder " + office_ + "\\x7F not found"}},
      {"SHARE=01234;" + longFolder, 3,
       {"[  INFO] -------> Command line -> SHARE=01234;" + longFolder,
        "[  INFO] -------> Share folder -> " + longFolder,
        "[* WARN] -------> Folder " + longFolder + " not found"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.part);
    LogCapture log;
    EXPECT_EQ(RunShareMode(row.part), row.code);
    for (const std::string& line : row.lines) EXPECT_TRUE(log.Has(line + "\r\n")) << log.Text();
    EXPECT_EQ(log.Text().find("\n[  INFO] forged"), std::string::npos) << log.Text();
  }
}

}  // namespace
