#include "settings.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "constants.h"
#include "file_utils.h"
#include "log.h"
#include "text_utils.h"

InstallRecord::InstallRecord() = default;
InstallRecord::~InstallRecord() = default;

namespace {

const DriveApi kRealDriveApi = {&GetLogicalDriveStringsA, &GetDriveTypeA,
                                 &GetDiskFreeSpaceExA};
const DriveApi* g_driveApi = &kRealDriveApi;

// The owner of this run, lower-cased once: it does not change while the
// process lives, and the record order asks for it on every comparison.
const std::string& CurrentUserLower() {
  static const std::string user = ToLower(GetComputerUserName());
  return user;
}

bool IsCurrentUser(const InstallRecord& r) { return ToLower(r.assignee) == CurrentUserLower(); }

// The folder GetDiskFreeSpaceExA is asked about: "X:" for a drive path, the
// share root "\\server\share\" for a network path; empty when there is none.
std::string FreeSpaceRoot(const std::string& path) {
  if (path.size() >= MAX_PATH) return std::string();
  if (path.compare(0, 2, "\\\\") == 0) {
    size_t server_end = path.find('\\', 2);
    if (server_end == std::string::npos || server_end == 2) return std::string();
    size_t share_end = path.find('\\', server_end + 1);
    if (share_end == server_end + 1) return std::string();
    if (share_end == std::string::npos) return path + "\\";
    return path.substr(0, share_end + 1);
  }
  size_t slash = path.find('\\', 2);
  if (slash == std::string::npos) return std::string();
  return path.substr(0, slash);
}

}  // namespace

bool ComparePmRecords(const InstallRecord& a, const InstallRecord& b) {
  if (a.pm != b.pm) return a.pm < b.pm;
  if (a.anno != b.anno) return a.anno > b.anno;
  if (a.platformPath != b.platformPath) return a.platformPath < b.platformPath;
  bool a_mine = IsCurrentUser(a);
  bool b_mine = IsCurrentUser(b);
  if (a_mine != b_mine) return a_mine;
  return StringToInt(a.pdl) < StringToInt(b.pdl);
}

void SortPmRecords(InstallRecordList& records) {
  std::sort(records.begin(), records.end(),
            [](const std::unique_ptr<InstallRecord>& a, const std::unique_ptr<InstallRecord>& b) {
              return ComparePmRecords(*a, *b);
            });
}

void SetDriveApiForTesting(const DriveApi* api) { g_driveApi = api ? api : &kRealDriveApi; }

CSetting::CSetting() = default;
CSetting::~CSetting() = default;

uint32_t CSetting::Load() {
  LoadInf();
  uint32_t result = GetDiskList();
  char system[MAX_PATH] = {};
  UINT length = GetSystemDirectoryA(system, MAX_PATH);
  if (length > 0 && length < MAX_PATH) systemDriveRoot = std::string(system).substr(0, 2);
  return result;
}

uint32_t CSetting::LoadInf() {
  try {
    Log("[  INFO] Getting info about install");
    platformName = g_platformName;
    year = platformName.substr(3);
    systemDrive = GetDesktopAppBinPath().substr(0, 2);
    installRoot = systemDrive + "\\";
    runtimeBinPath = g_runtimeBinTemplate;
    runtimeExePath = g_runtimeExeTemplate;
    companyName = g_companyName;
  } catch (const std::exception& e) {
    Log(std::string("[* WARN] Exception on CSetting::LoadInf -> ") + e.what());
    throw;
  } catch (...) {
    Log("[* WARN] Exception on CSetting::LoadInf");
    throw;
  }
  return 0;
}

uint32_t CSetting::GetDiskList() {
  Log("[  INFO] Getting disk list");
  // The list can grow between the size query and the fill (a drive mapped
  // meanwhile): ask again until it fits.
  std::vector<char> buffer;
  DWORD needed = g_driveApi->getLogicalDriveStrings(0, nullptr);
  DWORD length = 0;
  for (int attempt = 0; attempt < 4 && needed > 0; ++attempt) {
    buffer.assign(needed + 1, '\0');
    length = g_driveApi->getLogicalDriveStrings(needed, buffer.data());
    if (length < needed) break;
    needed = length + 1;
    length = 0;
  }
  if (length == 0) return 0;

  for (size_t i = 0; i < length && buffer[i] != '\0';) {
    std::string root(&buffer[i]);
    i += root.size() + 1;
    Log("[  INFO] Getting valid disk -> " + root);
    if (root == "A:\\" || root == "B:\\") continue;
    UINT type = g_driveApi->getDriveType(root.c_str());
    if (type == DRIVE_FIXED || type == DRIVE_REMOTE || type == DRIVE_REMOVABLE)
      drives.push_back(root);
  }
  return 0;
}

bool CSetting::CheckDiskSpace(const std::string& path, uint32_t required) {
  std::string root = FreeSpaceRoot(path);
  if (root.empty()) return false;
  ULARGE_INTEGER available, total, free;
  if (!g_driveApi->getDiskFreeSpaceEx(root.c_str(), &available, &total, &free)) return false;
  freeBytes = available.QuadPart;
  return freeBytes > required;
}

bool CSetting::SameRecord(int32_t i, int32_t j) const {
  if (i < 0 || j < 0) return false;
  if (static_cast<size_t>(i) >= sharedInfoRecords.size() ||
      static_cast<size_t>(j) >= sharedInfoRecords.size())
    return false;
  const InstallRecord& a = *sharedInfoRecords[i];
  const InstallRecord& b = *sharedInfoRecords[j];
  return a.pm == b.pm && a.anno == b.anno && a.pdl == b.pdl;
}

bool CSetting::HasPendingRecordForCurrentYear() const {
  for (const auto& r : sharedInfoRecords)
    if (!r->notPending && r->anno == year) return true;
  for (const auto& r : diskScanRecords)
    if (r->anno == year) return true;
  return false;
}

bool CSetting::HasPendingSharedInfoRecord() const {
  for (const auto& r : sharedInfoRecords)
    if (!r->notPending) return true;
  return false;
}

bool CSetting::HasDiskScanRecords() const { return !diskScanRecords.empty(); }
