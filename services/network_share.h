// The office folder's network share ("ZAN " + office code, full access for
// everyone, no offline caching) and the checks whether a folder, or the folder
// above it, is already shared on this computer.
#pragma once

#include <windows.h>
#include <lm.h>

#include <string>

// The share calls these services make, and the SID call the share's access
// list needs; replaceable in tests, since the emulated platform lacks most of
// the share calls.
struct NetShareCalls {
  NET_API_STATUS(WINAPI* add)(LMSTR server, DWORD level, LPBYTE buffer, LPDWORD parmError);
  NET_API_STATUS(WINAPI* setInfo)(LMSTR server, LMSTR name, DWORD level, LPBYTE buffer,
                                  LPDWORD parmError);
  NET_API_STATUS(WINAPI* enumerate)(LMSTR server, DWORD level, LPBYTE* buffer, DWORD maxLength,
                                    LPDWORD entriesRead, LPDWORD totalEntries, LPDWORD resume);
  NET_API_STATUS(WINAPI* getInfo)(LMSTR server, LMSTR name, DWORD level, LPBYTE* buffer);
  NET_API_STATUS(WINAPI* bufferFree)(LPVOID buffer);
  BOOL(WINAPI* allocateSid)(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0, DWORD s1,
                            DWORD s2, DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7,
                            PSID* sid);
};
// The calls in use: the real ones unless a test replaced them.
const NetShareCalls& GetNetShareCalls();
// Replaces the calls (nullptr restores the real ones).
void SetNetShareCallsForTesting(const NetShareCalls* calls);

// Releases, through the calls in use, a buffer the share calls returned.
class NetBuffer {
 public:
  explicit NetBuffer(LPBYTE buffer) : buffer_(buffer) {}
  ~NetBuffer() {
    if (buffer_) GetNetShareCalls().bufferFree(buffer_);
  }
  NetBuffer(const NetBuffer&) = delete;
  NetBuffer& operator=(const NetBuffer&) = delete;

 private:
  LPBYTE buffer_;
};

// Shares `folder` (a trailing "\" is dropped) on this computer as
// "ZAN " + officeCode with full control for Everyone, then switches offline
// caching off. `error` (may be null) receives the NetShareAdd status (0, 2118
// for an existing share of that name, 5 for missing rights, ...) or, when the
// access list cannot be built, the Windows error of that step (no share is
// made then). True only when the caching setting was applied; a failed add
// (other than 2118) skips that step.
bool CreateNetShare(const std::string& officeCode, const std::string& remark,
                    const std::string& folder, int* error);

// True when a share named exactly "ZAN " + officeCode exists on this computer.
bool NetShareExists(const std::string& officeCode);

// True when a share of this computer has exactly `folder` as its path (byte
// comparison, both ending with "\"); `shareName` (may be null) then receives
// its name. A failed enumeration counts as "not found".
bool FindShareForPath(const std::string& folder, std::string* shareName);

// True when the folder is shared under any name, or its parent folder under a
// name without "$". Logs each outcome.
bool DetectDestinationShare(const std::string& folder);

// The folder above `folder` (one trailing "\" ignored): C:\ZAN\PM01234\ gives
// C:\ZAN, C:\ZAN gives C:\.
std::string ParentFolder(const std::string& folder);
