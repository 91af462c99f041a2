// Drive-letter choice for a network share through a fake table of letters, and one real call.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "drive_mapping.h"
#include "test_support.h"

using testing_support::LogCapture;

namespace {

// Letters A..Z: 'L' local, '.' free, '?' unknown type, or a digit: connected to kShares[digit].
const char* const kShares[] = {"\\\\SRV\\SHARE", "\\\\srv\\Share", "\\\\other\\x"};
std::string g_letters, g_accessName, g_used;  // g_used: "local remote" of each connection made
DWORD g_useResult;

DWORD Answer(const std::string& text, LPSTR out, LPDWORD length) {
  return text.size() + 1 > *length ? ERROR_MORE_DATA : (lstrcpyA(out, text.c_str()), NO_ERROR);
}

DWORD WINAPI FakeGetConnection(LPCSTR local, LPSTR remote, LPDWORD length) {
  const char c = g_letters[local[0] - 'A'];
  if (lstrlenA(local) != 2) return ERROR_BAD_DEVICE;
  return isdigit(c) ? Answer(kShares[c - '0'], remote, length) : ERROR_NOT_CONNECTED;
}

UINT WINAPI FakeGetDriveType(LPCSTR root) {
  const char c = g_letters[root[0] - 'A'];
  if (lstrlenA(root) != 3) return DRIVE_NO_ROOT_DIR;
  return c == 'L' ? DRIVE_FIXED : c == '.' ? DRIVE_NO_ROOT_DIR : c == '?' ? DRIVE_UNKNOWN
                                                                           : DRIVE_REMOTE;
}

// Anything but a disk connection remembered in the profile without credentials is refused.
DWORD WINAPI FakeUseConnection(HWND, LPNETRESOURCEA res, LPCSTR password, LPCSTR user,
                               DWORD flags, LPSTR access, LPDWORD accessLength, LPDWORD) {
  const std::string local = res->lpLocalName ? res->lpLocalName : "";
  g_used += local + " " + (res->lpRemoteName ? res->lpRemoteName : "");
  if (password || user || flags != CONNECT_UPDATE_PROFILE || res->dwType != RESOURCETYPE_DISK)
    return ERROR_INVALID_PARAMETER;
  if (g_useResult != NO_ERROR) return g_useResult;
  return Answer(g_accessName.empty() ? local : g_accessName, access, accessLength);
}

// Real calls at the end: no network provider under Wine (1222); the caller's string stays.
TEST(DriveMapping, LetterChoiceAndResultForms) {
  const char kShare[] = "\\\\srv\\share";
  struct Row {
    // letters: "<letter><state>" pairs over all-local drives; drive "before": untouched,
    // false; connected: the letter connected to kShares[0]
    std::string letters, drive, connected, line;
    DWORD useResult;
    std::string accessName, share;
  } rows[] = {
      {"K0Z.", "K:", "", "[  INFO] Net share \\\\SRV\\SHARE already mapped as K:", 0, "",
       "\\\\srv\\share\\"},
      {"G1M0", "G:", "", "already mapped as G:", 0, "", kShare},
      {"Y.", "Y:\\", "Y:", "Mapping unit created", 0, "", kShare},
      {"W.X?Z2", "W:\\", "W:", "[  INFO] Found candidate -> W:", 0, "", kShare},
      {"A.", "A:\\", "A:", "[  INFO] Found candidate -> A:", 0, "", kShare},
      {"", "before", "", "[* WARN] No candidate found", 0, "", kShare},
      {"Z.", "before", "", "[* WARN] Empty net share", 0, "", ""},
      {"Y.Z.", "before", "Z:", "due to access denied", ERROR_ACCESS_DENIED, "", kShare},
      {"Z.", "before", "Z:", "not created -> 1219", ERROR_SESSION_CREDENTIAL_CONFLICT, "", kShare},
      {"Z.", "before", "Z:", "No valid unit", 0, kShares[0], kShare},
      {"Z.", "before", "Z:", "No valid unit", 0, std::string(1, '\0'), kShare},  // an empty name
  };
  const DriveMappingCalls fake = {&FakeGetConnection, &FakeGetDriveType, &FakeUseConnection};
  SetDriveMappingCallsForTesting(&fake);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    LogCapture log;
    g_letters.assign(26, 'L');
    for (size_t i = 0; i + 1 < r.letters.size(); i += 2)
      g_letters[r.letters[i] - 'A'] = r.letters[i + 1];
    g_useResult = r.useResult, g_accessName = r.accessName, g_used.clear();
    std::string drive = "before";
    EXPECT_EQ(MapNetworkDrive(r.share, &drive), r.drive != "before");
    EXPECT_EQ(drive, r.drive);
    EXPECT_EQ(g_used, r.connected.empty() ? "" : r.connected + " " + kShares[0]);
    EXPECT_TRUE(log.Has(r.line)) << log.Text();
  }
  SetDriveMappingCallsForTesting(nullptr);
  LogCapture log;
  std::string drive = "before";
  EXPECT_FALSE(MapNetworkDrive("\\\\zan-test-server\\share", &drive));
  EXPECT_EQ(drive, "before");
  EXPECT_TRUE(log.Has("[  INFO] Found candidate -> ")) << log.Text();
  EXPECT_TRUE(log.Has("[* WARN] Mapping unit not created -> 1222")) << log.Text();
}

}  // namespace
