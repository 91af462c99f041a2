// The network walk through fake network and share calls, the reports to a real
// window of the test's own (with its own message loop), and one real walk.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <lm.h>

#include <atomic>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "constants.h"
#include "network_share.h"
#include "service_settings.h"
#include "settings.h"
#include "share_discovery.h"
#include "test_support.h"
#include "text_utils.h"

using testing_support::LogCapture;
using testing_support::TempDir;

namespace {

struct Resource {
  DWORD displayType;
  DWORD usage;
  std::string remoteName;
};
struct Batch {
  DWORD status;  // 0 or ERROR_MORE_DATA; the batch after the last answers 259
  std::vector<Resource> resources;
};
struct FakeNetwork {
  std::map<std::string, std::vector<Batch>> containers;  // "" is the network root
  std::vector<std::string> opened;
  int open = 0;  // enumerations not closed yet
  NETRESOURCEA domainContainer = {};
  DWORD claim = 0;  // non-zero: the count reported, whatever the batch holds
};
FakeNetwork* g_network = nullptr;

struct EnumHandle {
  std::vector<Batch> batches;
  size_t next = 0;
};

DWORD WINAPI FakeOpenEnum(DWORD scope, DWORD type, DWORD usage, LPNETRESOURCEA container,
                          LPHANDLE handle) {
  if (scope != RESOURCE_GLOBALNET || type != RESOURCETYPE_DISK || usage != RESOURCEUSAGE_CONTAINER)
    return ERROR_INVALID_PARAMETER;
  const std::string key = container && container->lpRemoteName ? container->lpRemoteName : "";
  g_network->opened.push_back(key);
  if (container && container->dwDisplayType == RESOURCEDISPLAYTYPE_DOMAIN)
    g_network->domainContainer = *container;
  auto it = g_network->containers.find(key);
  if (it == g_network->containers.end()) return ERROR_BAD_NET_NAME;
  *handle = new EnumHandle{it->second};
  ++g_network->open;
  return NO_ERROR;
}

// Records first, their names behind them, as the provider lays them out.
DWORD WINAPI FakeEnumResource(HANDLE handle, LPDWORD count, LPVOID buffer, LPDWORD size) {
  EnumHandle* e = static_cast<EnumHandle*>(handle);
  if (e->next >= e->batches.size()) return ERROR_NO_MORE_ITEMS;
  const Batch& batch = e->batches[e->next++];
  NETRESOURCEA* records = static_cast<NETRESOURCEA*>(buffer);
  // A claiming provider fills the whole buffer with records, names elsewhere.
  char* text = reinterpret_cast<char*>(records + batch.resources.size());
  char* end = static_cast<char*>(buffer) + *size;
  for (size_t i = 0; i < batch.resources.size(); ++i) {
    const Resource& r = batch.resources[i];
    if (!g_network->claim && text + r.remoteName.size() + 1 > end) return ERROR_MORE_DATA;
    records[i] = NETRESOURCEA();
    records[i].dwScope = RESOURCE_GLOBALNET;
    records[i].dwType = RESOURCETYPE_DISK;
    records[i].dwDisplayType = r.displayType;
    records[i].dwUsage = r.usage;
    records[i].lpRemoteName = g_network->claim ? const_cast<char*>(r.remoteName.c_str())
                                               : lstrcpyA(text, r.remoteName.c_str());
    text += r.remoteName.size() + 1;
  }
  *count = g_network->claim ? g_network->claim : batch.resources.size();
  return batch.status;
}

DWORD WINAPI FakeCloseEnum(HANDLE handle) {
  delete static_cast<EnumHandle*>(handle);
  --g_network->open;
  return NO_ERROR;
}

// Reverse lookup: known addresses get their name; an unknown one fails when a
// name is required, and otherwise comes back as numbers, as the real call does.
std::map<std::string, std::string> g_names;
int WSAAPI FakeGetNameInfo(const sockaddr* address, socklen_t, PCHAR host, DWORD hostLength,
                           PCHAR, DWORD, INT flags) {
  const sockaddr_in* in = reinterpret_cast<const sockaddr_in*>(address);
  if (in->sin_family != AF_INET || in->sin_port != 0) return EAI_FAMILY;
  const std::string numeric = inet_ntoa(in->sin_addr);
  auto it = g_names.find(numeric);
  if (it == g_names.end() && (flags & NI_NAMEREQD)) return EAI_NONAME;
  const std::string name = it == g_names.end() ? numeric : it->second;
  if (name.size() + 1 > hostLength) return EAI_FAIL;
  lstrcpyA(host, name.c_str());
  return 0;
}

const DiscoveryCalls kFakeDiscovery = {&FakeOpenEnum, &FakeEnumResource, &FakeCloseEnum,
                                       &FakeGetNameInfo};

constexpr DWORD kNoInfo = 0xFFFFFFFF;  // NetShareGetInfo fails for this share
struct FakeShare {
  std::wstring name;
  DWORD type;
};
struct FakeShares {
  std::map<std::wstring, std::vector<std::vector<FakeShare>>> pages;  // per server
  NET_API_STATUS failure = NERR_Success;
  DWORD bogusCount = 0;
  std::vector<std::wstring> serversAsked;
  std::set<void*> outstanding;
};
FakeShares* g_shares = nullptr;

LPBYTE Hand(size_t bytes) {
  void* p = calloc(1, bytes);
  g_shares->outstanding.insert(p);
  return static_cast<LPBYTE>(p);
}

NET_API_STATUS WINAPI FakeShareEnum(LMSTR server, DWORD level, LPBYTE* buffer, DWORD, LPDWORD read,
                                    LPDWORD total, LPDWORD resume) {
  *read = 0;
  if (level != 0 || !server) return ERROR_INVALID_PARAMETER;
  g_shares->serversAsked.push_back(server);
  if (g_shares->failure) return g_shares->failure;
  if (g_shares->bogusCount) {
    *buffer = Hand(16);
    *read = g_shares->bogusCount;
    return NERR_Success;
  }
  auto it = g_shares->pages.find(server);
  if (it == g_shares->pages.end()) return ERROR_BAD_NETPATH;
  const size_t page = *resume;
  if (page >= it->second.size()) return NERR_Success;
  const std::vector<FakeShare>& shares = it->second[page];
  auto* entries = reinterpret_cast<SHARE_INFO_0*>(Hand(sizeof(SHARE_INFO_0) * shares.size()));
  for (size_t i = 0; i < shares.size(); ++i)
    entries[i].shi0_netname = const_cast<LMSTR>(shares[i].name.c_str());
  *buffer = reinterpret_cast<LPBYTE>(entries);
  *read = *total = shares.size();
  *resume = page + 1;
  return page + 1 < it->second.size() ? ERROR_MORE_DATA : NERR_Success;
}

NET_API_STATUS WINAPI FakeShareGetInfo(LMSTR server, LMSTR name, DWORD level, LPBYTE* buffer) {
  if (level != 1) return ERROR_INVALID_PARAMETER;
  for (const auto& page : g_shares->pages[server]) {
    for (const FakeShare& s : page) {
      if (s.name != name || s.type == kNoInfo) continue;
      SHARE_INFO_1* info = reinterpret_cast<SHARE_INFO_1*>(Hand(sizeof(SHARE_INFO_1)));
      info->shi1_type = s.type;
      *buffer = reinterpret_cast<LPBYTE>(info);
      return NERR_Success;
    }
  }
  return NERR_NetNameNotFound;
}

NET_API_STATUS WINAPI FakeBufferFree(LPVOID buffer) {
  if (!g_shares->outstanding.erase(buffer)) return ERROR_INVALID_PARAMETER;
  free(buffer);
  return NERR_Success;
}

const NetShareCalls kFakeShares = {nullptr, nullptr, &FakeShareEnum, &FakeShareGetInfo,
                                   &FakeBufferFree, nullptr};

std::vector<std::pair<std::string, LPARAM>>* g_received = nullptr;

LRESULT CALLBACK SheetProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SHARE_FOUND && g_received) {
    g_received->emplace_back(reinterpret_cast<const char*>(wParam), lParam);
    return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

class SheetWindow {
 public:
  SheetWindow() {
    static const ATOM atom = [] {
      WNDCLASSA c = {};
      c.lpfnWndProc = &SheetProc;
      c.hInstance = GetModuleHandleA(nullptr);
      c.lpszClassName = "ShareDiscoveryTestSheet";
      return RegisterClassA(&c);
    }();
    EXPECT_NE(atom, 0);
      hwnd_ = CreateWindowExA(0, "ShareDiscoveryTestSheet", "sheet", 0, 0, 0, 0, 0, HWND_MESSAGE,
                            nullptr, GetModuleHandleA(nullptr), nullptr);
    EXPECT_NE(hwnd_, nullptr);
    g_received = &received;
  }
  ~SheetWindow() {
    g_received = nullptr;
    GetServiceSettings().sheetWindow = nullptr;
    DestroyWindow(hwnd_);
  }
  void Publish() { GetServiceSettings().sheetWindow = hwnd_; }

  // Runs `work` on a thread of its own while this thread handles the window's
  // messages; publishes the window after `publishAfterMs` when non-zero.
  template <typename Work>
  void Pump(Work work, DWORD publishAfterMs = 0) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
      work();
      done = true;
    });
    const DWORD start = GetTickCount();
    while (!done) {
      if (publishAfterMs && GetTickCount() - start >= publishAfterMs) {
        Publish();
        publishAfterMs = 0;
      }
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    worker.join();
  }

  std::vector<std::pair<std::string, LPARAM>> received;

 private:
  HWND hwnd_ = nullptr;
};

std::vector<std::string> g_reported;  // "domain|path" through onShareFound
void Record(const std::string& domain, const std::string& path) {
  g_reported.push_back(domain + "|" + path);
}

std::vector<std::string> Paths(const std::vector<std::pair<std::string, LPARAM>>& received) {
  std::vector<std::string> paths;
  for (const auto& r : received) paths.push_back(r.first);
  return paths;
}

// A share's content: A plain, H hidden, S system, .git, a file f. (The
// emulated platform does not keep the read-only mark on folders.)
void MakeShareTree(const std::string& share) {
  ASSERT_TRUE(testing_support::WriteBytes(share + "\\f", "x"));
  for (const char* name : {"A", "H", "S", ".git"})
    ASSERT_TRUE(CreateDirectoryA((share + "\\" + name).c_str(), nullptr));
  ASSERT_TRUE(SetFileAttributesA((share + "\\H").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesA((share + "\\S").c_str(), FILE_ATTRIBUTE_SYSTEM));
}

class Discovery : public ::testing::Test {
 protected:
  void SetUp() override {
    g_network = &network_;
    g_shares = &shares_;
    SetDiscoveryCallsForTesting(&kFakeDiscovery);
    SetNetShareCallsForTesting(&kFakeShares);
  }
  void TearDown() override {
    SetDiscoveryCallsForTesting(nullptr);
    SetNetShareCallsForTesting(nullptr);
    SetSheetWaitForTesting(120000);
    EXPECT_EQ(network_.open, 0) << "enumerations left open";
    EXPECT_TRUE(shares_.outstanding.empty())
        << shares_.outstanding.size() << " buffers not released";
    g_names.clear();
    g_reported.clear();
    g_network = nullptr;
    g_shares = nullptr;
  }
  const LPARAM year_ = StringToInt(g_year);
  FakeNetwork network_;
  FakeShares shares_;
  LogCapture log_;
};

TEST_F(Discovery, NetworkWalkCollectsDomainsWithoutEnteringThem) {
  network_.containers[""] = {{0,
                              {{RESOURCEDISPLAYTYPE_NETWORK, RESOURCEUSAGE_CONTAINER, "Provider"},
                               {RESOURCEDISPLAYTYPE_GENERIC, RESOURCEUSAGE_CONNECTABLE, "Leaf"}}}};
  network_.containers["Provider"] = {
      {0, {{RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONTAINER, "WORKGROUP"}}},
      {0, {{RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONTAINER, "OFFICE"}}},
      // A provider that says "more data" ends that branch.
      {ERROR_MORE_DATA, {{RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONTAINER, "LOST"}}}};
  network_.containers["WORKGROUP"] = {{0, {{RESOURCEDISPLAYTYPE_DOMAIN, 0, "INNER"}}}};
  static std::vector<std::string> met;
  met.clear();
  NetShareDiscovery d;
  d.onServerFound = [](const std::string& name) { met.push_back(name); };
  EXPECT_EQ(d.EnumerateNetwork(nullptr), 2u);
  EXPECT_EQ(d.GetHosts(), (std::vector<std::string>{"WORKGROUP", "OFFICE"}));
  EXPECT_EQ(met, d.hosts);
  EXPECT_EQ(network_.opened, (std::vector<std::string>{"", "Provider"}));

  // The servers of a domain.
  network_.containers["OFFICE"] = {
      {ERROR_MORE_DATA, {{RESOURCEDISPLAYTYPE_SERVER, RESOURCEUSAGE_CONTAINER, "\\\\PC1"},
                         {RESOURCEDISPLAYTYPE_SHARE, RESOURCEUSAGE_CONNECTABLE, "\\\\PC1\\Data"}}},
      {0, {{RESOURCEDISPLAYTYPE_SERVER, RESOURCEUSAGE_CONTAINER, "\\\\PC2"}}}};
  d.EnumerateServerShares("Missing");  // cannot be opened: nothing added
  EXPECT_EQ(d.EnumerateServerShares("OFFICE"), 2u);
  ASSERT_EQ(d.shares.size(), 2u);
  EXPECT_EQ(d.shares[0].remoteName, "\\\\PC1");
  EXPECT_EQ(d.shares[1].remoteName, "\\\\PC2");
  EXPECT_EQ(d.shares[1].domain, "OFFICE");
  EXPECT_EQ(network_.domainContainer.dwType, static_cast<DWORD>(RESOURCETYPE_ANY));
}

// A provider that reports more entries than its buffer can hold: only the
// records in the buffer are read.
TEST_F(Discovery, EnumerationClaimingMoreThanItsBufferHoldsIsCut) {
  const struct { DWORD displayType; size_t fit; } kinds[] = {
      {RESOURCEDISPLAYTYPE_DOMAIN, 3200 / sizeof(NETRESOURCEA)},
      {RESOURCEDISPLAYTYPE_SERVER, 16384 / sizeof(NETRESOURCEA)}};
  network_.claim = 0x7FFFFFFF;
  std::vector<Resource> full[2];
  for (int k = 0; k < 2; ++k)
    for (size_t i = 0; i < kinds[k].fit; ++i)
      full[k].push_back({kinds[k].displayType, RESOURCEUSAGE_CONTAINER, "\\\\N" + std::to_string(i)});
  network_.containers[""] = {{0, full[0]}};
  network_.containers["OFFICE"] = {{0, full[1]}};
  NetShareDiscovery d;
  EXPECT_EQ(d.EnumerateNetwork(nullptr), kinds[0].fit);
  EXPECT_EQ(d.EnumerateServerShares("OFFICE"), kinds[1].fit);
  EXPECT_EQ(network_.opened, (std::vector<std::string>{"", "OFFICE"}));
}

TEST_F(Discovery, HostSharesSkipDollarNamesAndReportPlainDiskSharesOnly) {
  shares_.pages[L"\\\\PC1"] = {
      {{L"ADMIN$", STYPE_DISKTREE | STYPE_SPECIAL}, {L"C$", STYPE_DISKTREE | STYPE_SPECIAL},
       {L"IPC$", STYPE_IPC | STYPE_SPECIAL}, {L"Data", STYPE_DISKTREE}},
      {{L"Printer", STYPE_PRINTQ}, {L"Temp", STYPE_DISKTREE | STYPE_TEMPORARY},
       {L"Gone", kNoInfo}, {L"Uffici", STYPE_DISKTREE}}};
  NetShareDiscovery d;
  d.onShareFound = &Record;
  d.shares.push_back(ServerEntry{"\\\\PC1", {}, "OFFICE"});
  EXPECT_EQ(d.EnumerateAllHostShares(), 5u);
  EXPECT_EQ(d.shares[0].shareNames,
            (std::vector<std::string>{"\\\\PC1\\Data", "\\\\PC1\\Printer", "\\\\PC1\\Temp",
                                      "\\\\PC1\\Gone", "\\\\PC1\\Uffici"}));
  EXPECT_EQ(g_reported, (std::vector<std::string>{"OFFICE|\\\\PC1\\Data", "OFFICE|\\\\PC1\\Uffici"}));
}

TEST_F(Discovery, ServersGivenByAddressAreNamedByReverseLookup) {
  g_names["192.168.1.20"] = "PC1.Office.Local";
  g_names["192.168.1.22"] = "PC3";
  struct Row {
    const wchar_t* server;
    std::wstring asked;
    std::string reported;
  } rows[] = {
      {L"\\\\192.168.1.20", L"\\\\pc1", "office.local|\\\\pc1\\Data"},
      {L"\\\\192.168.1.21", L"\\\\192.168.1.21", "WORKGROUP|\\\\192.168.1.21\\Data"},
      {L"\\\\192.168.1.22", L"\\\\pc3", "|\\\\pc3\\Data"},
      {L"\\\\1PC", L"\\\\1PC", "WORKGROUP|\\\\1PC\\Data"},  // a digit, not an address
  };
  for (const Row& r : rows) {
    g_reported.clear();
    shares_.serversAsked.clear();
    shares_.pages[r.asked] = {{{L"Data", STYPE_DISKTREE}}};
    NetShareDiscovery d;
    d.onShareFound = &Record;
    d.ListHostShares(r.server, L"WORKGROUP");
    EXPECT_EQ(shares_.serversAsked, std::vector<std::wstring>{r.asked});
    EXPECT_EQ(g_reported, std::vector<std::string>{r.reported});
  }
}

TEST_F(Discovery, UnlistableServersGiveNoShares) {
  NetShareDiscovery d;
  shares_.failure = ERROR_BAD_NETPATH;
  EXPECT_TRUE(d.ListHostShares(L"\\\\PC1", L"OFFICE").empty());
  shares_.failure = NERR_Success;
  shares_.bogusCount = 10000;
  EXPECT_TRUE(d.ListHostShares(L"\\\\PC1", L"OFFICE").empty());
}

TEST_F(Discovery, ShareAndItsPlainFoldersReachTheSheet) {
  TempDir dir;
  const std::string share = dir / "Data";
  ASSERT_TRUE(CreateDirectoryA(share.c_str(), nullptr));
  MakeShareTree(share);
  SheetWindow sheet;
  sheet.Publish();
  sheet.Pump([&] { OnShareFound("OFFICE", share); });
  EXPECT_EQ(Paths(sheet.received), (std::vector<std::string>{share, share + "\\A\\"}));
  for (const auto& r : sheet.received) EXPECT_EQ(r.second, year_);
  EXPECT_TRUE(log_.Has("[  INFO] Share found on OFFICE" + share)) << log_.Text();
  EXPECT_TRUE(log_.Has("[  INFO] Share check end for OFFICE" + share)) << log_.Text();

  // A share whose content cannot be listed sends only itself; the year comes
  // from the run's settings when there are some.
  CSetting setting;
  setting.platformName = "ZAN2031";
  GetServiceSettings().setting = &setting;
  sheet.received.clear();
  sheet.Pump([&] { OnShareFound("OFFICE", dir / "Missing"); });
  GetServiceSettings().setting = nullptr;
  EXPECT_EQ(Paths(sheet.received), std::vector<std::string>{dir / "Missing"});
  EXPECT_EQ(sheet.received.at(0).second, 2031);
}

TEST_F(Discovery, ReportsWaitForTheSheetWindow) {
  TempDir dir;
  SheetWindow sheet;
  sheet.Pump([&] { OnShareFound("OFFICE", dir.path() + "Data"); }, 300);
  EXPECT_EQ(Paths(sheet.received), std::vector<std::string>{dir.path() + "Data"});

  // The wait is bounded: with no window at all the report is dropped, logged.
  SetSheetWaitForTesting(200);
  GetServiceSettings().sheetWindow = nullptr;
  sheet.received.clear();
  const DWORD start = GetTickCount();
  sheet.Pump([&] { OnShareFound("OFFICE", dir.path() + "Late"); });
  EXPECT_LT(GetTickCount() - start, 5000u);
  EXPECT_TRUE(sheet.received.empty());
  EXPECT_TRUE(log_.Has("[* WARN] No wizard window for share " + dir.path() + "Late"))
      << log_.Text();
  EXPECT_TRUE(log_.Has("[  INFO] Share check end for OFFICE" + dir.path() + "Late"));
}

TEST_F(Discovery, ThreadWalksTheNetworkAndClearsTheFlag) {
  // The "server": a local folder in long-path form, so its share has real content.
  TempDir dir;
  std::string server = "\\\\?\\" + dir.path();
  server.pop_back();
  const std::string share = server + "\\Data";
  ASSERT_TRUE(CreateDirectoryA((dir / "Data").c_str(), nullptr));
  MakeShareTree(dir / "Data");
  network_.containers[""] = {
      {0, {{RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONTAINER, "OFFICE"}}}};
  network_.containers["OFFICE"] = {
      {0, {{RESOURCEDISPLAYTYPE_SERVER, RESOURCEUSAGE_CONTAINER, server}}}};
  shares_.pages[AnsiToWide(server)] = {{{L"IPC$", STYPE_IPC}, {L"Data", STYPE_DISKTREE}}};

  SheetWindow sheet;
  sheet.Publish();
  GetServiceSettings().discoveryRunning = true;
  sheet.Pump([] { NetworkShareDiscoveryThread(nullptr); });
  EXPECT_FALSE(GetServiceSettings().discoveryRunning);
  EXPECT_EQ(Paths(sheet.received), (std::vector<std::string>{share, share + "\\A\\"}));
}

// The real calls, as Wine answers them.
TEST(DiscoveryReal, RealWalkLogsAndClearsTheFlag) {
  LogCapture log;
  SheetWindow sheet;
  sheet.Publish();
  GetServiceSettings().discoveryRunning = true;
  sheet.Pump([] { NetworkShareDiscoveryThread(nullptr); });
  EXPECT_FALSE(GetServiceSettings().discoveryRunning);
  EXPECT_TRUE(log.Has("[  INFO] Network share discovery starts")) << log.Text();
  EXPECT_TRUE(log.Has("[  INFO] Network share discovery ends")) << log.Text();
}

}  // namespace
