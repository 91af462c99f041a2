// Unpacks a .7z archive into a folder with the LZMA SDK's C decoder: every
// entry in archive order, each output folder created and opened to all users
// once, files written with their stored modification time.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Called before each entry with its index (from 0) and the number of entries.
typedef void (*ProgressCallback)(uint32_t index, uint32_t count);

// Unpacks archivePath into destDir (a missing final "\" is added). currentPath, when
// given, receives each entry's output path before the entry is written.
// Result: 0 done (also for an empty archive); 6 archive unreadable, entry
// undecodable, without a name or with a name that would leave destDir, or a
// solid block too large for memory (logged with its size);
// otherwise the Windows error of the failed file step (opening the archive
// included). What was written before a failure stays on disk.
DWORD Extract7z(const std::string& archivePath, const std::string& destDir,
                std::string* currentPath, ProgressCallback progress);

// True when an entry name, as narrowed to bytes, names a place inside the
// destination: relative, no "." or ".." component, no ":" (drive or stream),
// no control character, no device name, not empty.
bool IsSafeArchiveEntryName(const std::string& name);

// Test seam: the function that writes an output file (WriteFile by default;
// null restores it).
typedef BOOL(WINAPI* ExtractWriteFileFunction)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
void SetExtractWriteFileForTesting(ExtractWriteFileFunction function);

// Test seam: the decoder's allocation function (malloc by default; null
// restores it). What it returns is released with free.
typedef void* (*ExtractAllocFunction)(size_t size);
void SetExtractAllocForTesting(ExtractAllocFunction function);
