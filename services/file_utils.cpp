#include "file_utils.h"

#include <windows.h>

#include <algorithm>

#include "handles.h"
#include "log.h"
#include "text_utils.h"

namespace {

AttributesFunction g_attributes = GetFileAttributesA;

DWORD ItemAttributes(const std::string& path) { return g_attributes(path.c_str()); }

// First three characters of the Windows folder, e.g. "C:\".
std::string SystemDriveRoot() {
  char buffer[1024] = {};
  const UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return std::string();
  return std::string(buffer).substr(0, 3);
}

bool EndsWithSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

bool IsAbsolute(const std::string& path) {
  const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  const bool unc = path.size() >= 2 && (path[0] == '\\' || path[0] == '/') &&
                   (path[1] == '\\' || path[1] == '/');
  return drive || unc;
}

// True when the folder, once resolved ("C:\X\..\" is "C:\"), is a drive root.
bool ResolvesToDriveRoot(const std::string& folder) {
  char full[MAX_PATH * 4] = {};
  const DWORD length = GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return true;  // unresolvable: treat as unsafe
  return IsDriveRoot(full);
}

// The pattern naming the folder's content: without its "\" it would also
// take the siblings ("...\1.2*" matches 1.20 and 1.2.1).
std::string ContentPattern(const std::string& folder) {
  return folder + (EndsWithSeparator(folder) ? "*" : "\\*");
}

std::string WithSeparator(const std::string& folder) {
  return EndsWithSeparator(folder) ? folder : folder + "\\";
}

// Whether the folder's content pattern, or a path, fits a 260-character
// buffer with two closing zeros (the limit these operations have always had).
bool FitsPathBuffer(const std::string& path) { return path.size() + 2 <= MAX_PATH; }

struct Entry {
  std::string name;
  DWORD attributes;
  bool link;
};

// The entries of a folder ("\"-ended), "." and ".." left out. Listed whole
// before any is changed, so removing entries cannot disturb the listing.
std::vector<Entry> ListEntries(const std::string& folder) {
  std::vector<Entry> entries;
  WIN32_FIND_DATAA found;
  FindHandle find(FindFirstEntry(folder + "*", &found));
  if (!find.valid()) return entries;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..")
      entries.push_back({name, found.dwFileAttributes, IsLinkEntry(folder + name, found)});
  } while (FindNextEntry(find.get(), &found));
  return entries;
}

// Removes a link itself, never what it leads to: the entry is opened without
// being followed and removed only when the object opened is the reparse
// point. Where the platform opens the target instead (Wine), nothing is
// removed. False when the link is left in place.
bool RemoveLinkOnly(const std::string& path) {
  HANDLE handle = CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION opened = {};
  bool removed = false;
  if (GetFileInformationByHandle(handle, &opened) &&
      (opened.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    removed = SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                         sizeof disposition) != FALSE;
  }
  CloseHandle(handle);
  return removed;
}

// Deletes everything in a folder ("\"-ended). A link is removed itself and
// never entered: what it leads to is not part of the folder.
void DeleteEntries(const std::string& folder) {
  for (const Entry& entry : ListEntries(folder)) {
    const std::string path = folder + entry.name;
    if (entry.link) {
      if (!RemoveLinkOnly(path))
        Log("[* WARN] DeleteFolderContents: link left in place -> " + path);
      continue;
    }
    if (entry.attributes & FILE_ATTRIBUTE_READONLY)
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
      DeleteEntries(path + "\\");
      RemoveDirectoryA(path.c_str());
    } else {
      DeleteFileA(path.c_str());
    }
  }
}

// Copies everything in `source` into `target` (both "\"-ended), overwriting.
// No link is entered on either side: one in the source leads outside the tree
// being copied, one in the target to a folder that is not ours to fill.
void CopyEntries(const std::string& source, const std::string& target) {
  for (const Entry& entry : ListEntries(source)) {
    const std::string from = source + entry.name;
    const std::string to = target + entry.name;
    if (entry.link) {
      Log("[* WARN] CopyFolderContents: link not copied -> " + from);
      continue;
    }
    const DWORD existing = ItemAttributes(to);
    // A reparse point, or an entry there whose attributes cannot be read, may
    // be a link; anything else (a new entry above all) needs no second look.
    const bool mayBeLink = existing == INVALID_FILE_ATTRIBUTES
                               ? !IsNotFoundError(GetLastError())
                               : (existing & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (mayBeLink && IsLink(to)) {
      Log("[* WARN] CopyFolderContents: link in the target, nothing copied into it -> " + to);
      continue;
    }
    if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (existing == INVALID_FILE_ATTRIBUTES) CreateDirectoryA(to.c_str(), nullptr);
      CopyEntries(from + "\\", to + "\\");
      continue;
    }
    // A read-only or hidden file in the way would refuse to be replaced.
    if (existing != INVALID_FILE_ATTRIBUTES &&
        (existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
      SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    CopyFileA(from.c_str(), to.c_str(), FALSE);
  }
}

}  // namespace

std::string WithBackslash(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

std::string GetDesktopAppPath() { return SystemDriveRoot() + "ZAN\\DesktopApp\\"; }

std::string GetDesktopAppBinPath() { return GetDesktopAppPath() + "BIN\\"; }

std::string GetVexBinPath() { return SystemDriveRoot() + "ZAN\\Vex\\BIN\\"; }

bool CreateDirectoryTree(const std::string& path) {
  // No "A" call can make a folder this long; refusing it here also bounds the
  // recursion below (a hostile archive may nest tens of thousands of folders).
  if (path.size() >= MAX_PATH) return false;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES)
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0;
  const size_t separator = path.find_last_of("\\/");
  if (separator != std::string::npos) CreateDirectoryTree(path.substr(0, separator));
  return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsNotFoundError(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool IsDriveRoot(std::string path) {
  if (path.empty()) return false;
  if (path.back() != '\\') path += '\\';
  return path == std::string(1, path[0]) + ":\\";
}

bool CanWriteToFolder(const std::string& folder) {
  std::string probe = folder;
  if (probe.empty() || probe.back() != '\\') probe += '\\';
  probe += "test_privileges.txt";
  DeleteFileA(probe.c_str());
  HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  DeleteFileA(probe.c_str());
  return true;
}

namespace {

ReparseTagFunction g_reparseTag = nullptr;
ListingFunction g_listing = FindFirstFileA;

}  // namespace

void SetReparseTagForTesting(ReparseTagFunction function) { g_reparseTag = function; }
void SetListingForTesting(ListingFunction function) {
  g_listing = function ? function : FindFirstFileA;
}
void SetAttributesForTesting(AttributesFunction function) {
  g_attributes = function ? function : GetFileAttributesA;
}

bool IsLinkEntry(const std::string& path, const WIN32_FIND_DATAA& entry) {
  if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  const DWORD reparseTag =
      g_reparseTag ? g_reparseTag(path, entry.dwReserved0) : entry.dwReserved0;
  return reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag);
}

HANDLE FindFirstEntry(const std::string& pattern, WIN32_FIND_DATAA* entry) {
  entry->dwReserved0 = 0;
  return g_listing(pattern.c_str(), entry);
}

bool FindNextEntry(HANDLE find, WIN32_FIND_DATAA* entry) {
  entry->dwReserved0 = 0;
  return FindNextFileA(find, entry) != FALSE;
}

bool IsLink(const std::string& path) {
  std::string item = path;
  // "X\" names what X leads to; the entry itself is X. A drive root stays whole.
  while (item.size() > 3 && EndsWithSeparator(item)) item.pop_back();
  // Only a listing gives the reparse tag; listed without a pattern, the entry
  // is the item itself (a drive root has none and is no link). A name with a
  // wildcard would list other entries.
  const size_t name = item.find_last_of("\\/");
  if (item.find_first_of("*?", name == std::string::npos ? 0 : name) == std::string::npos) {
    WIN32_FIND_DATAA entry;
    FindHandle find(FindFirstEntry(item, &entry));
    if (find.valid()) return IsLinkEntry(item, entry);
  }
  // Without a listing (a parent this user cannot list, a name the listing
  // does not take) the item's own attributes decide, and a reparse point of
  // unknown kind counts as a link: callers give full control, write or
  // delete only where this says no.
  const DWORD attributes = ItemAttributes(item);
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  // Unreadable too: only an item that is not there is surely no link. Any
  // user can deny reading a junction's attributes and listing its parent.
  return !IsNotFoundError(GetLastError());
}

void CopyFolderContents(const std::string& source, const std::string& target) {
  if (source.empty()) {
    Log("[* WARN] CopyFolderContents: empty source folder, nothing copied");
    return;
  }
  if (!FitsPathBuffer(ContentPattern(source)) || !FitsPathBuffer(target)) {
    Log("[* WARN] CopyFolderContents: path too long, nothing copied -> " + source + " -> " +
        target);
    return;
  }
  // A source that is a link is only read; a target that is one would have
  // the copy land in a folder that is not ours.
  if (IsLink(target)) {
    Log("[* WARN] CopyFolderContents: target folder is a link, nothing copied -> " + target);
    return;
  }
  if (!IsDirectory(target)) CreateDirectoryTree(target);
  CopyEntries(WithSeparator(source), WithSeparator(target));
}

void DeleteFolderContents(const std::string& folder) {
  // The delete is final (no undo), so anything but a specific absolute folder
  // is refused: an empty or relative one would empty the current folder.
  if (folder.empty()) {
    Log("[* WARN] DeleteFolderContents: empty folder, nothing deleted");
    return;
  }
  if (!IsAbsolute(folder)) {
    Log("[* WARN] DeleteFolderContents: relative folder, nothing deleted -> " + folder);
    return;
  }
  if (ResolvesToDriveRoot(folder)) {
    Log("[* WARN] DeleteFolderContents: drive root, nothing deleted -> " + folder);
    return;
  }
  if (!FitsPathBuffer(ContentPattern(folder))) {
    Log("[* WARN] DeleteFolderContents: path too long, nothing deleted -> " + folder);
    return;
  }
  // Its content is the target's: someone put the folder elsewhere on
  // purpose, and the files there are not ours to delete. The link stays too.
  if (IsLink(folder)) {
    Log("[* WARN] DeleteFolderContents: folder is a link, nothing deleted -> " + folder);
    return;
  }
  DeleteEntries(WithSeparator(folder));
}

void SetAttributesRecursive(std::string folder) {
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  // Through a link the attributes changed would be another folder's.
  if (IsLink(folder)) {
    Log("[* WARN] SetAttributesRecursive: folder is a link, attributes left alone -> " + folder);
    return;
  }
  unsigned count = 0;
  for (const Entry& entry : ListEntries(folder)) {
    if (entry.name[0] == '.') continue;
    // A link is neither entered nor changed: it may lead outside the tree or
    // back up into it, and a change made on it may land on its target.
    if (entry.link) continue;
    const std::string path = folder + entry.name;
    if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) SetAttributesRecursive(path);
    if (entry.attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) {
      SetFileAttributesA(path.c_str(), 0);
      ++count;
    }
  }
  if (count > 0)
    Log("[  INFO] Set attributes on " + std::to_string(count) + " files/folder in " + folder);
}

std::string OwnExecutablePath(size_t initialSize) {
  std::string buffer(initialSize > 0 ? initialSize : 1, '\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length =
        GetModuleFileNameA(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size() && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      buffer.resize(length);
      return buffer;
    }
    if (buffer.size() >= 32768) return std::string();  // beyond any Windows path
    buffer.resize(buffer.size() * 2);
  }
}

bool GetFileVersion(const std::string& path, std::vector<std::string>* out) {
  const std::string file = path.empty() ? OwnExecutablePath() : path;
  if (file.empty()) return false;
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &handle);
  if (size == 0) return false;
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(file.c_str(), 0, size, block.data())) return false;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\", &value, &length) || value == nullptr ||
      length != sizeof(VS_FIXEDFILEINFO))
    return false;
  const VS_FIXEDFILEINFO* info = static_cast<const VS_FIXEDFILEINFO*>(value);
  std::vector<std::string> parts = {
      std::to_string(HIWORD(info->dwProductVersionMS)),
      std::to_string(LOWORD(info->dwProductVersionMS)),
      std::to_string(HIWORD(info->dwProductVersionLS)),
      std::to_string(LOWORD(info->dwProductVersionLS)),
  };
  if (out) *out = std::move(parts);
  return true;
}

std::string GetComputerUserName() {
  char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD computerSize = sizeof computer;
  if (!GetComputerNameA(computer, &computerSize)) computer[0] = '\0';
  char user[257] = {};
  DWORD userSize = sizeof user;
  if (!GetUserNameA(user, &userSize)) user[0] = '\0';
  return std::string(computer) + "\\" + user;
}

namespace {

WriteFunction g_wholeFileWrite = &WriteFile;
ReadFunction g_wholeFileRead = &ReadFile;

std::string CallFailure(const char* call) {
  return std::string(call) + " failed (" + LastErrorText() + ")";
}

}  // namespace

void SetWholeFileWriteForTesting(WriteFunction write) {
  g_wholeFileWrite = write ? write : &WriteFile;
}

void SetWholeFileReadForTesting(ReadFunction read) { g_wholeFileRead = read ? read : &ReadFile; }

std::string WriteWholeFile(const std::string& path, const std::string& bytes, DWORD share) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, share, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return CallFailure("open");
  std::string failure;
  for (size_t offset = 0; offset < bytes.size() && failure.empty();) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(bytes.size() - offset, 1u << 24));
    DWORD written = 0;
    if (!g_wholeFileWrite(file, bytes.data() + offset, piece, &written, nullptr))
      failure = CallFailure("write");
    else if (written != piece)
      failure = "short write (" + Decimal(offset + written) + " of " + Decimal(bytes.size()) +
                " bytes)";
    offset += piece;
  }
  // The close can fail too (a network share writes then): the file is not whole.
  if (!CloseHandle(file) && failure.empty()) failure = CallFailure("close");
  return failure;
}

std::string ReadWholeFile(const std::string& path, std::string* bytes) {
  bytes->clear();
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return CallFailure("open");
  std::string failure;
  char block[64 * 1024];
  DWORD got = 0;
  for (;;) {
    if (!g_wholeFileRead(file, block, sizeof block, &got, nullptr)) {
      // Taken before the close, whose own error would replace it.
      failure = CallFailure("read");
      break;
    }
    if (got == 0) break;
    bytes->append(block, got);
  }
  CloseHandle(file);
  return failure;
}
