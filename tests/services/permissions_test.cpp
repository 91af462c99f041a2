// Folder permissions through the real security calls, and the decisions around
// them (failed identifiers, failed list, silent access denied, skip option)
// through the call table.
#include "permissions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sddl.h>

#include <string>
#include <vector>

#include "service_settings.h"
#include "test_support.h"

using testing::ElementsAre;
using testing_support::LogCapture;
using testing_support::TempDir;

namespace {

std::string SidText(PSID sid) {
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return "?";
  std::string out = text;
  LocalFree(text);
  return out;
}

struct Ace {
  std::string sid;
  BYTE flags;
  ACCESS_MASK mask;
  bool operator==(const Ace& o) const { return sid == o.sid && flags == o.flags && mask == o.mask; }
};

// The explicit (not inherited) allow entries of an access list.
std::vector<Ace> AllowedAces(PACL acl) {
  std::vector<Ace> aces;
  for (DWORD i = 0; acl && i < acl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(acl, i, reinterpret_cast<void**>(&header))) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERITED_ACE)) continue;
    auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    aces.push_back({SidText(&allowed->SidStart), header->AceFlags, allowed->Mask});
  }
  return aces;
}

// The allow entries of a path's list, "null" for a null list, "?" when unreadable.
std::vector<Ace> ReadAces(const std::string& path) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS)
    return {{"?", 0, 0}};
  std::vector<Ace> aces = dacl ? AllowedAces(dacl) : std::vector<Ace>{{"null", 0, 0}};
  LocalFree(sd);
  return aces;
}

// What the calls saw, and how they should fail.
struct Recorder {
  std::vector<std::string> sids;
  std::vector<TRUSTEE_TYPE> types;
  DWORD failSidWithRid = 0;  // a sub-authority whose identifier fails
  bool failAllSids = false;
  DWORD aclResult = ERROR_SUCCESS;
  int setCalls = 0;
  bool setHadList = false;
  DWORD setResult = ERROR_SUCCESS;
  bool setForReal = false;
  std::vector<Ace> builtAces;  // the list the real SetEntriesInAclA made
} g_rec;

BOOL WINAPI FakeAllocate(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0, DWORD s1,
                         DWORD s2, DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7, PSID* sid) {
  const DWORD rid = g_rec.failSidWithRid;
  if (g_rec.failAllSids || (rid && (s0 == rid || (count > 1 && s1 == rid)))) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return AllocateAndInitializeSid(authority, count, s0, s1, s2, s3, s4, s5, s6, s7, sid);
}

DWORD WINAPI FakeSetEntries(ULONG count, PEXPLICIT_ACCESS_A entries, PACL old, PACL* acl) {
  for (ULONG i = 0; i < count; ++i) {
    g_rec.sids.push_back(SidText(reinterpret_cast<PSID>(entries[i].Trustee.ptstrName)));
    g_rec.types.push_back(entries[i].Trustee.TrusteeType);
  }
  EXPECT_EQ(old, nullptr);
  if (g_rec.aclResult != ERROR_SUCCESS) {
    *acl = nullptr;
    SetLastError(g_rec.aclResult);
    return g_rec.aclResult;
  }
  const DWORD result = SetEntriesInAclA(count, entries, old, acl);
  if (result == ERROR_SUCCESS) g_rec.builtAces = AllowedAces(*acl);
  return result;
}

DWORD WINAPI FakeSetNamed(LPSTR path, SE_OBJECT_TYPE type, SECURITY_INFORMATION info, PSID owner,
                          PSID group, PACL dacl, PACL sacl) {
  ++g_rec.setCalls;
  g_rec.setHadList = dacl != nullptr;
  if (g_rec.setForReal) return SetNamedSecurityInfoA(path, type, info, owner, group, dacl, sacl);
  return g_rec.setResult;
}

class PermissionsTest : public testing::Test {
 protected:
  void SetUp() override {
    g_rec = Recorder();
    GetServiceSettings().skipPermission = false;
    CreateDirectoryA(folder_.c_str(), nullptr);
  }
  void TearDown() override {
    SetPermissionCallsForTesting(RealPermissionCalls());
    GetServiceSettings().skipPermission = false;
  }
  void UseFakes() { SetPermissionCallsForTesting({FakeAllocate, FakeSetEntries, FakeSetNamed}); }
  // The log without its timestamps, one line per element.
  std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    const std::string log = log_.Text();
    for (size_t start = 0, end; (end = log.find("\r\n", start)) != std::string::npos;
         start = end + 2)
      lines.push_back(log.substr(log.find(' ', start) + 1, end - log.find(' ', start) - 1));
    return lines;
  }

  TempDir temp_;
  LogCapture log_;
  const std::string folder_ = temp_ / "office";
};

const char kEveryone[] = "S-1-1-0", kUsers[] = "S-1-5-32-545", kAuthenticated[] = "S-1-5-11",
           kAdministrators[] = "S-1-5-32-544";
const BYTE kInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

TEST_F(PermissionsTest, ListHoldsExactlyTheFourFullControlEntries) {
  UseFakes();
  g_rec.setForReal = true;
  SetFolderPermissions(folder_);
  EXPECT_THAT(g_rec.builtAces, ElementsAre(Ace{kEveryone, kInherit, GENERIC_ALL},
                                           Ace{kUsers, kInherit, GENERIC_ALL},
                                           Ace{kAuthenticated, kInherit, GENERIC_ALL},
                                           Ace{kAdministrators, kInherit, GENERIC_ALL}));
  EXPECT_THAT(g_rec.types, ElementsAre(TRUSTEE_IS_WELL_KNOWN_GROUP, TRUSTEE_IS_WELL_KNOWN_GROUP,
                                       TRUSTEE_IS_WELL_KNOWN_GROUP, TRUSTEE_IS_GROUP));
  EXPECT_EQ(g_rec.setCalls, 1);
  EXPECT_THAT(LogLines(), ElementsAre("[  INFO] Privileges set successfully"));
}

// Wine keeps only what its file system can hold: a list, not its entries, is checked.
TEST_F(PermissionsTest, RealCallsLeaveAnAccessList) {
  SetFolderPermissions(folder_);
  EXPECT_THAT(LogLines(), ElementsAre("[  INFO] Privileges set successfully"));
  const std::vector<Ace> aces = ReadAces(folder_);
  EXPECT_FALSE(aces.empty());
  EXPECT_NE(aces[0].sid, "null");

  log_.Clear();
  SetFolderPermissions(temp_ / "no\\such\\folder");
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("[* WARN] Privileges set failed error ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0], "[* WARN] Privileges set failed error 0");
}

TEST_F(PermissionsTest, FailedIdentifierLeavesNoHole) {
  UseFakes();
  g_rec.failSidWithRid = DOMAIN_ALIAS_RID_USERS;
  SetFolderPermissions(folder_);
  EXPECT_THAT(g_rec.sids, ElementsAre(kEveryone, kAuthenticated, kAdministrators));
  EXPECT_EQ(g_rec.types.back(), TRUSTEE_IS_GROUP);
  EXPECT_THAT(LogLines(), ElementsAre("[* WARN] AllocateAndInitializeSid (Users) error 8",
                                      "[  INFO] Privileges set successfully"));

  g_rec = Recorder();
  g_rec.failAllSids = true;
  log_.Clear();
  SetFolderPermissions(folder_);
  EXPECT_TRUE(g_rec.sids.empty());
  EXPECT_EQ(g_rec.setCalls, 0);
  EXPECT_EQ(LogLines().size(), 4u);
}

// A failed list must not turn into a null list (full control for everyone).
TEST_F(PermissionsTest, FailedListLeavesTheFolderAlone) {
  const std::vector<Ace> before = ReadAces(folder_);
  UseFakes();
  g_rec.aclResult = ERROR_INVALID_PARAMETER;
  SetFolderPermissions(folder_);
  EXPECT_EQ(g_rec.setCalls, 0);
  EXPECT_THAT(LogLines(), ElementsAre("[* WARN] Failed SetEntriesInAcl 87"));
  EXPECT_EQ(ReadAces(folder_), before);
}

TEST_F(PermissionsTest, ResultOfTheFinalCallAndTheSkipOption) {
  const std::pair<DWORD, std::vector<std::string>> cases[] = {
      {ERROR_SUCCESS, {"[  INFO] Privileges set successfully"}},
      {ERROR_ACCESS_DENIED, {}},
      {ERROR_SHARING_VIOLATION, {"[* WARN] Privileges set failed error 32"}}};
  UseFakes();
  for (const auto& c : cases) {
    g_rec.setResult = c.first;
    log_.Clear();
    SetFolderPermissions(folder_);
    EXPECT_TRUE(g_rec.setHadList);
    EXPECT_EQ(LogLines(), c.second) << c.first;
  }
  g_rec = Recorder();
  log_.Clear();
  GetServiceSettings().skipPermission = true;
  SetFolderPermissions(folder_);
  EXPECT_TRUE(g_rec.sids.empty());
  EXPECT_EQ(g_rec.setCalls, 0);
  EXPECT_THAT(LogLines(),
              ElementsAre("[* WARN] Permission setting skipped due to switch for " + folder_));
}

}  // namespace
