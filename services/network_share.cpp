#include "network_share.h"

#include <aclapi.h>

#include "log.h"
#include "text_utils.h"

namespace {

NET_API_STATUS WINAPI RealNetShareAdd(LMSTR server, DWORD level, LPBYTE buffer, LPDWORD parmError) {
  return NetShareAdd(server, level, buffer, parmError);
}
NET_API_STATUS WINAPI RealNetShareSetInfo(LMSTR server, LMSTR name, DWORD level, LPBYTE buffer,
                                          LPDWORD parmError) {
  return NetShareSetInfo(server, name, level, buffer, parmError);
}
NET_API_STATUS WINAPI RealNetShareEnum(LMSTR server, DWORD level, LPBYTE* buffer, DWORD maxLength,
                                       LPDWORD entriesRead, LPDWORD totalEntries, LPDWORD resume) {
  return NetShareEnum(server, level, buffer, maxLength, entriesRead, totalEntries, resume);
}
NET_API_STATUS WINAPI RealNetShareGetInfo(LMSTR server, LMSTR name, DWORD level, LPBYTE* buffer) {
  return NetShareGetInfo(server, name, level, buffer);
}
NET_API_STATUS WINAPI RealNetApiBufferFree(LPVOID buffer) { return NetApiBufferFree(buffer); }

const NetShareCalls kRealCalls = {&RealNetShareAdd, &RealNetShareSetInfo, &RealNetShareEnum,
                                  &RealNetShareGetInfo, &RealNetApiBufferFree,
                                  &AllocateAndInitializeSid};
const NetShareCalls* g_calls = &kRealCalls;

// Frees LocalAlloc'd memory (access lists, descriptors) on every path.
class LocalMemory {
 public:
  explicit LocalMemory(void* memory) : memory_(memory) {}
  ~LocalMemory() {
    if (memory_) LocalFree(memory_);
  }
  LocalMemory(const LocalMemory&) = delete;
  LocalMemory& operator=(const LocalMemory&) = delete;

 private:
  void* memory_;
};

class SidHolder {
 public:
  explicit SidHolder(PSID sid) : sid_(sid) {}
  ~SidHolder() {
    if (sid_) FreeSid(sid_);
  }
  SidHolder(const SidHolder&) = delete;
  SidHolder& operator=(const SidHolder&) = delete;

 private:
  PSID sid_;
};

std::string ShareName(const std::string& officeCode) { return "ZAN " + officeCode; }

}  // namespace

const NetShareCalls& GetNetShareCalls() { return *g_calls; }

void SetNetShareCallsForTesting(const NetShareCalls* calls) {
  g_calls = calls ? calls : &kRealCalls;
}

bool CreateNetShare(const std::string& officeCode, const std::string& remark,
                    const std::string& folder, int* error) {
  const NetShareCalls& calls = GetNetShareCalls();
  std::string path = folder;
  if (!path.empty() && path.back() == '\\') path.pop_back();
  std::wstring name = AnsiToWide(ShareName(officeCode));
  std::wstring widePath = AnsiToWide(path);
  std::wstring wideRemark = AnsiToWide(remark);

  // Without the Everyone SID the access list would grant nothing to anyone:
  // no share is better than an unusable one.
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  if (!calls.allocateSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) {
    DWORD e = GetLastError();
    Log("[* WARN] AllocateAndInitializeSid (Everyone) error " + std::to_string(e));
    if (error) *error = static_cast<int>(e);
    return false;
  }
  SidHolder everyoneHolder(everyone);

  EXPLICIT_ACCESS_A access = {};
  access.grfAccessPermissions = GENERIC_ALL;
  access.grfAccessMode = SET_ACCESS;
  access.grfInheritance = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  access.Trustee.ptstrName = static_cast<LPSTR>(everyone);
  PACL acl = nullptr;
  DWORD aclResult = SetEntriesInAclA(1, &access, nullptr, &acl);
  LocalMemory aclHolder(acl);
  // A missing list would leave a null DACL on the share; refuse instead.
  if (aclResult != ERROR_SUCCESS || !acl) {
    Log("[* WARN] SetEntriesInAcl error " + std::to_string(aclResult));
    if (error) *error = static_cast<int>(aclResult);
    return false;
  }

  PSECURITY_DESCRIPTOR descriptor = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
  LocalMemory descriptorHolder(descriptor);
  if (!descriptor || !InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE)) {
    DWORD e = GetLastError();
    Log("[* WARN] Security descriptor error " + std::to_string(e));
    if (error) *error = static_cast<int>(e);
    return false;
  }

  SHARE_INFO_502 info = {};
  info.shi502_netname = &name[0];
  info.shi502_type = STYPE_DISKTREE;
  info.shi502_remark = &wideRemark[0];
  info.shi502_permissions = ACCESS_ALL;
  info.shi502_max_uses = static_cast<DWORD>(-1);
  info.shi502_current_uses = 0;
  info.shi502_path = &widePath[0];
  info.shi502_passwd = nullptr;
  info.shi502_reserved = 0;
  info.shi502_security_descriptor = descriptor;
  NET_API_STATUS added = calls.add(nullptr, 502, reinterpret_cast<LPBYTE>(&info), nullptr);
  if (added == NERR_Success)
    Log("[  INFO] Net share added successfully");
  else if (added == NERR_DuplicateShare)
    Log("[  INFO] Net share already exists with this name");
  else
    Log("[  INFO] Net share add failed " + std::to_string(added));
  if (error) *error = static_cast<int>(added);
  // Without the share there is nothing to set (and Wine's caching call ends
  // the process).
  if (added != NERR_Success && added != NERR_DuplicateShare) return false;

  SHARE_INFO_1005 caching = {};
  caching.shi1005_flags = CSC_CACHE_NONE;
  NET_API_STATUS cached =
      calls.setInfo(nullptr, &name[0], 1005, reinterpret_cast<LPBYTE>(&caching), nullptr);
  if (cached == NERR_Success)
    Log("[  INFO] Net share cache settings edited successfully");
  else
    Log("[  INFO] Net share cache settings edit failed " + std::to_string(cached));
  return cached == NERR_Success;
}

bool NetShareExists(const std::string& officeCode) {
  std::wstring name = AnsiToWide(ShareName(officeCode));
  LPBYTE buffer = nullptr;
  NET_API_STATUS r = GetNetShareCalls().getInfo(nullptr, &name[0], 0, &buffer);
  NetBuffer holder(buffer);
  return r == NERR_Success;
}

bool FindShareForPath(const std::string& folder, std::string* shareName) {
  const NetShareCalls& calls = GetNetShareCalls();
  std::string wanted = folder;
  if (wanted.empty() || wanted.back() != '\\') wanted += '\\';
  DWORD resume = 0;
  for (;;) {
    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0;
    NET_API_STATUS r =
        calls.enumerate(nullptr, 502, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume);
    NetBuffer holder(buffer);
    if (r != NERR_Success && r != ERROR_MORE_DATA) return false;
    if (!buffer) read = 0;
    const SHARE_INFO_502* entries = reinterpret_cast<const SHARE_INFO_502*>(buffer);
    for (DWORD i = 0; i < read; ++i) {
      std::string path = WideToAnsi(entries[i].shi502_path);
      if (path.empty()) continue;
      if (path.back() != '\\') path += '\\';
      if (path == wanted) {
        if (shareName) *shareName = WideToAnsi(entries[i].shi502_netname);
        return true;
      }
    }
    // An answer of "more" that brings nothing would never end.
    if (r != ERROR_MORE_DATA || read == 0) return false;
  }
}

std::string ParentFolder(const std::string& folder) {
  std::string s = folder;
  if (!s.empty() && s.back() == '\\') s.pop_back();
  size_t cut = s.rfind('\\');
  if (cut == std::string::npos) return (s.size() >= 2 && s[1] == ':') ? s.substr(0, 2) : "";
  if (cut == 2 && s[1] == ':') return s.substr(0, 3);  // C:\ZAN -> C:\ keeps the root
  if (cut == 0) return "\\";
  if (cut == 1 && s[0] == '\\') return "\\\\";
  return s.substr(0, cut);
}

bool DetectDestinationShare(const std::string& folder) {
  std::string name;
  if (FindShareForPath(folder, &name)) {
    Log("[  INFO] Destination folder already shared as " + name);
    return true;
  }
  Log("[  INFO] Destination folder " + folder + " not shared");
  const std::string parent = ParentFolder(folder);
  if (FindShareForPath(parent, &name)) {
    Log("[  INFO] Destination parent folder already shared as " + name);
    if (name.find('$') != std::string::npos) {
      Log("[  INFO] Destination parent folder already shared with predefined connection");
      return false;
    }
    return true;
  }
  Log("[  INFO] Destination parent folder " + parent + " not shared");
  return false;
}
