// Network share discovery: a worker thread walks the Windows network's domains,
// servers and disk shares and reports every share, and every first-level
// folder in it, to the wizard's sheet window with WM_SHARE_FOUND.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// wParam: the zero-terminated path (\\SERVER\share, or \\SERVER\share\folder\),
// valid only while the message is handled; lParam: the platform year (2025).
#define WM_SHARE_FOUND (WM_USER + 5000)

struct sockaddr;

// The MPR and WS2_32 calls of the walk; replaceable in tests, since the
// emulated platform has no network provider. The share calls come from
// GetNetShareCalls() (network_share.h).
struct DiscoveryCalls {
  DWORD(WINAPI* openEnum)(DWORD scope, DWORD type, DWORD usage, LPNETRESOURCEA container,
                          LPHANDLE handle);
  DWORD(WINAPI* enumResource)(HANDLE handle, LPDWORD count, LPVOID buffer, LPDWORD size);
  DWORD(WINAPI* closeEnum)(HANDLE handle);
  int(WINAPI* getNameInfo)(const struct sockaddr* address, int addressLength, char* host,
                           DWORD hostLength, char* service, DWORD serviceLength, int flags);
};
// Replaces the calls (nullptr restores the real ones).
void SetDiscoveryCallsForTesting(const DiscoveryCalls* calls);
// How long a report waits for the sheet window to exist (default two minutes).
void SetSheetWaitForTesting(DWORD milliseconds);

// One server met by the walk.
struct ServerEntry {
  std::string remoteName;               // \\SERVER, as the network provider gives it
  std::vector<std::string> shareNames;  // \\SERVER\share paths, by EnumerateAllHostShares
  std::string domain;                   // domain or workgroup it was found in
};

class NetShareDiscovery {
 public:
  // Empty lists, no callbacks (a null callback is skipped).
  NetShareDiscovery();

  // Collects the domains and workgroups below `container` (null: the network
  // root) into `hosts`; the number added.
  unsigned EnumerateNetwork(LPNETRESOURCEA container);
  std::vector<std::string> GetHosts() const;
  // Appends the servers of one domain to `shares`; the number added.
  unsigned EnumerateServerShares(const char* domain);
  // Lists the shares of every server in `shares`; the total listed.
  unsigned EnumerateAllHostShares();
  // The share paths of one server ("$" shares left out), reporting its plain
  // disk shares through onShareFound. A server given as an IPv4 address is
  // named by its reverse lookup when there is one.
  std::vector<std::string> ListHostShares(const wchar_t* server, const wchar_t* domain);

  std::vector<ServerEntry> shares;
  std::vector<std::string> hosts;
  void (*onServerFound)(const std::string& name);
  void (*onResourceFound)(const std::string& domain, const std::string& server);
  void (*onShareFound)(const std::string& domain, const std::string& sharePath);
};

// The low byte of each UTF-16 unit (right for the Latin-1 range).
std::string WideToString(const wchar_t* text);

// The thread procedure (_beginthreadex): walks the network once, reporting to
// the sheet window, then clears the discovery-running flag. Always 0.
unsigned __stdcall NetworkShareDiscoveryThread(void* parameter);

// The setup's share-found callback: reports the share and its plain
// first-level folders (not read-only, hidden, ... nor dot names) to the sheet
// window, waiting a bounded time for that window to exist.
void OnShareFound(const std::string& domain, const std::string& sharePath);
