// Drive-letter choice for a network share through a fake table of letters,
// plus one real call.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "drive_mapping.h"
#include "test_support.h"

using testing_support::LogCapture;

namespace {

// One character per letter A..Z: 'L' local, '.' free, '?' unknown type, or a
// digit: connected to kShares[digit].
const char* const kShares[] = {"\\\\SRV\\SHARE", "\\\\srv\\Share", "\\\\other\\x"};
struct FakeDrives {
  std::string letters;
  DWORD useResult = NO_ERROR;
  std::string accessName;  // empty: the local name comes back
  std::string usedLocal, usedRemote;
  int useCalls = 0;
} g_drives;

DWORD Answer(const std::string& text, LPSTR out, LPDWORD length) {
  if (text.size() + 1 > *length) return ERROR_MORE_DATA;
  lstrcpyA(out, text.c_str());
  return NO_ERROR;
}

DWORD WINAPI FakeGetConnection(LPCSTR local, LPSTR remote, LPDWORD length) {
  const char c = g_drives.letters[local[0] - 'A'];
  if (lstrlenA(local) != 2) return ERROR_BAD_DEVICE;
  return isdigit(c) ? Answer(kShares[c - '0'], remote, length) : ERROR_NOT_CONNECTED;
}

UINT WINAPI FakeGetDriveType(LPCSTR root) {
  const char c = g_drives.letters[root[0] - 'A'];
  if (lstrlenA(root) != 3) return DRIVE_NO_ROOT_DIR;
  return c == 'L' ? DRIVE_FIXED
         : c == '.' ? DRIVE_NO_ROOT_DIR
         : c == '?' ? DRIVE_UNKNOWN
                    : DRIVE_REMOTE;
}

// Anything but a disk connection remembered in the profile without credentials is refused.
DWORD WINAPI FakeUseConnection(HWND, LPNETRESOURCEA res, LPCSTR password, LPCSTR user,
                               DWORD flags, LPSTR access, LPDWORD accessLength, LPDWORD) {
  ++g_drives.useCalls;
  g_drives.usedLocal = res->lpLocalName ? res->lpLocalName : "";
  g_drives.usedRemote = res->lpRemoteName ? res->lpRemoteName : "";
  if (password || user || flags != CONNECT_UPDATE_PROFILE || res->dwType != RESOURCETYPE_DISK)
    return ERROR_INVALID_PARAMETER;
  if (g_drives.useResult != NO_ERROR) return g_drives.useResult;
  return Answer(g_drives.accessName.empty() ? g_drives.usedLocal : g_drives.accessName, access,
                accessLength);
}

const DriveMappingCalls kFake = {&FakeGetConnection, &FakeGetDriveType, &FakeUseConnection};

TEST(DriveMapping, LetterChoiceAndResultForms) {
  const std::string kShare = "\\\\srv\\share";
  struct Row {
    std::string letters, share;
    DWORD useResult;
    std::string accessName;
    std::string drive;      // the caller's string afterwards ("before": untouched, false)
    std::string usedLocal;  // letter connected, empty when none
    std::string line;
  } rows[] = {
      {"LLLLLLLLLL0LLLLLLLLLLLLLL.", kShare + "\\", 0, "", "K:", "",
       "[  INFO] Net share \\\\SRV\\SHARE already mapped as K:"},
      {"LLLLLL1LLLLL0LLLLLLLLLLLLL", kShare, 0, "", "G:", "", "already mapped as G:"},
      {"LLLLLLLLLLLLLLLLLLLLLLLL.L", kShare, 0, "", "Y:\\", "Y:", "Mapping unit created"},
      {"LLLLLLLLLLLLLLLLLLLLLL.?L2", kShare, 0, "", "W:\\", "W:", "[  INFO] Found candidate -> W:"},
      {".LLLLLLLLLLLLLLLLLLLLLLLLL", kShare, 0, "", "A:\\", "A:", "[  INFO] Found candidate -> A:"},
      {"LLLLLLLLLLLLLLLLLLLLLLLLLL", kShare, 0, "", "before", "", "[* WARN] No candidate found"},
      {"LLLLLLLLLLLLLLLLLLLLLLLLL.", "", 0, "", "before", "", "[* WARN] Empty net share"},
      {"LLLLLLLLLLLLLLLLLLLLLLLL..", kShare, ERROR_ACCESS_DENIED, "", "before", "Z:",
       "[* WARN] Mapping unit not created, due to access denied"},
      {"LLLLLLLLLLLLLLLLLLLLLLLLL.", kShare, ERROR_SESSION_CREDENTIAL_CONFLICT, "", "before", "Z:",
       "[* WARN] Mapping unit not created -> 1219"},
      {"LLLLLLLLLLLLLLLLLLLLLLLLL.", kShare, 0, kShares[0], "before", "Z:", "No valid unit"},
  };
  SetDriveMappingCallsForTesting(&kFake);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    LogCapture log;
    g_drives = FakeDrives{r.letters, r.useResult, r.accessName};
    std::string drive = "before";
    EXPECT_EQ(MapNetworkDrive(r.share, &drive), r.drive != "before");
    EXPECT_EQ(drive, r.drive);
    EXPECT_EQ(g_drives.useCalls, r.usedLocal.empty() ? 0 : 1);
    EXPECT_EQ(g_drives.usedLocal, r.usedLocal);
    if (!r.usedLocal.empty()) EXPECT_EQ(g_drives.usedRemote, kShares[0]);
    EXPECT_TRUE(log.Has(r.line)) << log.Text();
  }
  SetDriveMappingCallsForTesting(nullptr);
}

// Real calls: no network provider under Wine (1222); the caller's string stays.
TEST(DriveMappingReal, PlatformAnswerIsHandledCleanly) {
  LogCapture log;
  std::string drive = "before";
  EXPECT_FALSE(MapNetworkDrive("\\\\zan-test-server\\share", &drive));
  EXPECT_EQ(drive, "before");
  EXPECT_TRUE(log.Has("[  INFO] Found candidate -> ")) << log.Text();
  EXPECT_TRUE(log.Has("[* WARN] Mapping unit not created -> 1222")) << log.Text();
}

}  // namespace
