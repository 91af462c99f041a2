#include "drive_mapping.h"

#include "log.h"
#include "text_utils.h"

namespace {

const DriveMappingCalls kRealCalls = {&WNetGetConnectionA, &GetDriveTypeA, &WNetUseConnectionA};
const DriveMappingCalls* g_calls = &kRealCalls;

}  // namespace

void SetDriveMappingCallsForTesting(const DriveMappingCalls* calls) {
  g_calls = calls ? calls : &kRealCalls;
}

bool MapNetworkDrive(std::string share, std::string* drive) {
  const DriveMappingCalls& calls = *g_calls;
  if (share.empty()) {
    Log("[* WARN] Empty net share");
    return false;
  }
  if (share.back() == '\\') share.pop_back();
  share = ToUpper(share);

  std::string candidate;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const std::string local = std::string(1, letter) + ":";
    char remote[MAX_PATH] = {};
    DWORD length = sizeof(remote);
    // Unconnected letters and failures alike leave the buffer empty.
    calls.getConnection(local.c_str(), remote, &length);
    remote[MAX_PATH - 1] = '\0';
    if (ToUpper(remote) == share) {
      Log("[  INFO] Net share " + share + " already mapped as " + local);
      if (drive) *drive = local;
      return true;
    }
    if (remote[0] == '\0' && calls.getDriveType((local + "\\").c_str()) == DRIVE_NO_ROOT_DIR)
      candidate = local;
  }
  if (candidate.empty()) {
    Log("[* WARN] No candidate found");
    return false;
  }
  Log("[  INFO] Found candidate -> " + candidate);

  NETRESOURCEA resource = {};
  resource.dwType = RESOURCETYPE_DISK;
  resource.lpLocalName = &candidate[0];
  resource.lpRemoteName = &share[0];
  char access[MAX_PATH] = {};
  DWORD accessLength = sizeof(access);
  DWORD resultFlags = 0;
  DWORD r = calls.useConnection(nullptr, &resource, nullptr, nullptr, CONNECT_UPDATE_PROFILE,
                                access, &accessLength, &resultFlags);
  if (r == NO_ERROR) {
    Log("[  INFO] Mapping unit created successfully");
    access[MAX_PATH - 1] = '\0';
    if (access[0] != '\0' && access[1] != '\0' && access[2] == '\0') {
      if (drive) *drive = std::string(access) + "\\";
      return true;
    }
    Log("[* WARN] No valid unit created");
    return false;
  }
  if (r == ERROR_ACCESS_DENIED)
    Log("[* WARN] Mapping unit not created, due to access denied");
  else if (r == ERROR_BAD_NET_NAME)
    Log("[* WARN] Mapping unit not created, bad net name");
  else
    Log("[* WARN] Mapping unit not created -> " + std::to_string(r));
  return false;
}
