// Drive-letter choice for a network share: reuse of a connected letter, else
// the highest free one, through a fake table of letters; plus one real call.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>

#include "drive_mapping.h"
#include "log.h"
#include "test_support.h"

using testing_support::TempDir;

namespace {

class LogCapture {
 public:
  LogCapture() {
    std::string folder = dir_.path();
    folder.pop_back();
    SetLogFolderForTesting(folder);
  }
  ~LogCapture() { SetLogFolderForTesting(""); }
  std::string Text() const { return testing_support::ReadBytes(dir_ / "DesktopApp_setup_log.txt"); }
  bool Has(const std::string& line) const { return Text().find(line) != std::string::npos; }

 private:
  TempDir dir_;
};

// Each letter is free (absent), local ("local"), of unknown type ("?") or
// connected to a share ("\\srv\x").
struct FakeDrives {
  std::map<char, std::string> letters;
  DWORD useResult = NO_ERROR;
  std::string accessName;  // empty: the local name comes back
  int useCalls = 0;
  std::string usedLocal, usedRemote;
  DWORD usedFlags = 0, usedType = 0;
};
FakeDrives* g_drives = nullptr;

DWORD WINAPI FakeGetConnection(LPCSTR local, LPSTR remote, LPDWORD length) {
  auto it = g_drives->letters.find(local[0]);
  if (std::string(local).size() != 2 || local[1] != ':') return ERROR_BAD_DEVICE;
  if (it == g_drives->letters.end() || it->second[0] != '\\') return ERROR_NOT_CONNECTED;
  if (it->second.size() + 1 > *length) return ERROR_MORE_DATA;
  lstrcpyA(remote, it->second.c_str());
  return NO_ERROR;
}

UINT WINAPI FakeGetDriveType(LPCSTR root) {
  if (std::string(root).size() != 3 || root[2] != '\\') return DRIVE_NO_ROOT_DIR;
  auto it = g_drives->letters.find(root[0]);
  if (it == g_drives->letters.end()) return DRIVE_NO_ROOT_DIR;
  if (it->second == "local") return DRIVE_FIXED;
  if (it->second == "?") return DRIVE_UNKNOWN;
  return DRIVE_REMOTE;
}

DWORD WINAPI FakeUseConnection(HWND, LPNETRESOURCEA resource, LPCSTR password, LPCSTR user,
                               DWORD flags, LPSTR access, LPDWORD accessLength, LPDWORD) {
  ++g_drives->useCalls;
  g_drives->usedLocal = resource->lpLocalName ? resource->lpLocalName : "";
  g_drives->usedRemote = resource->lpRemoteName ? resource->lpRemoteName : "";
  g_drives->usedFlags = flags;
  g_drives->usedType = resource->dwType;
  if (password || user) return ERROR_INVALID_PARAMETER;
  if (g_drives->useResult != NO_ERROR) return g_drives->useResult;
  const std::string name = g_drives->accessName.empty() ? g_drives->usedLocal : g_drives->accessName;
  if (name.size() + 1 > *accessLength) return ERROR_MORE_DATA;
  lstrcpyA(access, name.c_str());
  return NO_ERROR;
}

const DriveMappingCalls kFake = {&FakeGetConnection, &FakeGetDriveType, &FakeUseConnection};

std::map<char, std::string> AllLocalBut(const std::map<char, std::string>& others) {
  std::map<char, std::string> letters;
  for (char c = 'A'; c <= 'Z'; ++c) letters[c] = "local";
  for (const auto& o : others) {
    if (o.second.empty())
      letters.erase(o.first);
    else
      letters[o.first] = o.second;
  }
  return letters;
}

TEST(DriveMapping, LetterChoiceAndResultForms) {
  struct Row {
    const char* name;
    std::map<char, std::string> letters;
    std::string share;
    DWORD useResult;
    std::string accessName;
    bool result;
    std::string drive;     // what the caller's string holds afterwards
    std::string usedLocal;  // the letter connected, empty when none
    std::string line;
  } rows[] = {
      {"reuse, whatever the case and trailing slash",
       AllLocalBut({{'K', "\\\\SRV\\SHARE"}, {'Z', ""}}), "\\\\srv\\share\\", NO_ERROR, "", true,
       "K:", "", "[  INFO] Net share \\\\SRV\\SHARE already mapped as K:"},
      {"first connected letter wins", AllLocalBut({{'G', "\\\\srv\\Share"}, {'M', "\\\\SRV\\SHARE"}}),
       "\\\\SRV\\SHARE", NO_ERROR, "", true, "G:", "", "already mapped as G:"},
      {"Y and Z free: Z", AllLocalBut({{'Y', ""}, {'Z', ""}}), "\\\\srv\\share", NO_ERROR, "", true,
       "Z:\\", "Z:", "[  INFO] Found candidate -> Z:"},
      {"Z local, Y free: Y", AllLocalBut({{'Y', ""}}), "\\\\srv\\share", NO_ERROR, "", true, "Y:\\",
       "Y:", "[  INFO] Mapping unit created successfully"},
      {"Z connected elsewhere, unknown X, free W",
       AllLocalBut({{'Z', "\\\\other\\x"}, {'X', "?"}, {'W', ""}}), "\\\\srv\\share", NO_ERROR, "",
       true, "W:\\", "W:", "[  INFO] Found candidate -> W:"},
      {"only A free", AllLocalBut({{'A', ""}}), "\\\\srv\\share", NO_ERROR, "", true, "A:\\", "A:",
       "[  INFO] Found candidate -> A:"},
      {"all taken", AllLocalBut({}), "\\\\srv\\share", NO_ERROR, "", false, "before", "",
       "[* WARN] No candidate found"},
      {"empty share", AllLocalBut({{'Z', ""}}), "", NO_ERROR, "", false, "before", "",
       "[* WARN] Empty net share"},
      {"access denied", AllLocalBut({{'Z', ""}}), "\\\\srv\\share", ERROR_ACCESS_DENIED, "", false,
       "before", "Z:", "[* WARN] Mapping unit not created, due to access denied"},
      {"bad net name", AllLocalBut({{'Z', ""}}), "\\\\srv\\share", ERROR_BAD_NET_NAME, "", false,
       "before", "Z:", "[* WARN] Mapping unit not created, bad net name"},
      {"conflicting credentials", AllLocalBut({{'Z', ""}}), "\\\\srv\\share",
       ERROR_SESSION_CREDENTIAL_CONFLICT, "", false, "before", "Z:",
       "[* WARN] Mapping unit not created -> 1219"},
      {"something other than a letter comes back", AllLocalBut({{'Z', ""}}), "\\\\srv\\share",
       NO_ERROR, "\\\\SRV\\SHARE", false, "before", "Z:", "[* WARN] No valid unit created"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    LogCapture log;
    FakeDrives drives;
    drives.letters = r.letters;
    drives.useResult = r.useResult;
    drives.accessName = r.accessName;
    g_drives = &drives;
    SetDriveMappingCallsForTesting(&kFake);
    std::string drive = "before";
    const bool result = MapNetworkDrive(r.share, &drive);
    SetDriveMappingCallsForTesting(nullptr);
    g_drives = nullptr;
    EXPECT_EQ(result, r.result);
    EXPECT_EQ(drive, r.drive);
    EXPECT_EQ(drives.useCalls, r.usedLocal.empty() ? 0 : 1);
    if (!r.usedLocal.empty()) {
      EXPECT_EQ(drives.usedLocal, r.usedLocal);
      EXPECT_EQ(drives.usedRemote, "\\\\SRV\\SHARE");
      EXPECT_EQ(drives.usedFlags, static_cast<DWORD>(CONNECT_UPDATE_PROFILE));
      EXPECT_EQ(drives.usedType, static_cast<DWORD>(RESOURCETYPE_DISK));
    }
    EXPECT_TRUE(log.Has(r.line)) << log.Text();
  }
}

// The real calls: the emulated platform has no network provider, so the
// connection fails and the caller's string is left alone.
TEST(DriveMappingReal, PlatformAnswerIsHandledCleanly) {
  LogCapture log;
  std::string drive = "before";
  EXPECT_FALSE(MapNetworkDrive("\\\\zan-test-server\\share", &drive));
  EXPECT_EQ(drive, "before");
  EXPECT_TRUE(log.Has("[  INFO] Found candidate -> ")) << log.Text();
  // No network provider: ERROR_NO_NETWORK.
  EXPECT_TRUE(log.Has("[* WARN] Mapping unit not created -> 1222")) << log.Text();
}

}  // namespace
