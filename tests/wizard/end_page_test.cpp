// INSTALLA.MOD where the end-to-end roads do not reach: a short code, a long
// folder, a short write and a failed close; the elevated copy's parameters as
// the log shows them.
#include "end_decisions.h"
#include "file_utils.h"

#include <gtest/gtest.h>

#include "test_support.h"

using testing_support::LogCapture;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

// (The code, password and folder of a new office are the end-to-end roads'.)
TEST(InstallaMod, CodeOfFiveDigitsAtLeastAndAFolderOfAnyLength) {
  const std::string longRoot = "D:\\" + std::string(600, 'x') + "\\";
  EXPECT_EQ(InstallaModBytes("12", "pw", "C:\\Z\\"), "00012pw\r\r\nC:\\Z\\");
  EXPECT_EQ(InstallaModBytes("01234", "AB3D5F7H", longRoot), "01234AB3D5F7H\r\r\n" + longRoot);
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

// The params log line: the office code, a register's text, escaped and cut as
// such; the switches and the folder escaped only, so a long usual folder is
// logged as it is passed.
TEST(ElevatedCommand, ParametersForTheLogQuoteTheOfficeCode) {
  const ElevatedCommand forged =
      ElevatedShareCommand("C:\\s.exe", "/SKIPUPDATE", "01234\r\n[  INFO] x", "C:\\ZAN\\P\\");
  EXPECT_EQ(forged.parameters, "/SKIPUPDATE /SHARE=01234\r\n[  INFO] x;C:\\ZAN\\P\\");
  EXPECT_EQ(forged.loggedParameters, "/SKIPUPDATE /SHARE=01234\\x0D\\x0A[  INFO] x;C:\\ZAN\\P\\");
  const std::string longCode(300, '1');
  EXPECT_EQ(ElevatedShareCommand("C:\\s.exe", "", longCode, "C:\\P\\").loggedParameters,
            " /SHARE=" + longCode.substr(0, 260) + "... (300 bytes);C:\\P\\");
  const std::string longFolder = "C:\\" + std::string(255, 'x') + "\\";
  const ElevatedCommand usual =
      ElevatedShareCommand("C:\\s.exe", "/SKIPUPDATE /NODISCOVERY", "01234", longFolder);
  EXPECT_EQ(usual.loggedParameters, usual.parameters);
}

}  // namespace
