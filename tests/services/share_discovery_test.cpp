// The network walk through fake network and share calls, and the reports to a
// real window of the test's own (with its own message loop). (The real walk,
// as Wine answers it, runs in the start-up tests.)
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <lm.h>

#include <atomic>
#include <map>
#include <new>
#include <string>
#include <thread>
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
using Strings = std::vector<std::string>;

namespace {

struct Resource {
  DWORD displayType, usage;
  std::string remoteName;
};
struct Batch {
  DWORD status;  // 0 or ERROR_MORE_DATA; the batch after the last answers 259
  std::vector<Resource> resources;
};
struct EnumHandle {
  std::vector<Batch> batches;
  size_t next = 0;
};

// The fake network, per test.
struct Fakes {
  std::map<std::string, std::vector<Batch>> containers;  // "" is the network root
  Strings opened;
  int open = 0;     // enumerations not closed yet
  DWORD claim = 0;  // non-zero: the count reported, whatever the batch holds
  DWORD domainType = 0;
  bool throwing = false;  // every enumeration fails with an exception
} * g_fake = nullptr;
std::map<std::string, std::string> g_names;  // reverse lookups that succeed

DWORD WINAPI FakeOpenEnum(DWORD scope, DWORD type, DWORD usage, LPNETRESOURCEA container,
                          LPHANDLE handle) {
  if (scope != RESOURCE_GLOBALNET || type != RESOURCETYPE_DISK || usage != RESOURCEUSAGE_CONTAINER)
    return ERROR_INVALID_PARAMETER;
  const std::string key = container && container->lpRemoteName ? container->lpRemoteName : "";
  if (g_fake->throwing) throw std::bad_alloc();
  g_fake->opened.push_back(key);
  if (container && container->dwDisplayType == RESOURCEDISPLAYTYPE_DOMAIN)
    g_fake->domainType = container->dwType;
  auto it = g_fake->containers.find(key);
  if (it == g_fake->containers.end()) return ERROR_BAD_NET_NAME;
  *handle = new EnumHandle{it->second};
  ++g_fake->open;
  return NO_ERROR;
}

// Records first, their names behind them, as the provider lays them out; a
// claiming provider fills the whole buffer with records, names elsewhere. An
// empty name is handed as none.
DWORD WINAPI FakeEnumResource(HANDLE handle, LPDWORD count, LPVOID buffer, LPDWORD size) {
  EnumHandle* e = static_cast<EnumHandle*>(handle);
  if (e->next >= e->batches.size()) return ERROR_NO_MORE_ITEMS;
  const Batch& batch = e->batches[e->next++];
  NETRESOURCEA* records = static_cast<NETRESOURCEA*>(buffer);
  char* text = reinterpret_cast<char*>(records + batch.resources.size());
  char* end = static_cast<char*>(buffer) + *size;
  for (size_t i = 0; i < batch.resources.size(); ++i) {
    const Resource& r = batch.resources[i];
    if (!g_fake->claim && text + r.remoteName.size() + 1 > end) return ERROR_MORE_DATA;
    records[i] = NETRESOURCEA();
    records[i].dwDisplayType = r.displayType;
    records[i].dwUsage = r.usage;
    records[i].lpRemoteName = r.remoteName.empty() ? nullptr
                              : g_fake->claim   ? const_cast<char*>(r.remoteName.c_str())
                                                : lstrcpyA(text, r.remoteName.c_str());
    text += r.remoteName.size() + 1;
  }
  *count = g_fake->claim ? g_fake->claim : batch.resources.size();
  return batch.status;
}

DWORD WINAPI FakeCloseEnum(HANDLE handle) {
  delete static_cast<EnumHandle*>(handle);
  --g_fake->open;
  return NO_ERROR;
}

// Known addresses get their name; an unknown one fails when a name is
// required, and otherwise comes back as numbers, as the real call does.
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

// A message-only "sheet" window that records the paths and years it receives.
std::vector<std::pair<std::string, LPARAM>> g_received;
LRESULT CALLBACK SheetProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_SHARE_FOUND) return DefWindowProcA(hwnd, message, wParam, lParam);
  g_received.emplace_back(reinterpret_cast<const char*>(wParam), lParam);
  return 0;
}

class SheetWindow {
 public:
  SheetWindow() {
    WNDCLASSA c = {};
    c.lpfnWndProc = &SheetProc;
    c.hInstance = GetModuleHandleA(nullptr);
    c.lpszClassName = "ShareDiscoveryTestSheet";
    RegisterClassA(&c);  // fails harmlessly once registered
    hwnd_ = CreateWindowExA(0, c.lpszClassName, "sheet", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            c.hInstance, nullptr);
    EXPECT_NE(hwnd_, nullptr);
  }
  ~SheetWindow() {
    GetServiceSettings().sheetWindow = nullptr;
    DestroyWindow(hwnd_);
  }
  void Publish() { GetServiceSettings().sheetWindow = hwnd_; }

  // Runs `work` on a thread of its own while this thread handles the window's
  // messages; the paths received.
  template <typename Work>
  Strings Pump(Work work) {
    g_received.clear();
    std::atomic<bool> done{false};
    std::thread worker([&] {
      work();
      done = true;
    });
    for (MSG msg; !done; MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT))
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    worker.join();
    Strings paths;
    for (const auto& r : g_received) paths.push_back(r.first);
    return paths;
  }

 private:
  HWND hwnd_ = nullptr;
};

Strings g_reported;  // "domain|path" through onShareFound
void Record(const std::string& domain, const std::string& path) {
  g_reported.push_back(domain + "|" + path);
}

class Discovery : public ::testing::Test {
 protected:
  void SetUp() override {
    g_fake = &fake_;
    SetDiscoveryCallsForTesting(&kFakeDiscovery);
    testing_support::UseFakeShares(&shares_);
  }
  void TearDown() override {
    SetDiscoveryCallsForTesting(nullptr);
    testing_support::UseFakeShares(nullptr);
    SetSheetWaitForTesting(120000);
    EXPECT_EQ(fake_.open, 0) << "enumerations left open";
    EXPECT_EQ(shares_.outstanding.size(), 0u) << "share buffers not released";
    g_names.clear();
    g_reported.clear();
    g_fake = nullptr;
  }
  Fakes fake_;
  testing_support::FakeShares shares_;
  LogCapture log_;
};

TEST_F(Discovery, NetworkWalkCollectsDomainsWithoutEnteringThem) {
  fake_.containers[""] = {{0,
                           {{RESOURCEDISPLAYTYPE_NETWORK, RESOURCEUSAGE_CONTAINER, "Provider"},
                            {RESOURCEDISPLAYTYPE_GENERIC, RESOURCEUSAGE_CONNECTABLE, "Leaf"}}}};
  fake_.containers["Provider"] = {
      {0, {{RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONTAINER, "WORKGROUP"},
           {RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONTAINER, ""}}},  // no name: skipped
      {0, {{RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONTAINER, "OFFICE"}}},
      // A provider that says "more data" ends that branch.
      {ERROR_MORE_DATA, {{RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONTAINER, "LOST"}}}};
  fake_.containers["WORKGROUP"] = {{0, {{RESOURCEDISPLAYTYPE_DOMAIN, 0, "INNER"}}}};
  NetShareDiscovery d;
  EXPECT_EQ(d.EnumerateNetwork(nullptr), 2u);
  EXPECT_EQ(d.GetHosts(), (Strings{"WORKGROUP", "OFFICE"}));
  EXPECT_EQ(fake_.opened, (Strings{"", "Provider"}));

  // The servers of a domain, asked for with a container of any type.
  fake_.containers["OFFICE"] = {
      {ERROR_MORE_DATA, {{RESOURCEDISPLAYTYPE_SERVER, RESOURCEUSAGE_CONTAINER, "\\\\PC1"},
                         {RESOURCEDISPLAYTYPE_SHARE, RESOURCEUSAGE_CONNECTABLE, "\\\\PC1\\Data"}}},
      {0, {{RESOURCEDISPLAYTYPE_SERVER, RESOURCEUSAGE_CONTAINER, "\\\\PC2"},
           {RESOURCEDISPLAYTYPE_SERVER, RESOURCEUSAGE_CONTAINER, ""}}}};
  // "More data" that brings nothing ends the listing, which could repeat forever.
  fake_.containers["EMPTY"] = {
      {ERROR_MORE_DATA, {}}, {0, {{RESOURCEDISPLAYTYPE_SERVER, RESOURCEUSAGE_CONTAINER, "\\\\LATE"}}}};
  EXPECT_EQ(d.EnumerateServerShares("EMPTY"), 0u);
  EXPECT_EQ(d.EnumerateServerShares("Missing"), 0u);  // cannot be opened
  EXPECT_EQ(d.EnumerateServerShares("OFFICE"), 2u);
  ASSERT_EQ(d.shares.size(), 2u);
  EXPECT_EQ(d.shares[0].remoteName + d.shares[1].remoteName, "\\\\PC1\\\\PC2");
  EXPECT_EQ(d.shares[1].domain, "OFFICE");
  EXPECT_EQ(fake_.domainType, static_cast<DWORD>(RESOURCETYPE_ANY));
}

// A provider that reports more entries than its buffer can hold: only the
// records in the buffer are read.
TEST_F(Discovery, EnumerationClaimingMoreThanItsBufferHoldsIsCut) {
  const struct { DWORD displayType; size_t fit; } kinds[] = {
      {RESOURCEDISPLAYTYPE_DOMAIN, 3200 / sizeof(NETRESOURCEA)},
      {RESOURCEDISPLAYTYPE_SERVER, 16384 / sizeof(NETRESOURCEA)}};
  fake_.claim = 0x7FFFFFFF;
  std::vector<Resource> full[2];
  for (int k = 0; k < 2; ++k)
    for (size_t i = 0; i < kinds[k].fit; ++i)
      full[k].push_back({kinds[k].displayType, RESOURCEUSAGE_CONTAINER, "\\\\N" + std::to_string(i)});
  fake_.containers[""] = {{0, full[0]}};
  fake_.containers["OFFICE"] = {{0, full[1]}};
  NetShareDiscovery d;
  EXPECT_EQ(d.EnumerateNetwork(nullptr), kinds[0].fit);
  EXPECT_EQ(d.EnumerateServerShares("OFFICE"), kinds[1].fit);
  EXPECT_EQ(fake_.opened, (Strings{"", "OFFICE"}));
}

TEST_F(Discovery, HostSharesSkipDollarNamesAndReportPlainDiskSharesOnly) {
  shares_.servers[L"\\\\PC1"] = {
      {{L"ADMIN$", nullptr, STYPE_DISKTREE | STYPE_SPECIAL}, {L"IPC$", nullptr, STYPE_IPC},
       {L"Data", nullptr, STYPE_DISKTREE}},
      {{L"Printer", nullptr, STYPE_PRINTQ}, {L"Temp", nullptr, STYPE_DISKTREE | STYPE_TEMPORARY},
       {L"Gone", nullptr, testing_support::kNoShareInfo}, {L"Uffici", nullptr, STYPE_DISKTREE}}};
  NetShareDiscovery d;
  d.onShareFound = &Record;
  d.shares.push_back(ServerEntry{"\\\\PC1", {}, "OFFICE"});
  EXPECT_EQ(d.EnumerateAllHostShares(), 5u);
  EXPECT_EQ(d.shares[0].shareNames, (Strings{"\\\\PC1\\Data", "\\\\PC1\\Printer", "\\\\PC1\\Temp",
                                             "\\\\PC1\\Gone", "\\\\PC1\\Uffici"}));
  EXPECT_EQ(g_reported, (Strings{"OFFICE|\\\\PC1\\Data", "OFFICE|\\\\PC1\\Uffici"}));
  // A server that cannot be listed, or answers a bogus count, gives no shares.
  for (NET_API_STATUS failure : {NET_API_STATUS(ERROR_BAD_NETPATH), NET_API_STATUS(0)}) {
    shares_.enumFailure = failure;
    shares_.bogusCount = failure ? 0 : 10000;
    EXPECT_EQ(d.ListHostShares(L"\\\\PC1", L"OFFICE").size(), 0u) << failure;
  }
}

TEST_F(Discovery, ServersGivenByAddressAreNamedByReverseLookup) {
  g_names["192.168.1.20"] = "PC1.Office.Local";
  g_names["192.168.1.22"] = "PC3";
  const struct { const wchar_t* server; std::wstring asked; std::string reported; } rows[] = {
      {L"\\\\192.168.1.20", L"\\\\pc1", "office.local|\\\\pc1\\Data"},
      {L"\\\\192.168.1.21", L"\\\\192.168.1.21", "WORKGROUP|\\\\192.168.1.21\\Data"},
      {L"\\\\192.168.1.22", L"\\\\pc3", "|\\\\pc3\\Data"},
      {L"\\\\1PC", L"\\\\1PC", "WORKGROUP|\\\\1PC\\Data"},  // a digit, not an address
  };
  for (const auto& r : rows) {
    g_reported.clear();
    shares_.serversAsked.clear();
    shares_.servers[r.asked] = {{{L"Data", nullptr, STYPE_DISKTREE}}};
    NetShareDiscovery d;
    d.onShareFound = &Record;
    d.ListHostShares(r.server, L"WORKGROUP");
    EXPECT_EQ(shares_.serversAsked, std::vector<std::wstring>{r.asked});
    EXPECT_EQ(g_reported, Strings{r.reported});
  }
}

// A share whose content cannot be listed sends only itself, with the year of
// the run's settings when there are some.
TEST_F(Discovery, ReportsWaitForTheSheetWindowBoundedly) {
  TempDir dir;
  SheetWindow sheet;
  CSetting setting;
  setting.platformName = "ZAN2031";
  GetServiceSettings().setting = &setting;
  std::thread late([&] { Sleep(300); sheet.Publish(); });  // the report waits for it
  EXPECT_EQ(sheet.Pump([&] { OnShareFound("OFFICE", dir / "Data"); }), Strings{dir / "Data"});
  late.join();
  GetServiceSettings().setting = nullptr;
  EXPECT_EQ(g_received.at(0).second, 2031);
  // With no window at all the report is dropped, logged.
  SetSheetWaitForTesting(200);
  GetServiceSettings().sheetWindow = nullptr;
  const DWORD start = GetTickCount();
  EXPECT_EQ(sheet.Pump([&] { OnShareFound("OFFICE", dir / "Late"); }).size(), 0u);
  EXPECT_LT(GetTickCount() - start, 5000u);
  EXPECT_TRUE(log_.Has("[* WARN] No wizard window for share " + dir / "Late")) << log_.Text();
}

TEST_F(Discovery, ThreadWalksTheNetworkAndClearsTheFlag) {
  // The "server": a local folder in long-path form, so its share has real content.
  TempDir dir;
  std::string server = "\\\\?\\" + dir.path();
  server.pop_back();
  const std::string share = server + "\\Data";
  // Its content: A plain, H hidden, S system, .git, a file f. (The emulated
  // platform does not keep the read-only mark on folders.)
  ASSERT_TRUE(testing_support::WriteBytes(dir / "Data\\f", "x"));
  for (const char* name : {"A", "H", "S", ".git"})
    ASSERT_TRUE(CreateDirectoryA((dir / "Data\\" + name).c_str(), nullptr));
  ASSERT_TRUE(SetFileAttributesA((dir / "Data\\H").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesA((dir / "Data\\S").c_str(), FILE_ATTRIBUTE_SYSTEM));
  fake_.containers[""] = {{0, {{RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONTAINER, "OFFICE"}}}};
  fake_.containers["OFFICE"] = {{0, {{RESOURCEDISPLAYTYPE_SERVER, RESOURCEUSAGE_CONTAINER, server}}}};
  shares_.servers[AnsiToWide(server)] = {{{L"IPC$", nullptr, STYPE_IPC},
                                          {L"Data", nullptr, STYPE_DISKTREE}}};
  SheetWindow sheet;
  sheet.Publish();
  GetServiceSettings().discoveryRunning = true;
  EXPECT_EQ(sheet.Pump([] { NetworkShareDiscoveryThread(nullptr); }),
            (Strings{share, share + "\\A\\"}));  // its plain folders only
  for (const auto& r : g_received) EXPECT_EQ(r.second, StringToInt(g_year));
  EXPECT_FALSE(GetServiceSettings().discoveryRunning);

  // A failure inside the walk ends the search, not the setup.
  fake_.throwing = true;
  GetServiceSettings().discoveryRunning = true;
  EXPECT_EQ(sheet.Pump([] { NetworkShareDiscoveryThread(nullptr); }).size(), 0u);
  EXPECT_FALSE(GetServiceSettings().discoveryRunning);
  EXPECT_TRUE(log_.Has("[**  ERR] Network share discovery failed -> std::bad_alloc")) << log_.Text();
}

}  // namespace
