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

using testing_support::DaclText;
using testing_support::LogCapture;
using testing_support::TempDir;

namespace {

struct Share {
  std::wstring name;
  const wchar_t* path;  // null: an entry without a path
};
struct FakeState {
  NET_API_STATUS addStatus = NERR_Success, setStatus = NERR_Success, enumFailure = NERR_Success;
  DWORD sidError = 0;  // non-zero: the SID cannot be built
  std::vector<std::vector<Share>> pages;
  std::wstring existing;  // the one name getInfo knows
  int addCalls = 0, setCalls = 0, enumCalls = 0;
  std::wstring added;    // name|path|remark of a well-formed record
  std::wstring setName;  // set only for a level 1005 call that turns caching off
  std::set<void*> outstanding;  // buffers handed out and not yet released
};
FakeState* g_fake = nullptr;

LPBYTE Hand(size_t bytes) {
  return static_cast<LPBYTE>(*g_fake->outstanding.insert(calloc(1, bytes)).first);
}

// Takes only a well-formed record, its access list Everyone, full control, inherited by all.
NET_API_STATUS WINAPI FakeAdd(LMSTR server, DWORD level, LPBYTE buffer, LPDWORD) {
  ++g_fake->addCalls;
  const SHARE_INFO_502& i = *reinterpret_cast<SHARE_INFO_502*>(buffer);
  if (server || level != 502 || i.shi502_type != STYPE_DISKTREE ||
      i.shi502_permissions != ACCESS_ALL || i.shi502_max_uses != DWORD(-1) ||
      i.shi502_current_uses || i.shi502_passwd || i.shi502_reserved ||
      DaclText(i.shi502_security_descriptor) != "D:(A;OICI;GA;;;WD)")
    return ERROR_INVALID_PARAMETER;
  g_fake->added = std::wstring(i.shi502_netname) + L"|" + i.shi502_path + L"|" + i.shi502_remark;
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
  const size_t page = *resume;
  if (!g_fake->enumFailure && page >= g_fake->pages.size()) return NERR_Success;
  const size_t count = g_fake->enumFailure ? 1 : g_fake->pages[page].size();
  auto* entries = reinterpret_cast<SHARE_INFO_502*>(Hand(sizeof(SHARE_INFO_502) * count));
  *buffer = reinterpret_cast<LPBYTE>(entries);  // a buffer even on failure: to be released
  if (g_fake->enumFailure) return g_fake->enumFailure;
  for (size_t i = 0; i < count; ++i) {
    entries[i].shi502_netname = const_cast<LMSTR>(g_fake->pages[page][i].name.c_str());
    entries[i].shi502_path = const_cast<LMSTR>(g_fake->pages[page][i].path);
  }
  *read = *total = count;
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
  SetLastError(g_fake->sidError);
  return !g_fake->sidError &&
         AllocateAndInitializeSid(authority, count, s0, s1, s2, s3, s4, s5, s6, s7, sid);
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
  const struct {
    NET_API_STATUS add, set;
    bool result;
    const char* folder;
    const wchar_t* added;
    int setCalls;
  } rows[] = {
      {NERR_Success, NERR_Success, true, "C:\\ZAN\\PM01234\\", L"ZAN 01234|C:\\ZAN\\PM01234|", 1},
      {NERR_DuplicateShare, NERR_Success, true, "D:\\Uffici\\PM1", L"ZAN 01234|D:\\Uffici\\PM1|", 1},
      {NERR_Success, NERR_NetNameNotFound, false, "C:\\Z\\", L"ZAN 01234|C:\\Z|", 1},
      // No share, nothing to set: the caching step is skipped.
      {ERROR_ACCESS_DENIED, NERR_Success, false, "C:\\Z\\", L"ZAN 01234|C:\\Z|", 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.add);
    fake_ = FakeState();
    fake_.addStatus = r.add;
    fake_.setStatus = r.set;
    int error = -1;
    EXPECT_EQ(CreateNetShare("01234", "", r.folder, &error), r.result);
    EXPECT_EQ(error, static_cast<int>(r.add));
    EXPECT_EQ(fake_.added, r.added);
    EXPECT_EQ(fake_.setCalls, r.setCalls);
    EXPECT_EQ(fake_.setName, r.setCalls ? L"ZAN 01234" : L"");
  }
  fake_ = FakeState();
  EXPECT_TRUE(CreateNetShare("01234", "note", "C:\\ZAN\\", nullptr));  // no error slot
  EXPECT_EQ(fake_.added, L"ZAN 01234|C:\\ZAN|note");
}

TEST_F(NetworkShare, CreateConvertsWithTheAnsiCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "code page " << GetACP();
  // "Universit\xE0" in code page 1252: a lone 0xE0 byte is not UTF-8.
  EXPECT_TRUE(CreateNetShare("01234", "", "C:\\Universit\xE0\\", nullptr));
  EXPECT_EQ(fake_.added, L"ZAN 01234|C:\\Universit\u00e0|");
}

TEST_F(NetworkShare, NoShareWithoutTheEveryoneSid) {
  fake_.sidError = ERROR_NOT_ENOUGH_MEMORY;
  int error = 0;
  EXPECT_FALSE(CreateNetShare("01234", "", "C:\\ZAN\\PM01234\\", &error));
  EXPECT_EQ(error, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(fake_.addCalls + fake_.setCalls, 0);
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
      {"C:\\zan\\pm01234\\", ""}, {"D:\\Dati\\", "Dati"}, {"C:\\", "C$"},
      {"E:\\Nowhere\\", ""}};
  fake_.pages = {{{L"IPC$", nullptr}, {L"Empty", L""}, {L"C$", L"C:\\"}},
                 {{L"Dati", L"D:\\Dati"}, {L"ZAN 01234", L"C:\\ZAN\\PM01234"}},
                 {{L"Late", L"C:\\ZAN\\PM01234\\"}}};
  for (const auto& r : rows) {
    fake_.enumCalls = 0;
    std::string name = "untouched";
    EXPECT_EQ(FindShareForPath(r.first, &name), *r.second != 0) << r.first;
    EXPECT_EQ(name, *r.second ? r.second : "untouched") << r.first;
    if (!*r.second) {
      EXPECT_EQ(fake_.enumCalls, 3) << r.first;
    }
  }
  fake_.enumFailure = ERROR_ACCESS_DENIED;  // a failed enumeration: not shared
  EXPECT_FALSE(FindShareForPath("D:\\Dati", nullptr));
  EXPECT_FALSE(DetectDestinationShare("D:\\Dati\\Uff"));
}

TEST_F(NetworkShare, DetectDestinationShare) {
  const std::string deep = "C:\\" + std::string(150, 'a') + "\\" + std::string(150, 'b');
  const std::wstring deepParent = L"C:\\" + std::wstring(150, L'a');  // beyond MAX_PATH
  const std::string kOffice = "C:\\ZAN\\PM01234\\";
  const struct {
    const wchar_t* name;
    const wchar_t* path;
    std::string folder;
    bool result;
    const char* line;
  } rows[] = {
      {L"Hidden$", L"C:\\ZAN\\PM01234", kOffice, true, "folder already shared as Hidden$"},
      {L"C$", L"C:\\", "C:\\ZAN\\", false, "parent folder already shared with predefined"},
      {L"ZAN", L"C:\\ZAN", kOffice, true, "parent folder already shared as ZAN"},
      {L"Other", L"D:\\Other", kOffice, false, "parent folder C:\\ZAN not shared"},
      {L"Deep", deepParent.c_str(), deep, true, "parent folder already shared as Deep"},
  };
  for (const auto& r : rows) {
    fake_.pages = {{Share{r.name, r.path}}};
    log_.Clear();
    EXPECT_EQ(DetectDestinationShare(r.folder), r.result) << r.line;
    EXPECT_TRUE(log_.Has(std::string("[  INFO] Destination ") + r.line)) << log_.Text();
  }
  const std::pair<const char*, const char*> parents[] = {
      {"C:\\ZAN\\PM01234\\", "C:\\ZAN"}, {"C:\\ZAN", "C:\\"}, {"C:\\", "C:"},
      {"\\\\srv\\share\\x", "\\\\srv\\share"}};
  for (const auto& p : parents) EXPECT_EQ(ParentFolder(p.first), p.second) << p.first;
}

// The real calls as Wine answers them: no share can be listed. (Making one,
// refused by Wine, is run end to end by the share mode scenarios.)
TEST(NetworkShareReal, PlatformAnswersAreHandledCleanly) {
  LogCapture log;
  EXPECT_FALSE(NetShareExists("01234"));
  EXPECT_FALSE(FindShareForPath("C:\\", nullptr));
  EXPECT_FALSE(DetectDestinationShare("C:\\ZAN\\PM01234\\"));
  EXPECT_TRUE(log.Has("[  INFO] Destination parent folder C:\\ZAN not shared")) << log.Text();
}

}  // namespace
