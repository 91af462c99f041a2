// The office share: the record and access list handed to the share call, the
// caching step, and the lookups of folders already shared, through fake share
// calls; plus one pass over the real calls the emulated platform answers.
#include <gtest/gtest.h>

#include <windows.h>
#include <lm.h>

#include <set>
#include <string>
#include <vector>

#include "log.h"
#include "network_share.h"
#include "test_support.h"

using testing_support::TempDir;

namespace {

class LogCapture {
 public:
  LogCapture() {
    std::string folder = dir_.path();
    folder.pop_back();
    SetLogFolderForTesting(folder);
  }
  ~LogCapture() { SetLogFolderForTesting(""); }
  std::string Text() const { return testing_support::ReadBytes(dir_ / "DesktopApp_setup_log.txt"); }
  bool Has(const std::string& line) const { return Text().find(line) != std::string::npos; }
  void Clear() { DeleteLogFile(); }

 private:
  TempDir dir_;
};

// What the fake share calls answer and what they were handed.
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
  SHARE_INFO_502 added = {};
  std::wstring addedName, addedPath, addedRemark;
  bool everyoneFullControl = false;
  std::wstring setName;
  DWORD setLevel = 0, setFlags = 0;
  std::set<void*> outstanding;  // buffers handed out and not yet released
};
FakeState* g_fake = nullptr;

LPBYTE Hand(size_t bytes) {
  void* p = calloc(1, bytes);
  g_fake->outstanding.insert(p);
  return static_cast<LPBYTE>(p);
}

// The access list must hold exactly one entry: Everyone, full control,
// inherited by files and folders.
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
  if (server || level != 502) return ERROR_INVALID_PARAMETER;
  g_fake->added = *reinterpret_cast<SHARE_INFO_502*>(buffer);
  g_fake->addedName = g_fake->added.shi502_netname;
  g_fake->addedPath = g_fake->added.shi502_path;
  g_fake->addedRemark = g_fake->added.shi502_remark;
  g_fake->everyoneFullControl = GrantsEveryoneFullControl(g_fake->added.shi502_security_descriptor);
  return g_fake->addStatus;
}

NET_API_STATUS WINAPI FakeSetInfo(LMSTR server, LMSTR name, DWORD level, LPBYTE buffer, LPDWORD) {
  ++g_fake->setCalls;
  if (server) return ERROR_INVALID_PARAMETER;
  g_fake->setName = name;
  g_fake->setLevel = level;
  g_fake->setFlags = reinterpret_cast<SHARE_INFO_1005*>(buffer)->shi1005_flags;
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
  SHARE_INFO_502* entries = reinterpret_cast<SHARE_INFO_502*>(Hand(sizeof(SHARE_INFO_502) * (shares.size() + 1)));
  for (size_t i = 0; i < shares.size(); ++i) {
    entries[i].shi502_netname = const_cast<LMSTR>(shares[i].name.c_str());
    entries[i].shi502_path = const_cast<LMSTR>(shares[i].path);
  }
  *buffer = reinterpret_cast<LPBYTE>(entries);
  *read = shares.size();
  *total = shares.size();
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
    const char *addLine, *setLine;
  } rows[] = {
      {NERR_Success, NERR_Success, true, "[  INFO] Net share added successfully",
       "[  INFO] Net share cache settings edited successfully"},
      {NERR_DuplicateShare, NERR_Success, true, "[  INFO] Net share already exists with this name",
       "[  INFO] Net share cache settings edited successfully"},
      // A failed add still runs the caching step; its answer is the result.
      {ERROR_ACCESS_DENIED, NERR_NetNameNotFound, false, "[  INFO] Net share add failed 5",
       "[  INFO] Net share cache settings edit failed 2310"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.add);
    fake_ = FakeState();
    fake_.addStatus = r.add;
    fake_.setStatus = r.set;
    log_.Clear();
    int error = -1;
    EXPECT_EQ(CreateNetShare("01234", "", "C:\\ZAN\\PM01234\\", &error), r.result);
    EXPECT_EQ(error, static_cast<int>(r.add));
    EXPECT_EQ(fake_.addedName, L"ZAN 01234");
    EXPECT_EQ(fake_.addedPath, L"C:\\ZAN\\PM01234");
    EXPECT_EQ(fake_.addedRemark, L"");
    EXPECT_EQ(fake_.added.shi502_type, static_cast<DWORD>(STYPE_DISKTREE));
    EXPECT_EQ(fake_.added.shi502_permissions, static_cast<DWORD>(ACCESS_ALL));
    EXPECT_EQ(fake_.added.shi502_max_uses, static_cast<DWORD>(-1));
    EXPECT_EQ(fake_.added.shi502_current_uses, 0u);
    EXPECT_EQ(fake_.added.shi502_passwd, nullptr);
    EXPECT_EQ(fake_.added.shi502_reserved, 0u);
    EXPECT_TRUE(fake_.everyoneFullControl);
    EXPECT_EQ(fake_.setCalls, 1);
    EXPECT_EQ(fake_.setName, L"ZAN 01234");
    EXPECT_EQ(fake_.setLevel, 1005u);
    EXPECT_EQ(fake_.setFlags, 0x30u);
    EXPECT_TRUE(log_.Has(r.addLine)) << log_.Text();
    EXPECT_TRUE(log_.Has(r.setLine)) << log_.Text();
  }
}

TEST_F(NetworkShare, CreateKeepsAFolderWithoutTrailingSlashAndAcceptsNoErrorSlot) {
  EXPECT_TRUE(CreateNetShare("00012", "note", "D:\\Uffici\\PM00012", nullptr));
  EXPECT_EQ(fake_.addedName, L"ZAN 00012");
  EXPECT_EQ(fake_.addedPath, L"D:\\Uffici\\PM00012");
  EXPECT_EQ(fake_.addedRemark, L"note");
}

TEST_F(NetworkShare, CreateConvertsWithTheAnsiCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "code page " << GetACP();
  // "Università" in code page 1252: a lone 0xE0 byte is not UTF-8.
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

TEST_F(NetworkShare, ExistsOnlyForTheExactNameAndAlwaysReleases) {
  fake_.existing = L"ZAN 01234";
  EXPECT_TRUE(NetShareExists("01234"));
  EXPECT_FALSE(NetShareExists("1234"));
  EXPECT_FALSE(NetShareExists("01235"));
}

TEST_F(NetworkShare, FindShareForPathWalksEveryPage) {
  struct Row {
    const char* folder;
    bool found;
    const char* name;
  } rows[] = {
      {"C:\\ZAN\\PM01234\\", true, "ZAN 01234"},  // on the second page
      {"C:\\ZAN\\PM01234", true, "ZAN 01234"},    // trailing "\" added before comparing
      {"C:\\zan\\pm01234\\", false, ""},          // byte comparison: case matters
      {"D:\\Dati\\", true, "Dati"},               // share path stored without "\"
      {"C:\\", true, "C$"},
      {"\\", false, ""},                          // entries without a path never match
      {"E:\\Nowhere\\", false, ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.folder);
    fake_.pages = {{{L"IPC$", nullptr}, {L"Empty", L""}, {L"C$", L"C:\\"}},
                   {{L"Dati", L"D:\\Dati"}, {L"ZAN 01234", L"C:\\ZAN\\PM01234"}},
                   {{L"Late", L"C:\\ZAN\\PM01234\\"}}};
    std::string name = "untouched";
    EXPECT_EQ(FindShareForPath(r.folder, &name), r.found);
    EXPECT_EQ(name, r.found ? r.name : "untouched");
  }
  // Not found means every page was asked.
  fake_.enumCalls = 0;
  FindShareForPath("E:\\Nowhere\\", nullptr);
  EXPECT_EQ(fake_.enumCalls, 3);
}

TEST_F(NetworkShare, FailedEnumerationMeansNotShared) {
  fake_.enumFailure = ERROR_ACCESS_DENIED;
  fake_.pages = {{{L"Dati", L"D:\\Dati"}}};
  EXPECT_FALSE(FindShareForPath("D:\\Dati", nullptr));
  EXPECT_FALSE(DetectDestinationShare("D:\\Dati\\Uff"));
  EXPECT_TRUE(log_.Has("[  INFO] Destination parent folder D:\\Dati not shared")) << log_.Text();
}

TEST_F(NetworkShare, DetectDestinationShare) {
  const std::string deep = "C:\\" + std::string(150, 'a') + "\\" + std::string(150, 'b');
  const std::wstring deepParent = L"C:\\" + std::wstring(150, L'a');
  struct Row {
    const char* name;
    std::vector<Share> shares;
    std::string folder;
    bool result;
    std::vector<std::string> lines;
  } rows[] = {
      {"folder shared under a $ name",
       {{L"Hidden$", L"C:\\ZAN\\PM01234"}},
       "C:\\ZAN\\PM01234\\",
       true,
       {"[  INFO] Destination folder already shared as Hidden$"}},
      {"parent only through the drive share",
       {{L"C$", L"C:\\"}},
       "C:\\ZAN\\",
       false,
       {"[  INFO] Destination folder C:\\ZAN\\ not shared",
        "[  INFO] Destination parent folder already shared as C$",
        "[  INFO] Destination parent folder already shared with predefined connection"}},
      {"parent shared by name",
       {{L"ZAN", L"C:\\ZAN"}},
       "C:\\ZAN\\PM01234\\",
       true,
       {"[  INFO] Destination parent folder already shared as ZAN"}},
      {"nothing shared",
       {{L"Other", L"D:\\Other"}},
       "C:\\ZAN\\PM01234\\",
       false,
       {"[  INFO] Destination folder C:\\ZAN\\PM01234\\ not shared",
        "[  INFO] Destination parent folder C:\\ZAN not shared"}},
      {"parent of a folder longer than a path buffer",
       {{L"Deep", deepParent.c_str()}},
       deep,
       true,
       {"[  INFO] Destination parent folder already shared as Deep"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    fake_.pages = {r.shares};
    log_.Clear();
    EXPECT_EQ(DetectDestinationShare(r.folder), r.result);
    for (const std::string& line : r.lines) EXPECT_TRUE(log_.Has(line)) << line << "\n" << log_.Text();
  }
}

TEST(NetworkShareParent, ParentFolder) {
  struct Row {
    const char *folder, *parent;
  } rows[] = {
      {"C:\\ZAN\\PM01234\\", "C:\\ZAN"}, {"C:\\ZAN\\PM01234", "C:\\ZAN"}, {"C:\\ZAN", "C:\\"},
      {"C:\\ZAN\\", "C:\\"},             {"C:\\", "C:"},                  {"\\\\srv\\share\\x", "\\\\srv\\share"},
  };
  for (const Row& r : rows) EXPECT_EQ(ParentFolder(r.folder), r.parent) << r.folder;
}

// The real calls, as the emulated platform answers them for this computer.
// The caching call is kept fake: the platform only stubs it.
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
  // The platform does not share folders of this computer: ERROR_NOT_SUPPORTED.
  EXPECT_FALSE(created);
  EXPECT_EQ(error, ERROR_NOT_SUPPORTED);
  EXPECT_TRUE(log.Has("[  INFO] Net share add failed 50")) << log.Text();
  EXPECT_EQ(fake.setCalls, 1);
}

}  // namespace
