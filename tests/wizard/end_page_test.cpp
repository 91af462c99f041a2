// The final page's decisions and file work the end-to-end roads do not reach:
// INSTALLA.MOD's odd codes and passwords, its short write and failed close,
// and the meaning of the elevated copy's exit.
#include "end_decisions.h"
#include "file_utils.h"

#include <gtest/gtest.h>

#include "test_support.h"

using testing_support::LogCapture;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

TEST(InstallaMod, BytesAreCodePasswordCrCrLfFolder) {
  const std::string longRoot = "D:\\" + std::string(600, 'x') + "\\";
  struct Case {
    std::string pm, pwd, root, bytes;
  };
  const Case cases[] = {
      {"12", "pw", "C:\\Z\\", "00012pw\r\r\nC:\\Z\\"},         // five digits at least
      {"123456", "", "C:\\Z\\", "123456\r\r\nC:\\Z\\"},          // never cut
      {"01234", std::string("ab\0cd", 5), "C:\\Z\\", "01234ab\r\r\nC:\\Z\\"},  // field ends at 0
      {"01234", "a\nb", "C:\\Z\\", "01234a\r\nb\r\r\nC:\\Z\\"},  // every LF as the stream wrote it
      {"01234", "AB3D5F7H", longRoot, "01234AB3D5F7H\r\r\n" + longRoot},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pm + "/" + c.root.substr(0, 12));
    EXPECT_EQ(InstallaModBytes(c.pm, c.pwd, c.root), c.bytes);
  }
  EXPECT_EQ(InstallaModPath(longRoot), longRoot + "\\HOME\\ETC\\INSTALLA.MOD");
}

BOOL WINAPI HalfWrite(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED) {
  return WriteFile(file, data, size / 2, written, nullptr);
}

// The whole file written, then its handle closed under the writer's feet: the
// writer's own close fails.
BOOL WINAPI WriteThenClose(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                           LPOVERLAPPED) {
  const BOOL wrote = WriteFile(file, data, size, written, nullptr);
  CloseHandle(file);
  return wrote;
}

// (A write that succeeds and one the folder refuses are the end-to-end
// scenarios'.)
TEST(InstallaMod, ShortWriteOrFailedCloseIsAFailure) {
  const struct {
    WriteFunction write;
    const char* failure;
  } cases[] = {{&HalfWrite, "short write ("}, {&WriteThenClose, "close failed (6)"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failure);
    TempDir dir;
    const std::string root = dir / "ZAN2025\\";
    ASSERT_TRUE(WriteBytes(root + "HOME\\ETC\\keep.txt", ""));
    LogCapture log;
    SetWholeFileWriteForTesting(c.write);
    const bool written = WriteInstallaMod(root, "01234", "AB3D5F7H");
    SetWholeFileWriteForTesting(nullptr);
    EXPECT_FALSE(written);
    EXPECT_TRUE(log.Has("[**  ERR] Unable to write configuration -> " + InstallaModPath(root) +
                        " -> " + c.failure))
        << log.Text();
    EXPECT_FALSE(log.Has("Written"));
  }
}

// Under Wine the share call always refuses (50), so the elevated copy's other
// ends are reached only here.
TEST(ElevatedCopy, ExitCodeDecidesTheShare) {
  struct Case {
    bool read;
    DWORD exitCode;
    bool created;
    int code;
  };
  const Case cases[] = {
      {true, 0, true, 0},          // the copy made the share
      {true, 2118, false, 2118},   // a share of that name was there
      {true, 259, false, 259},     // still running after the wait
      {false, 0, false, 0},        // no code: "Error retrieving exit code"
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exitCode);
    const ShareResult result = ElevatedShareResult(c.read, c.exitCode);
    EXPECT_EQ(result.created, c.created);
    EXPECT_EQ(result.code, c.code);
  }
  EXPECT_EQ(ShareFailureLogLine(0), "[* WARN] Error retrieving exit code");
}

}  // namespace
