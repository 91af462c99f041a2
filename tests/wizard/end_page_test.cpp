// The final page's decisions and file work the end-to-end roads do not reach:
// INSTALLA.MOD's odd codes and passwords, its short write and failed close,
// the runtime folders, the elevated copy's command line and the meaning of its
// exit.
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

// (Each kind of installation the setup makes is an end-to-end road.)
TEST(ConfigurationStep, NoKindNoConfiguration) {
  EXPECT_EQ(ConfigStepFor(0, "", "2025"), ConfigStep::None);
}

TEST(RuntimePaths, RootReplacesTheFirstPercentOnce) {
  const std::string root = "C:\\ZAN\\PM01234\\ZAN2025\\";
  std::string bin = "%\\HOME\\BIN", exe = "%\\home\\bin\\wrun32.exe";
  EXPECT_TRUE(PlaceRuntimeRoot(&bin, root));
  EXPECT_TRUE(PlaceRuntimeRoot(&exe, root));
  EXPECT_EQ(bin, "C:\\ZAN\\PM01234\\ZAN2025\\\\HOME\\BIN");
  EXPECT_EQ(exe, "C:\\ZAN\\PM01234\\ZAN2025\\\\home\\bin\\wrun32.exe");
  EXPECT_FALSE(PlaceRuntimeRoot(&bin, root));  // a second pass changes nothing
  EXPECT_EQ(bin, "C:\\ZAN\\PM01234\\ZAN2025\\\\HOME\\BIN");
  std::string two = "%\\a\\%";
  EXPECT_TRUE(PlaceRuntimeRoot(&two, "R\\"));
  EXPECT_EQ(two, "R\\\\a\\%");
}

TEST(ElevatedCopy, ExecutableIsTheModuleAndSwitchesAreKept) {
  struct Case {
    const char* name;
    std::string module, switches, parameters;
  };
  const Case cases[] = {
      {"quoted switch value", "C:\\Program Files\\ZAN\\ZAN2025.exe", "/UP \"/x y\"",
       "/UP \"/x y\" /SHARE=01234;C:\\ZAN\\PM01234\\"},
      {"no switches", "C:\\ZAN2025.exe", "", " /SHARE=01234;C:\\ZAN\\PM01234\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ElevatedCommand command =
        ElevatedShareCommand(c.module, c.switches, "01234", "C:\\ZAN\\PM01234\\");
    EXPECT_EQ(command.executable, c.module);
    EXPECT_EQ(command.parameters, c.parameters);
  }
}

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
  EXPECT_EQ(ShareFailureLogLine(50), "[* WARN] Sharing failed due to error -> 50");
}

// A share made is not reached under Wine, whose share call always refuses.
TEST(Boxes, ShareSuccessNamesTheDownloadPage) {
  EXPECT_NE(ShareSuccessText("https://d.example/setup").find(
                "procedere a scaricare il setup da https://d.example/setup.\nUna volta"),
            std::string::npos);
}

}  // namespace
