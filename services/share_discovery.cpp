// The socket headers must come before <windows.h>.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "share_discovery.h"

#include <lm.h>

#include <cctype>
#include <cstdio>
#include <exception>
#include <string>

#include "constants.h"
#include "log.h"
#include "network_share.h"
#include "service_settings.h"
#include "settings.h"
#include "text_utils.h"

namespace {

const DiscoveryCalls kRealCalls = {&WNetOpenEnumA, &WNetEnumResourceA, &WNetCloseEnum,
                                   &getnameinfo};
const DiscoveryCalls* g_calls = &kRealCalls;
DWORD g_sheetWaitMs = 120000;

constexpr DWORD kNetworkBufferSize = 3200;   // room for 100 records
constexpr DWORD kServerBufferSize = 16384;
constexpr DWORD kMostSharesBelievable = 9999;

// No more records than the buffer can hold, whatever count comes back.
DWORD RecordsIn(DWORD count, DWORD bufferSize) {
  DWORD room = bufferSize / sizeof(NETRESOURCEA);
  return count < room ? count : room;
}

std::string SystemMessage(DWORD code) {
  char text[1000] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, sizeof(text), nullptr);
  std::string message(text, n < sizeof(text) ? n : 0);
  while (!message.empty() && isspace(static_cast<unsigned char>(message.back()))) message.pop_back();
  if (message.empty()) message = "Error " + std::to_string(code);
  return message;
}

// The platform year carried in lParam: the number after "ZAN" in the platform name.
int PlatformYear() {
  const CSetting* setting = GetServiceSettings().setting.load();
  const std::string& name = setting ? setting->platformName : g_platformName;
  return name.size() > 3 ? StringToInt(name.substr(3, 4)) : 0;
}

// The discovery starts before the wizard's window: wait for it, boundedly.
HWND WaitForSheetWindow() {
  const DWORD start = GetTickCount();
  for (;;) {
    HWND sheet = GetServiceSettings().sheetWindow.load();
    if (sheet || GetTickCount() - start >= g_sheetWaitMs) return sheet;
    Sleep(50);
  }
}

void IgnoreServer(const std::string&) {}
void IgnoreResource(const std::string&, const std::string&) {}

}  // namespace

void SetDiscoveryCallsForTesting(const DiscoveryCalls* calls) {
  g_calls = calls ? calls : &kRealCalls;
}

void SetSheetWaitForTesting(DWORD milliseconds) { g_sheetWaitMs = milliseconds; }

std::string WideToString(const wchar_t* text) {
  std::string narrow;
  if (text)
    for (; *text; ++text) narrow += static_cast<char>(*text & 0xFF);
  return narrow;
}

NetShareDiscovery::NetShareDiscovery()
    : onServerFound(nullptr), onResourceFound(nullptr), onShareFound(nullptr) {}

std::vector<std::string> NetShareDiscovery::GetHosts() const { return hosts; }

unsigned NetShareDiscovery::EnumerateNetwork(LPNETRESOURCEA container) {
  const DiscoveryCalls& calls = *g_calls;
  HANDLE handle = nullptr;
  if (calls.openEnum(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, RESOURCEUSAGE_CONTAINER, container,
                     &handle) != NO_ERROR ||
      !handle)
    return 0;
  unsigned count = 0;
  for (;;) {
    alignas(8) BYTE buffer[kNetworkBufferSize] = {};
    DWORD entries = 0xFFFFFFFF;
    DWORD size = sizeof(buffer);
    if (calls.enumResource(handle, &entries, buffer, &size) != NO_ERROR) break;
    NETRESOURCEA* records = reinterpret_cast<NETRESOURCEA*>(buffer);
    for (DWORD i = 0; i < RecordsIn(entries, sizeof(buffer)); ++i) {
      if (records[i].dwDisplayType == RESOURCEDISPLAYTYPE_DOMAIN) {
        if (!records[i].lpRemoteName) continue;
        hosts.push_back(records[i].lpRemoteName);
        if (onServerFound) onServerFound(hosts.back());
        ++count;
      } else if (records[i].dwUsage & RESOURCEUSAGE_CONTAINER) {
        count += EnumerateNetwork(&records[i]);
      }
    }
  }
  calls.closeEnum(handle);
  return count;
}

unsigned NetShareDiscovery::EnumerateServerShares(const char* domain) {
  const DiscoveryCalls& calls = *g_calls;
  NETRESOURCEA container = {};
  container.dwScope = RESOURCE_GLOBALNET;
  container.dwType = RESOURCETYPE_ANY;
  container.dwDisplayType = RESOURCEDISPLAYTYPE_DOMAIN;
  container.dwUsage = RESOURCEUSAGE_CONTAINER;
  container.lpRemoteName = const_cast<LPSTR>(domain);
  HANDLE handle = nullptr;
  if (calls.openEnum(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, RESOURCEUSAGE_CONTAINER, &container,
                     &handle) != NO_ERROR ||
      !handle)
    return 0;
  unsigned count = 0;
  for (;;) {
    alignas(8) BYTE buffer[kServerBufferSize] = {};
    DWORD entries = 0xFFFFFFFF;
    DWORD size = sizeof(buffer);
    DWORD r = calls.enumResource(handle, &entries, buffer, &size);
    if (r != NO_ERROR && r != ERROR_MORE_DATA) break;
    // "More data" that brings no record would repeat forever.
    if (entries == 0xFFFFFFFF) entries = 0;
    entries = RecordsIn(entries, sizeof(buffer));
    if (r == ERROR_MORE_DATA && entries == 0) break;
    const NETRESOURCEA* records = reinterpret_cast<const NETRESOURCEA*>(buffer);
    for (DWORD i = 0; i < entries; ++i) {
      if (records[i].dwDisplayType != RESOURCEDISPLAYTYPE_SERVER || !records[i].lpRemoteName)
        continue;
      shares.push_back(ServerEntry{records[i].lpRemoteName, {}, domain ? domain : ""});
      if (onResourceFound) onResourceFound(shares.back().domain, shares.back().remoteName);
      ++count;
    }
  }
  calls.closeEnum(handle);
  return count;
}

unsigned NetShareDiscovery::EnumerateAllHostShares() {
  unsigned total = 0;
  for (ServerEntry& entry : shares) {
    entry.shareNames =
        ListHostShares(AnsiToWide(entry.remoteName).c_str(), AnsiToWide(entry.domain).c_str());
    total += entry.shareNames.size();
  }
  return total;
}

std::vector<std::string> NetShareDiscovery::ListHostShares(const wchar_t* server,
                                                           const wchar_t* domain) {
  const NetShareCalls& net = GetNetShareCalls();
  std::string serverName = WideToAnsi(server);
  std::string domainName = WideToAnsi(domain);

  if (serverName.size() > 2 && serverName[2] >= '0' && serverName[2] <= '9') {
    const unsigned long address = inet_addr(serverName.c_str() + 2);
    if (address != INADDR_NONE) {
      sockaddr_in socketAddress = {};
      socketAddress.sin_family = AF_INET;
      socketAddress.sin_addr.s_addr = address;
      socketAddress.sin_port = 0;
      char host[NI_MAXHOST] = {};
      // Without NI_NAMEREQD a failed lookup hands back the address itself,
      // which would be cut at its first dot.
      if (g_calls->getNameInfo(reinterpret_cast<const sockaddr*>(&socketAddress),
                               sizeof(socketAddress), host, sizeof(host), nullptr, 0,
                               NI_NAMEREQD) == 0 &&
          host[0]) {
        host[sizeof(host) - 1] = '\0';
        std::string name = ToLower(host);
        size_t dot = name.find('.');
        domainName = dot == std::string::npos ? "" : name.substr(dot + 1);
        serverName = "\\\\" + name.substr(0, dot);
      }
    }
  }

  std::wstring wideServer = AnsiToWide(serverName);
  std::vector<std::string> list;
  DWORD resume = 0;
  for (;;) {
    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0;
    NET_API_STATUS r = net.enumerate(&wideServer[0], 0, &buffer, MAX_PREFERRED_LENGTH, &read,
                                     &total, &resume);
    NetBuffer holder(buffer);
    if (r != NERR_Success && r != ERROR_MORE_DATA) {
      printf("Message?: %s\n", SystemMessage(r).c_str());
      return list;
    }
    if (read > kMostSharesBelievable) {
      printf("Message...: NetShareEnum returned %lu shares (bogus)\n",
             static_cast<unsigned long>(read));
      return list;
    }
    if (!buffer) read = 0;
    const SHARE_INFO_0* entries = reinterpret_cast<const SHARE_INFO_0*>(buffer);
    for (DWORD i = 0; i < read; ++i) {
      const std::string name = WideToString(entries[i].shi0_netname);
      if (name.empty() || name.find('$') != std::string::npos) continue;
      const std::string path = serverName + "\\" + name;
      printf("\nCondivisione rilevata: %s ", path.c_str());
      list.push_back(path);
      LPBYTE info = nullptr;
      NET_API_STATUS got = net.getInfo(&wideServer[0], entries[i].shi0_netname, 1, &info);
      NetBuffer infoHolder(info);
      if (got == NERR_Success && info &&
          reinterpret_cast<const SHARE_INFO_1*>(info)->shi1_type == STYPE_DISKTREE &&
          onShareFound)
        onShareFound(domainName, path);
    }
    // "More data" that brings nothing would repeat forever.
    if (r != ERROR_MORE_DATA || read == 0) return list;
  }
}

void OnShareFound(const std::string& domain, const std::string& sharePath) {
  const int year = PlatformYear();
  Log("[  INFO] Share found on " + domain + sharePath);
  HWND sheet = WaitForSheetWindow();
  if (!sheet) {
    Log("[* WARN] No wizard window for share " + sharePath);
  } else {
    SendMessageA(sheet, WM_SHARE_FOUND, reinterpret_cast<WPARAM>(sharePath.c_str()), year);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((sharePath + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        // Plain folders only: read-only, hidden, system, archived ... are not offices.
        if (found.dwFileAttributes != FILE_ATTRIBUTE_DIRECTORY || found.cFileName[0] == '.')
          continue;
        const std::string folder = sharePath + "\\" + found.cFileName + "\\";
        SendMessageA(sheet, WM_SHARE_FOUND, reinterpret_cast<WPARAM>(folder.c_str()), year);
      } while (FindNextFileA(search, &found));
      FindClose(search);
    }
  }
  Log("[  INFO] Share check end for " + domain + sharePath);
}

unsigned __stdcall NetworkShareDiscoveryThread(void*) {
  Log("[  INFO] Network share discovery starts");
  Sleep(250);
  // The reverse lookups of servers given by address need the socket layer.
  WSADATA wsa;
  const int started = WSAStartup(MAKEWORD(2, 2), &wsa);
  if (started != 0) Log("[* WARN] WSAStartup error " + std::to_string(started));
  // A failure of the walk (memory, an odd answer) ends the search, never the
  // setup: the wizard goes on with what was found.
  try {
    NetShareDiscovery discovery;
    discovery.onServerFound = &IgnoreServer;
    discovery.onResourceFound = &IgnoreResource;
    discovery.onShareFound = &OnShareFound;
    discovery.EnumerateNetwork(nullptr);
    for (const std::string& host : discovery.GetHosts())
      discovery.EnumerateServerShares(host.c_str());
    discovery.EnumerateAllHostShares();
  } catch (const std::exception& e) {
    Log(std::string("[**  ERR] Network share discovery failed -> ") + e.what());
  } catch (...) {
    Log("[**  ERR] Network share discovery failed");
  }
  if (started == 0) WSACleanup();
  GetServiceSettings().discoveryRunning = false;
  Log("[  INFO] Network share discovery ends");
  return 0;
}
