// The Vex repair where the end-to-end roads do not reach, on scratch folders:
// a half missing, or a copy whose read or write fails. (The shortcut, the
// compatibility values, the autorun value and the repair done or refused by a
// held source are the end-to-end roads'.)
#include "desktop_integration.h"

#include <gtest/gtest.h>

#include "file_utils.h"
#include "test_support.h"

using testing_support::Exists;
using testing_support::LogCapture;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

// A write that fails part way, as on a full disk.
BOOL WINAPI FailedWrite(HANDLE file, LPCVOID data, DWORD, LPDWORD written, LPOVERLAPPED) {
  WriteFile(file, data, 2, written, nullptr);
  SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

// A read on a share that went away: it fails, and its handle is gone, so the
// close that follows fails too, with an error of its own.
BOOL WINAPI LostRead(HANDLE file, LPVOID, DWORD, LPDWORD read, LPOVERLAPPED) {
  *read = 0;
  CloseHandle(file);
  SetLastError(ERROR_NETNAME_DELETED);
  return FALSE;
}

// A half of the repair missing: nothing is copied, nothing deleted. A copy
// whose read or write fails leaves vex.exe as it was, and says why.
TEST(VexRepair, NeedsBothExecutablesAndAWholeCopy) {
  const struct {
    const char* name;
    bool source, destination;
    WriteFunction write;
    ReadFunction read;
    const char* line;
    bool leftoverKept;  // new_vex.exe
  } cases[] = {
      {"source missing", false, true, nullptr, nullptr, "[* WARN] Vex fake source not found",
       true},
      {"destination missing", true, false, nullptr, nullptr, "[  INFO] Vex regular not found",
       true},
      {"the copy's write fails", true, true, &FailedWrite, nullptr,
       "[* WARN] Vex fake NOT fixed, ", false},
      {"the source's read fails", true, true, nullptr, &LostRead,
       "vex.exe: read failed (64)\r\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    LogCapture log;
    const std::string app = dir / "DesktopApp\\BIN\\", vex = dir / "Vex\\BIN\\";
    ASSERT_TRUE(WriteBytes(app + (c.source ? "vex.exe" : "other.dll"), "fresh"));
    ASSERT_TRUE(WriteBytes(vex + (c.destination ? "vex.exe" : "other.dll"), "broken agent"));
    ASSERT_TRUE(WriteBytes(vex + "new_vex.exe", "leftover"));
    SetWholeFileWriteForTesting(c.write);
    SetWholeFileReadForTesting(c.read);
    RepairVexExecutableIn(app, vex);
    SetWholeFileWriteForTesting(nullptr);
    SetWholeFileReadForTesting(nullptr);
    EXPECT_TRUE(log.Has(c.line)) << log.Text();
    EXPECT_EQ(Exists(vex + "vex.exe"), c.destination);
    if (c.destination) {
      EXPECT_EQ(ReadBytes(vex + "vex.exe"), "broken agent");
    }
    EXPECT_FALSE(Exists(vex + "vex.exe.part"));
    EXPECT_EQ(Exists(vex + "new_vex.exe"), c.leftoverKept);
  }
}

}  // namespace
