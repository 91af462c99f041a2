// Opens a folder to every local user: its explicit access entries become full
// control for Everyone, Users, Authenticated users and Administrators,
// inherited by everything below it.
#pragma once

#include <windows.h>

#include <aclapi.h>

#include <string>

// Replaces the explicit entries of path's access list (inherited entries stay).
// Nothing is returned: every failure is a log line, except access denied,
// which is silent. Does nothing but log under the skip-permission option,
// and for a path that is itself a link (its target is not ours to open up).
void SetFolderPermissions(const std::string& path);

// Test seam: the security calls SetFolderPermissions makes.
struct PermissionCalls {
  decltype(&AllocateAndInitializeSid) allocateAndInitializeSid;
  decltype(&SetEntriesInAclA) setEntriesInAcl;
  decltype(&SetNamedSecurityInfoA) setNamedSecurityInfo;
};
// Replaces the calls (nullptr restores the real ones).
void SetPermissionCallsForTesting(const PermissionCalls* calls);
