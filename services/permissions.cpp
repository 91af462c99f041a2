#include "permissions.h"

#include "file_utils.h"
#include "log.h"
#include "service_settings.h"
#include "text_utils.h"

namespace {

const PermissionCalls kRealCalls = {&AllocateAndInitializeSid, &SetEntriesInAclA,
                                    &SetNamedSecurityInfoA};
const PermissionCalls* g_calls = &kRealCalls;

struct Trustee {
  const char* label;
  SID_IDENTIFIER_AUTHORITY authority;
  BYTE subAuthorityCount;
  DWORD subAuthority0;
  DWORD subAuthority1;
  TRUSTEE_TYPE type;
};

}  // namespace

void SetPermissionCallsForTesting(const PermissionCalls* calls) {
  g_calls = calls ? calls : &kRealCalls;
}

void SetFolderPermissions(const std::string& path) {
  if (GetServiceSettings().skipPermission) {
    Log("[* WARN] Permission setting skipped due to switch for " + path);
    return;
  }
  // The list would be set on what the link leads to: a folder that is not ours.
  if (IsLink(path)) {
    Log("[* WARN] Permission setting skipped on a link -> " + path);
    return;
  }
  const PermissionCalls& calls = *g_calls;
  const Trustee trustees[] = {
      {"Everyone", SECURITY_WORLD_SID_AUTHORITY, 1, SECURITY_WORLD_RID, 0,
       TRUSTEE_IS_WELL_KNOWN_GROUP},
      {"Users", SECURITY_NT_AUTHORITY, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS,
       TRUSTEE_IS_WELL_KNOWN_GROUP},
      {"Authenticated users", SECURITY_NT_AUTHORITY, 1, SECURITY_AUTHENTICATED_USER_RID, 0,
       TRUSTEE_IS_WELL_KNOWN_GROUP},
      {"Administrators", SECURITY_NT_AUTHORITY, 2, SECURITY_BUILTIN_DOMAIN_RID,
       DOMAIN_ALIAS_RID_ADMINS, TRUSTEE_IS_GROUP},
  };

  PSID sids[4] = {};
  EXPLICIT_ACCESS_A entries[4] = {};
  ULONG count = 0;
  for (const Trustee& t : trustees) {
    SID_IDENTIFIER_AUTHORITY authority = t.authority;
    PSID sid = nullptr;
    if (!calls.allocateAndInitializeSid(&authority, t.subAuthorityCount, t.subAuthority0,
                                        t.subAuthority1, 0, 0, 0, 0, 0, 0, &sid)) {
      Log(std::string("[* WARN] AllocateAndInitializeSid (") + t.label + ") error " +
          LastErrorText());
      continue;
    }
    sids[count] = sid;
    EXPLICIT_ACCESS_A& entry = entries[count];
    entry.grfAccessPermissions = GENERIC_ALL;
    entry.grfAccessMode = SET_ACCESS;
    entry.grfInheritance = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    entry.Trustee.pMultipleTrustee = nullptr;
    entry.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = t.type;
    entry.Trustee.ptstrName = static_cast<LPSTR>(sid);
    ++count;
  }
  if (count == 0) return;

  PACL acl = nullptr;
  const DWORD aclResult = calls.setEntriesInAcl(count, entries, nullptr, &acl);
  if (aclResult != ERROR_SUCCESS) {
    // The call returns its error; it need not set the last error.
    Log("[* WARN] Failed SetEntriesInAcl " + std::to_string(aclResult));
    // Without a list the call below would store a null access list: full
    // control, ownership included, for anyone. Leave the folder as it is.
  } else {
    const DWORD result = calls.setNamedSecurityInfo(const_cast<LPSTR>(path.c_str()),
                                                    SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                                    nullptr, nullptr, acl, nullptr);
    if (result == ERROR_SUCCESS)
      Log("[  INFO] Privileges set successfully");
    else if (result != ERROR_ACCESS_DENIED)
      Log("[* WARN] Privileges set failed error " + std::to_string(result));
  }
  for (ULONG i = 0; i < count; ++i) FreeSid(sids[i]);
  if (acl) LocalFree(acl);
}
