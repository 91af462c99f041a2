// Folder permissions through the real security calls, and the decisions around
// them (failed identifiers, failed list, silent access denied, skip option)
// through the call table.
#include "permissions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sddl.h>

#include <string>
#include <vector>

#include "constants.h"
#include "log.h"
#include "service_settings.h"
#include "test_support.h"

using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

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

// The explicit (not inherited) allow entries of a path's access list; false
// when the list cannot be read.
bool ReadExplicitAces(const std::string& path, std::vector<Ace>* aces, bool* nullDacl) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS)
    return false;
  *nullDacl = dacl == nullptr;
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERITED_ACE)) continue;
    auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    aces->push_back({SidText(&allowed->SidStart), header->AceFlags, allowed->Mask});
  }
  LocalFree(sd);
  return true;
}

// What the calls saw, and how they should fail.
struct Recorder {
  std::vector<std::string> sids;
  std::vector<EXPLICIT_ACCESS_A> entries;
  DWORD failSidWithRid = 0;  // a sub-authority whose identifier fails
  bool failAllSids = false;
  DWORD aclResult = ERROR_SUCCESS;
  int setCalls = 0;
  bool setHadList = false;
  DWORD setResult = ERROR_SUCCESS;
  bool setForReal = false;
  std::vector<Ace> builtAces;  // the list the real SetEntriesInAclA made
} g_rec;

std::vector<Ace> AllowedAces(PACL acl) {
  std::vector<Ace> aces;
  for (DWORD i = 0; acl && i < acl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(acl, i, reinterpret_cast<void**>(&header))) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    aces.push_back({SidText(&allowed->SidStart), header->AceFlags, allowed->Mask});
  }
  return aces;
}

BOOL WINAPI FakeAllocate(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0, DWORD s1,
                         DWORD s2, DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7, PSID* sid) {
  if (g_rec.failAllSids || (g_rec.failSidWithRid && (s0 == g_rec.failSidWithRid ||
                                                     (count > 1 && s1 == g_rec.failSidWithRid)))) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return AllocateAndInitializeSid(authority, count, s0, s1, s2, s3, s4, s5, s6, s7, sid);
}

DWORD WINAPI FakeSetEntries(ULONG count, PEXPLICIT_ACCESS_A entries, PACL old, PACL* acl) {
  for (ULONG i = 0; i < count; ++i) {
    g_rec.entries.push_back(entries[i]);
    g_rec.sids.push_back(SidText(reinterpret_cast<PSID>(entries[i].Trustee.ptstrName)));
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
    logDir_ = temp_.path().substr(0, temp_.path().size() - 1);
    SetLogFolderForTesting(logDir_);
    folder_ = temp_ / "office";
    CreateDirectoryA(folder_.c_str(), nullptr);
  }
  void TearDown() override {
    SetPermissionCallsForTesting(RealPermissionCalls());
    SetLogFolderForTesting("");
    GetServiceSettings().skipPermission = false;
  }
  void UseFakes() { SetPermissionCallsForTesting({FakeAllocate, FakeSetEntries, FakeSetNamed}); }
  // The log without its timestamps, one line per element.
  std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    const std::string log = ReadBytes(logDir_ + g_logFileName);
    size_t start = 0;
    for (size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
      const std::string line = log.substr(start, end - start);
      lines.push_back(line.substr(line.find(' ') + 1));
    }
    return lines;
  }

  TempDir temp_;
  std::string logDir_;
  std::string folder_;
};

const char kEveryone[] = "S-1-1-0";
const char kUsers[] = "S-1-5-32-545";
const char kAuthenticated[] = "S-1-5-11";
const char kAdministrators[] = "S-1-5-32-544";

TEST_F(PermissionsTest, EntriesAreFullControlInheritedByAll) {
  UseFakes();
  g_rec.setForReal = true;
  SetFolderPermissions(folder_);
  EXPECT_THAT(g_rec.sids, testing::ElementsAre(kEveryone, kUsers, kAuthenticated, kAdministrators));
  ASSERT_EQ(g_rec.entries.size(), 4u);
  const TRUSTEE_TYPE types[] = {TRUSTEE_IS_WELL_KNOWN_GROUP, TRUSTEE_IS_WELL_KNOWN_GROUP,
                                TRUSTEE_IS_WELL_KNOWN_GROUP, TRUSTEE_IS_GROUP};
  for (size_t i = 0; i < 4; ++i) {
    const EXPLICIT_ACCESS_A& e = g_rec.entries[i];
    EXPECT_EQ(e.grfAccessPermissions, static_cast<DWORD>(GENERIC_ALL));
    EXPECT_EQ(e.grfAccessMode, SET_ACCESS);
    EXPECT_EQ(e.grfInheritance, static_cast<DWORD>(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE));
    EXPECT_EQ(e.Trustee.TrusteeForm, TRUSTEE_IS_SID);
    EXPECT_EQ(e.Trustee.MultipleTrusteeOperation, NO_MULTIPLE_TRUSTEE);
    EXPECT_EQ(e.Trustee.TrusteeType, types[i]);
  }
  EXPECT_THAT(LogLines(), testing::ElementsAre("[  INFO] Privileges set successfully"));
}

TEST_F(PermissionsTest, BuiltListHoldsExactlyTheFourEntries) {
  UseFakes();
  g_rec.setForReal = true;
  SetFolderPermissions(folder_);
  const BYTE inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  EXPECT_THAT(g_rec.builtAces, testing::ElementsAre(Ace{kEveryone, inherit, GENERIC_ALL},
                                                    Ace{kUsers, inherit, GENERIC_ALL},
                                                    Ace{kAuthenticated, inherit, GENERIC_ALL},
                                                    Ace{kAdministrators, inherit, GENERIC_ALL}));
  EXPECT_EQ(g_rec.setCalls, 1);
  EXPECT_THAT(LogLines(), testing::ElementsAre("[  INFO] Privileges set successfully"));
}

TEST_F(PermissionsTest, RealCallsSucceedAndLeaveAnAccessList) {
  // Wine accepts the list but may keep only what the file system can hold,
  // so what is read back is checked for being a list, not for its entries.
  SetFolderPermissions(folder_);
  EXPECT_THAT(LogLines(), testing::ElementsAre("[  INFO] Privileges set successfully"));
  std::vector<Ace> aces;
  bool nullDacl = true;
  ASSERT_TRUE(ReadExplicitAces(folder_, &aces, &nullDacl));
  EXPECT_FALSE(nullDacl);
  EXPECT_FALSE(aces.empty());
}

TEST_F(PermissionsTest, MissingPathLogsThePlatformError) {
  const std::string missing = temp_ / "no\\such\\folder";
  SetFolderPermissions(missing);
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("[* WARN] Privileges set failed error ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0], "[* WARN] Privileges set failed error 0");
}

TEST_F(PermissionsTest, FailedIdentifierLeavesNoHole) {
  UseFakes();
  g_rec.failSidWithRid = DOMAIN_ALIAS_RID_USERS;
  SetFolderPermissions(folder_);
  EXPECT_THAT(g_rec.sids, testing::ElementsAre(kEveryone, kAuthenticated, kAdministrators));
  ASSERT_EQ(g_rec.entries.size(), 3u);
  EXPECT_EQ(g_rec.entries[2].Trustee.TrusteeType, TRUSTEE_IS_GROUP);
  EXPECT_THAT(LogLines(), testing::ElementsAre("[* WARN] AllocateAndInitializeSid (Users) error 8",
                                               "[  INFO] Privileges set successfully"));
}

TEST_F(PermissionsTest, NoIdentifierStopsSilentlyAfterTheirLines) {
  UseFakes();
  g_rec.failAllSids = true;
  SetFolderPermissions(folder_);
  EXPECT_TRUE(g_rec.entries.empty());
  EXPECT_EQ(g_rec.setCalls, 0);
  EXPECT_EQ(LogLines().size(), 4u);
}

TEST_F(PermissionsTest, FailedListLeavesTheFolderAlone) {
  std::vector<Ace> before, after;
  bool nullBefore = false, nullAfter = false;
  ASSERT_TRUE(ReadExplicitAces(folder_, &before, &nullBefore));
  UseFakes();
  g_rec.aclResult = ERROR_INVALID_PARAMETER;
  SetFolderPermissions(folder_);
  EXPECT_EQ(g_rec.setCalls, 0);
  EXPECT_THAT(LogLines(), testing::ElementsAre("[* WARN] Failed SetEntriesInAcl 87"));
  ASSERT_TRUE(ReadExplicitAces(folder_, &after, &nullAfter));
  EXPECT_EQ(after, before);
  EXPECT_EQ(nullAfter, nullBefore);
}

TEST_F(PermissionsTest, ResultOfTheFinalCall) {
  struct Case {
    DWORD result;
    std::vector<std::string> lines;
  } cases[] = {
      {ERROR_SUCCESS, {"[  INFO] Privileges set successfully"}},
      {ERROR_ACCESS_DENIED, {}},
      {ERROR_SHARING_VIOLATION, {"[* WARN] Privileges set failed error 32"}},
  };
  UseFakes();
  for (const Case& c : cases) {
    g_rec.setResult = c.result;
    DeleteLogFile();
    SetFolderPermissions(folder_);
    EXPECT_TRUE(g_rec.setHadList);
    EXPECT_EQ(LogLines(), c.lines) << c.result;
  }
}

TEST_F(PermissionsTest, SkipOptionOnlyLogs) {
  UseFakes();
  GetServiceSettings().skipPermission = true;
  SetFolderPermissions(folder_);
  EXPECT_TRUE(g_rec.sids.empty());
  EXPECT_EQ(g_rec.setCalls, 0);
  EXPECT_THAT(LogLines(),
              testing::ElementsAre("[* WARN] Permission setting skipped due to switch for " + folder_));
}

}  // namespace
