// The desktop integration where the end-to-end roads do not reach, on scratch
// folders: the shortcut's place without a desktop folder, a link to the Vex
// agent replaced (read back through the shell's link object), and the Vex
// repair with a half missing or a copy whose write fails. (The compatibility
// values, the autorun value and the repair done or refused by a held source
// are the end-to-end roads'.)
#include "desktop_integration.h"

#include <gtest/gtest.h>

#include "file_utils.h"
#include "test_support.h"

using testing_support::Exists;
using testing_support::LogCapture;
using testing_support::Link;
using testing_support::ReadBytes;
using testing_support::ReadLink;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

// Wine always gives the desktop folder.
TEST(DesktopShortcut, PathFallsBackToTheProfileDesktop) {
  EXPECT_EQ(ShortcutPath("", "C:\\Users\\u", "Servizi ZAN"),
            "C:\\Users\\u\\Desktop\\Servizi ZAN.lnk");
  const std::string longFolder(300, 'd');
  EXPECT_EQ(ShortcutPath("C:\\" + longFolder, "", "Servizi ZAN"),
            "C:\\" + longFolder + "\\Servizi ZAN.lnk");
}

// A link to the Vex agent is the old name of ours: replaced, whatever the
// case of its target.
TEST(DesktopShortcut, ReplacesALinkToTheVexAgent) {
  TempDir dir;
  const std::string bin = dir / "DesktopApp\\BIN\\", target = bin + "DesktopApp.exe";
  const std::string link = dir / "Servizi ZAN.lnk", earlier = dir / "old\\VEX.EXE";
  ASSERT_TRUE(WriteBytes(target, "MZ"));
  ASSERT_TRUE(WriteBytes(earlier, "MZ"));
  ASSERT_EQ(PlaceShortcut(link, earlier, dir / "old", "earlier", false), ShortcutOutcome::Written);
  EXPECT_EQ(PlaceShortcut(link, target, bin, "Servizi ZAN", false), ShortcutOutcome::Written);
  const Link read = ReadLink(link);
  ASSERT_TRUE(read.read);
  EXPECT_EQ(read.target, target);
  EXPECT_EQ(read.folder, bin);
  EXPECT_EQ(read.description, "Servizi ZAN");
}

// A write that fails part way, as on a full disk.
BOOL WINAPI FailedWrite(HANDLE file, LPCVOID data, DWORD, LPDWORD written, LPOVERLAPPED) {
  WriteFile(file, data, 2, written, nullptr);
  SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

// A half of the repair missing: nothing is copied, nothing deleted. A copy
// whose write fails leaves vex.exe as it was.
TEST(VexRepair, NeedsBothExecutablesAndAWholeCopy) {
  const struct {
    const char* name;
    bool source, destination;
    WriteFunction write;
    const char* line;
    bool leftoverKept;  // new_vex.exe
  } cases[] = {
      {"source missing", false, true, nullptr, "[* WARN] Vex fake source not found", true},
      {"destination missing", true, false, nullptr, "[  INFO] Vex regular not found", true},
      {"the copy's write fails", true, true, &FailedWrite,
       "[* WARN] Vex fake NOT fixed, ", false},
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
    RepairVexExecutableIn(app, vex);
    SetWholeFileWriteForTesting(nullptr);
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
