// The advisory lock left in an office's shared folder while an installation
// runs, so that a second installation on the same office can warn the user.
#pragma once

#include <windows.h>

#include <string>

// folder + ("\" unless it ends with one) + "ZAN_Shared\LockFile".
std::string GetLockFilePath(std::string folder);
// Appends one record "timestamp;computer\user;info" (no line end), creating
// the file; a file that cannot be opened is silently left alone.
void WriteLockFile(const std::string& folder, const std::string& info);
// The first white-space-delimited word of the lock file, at most `limit`
// bytes of it (the rest is not read; nor more than `limit` bytes of white
// space before it); empty when it cannot be opened.
std::string ReadLockFile(const std::string& folder, size_t limit = std::string::npos);
// 0 no lock; 1 a lock was found and the user goes on; -1 the user stops (the
// page decides where that leads). `owner` owns the question.
int CheckLockFile(HWND owner, const std::string& folder);
// Deletes the lock file; a missing one is no error.
void DeleteLockFile(const std::string& folder);

// Test seam: the message box CheckLockFile asks with (null restores it).
typedef int(WINAPI* LockMessageBoxFunction)(HWND, LPCSTR, LPCSTR, UINT);
void SetLockMessageBoxForTesting(LockMessageBoxFunction function);
