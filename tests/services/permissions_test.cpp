// Folder permissions through the real security calls, and the decisions around
// them through the call table.
#include "permissions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "service_settings.h"
#include "test_support.h"

using testing::ElementsAre;
using testing_support::DaclText;
using testing_support::LogCapture;
using testing_support::TempDir;

namespace {

// What the calls saw, and how they should fail.
struct Recorder {
  DWORD failSidWithRid = 0;  // 1: every identifier fails
  DWORD aclResult = ERROR_SUCCESS, setResult = ERROR_SUCCESS;
  std::string builtList;  // the list the real SetEntriesInAclA made
  int setCalls = 0;
  bool setHadList = false;
} g_rec;

BOOL WINAPI FakeAllocate(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0, DWORD s1,
                         DWORD s2, DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7, PSID* sid) {
  const DWORD rid = g_rec.failSidWithRid;
  if (rid == 1 || (rid && (s0 == rid || (count > 1 && s1 == rid)))) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return AllocateAndInitializeSid(authority, count, s0, s1, s2, s3, s4, s5, s6, s7, sid);
}

DWORD WINAPI FakeSetEntries(ULONG count, PEXPLICIT_ACCESS_A entries, PACL old, PACL* acl) {
  EXPECT_EQ(old, nullptr);
  *acl = nullptr;
  SetLastError(ERROR_SUCCESS);  // as the real call may: the log must report the result
  if (g_rec.aclResult != ERROR_SUCCESS) return g_rec.aclResult;
  const DWORD result = SetEntriesInAclA(count, entries, old, acl);
  SECURITY_DESCRIPTOR sd;
  InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&sd, TRUE, *acl, FALSE);
  if (result == ERROR_SUCCESS) g_rec.builtList = DaclText(&sd);
  return result;
}

DWORD WINAPI FakeSetNamed(LPSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID, PSID, PACL dacl,
                          PACL) {
  ++g_rec.setCalls;
  g_rec.setHadList = dacl != nullptr;
  return g_rec.setResult;
}

const PermissionCalls kFakeCalls = {FakeAllocate, FakeSetEntries, FakeSetNamed};

class PermissionsTest : public testing::Test {
 protected:
  void SetUp() override {
    g_rec = Recorder();
    CreateDirectoryA(folder_.c_str(), nullptr);
    SetPermissionCallsForTesting(&kFakeCalls);
  }
  void TearDown() override {
    SetPermissionCallsForTesting(nullptr);
    GetServiceSettings().skipPermission = false;
  }
  // Runs one call on a fresh log; its lines without their timestamps.
  std::vector<std::string> Run(const std::string& folder) {
    log_.Clear();
    SetFolderPermissions(folder);
    std::vector<std::string> lines;
    std::istringstream log(log_.Text());
    for (std::string line; std::getline(log, line);)
      lines.push_back(line.substr(24, line.size() - 25));
    return lines;
  }

  TempDir temp_;
  LogCapture log_;
  const std::string folder_ = temp_ / "office";
};

const char kOk[] = "[  INFO] Privileges set successfully";

// Everyone, Users, authenticated users and administrators get full control,
// inherited; an identifier that cannot be made is left out, none at all
// leaves the folder alone, as a failed list does (never a null list: full
// control for anyone); access denied is not worth a line; the switch skips all.
TEST_F(PermissionsTest, ListAndResults) {
  const std::string kAll = "D:(A;OICI;GA;;;WD)(A;OICI;GA;;;BU)(A;OICI;GA;;;AU)(A;OICI;GA;;;BA)";
  const struct {
    DWORD failSidWithRid, acl, set;
    bool skip;
    std::vector<std::string> lines;
    int setCalls;
    std::string list;  // the list the call built ("": none)
  } rows[] = {
      {0, ERROR_SUCCESS, ERROR_SUCCESS, false, {kOk}, 1, kAll},
      {DOMAIN_ALIAS_RID_USERS, ERROR_SUCCESS, ERROR_SUCCESS, false,
       {"[* WARN] AllocateAndInitializeSid (Users) error 8", kOk}, 1,
       "D:(A;OICI;GA;;;WD)(A;OICI;GA;;;AU)(A;OICI;GA;;;BA)"},
      {1, ERROR_SUCCESS, ERROR_SUCCESS, false,
       {"[* WARN] AllocateAndInitializeSid (Everyone) error 8",
        "[* WARN] AllocateAndInitializeSid (Users) error 8",
        "[* WARN] AllocateAndInitializeSid (Authenticated users) error 8",
        "[* WARN] AllocateAndInitializeSid (Administrators) error 8"}, 0, ""},
      {0, ERROR_SUCCESS, ERROR_ACCESS_DENIED, false, {}, 1, kAll},
      {0, ERROR_SUCCESS, ERROR_SHARING_VIOLATION, false,
       {"[* WARN] Privileges set failed error 32"}, 1, kAll},
      {0, ERROR_INVALID_PARAMETER, ERROR_SUCCESS, false, {"[* WARN] Failed SetEntriesInAcl 87"}, 0,
       ""},
      {0, ERROR_SUCCESS, ERROR_SUCCESS, true,
       {"[* WARN] Permission setting skipped due to switch for " + folder_}, 0, ""},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::PrintToString(r.lines));
    g_rec = Recorder();
    g_rec.failSidWithRid = r.failSidWithRid;
    g_rec.aclResult = r.acl;
    g_rec.setResult = r.set;
    GetServiceSettings().skipPermission = r.skip;
    EXPECT_EQ(Run(folder_), r.lines);
    EXPECT_EQ(g_rec.setCalls, r.setCalls);
    EXPECT_EQ(g_rec.setHadList, r.setCalls > 0);
    EXPECT_EQ(g_rec.builtList, r.list);
  }
}

// Wine keeps only what its file system can hold: a list, not its entries, is checked.
TEST_F(PermissionsTest, RealCallsLeaveAnAccessList) {
  SetPermissionCallsForTesting(nullptr);
  EXPECT_THAT(Run(folder_), ElementsAre(kOk));
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoA(folder_.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, &dacl, nullptr, &sd),
            ERROR_SUCCESS);
  EXPECT_NE(DaclText(sd).find("(A;"), std::string::npos) << DaclText(sd);
  LocalFree(sd);
  const auto lines = Run(temp_ / "no\\such\\folder");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("[* WARN] Privileges set failed error ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0], "[* WARN] Privileges set failed error 0");
}

}  // namespace
