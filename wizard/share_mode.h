// The elevated share mode: the setup started again by itself, with
// administrator rights, only to share an office folder. The command line's
// share part is found and checked here; only an office folder the final page
// could have passed is ever shared, and the answer is the exit code.
#pragma once

#include <windows.h>

#include <string>

// The share part of a command line: the first piece after a "/" that, trimmed
// of blanks, is longer than five characters and begins with "SHARE="
// (case-sensitive). False when there is none.
bool FindSharePart(const std::string& cmdLine, std::string* part);

// What the share part asks for, once checked.
struct ShareRequest {
  std::string officeCode;  // text before the first ";"
  std::string folder;      // everything after it
};

// Checks the share part ("SHARE=" + office code + ";" + folder). 0 when the
// folder may be shared; otherwise the exit code (87 for a malformed or refused
// request, 3 for a folder that does not exist) with the "[* WARN] " line that
// names the reason in *warning. Logs nothing itself. The request is filled as
// far as it could be read.
DWORD CheckShareRequest(const std::string& part, ShareRequest* request, std::string* warning);

// The whole share mode for a share part: logs, checks, shares. The exit code:
// 0 when the share was made, the share call's result when it failed, 3 or 87
// from the checks.
DWORD RunShareMode(const std::string& part);

// Test seam: the drive-type query of the checks (null restores GetDriveTypeA).
using DriveTypeFunction = UINT(WINAPI*)(LPCSTR root);
void SetDriveTypeFunctionForTesting(DriveTypeFunction function);
