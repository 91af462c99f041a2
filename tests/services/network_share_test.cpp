// The office share and the lookups of folders already shared, through fake
// share calls; plus one pass over the real calls Wine answers.
#include <gtest/gtest.h>

#include <windows.h>
#include <lm.h>

#include <set>
#include <string>
#include <vector>

#include "network_share.h"
#include "test_support.h"

using testing_support::LogCapture;
using testing_support::TempDir;

namespace {

struct Share {
  std::wstring name;
  const wchar_t* path;  // null: an entry without a path
};
struct FakeState {
  NET_API_STATUS addStatus = NERR_Success;
  NET_API_STATUS setStatus = NERR_Success;
  NET_API_STATUS enumFailure = NERR_Success;
  DWORD sidError = 0;  // non-zero: the SID cannot be built
  std::vector<std::vector<Share>> pages;
  std::wstring existing;  // the one name getInfo knows

  int addCalls = 0, setCalls = 0, enumCalls = 0;
  std::wstring addedName, addedPath, addedRemark;
  std::wstring setName;  // set only for a level 1005 call that turns caching off
  std::set<void*> outstanding;  // buffers handed out and not yet released
};
FakeState* g_fake = nullptr;

LPBYTE Hand(size_t bytes) {
  void* p = calloc(1, bytes);
  g_fake->outstanding.insert(p);
  return static_cast<LPBYTE>(p);
}

// Exactly one entry: Everyone, full control, inherited by files and folders.
bool GrantsEveryoneFullControl(PSECURITY_DESCRIPTOR descriptor) {
  BOOL present = FALSE, defaulted = TRUE;
  PACL acl = nullptr;
  if (!descriptor || !GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted))
    return false;
  if (!present || defaulted || !acl || acl->AceCount != 1) return false;
  void* ace = nullptr;
  if (!GetAce(acl, 0, &ace)) return false;
  ACCESS_ALLOWED_ACE* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
  BYTE everyone[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(everyone);
  if (!CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size)) return false;
  return allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
         allowed->Header.AceFlags == (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) &&
         allowed->Mask == GENERIC_ALL && EqualSid(&allowed->SidStart, everyone);
}

NET_API_STATUS WINAPI FakeAdd(LMSTR server, DWORD level, LPBYTE buffer, LPDWORD) {
  ++g_fake->addCalls;
  const SHARE_INFO_502& info = *reinterpret_cast<SHARE_INFO_502*>(buffer);
  if (server || level != 502 || info.shi502_type != STYPE_DISKTREE ||
      info.shi502_permissions != ACCESS_ALL || info.shi502_max_uses != DWORD(-1) ||
      info.shi502_current_uses || info.shi502_passwd || info.shi502_reserved ||
      !GrantsEveryoneFullControl(info.shi502_security_descriptor))
    return ERROR_INVALID_PARAMETER;
  g_fake->addedName = info.shi502_netname;
  g_fake->addedPath = info.shi502_path;
  g_fake->addedRemark = info.shi502_remark;
  return g_fake->addStatus;
}

NET_API_STATUS WINAPI FakeSetInfo(LMSTR server, LMSTR name, DWORD level, LPBYTE buffer, LPDWORD) {
  ++g_fake->setCalls;
  if (!server && level == 1005 && reinterpret_cast<SHARE_INFO_1005*>(buffer)->shi1005_flags == 0x30)
    g_fake->setName = name;
  return g_fake->setStatus;
}

// One page per call; "more data" while pages remain.
NET_API_STATUS WINAPI FakeEnum(LMSTR server, DWORD level, LPBYTE* buffer, DWORD, LPDWORD read,
                               LPDWORD total, LPDWORD resume) {
  ++g_fake->enumCalls;
  *read = 0;
  if (server || level != 502) return ERROR_INVALID_PARAMETER;
  if (g_fake->enumFailure) {
    *buffer = Hand(16);  // a buffer even on failure: it must still be released
    return g_fake->enumFailure;
  }
  const size_t page = *resume;
  if (page >= g_fake->pages.size()) return NERR_Success;
  const std::vector<Share>& shares = g_fake->pages[page];
  auto* entries = reinterpret_cast<SHARE_INFO_502*>(Hand(sizeof(SHARE_INFO_502) * shares.size()));
  for (size_t i = 0; i < shares.size(); ++i) {
    entries[i].shi502_netname = const_cast<LMSTR>(shares[i].name.c_str());
    entries[i].shi502_path = const_cast<LMSTR>(shares[i].path);
  }
  *buffer = reinterpret_cast<LPBYTE>(entries);
  *read = *total = shares.size();
  *resume = page + 1;
  return page + 1 < g_fake->pages.size() ? ERROR_MORE_DATA : NERR_Success;
}

NET_API_STATUS WINAPI FakeGetInfo(LMSTR server, LMSTR name, DWORD level, LPBYTE* buffer) {
  if (server || level != 0) return ERROR_INVALID_PARAMETER;
  *buffer = Hand(sizeof(SHARE_INFO_0));  // also on failure, to be released in every case
  return name == g_fake->existing ? NERR_Success : NERR_NetNameNotFound;
}

NET_API_STATUS WINAPI FakeFree(LPVOID buffer) {
  if (!g_fake->outstanding.erase(buffer)) return ERROR_INVALID_PARAMETER;
  free(buffer);
  return NERR_Success;
}

BOOL WINAPI FakeAllocateSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0, DWORD s1,
                            DWORD s2, DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7,
                            PSID* sid) {
  if (g_fake->sidError) {
    SetLastError(g_fake->sidError);
    return FALSE;
  }
  return AllocateAndInitializeSid(authority, count, s0, s1, s2, s3, s4, s5, s6, s7, sid);
}

const NetShareCalls kFakeCalls = {&FakeAdd, &FakeSetInfo, &FakeEnum, &FakeGetInfo, &FakeFree,
                                  &FakeAllocateSid};

class NetworkShare : public ::testing::Test {
 protected:
  void SetUp() override {
    g_fake = &fake_;
    SetNetShareCallsForTesting(&kFakeCalls);
  }
  void TearDown() override {
    SetNetShareCallsForTesting(nullptr);
    EXPECT_TRUE(fake_.outstanding.empty()) << fake_.outstanding.size() << " buffers not released";
    g_fake = nullptr;
  }
  FakeState fake_;
  LogCapture log_;
};

TEST_F(NetworkShare, CreateHandsTheFullRecordAndSwitchesCachingOff) {
  struct Row {
    NET_API_STATUS add, set;
    bool result;
    const char *remark, *folder, *path;
  } rows[] = {
      {NERR_Success, NERR_Success, true, "", "C:\\ZAN\\PM01234\\", "C:\\ZAN\\PM01234"},
      {NERR_DuplicateShare, NERR_Success, true, "note", "D:\\Uffici\\PM1", "D:\\Uffici\\PM1"},
      // A failed add still runs the caching step; its answer is the result.
      {ERROR_ACCESS_DENIED, NERR_NetNameNotFound, false, "", "C:\\Z\\", "C:\\Z"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.folder);
    fake_ = FakeState();
    fake_.addStatus = r.add;
    fake_.setStatus = r.set;
    int error = -1;
    EXPECT_EQ(CreateNetShare("01234", r.remark, r.folder, &error), r.result);
    EXPECT_EQ(error, static_cast<int>(r.add));
    EXPECT_EQ(fake_.addedName, L"ZAN 01234");
    EXPECT_EQ(fake_.addedPath, AnsiToWide(r.path));
    EXPECT_EQ(fake_.addedRemark, AnsiToWide(r.remark));
    EXPECT_EQ(fake_.setCalls, 1);
    EXPECT_EQ(fake_.setName, L"ZAN 01234");
  }
  fake_ = FakeState();
  EXPECT_TRUE(CreateNetShare("01234", "", "C:\\ZAN\\", nullptr));  // no error slot
}

TEST_F(NetworkShare, CreateConvertsWithTheAnsiCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "code page " << GetACP();
  // "Universit\xE0" in code page 1252: a lone 0xE0 byte is not UTF-8.
  EXPECT_TRUE(CreateNetShare("01234", "", "C:\\Universit\xE0\\", nullptr));
  EXPECT_EQ(fake_.addedPath, L"C:\\Universit\u00e0");
}

TEST_F(NetworkShare, NoShareWithoutTheEveryoneSid) {
  fake_.sidError = ERROR_NOT_ENOUGH_MEMORY;
  int error = 0;
  EXPECT_FALSE(CreateNetShare("01234", "", "C:\\ZAN\\PM01234\\", &error));
  EXPECT_EQ(error, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(fake_.addCalls, 0);
  EXPECT_EQ(fake_.setCalls, 0);
  EXPECT_TRUE(log_.Has("[* WARN] AllocateAndInitializeSid (Everyone) error 8")) << log_.Text();
}

TEST_F(NetworkShare, ExistsOnlyForTheExactName) {
  fake_.existing = L"ZAN 01234";
  EXPECT_TRUE(NetShareExists("01234"));
  EXPECT_FALSE(NetShareExists("1234"));
  EXPECT_FALSE(NetShareExists("01235"));
}

TEST_F(NetworkShare, FindShareForPathWalksEveryPage) {
  // {folder, share found ("": none)}: the second page; "\" added before comparing; byte
  // comparison; a share path stored without "\"; entries without a path never match.
  const std::pair<const char*, const char*> rows[] = {
      {"C:\\ZAN\\PM01234\\", "ZAN 01234"}, {"C:\\ZAN\\PM01234", "ZAN 01234"},
      {"C:\\zan\\pm01234\\", ""}, {"D:\\Dati\\", "Dati"}, {"C:\\", "C$"}, {"\\", ""},
      {"E:\\Nowhere\\", ""}};
  for (const auto& r : rows) {
    fake_.pages = {{{L"IPC$", nullptr}, {L"Empty", L""}, {L"C$", L"C:\\"}},
                   {{L"Dati", L"D:\\Dati"}, {L"ZAN 01234", L"C:\\ZAN\\PM01234"}},
                   {{L"Late", L"C:\\ZAN\\PM01234\\"}}};
    fake_.enumCalls = 0;
    std::string name = "untouched";
    EXPECT_EQ(FindShareForPath(r.first, &name), *r.second != 0) << r.first;
    EXPECT_EQ(name, *r.second ? r.second : "untouched") << r.first;
    if (!*r.second) EXPECT_EQ(fake_.enumCalls, 3) << r.first;
  }
  fake_.enumFailure = ERROR_ACCESS_DENIED;  // a failed enumeration: not shared
  EXPECT_FALSE(FindShareForPath("D:\\Dati", nullptr));
  EXPECT_FALSE(DetectDestinationShare("D:\\Dati\\Uff"));
}

TEST_F(NetworkShare, DetectDestinationShare) {
  const std::string deep = "C:\\" + std::string(150, 'a') + "\\" + std::string(150, 'b');
  const std::wstring deepParent = L"C:\\" + std::wstring(150, L'a');  // beyond MAX_PATH
  const std::string kOffice = "C:\\ZAN\\PM01234\\";
  struct Row {
    Share share;
    std::string folder;
    bool result;
    const char* line;
  } rows[] = {
      {{L"Hidden$", L"C:\\ZAN\\PM01234"}, kOffice, true, "folder already shared as Hidden$"},
      {{L"C$", L"C:\\"}, "C:\\ZAN\\", false, "parent folder already shared with predefined"},
      {{L"ZAN", L"C:\\ZAN"}, kOffice, true, "parent folder already shared as ZAN"},
      {{L"Other", L"D:\\Other"}, kOffice, false, "parent folder C:\\ZAN not shared"},
      {{L"Deep", deepParent.c_str()}, deep, true, "parent folder already shared as Deep"},
  };
  for (const Row& r : rows) {
    fake_.pages = {{r.share}};
    log_.Clear();
    EXPECT_EQ(DetectDestinationShare(r.folder), r.result) << r.line;
    EXPECT_TRUE(log_.Has(std::string("[  INFO] Destination ") + r.line)) << log_.Text();
  }
}

TEST(NetworkShareParent, ParentFolder) {
  const std::pair<const char*, const char*> rows[] = {
      {"C:\\ZAN\\PM01234\\", "C:\\ZAN"}, {"C:\\ZAN\\PM01234", "C:\\ZAN"}, {"C:\\ZAN", "C:\\"},
      {"C:\\ZAN\\", "C:\\"}, {"C:\\", "C:"}, {"\\\\srv\\share\\x", "\\\\srv\\share"}};
  for (const auto& r : rows) EXPECT_EQ(ParentFolder(r.first), r.second) << r.first;
}

// The real calls as Wine answers them; the caching call stays fake (Wine only stubs it).
TEST(NetworkShareReal, PlatformAnswersAreHandledCleanly) {
  LogCapture log;
  EXPECT_FALSE(NetShareExists("01234"));
  EXPECT_FALSE(FindShareForPath("C:\\", nullptr));
  EXPECT_FALSE(DetectDestinationShare("C:\\ZAN\\PM01234\\"));
  EXPECT_TRUE(log.Has("[  INFO] Destination parent folder C:\\ZAN not shared")) << log.Text();

  FakeState fake;
  g_fake = &fake;
  NetShareCalls calls = GetNetShareCalls();
  calls.setInfo = &FakeSetInfo;
  fake.setStatus = NERR_NetNameNotFound;
  SetNetShareCallsForTesting(&calls);
  TempDir dir;
  int error = 0;
  const bool created = CreateNetShare("01234", "", dir.path(), &error);
  SetNetShareCallsForTesting(nullptr);
  g_fake = nullptr;
  EXPECT_FALSE(created);
  EXPECT_EQ(error, ERROR_NOT_SUPPORTED);
  EXPECT_TRUE(log.Has("[  INFO] Net share add failed 50")) << log.Text();
  EXPECT_EQ(fake.setCalls, 1);
}

}  // namespace
