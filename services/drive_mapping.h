// Gives a network share a drive letter: reuses a letter already connected to
// it, otherwise connects the free letter nearest to Z and remembers the
// connection in the user profile.
#pragma once

#include <windows.h>

#include <string>

// The MPR and KERNEL32 calls the mapping makes; replaceable in tests, since the
// emulated platform has no network provider.
struct DriveMappingCalls {
  DWORD(WINAPI* getConnection)(LPCSTR localName, LPSTR remoteName, LPDWORD length);
  UINT(WINAPI* getDriveType)(LPCSTR root);
  DWORD(WINAPI* useConnection)(HWND owner, LPNETRESOURCEA resource, LPCSTR password,
                               LPCSTR userName, DWORD flags, LPSTR accessName,
                               LPDWORD accessLength, LPDWORD result);
};
// Replaces the calls (nullptr restores the real ones).
void SetDriveMappingCallsForTesting(const DriveMappingCalls* calls);

// Maps the UNC share (\\server\share, trailing "\" optional; compared
// upper-cased). On success `drive` receives "K:" when an existing connection
// is reused, or "Z:\" when a new one was made; on failure it is left alone and
// the result is false. Logs every outcome.
bool MapNetworkDrive(std::string share, std::string* drive);
