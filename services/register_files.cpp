// Reading the SharedInfo register of an office folder into the installation
// records offered by the wizard, once per distinct register content.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "log.h"
#include "md5.h"
#include "settings.h"
#include "shared_info.h"
#include "text_utils.h"

namespace {

// Opens the file for reading with shared access and closes it again; the
// Windows error code of a failed open in *error.
bool CanOpenForReading(const std::string& path, DWORD* error = nullptr) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (error) *error = GetLastError();
    return false;
  }
  CloseHandle(h);
  return true;
}

// Whether the workstation's platform folder still holds one of the marker
// files of an installed platform.
bool HasMarkerFile(const std::string& platformPath) {
  return CanOpenForReading(platformPath + "\\HOME\\BIN\\ZANOLINF.TXT") ||
         CanOpenForReading(platformPath + "\\FILES\\uffaut") ||
         CanOpenForReading(platformPath + "\\HOME\\ETC\\INSTALLA.MOD");
}

}  // namespace

int CSetting::ReadSharedInfo(const std::string& folder, int registerYear) {
  if (folder.empty()) return kSharedInfoCannotOpen;
  const std::string base = folder.back() == '\\' ? folder : folder + "\\";
  const std::string path = base + "ZAN_Shared\\SharedInfo";
  Log("[  INFO] Looking for Sharedinfo -> " + path);

  DWORD error = 0;
  if (!CanOpenForReading(path, &error)) {
    Log("[  INFO] Sharedinfo not found or cannot open it -> " + path + " -> " +
        IntToString(static_cast<int>(error)));
    return 2;
  }
  Log("[  INFO] Sharedinfo found -> " + path);

  // The same register reached through another folder (a share of a local
  // folder, a copy) has the same content: read it once.
  const std::string digest = FileMD5(path);
  if (digest == "-1") {  // gone or locked since the open above
    Log("[  INFO] Sharedinfo not found or cannot open it -> " + path + " -> " +
        LastErrorText());
    return 2;
  }
  if (std::find(sharedInfoFiles.begin(), sharedInfoFiles.end(), digest) !=
      sharedInfoFiles.end()) {
    Log("[  INFO] Duplicated Sharedinfo -> " + path);
    return 52;
  }
  sharedInfoFiles.push_back(digest);

  std::vector<WorkpointRecord> workpoints;
  const int result = ParseSharedInfo(path, registerYear, workpoints);
  if (!workpoints.empty())
    Log("[  INFO] Sharedinfo item count -> " + IntToString(static_cast<int>(workpoints.size())));

  for (const WorkpointRecord& w : workpoints) {
    std::unique_ptr<InstallRecord> r(new InstallRecord);
    r->pm = w.pm;
    r->pwd = w.pwd;
    r->pdl = w.pdl;
    r->anno = IntToString(w.anno);
    r->platformPath = base + "ZAN" + r->anno;
    r->rootPath = base;
    r->sharedInfoPath = path;
    r->assignee = w.assignee;
    r->type = 1;
    r->isNewOffice = false;
    r->fromSharedInfo = true;
    r->notPending = w.notPending != 0;

    // A workstation whose platform folder is gone is not offered.
    if (!HasMarkerFile(r->platformPath)) continue;

    // Reached through a network path, a workstation already recorded is the
    // same installation seen from another PC's share.
    if (r->platformPath.compare(0, 1, "\\") == 0) {
      bool repeated = false;
      for (const auto& earlier : sharedInfoRecords) {
        if (earlier->pm == r->pm && earlier->anno == r->anno && earlier->pdl == r->pdl &&
            earlier->assignee == r->assignee) {
          repeated = true;
          break;
        }
      }
      if (repeated) continue;
    }
    sharedInfoRecords.push_back(std::move(r));
  }
  return result;
}
