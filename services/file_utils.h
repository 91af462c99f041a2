// File and folder utilities shared by the pages, the install phases and the
// detection of installations: fixed folders of the desktop components, folder
// creation, the write probe, copy and delete of folder contents, attribute
// reset, product versions and the computer-and-user identity.
// Stateless and thread-safe; nothing here throws.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// System drive root + "ZAN\DesktopApp\" (e.g. "C:\ZAN\DesktopApp\").
std::string GetDesktopAppPath();
// GetDesktopAppPath() + "BIN\".
std::string GetDesktopAppBinPath();
// System drive root + "ZAN\Vex\BIN\".
std::string GetVexBinPath();

// The folder with "\" appended when it does not end with one (an empty
// folder becomes "\"): folders joined with a name carry their own.
std::string WithBackslash(std::string folder);

// Creates the folder and its missing parents ("\" and "/" both separate).
// True when the folder exists afterwards (a junction counts), false for an
// existing file. A path ending in a separator that did not exist yet has its
// folders created but returns false. A path of MAX_PATH characters or more is
// refused at once (false, nothing created).
bool CreateDirectoryTree(const std::string& path);
// True when the path exists and is a folder.
bool IsDirectory(const std::string& path);
// True when the path exists, file or folder.
bool FileExists(const std::string& path);
// True for the errors that say an item is surely not there: file or path not
// found (a refused or failed read says nothing of whether it exists).
bool IsNotFoundError(DWORD error);
// True for "X:" and "X:\" (any first character); false for an empty path,
// deeper paths and UNC paths.
bool IsDriveRoot(std::string path);
// Creates and deletes "test_privileges.txt" in the folder (a leftover probe
// is deleted first). True when the probe could be created.
bool CanWriteToFolder(const std::string& folder);

// Whether an entry of a folder listing, at `path`, is a link: a reparse point
// whose tag (the listing's dwReserved0) stands for another name, a symbolic
// link, a junction or a mount point. Other reparse points (a deduplicated
// file, a cloud placeholder) are ordinary files and folders. A tag of 0,
// which no file system gives a reparse point but Wine leaves unset, counts
// as a link.
bool IsLinkEntry(const std::string& path, const WIN32_FIND_DATAA& entry);
// FindFirstFileA / FindNextFileA with the entry's reparse tag cleared first:
// Wine does not set it, and a tag left from the entry before must not count.
HANDLE FindFirstEntry(const std::string& pattern, WIN32_FIND_DATAA* entry);
bool FindNextEntry(HANDLE find, WIN32_FIND_DATAA* entry);
// Test seam: the reparse tag taken for a listed entry, given its path and the
// tag the listing gave (null restores the listing's own). Wine makes no
// reparse point but its links.
using ReparseTagFunction = DWORD (*)(const std::string& path, DWORD listedTag);
void SetReparseTagForTesting(ReparseTagFunction function);
// Test seam: the listing call of FindFirstEntry (FindFirstFileA by default;
// null restores it). Wine lists whatever exists.
using ListingFunction = HANDLE(WINAPI*)(LPCSTR pattern, LPWIN32_FIND_DATAA entry);
void SetListingForTesting(ListingFunction function);
// Test seam: the attributes call of IsLink and of the copy's look at the
// target (GetFileAttributesA by default; null restores it). Wine enforces no
// access list, so it never refuses to read them.
using AttributesFunction = DWORD(WINAPI*)(LPCSTR path);
void SetAttributesForTesting(AttributesFunction function);
// True when the path itself (a trailing separator ignored) is a link, as its
// own listing entry tells; when it cannot be listed, when its attributes show
// a reparse point; when those cannot be read either, unless the item is not
// there (file or path not found). What it leads to is not ours to change:
// nothing here writes or deletes through one.
bool IsLink(const std::string& path);

// Copies the content of the source folder (not the folder itself) into the
// target folder, silently, overwriting; the target is made when missing. A
// missing "\" after the source is added. Links are not followed: one in the
// source is not copied, one in the target is not written into, a target that
// is a link gets nothing (each a "[* WARN] " line). An empty source, or a
// source or target too long for a 260-character buffer, is refused with a
// "[* WARN] " log line. Reports nothing otherwise; the caller's next step
// notices a failed copy.
void CopyFolderContents(const std::string& source, const std::string& target);
// Deletes the content of the folder (not the folder itself), silently and
// without undo. A missing "\" is added. A link inside is removed itself (or,
// where the platform cannot, left with a "[* WARN] " line), never entered. An
// empty, relative or drive-root folder, one too long for a 260-character
// buffer, or a folder that is itself a link, is refused with a "[* WARN] "
// log line and nothing is touched.
void DeleteFolderContents(const std::string& folder);
// Clears the read-only and hidden attributes of every entry below the folder,
// recursively, skipping names that begin with "." and links (neither entered
// nor changed); each folder level that changed entries logs "[  INFO] Set
// attributes on N files/folder in <folder>". A folder that is itself a link
// is refused with a "[* WARN] " line.
void SetAttributesRecursive(std::string folder);

// The running executable's full path, however long (`initialSize` is the
// first buffer tried; it grows until the path fits). Empty on failure.
std::string OwnExecutablePath(size_t initialSize = MAX_PATH);
// The four parts of the product version of a file's fixed version record
// (major, minor, build, revision, as unsigned decimal texts). An empty path
// means the setup's own executable. On false `out` is left unchanged.
bool GetFileVersion(const std::string& path, std::vector<std::string>* out);

// Computer name + "\" + user name; a part that cannot be read is empty.
std::string GetComputerUserName();

// Writes the whole of `bytes` to `path` (created or truncated, binary), in
// pieces of at most 16 MB. `share` is what others may do with the file
// meanwhile (FILE_SHARE_* flags), each caller's own. Empty on success, else
// what failed: "open failed (N)", "write failed (N)", "short write (n of m
// bytes)" or "close failed (N)", N the Windows error.
std::string WriteWholeFile(const std::string& path, const std::string& bytes, DWORD share);
// Test seam: the WriteFile call of every whole-file write (null restores it).
using WriteFunction = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
void SetWholeFileWriteForTesting(WriteFunction write);
// The whole content of a file into `bytes`. Empty on success, else what
// failed: "open failed (N)" or "read failed (N)", N the Windows error of that
// call (then `bytes` holds what was read).
std::string ReadWholeFile(const std::string& path, std::string* bytes);
// Test seam: the ReadFile call of every whole-file read (null restores it).
using ReadFunction = BOOL(WINAPI*)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
void SetWholeFileReadForTesting(ReadFunction read);
