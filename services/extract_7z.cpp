#include "extract_7z.h"

extern "C" {
#include "7z.h"
#include "7zAlloc.h"
#include "7zCrc.h"
}

#include <cstdlib>
#include <set>
#include <vector>

#include "file_utils.h"
#include "log.h"
#include "permissions.h"
#include "text_utils.h"

namespace {

const DWORD kArchiveError = 6;
const size_t kLookBufferSize = 16384;

ExtractWriteFileFunction g_writeFile = WriteFile;
ExtractAllocFunction g_allocate = malloc;

// The decoder's allocations (SzFree releases them with free).
void* Allocate(ISzAllocPtr, size_t size) { return size == 0 ? nullptr : g_allocate(size); }

// The last Windows error, or fallback when a failed call left none.
DWORD LastErrorOr(DWORD fallback) {
  const DWORD error = GetLastError();
  return error != 0 ? error : fallback;
}

// The name as the log may show it: control characters as "?".
std::string Printable(const std::string& name) {
  std::string out = name;
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  }
  return out;
}

bool IsDeviceName(const std::string& component) {
  std::string base = ToUpper(component.substr(0, component.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
      base == "CONOUT$")
    return true;
  if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0)) {
    const unsigned char n = static_cast<unsigned char>(base[3]);
    return (n >= '0' && n <= '9') || n == 0xB9 || n == 0xB2 || n == 0xB3;
  }
  return false;
}

}  // namespace

bool IsSafeArchiveEntryName(const std::string& name) {
  if (name.empty() || name[0] == '\\' || name[0] == '/') return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == ':') return false;
  }
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string::npos) end = name.size();
    const std::string component = name.substr(start, end - start);
    if (!component.empty()) {
      // Windows drops trailing dots and blanks, so ". ." or "..." would name
      // the folder itself or its parent.
      if (component.find_last_not_of(". ") == std::string::npos) return false;
      if (IsDeviceName(component)) return false;
    }
    start = end + 1;
  }
  return true;
}

void SetExtractWriteFileForTesting(ExtractWriteFileFunction function) {
  g_writeFile = function ? function : WriteFile;
}

void SetExtractAllocForTesting(ExtractAllocFunction function) {
  g_allocate = function ? function : malloc;
}

// Lives for one Extract7z call: the open archive, its stream as the SDK sees
// it, and the folders already prepared.
class C7zExtractor {
 public:
  C7zExtractor() {
    stream_.vt.Read = StreamRead;
    stream_.vt.Seek = StreamSetPosition;
    stream_.owner = this;
  }
  ~C7zExtractor() {
    if (archive) CloseHandle(archive);
  }
  C7zExtractor(const C7zExtractor&) = delete;
  C7zExtractor& operator=(const C7zExtractor&) = delete;

  DWORD ExtractAll(const std::string& destDir, std::string* currentPath,
                   ProgressCallback progress);
  bool PrepareFolder(const std::string& path, bool isFolder);

  static SRes StreamRead(ISeekInStreamPtr stream, void* buffer, size_t* size);
  static SRes StreamSetPosition(ISeekInStreamPtr stream, Int64* position, ESzSeek origin);

  HANDLE archive = nullptr;
  std::set<std::string> preparedFolders;

 private:
  struct FileStream {
    ISeekInStream vt;
    C7zExtractor* owner;
  };
  DWORD ExtractEntry(CSzArEx& db, ILookInStreamPtr look, UInt32 index, UInt32* blockIndex,
                     Byte** outBuffer, size_t* outBufferSize, const std::string& destDir,
                     std::string* currentPath);

  FileStream stream_;
  ISzAlloc alloc_ = {Allocate, SzFree};
};

SRes C7zExtractor::StreamRead(ISeekInStreamPtr stream, void* buffer, size_t* size) {
  const FileStream* self = reinterpret_cast<const FileStream*>(stream);
  const size_t wanted = *size;
  *size = 0;
  if (wanted == 0) return SZ_OK;
  size_t total = 0;
  while (total < wanted) {
    DWORD got = 0;
    if (!ReadFile(self->owner->archive, static_cast<Byte*>(buffer) + total,
                  static_cast<DWORD>(wanted - total), &got, nullptr))
      return SZ_ERROR_READ;
    if (got == 0) break;
    total += got;
  }
  *size = total;
  return SZ_OK;
}

SRes C7zExtractor::StreamSetPosition(ISeekInStreamPtr stream, Int64* position, ESzSeek origin) {
  const FileStream* self = reinterpret_cast<const FileStream*>(stream);
  DWORD method;
  switch (origin) {
    case SZ_SEEK_SET: method = FILE_BEGIN; break;
    case SZ_SEEK_CUR: method = FILE_CURRENT; break;
    case SZ_SEEK_END: method = FILE_END; break;
    default: return SZ_ERROR_PARAM;
  }
  LONG high = static_cast<LONG>(static_cast<UInt64>(*position) >> 32);
  SetLastError(0);
  const DWORD low =
      SetFilePointer(self->owner->archive, static_cast<LONG>(*position & 0xFFFFFFFF), &high, method);
  *position = static_cast<Int64>((static_cast<UInt64>(static_cast<DWORD>(high)) << 32) | low);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != 0) return SZ_ERROR_FAIL;
  return SZ_OK;
}

bool C7zExtractor::PrepareFolder(const std::string& path, bool isFolder) {
  std::string folder = path;
  if (!isFolder) {
    const size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos) folder = path.substr(0, slash);
  }
  if (preparedFolders.count(folder)) return true;
  const bool created = CreateDirectoryTree(folder);
  if (created) {
    Log("[  INFO] Setting privileges and attributes on -> " + folder);
    preparedFolders.insert(folder);
    SetFolderPermissions(folder);
  }
  return created;
}

DWORD C7zExtractor::ExtractAll(const std::string& destDir, std::string* currentPath,
                               ProgressCallback progress) {
  CrcGenerateTable();
  CSzArEx db;
  SzArEx_Init(&db);
  std::vector<Byte> lookBuffer(kLookBufferSize);
  CLookToRead2 look;
  LookToRead2_CreateVTable(&look, False);
  look.buf = lookBuffer.data();
  look.bufSize = lookBuffer.size();
  look.realStream = &stream_.vt;
  LookToRead2_INIT(&look);

  if (SzArEx_Open(&db, &look.vt, &alloc_, &alloc_) != SZ_OK) {
    SzArEx_Free(&db, &alloc_);
    return kArchiveError;
  }
  const UInt32 count = db.NumFiles;
  DWORD result = 0;
  UInt32 blockIndex = 0xFFFFFFFF;
  Byte* outBuffer = nullptr;
  size_t outBufferSize = 0;
  for (UInt32 i = 0; i < count && result == 0; ++i) {
    if (progress) progress(i, count);
    result = ExtractEntry(db, &look.vt, i, &blockIndex, &outBuffer, &outBufferSize, destDir,
                          currentPath);
  }
  ISzAlloc_Free(&alloc_, outBuffer);
  SzArEx_Free(&db, &alloc_);
  return result;
}

DWORD C7zExtractor::ExtractEntry(CSzArEx& db, ILookInStreamPtr look, UInt32 index,
                                 UInt32* blockIndex, Byte** outBuffer, size_t* outBufferSize,
                                 const std::string& destDir, std::string* currentPath) {
  size_t offset = 0;
  size_t size = 0;
  const SRes decoded = SzArEx_Extract(&db, look, index, blockIndex, outBuffer, outBufferSize,
                                      &offset, &size, &alloc_, &alloc_);
  if (decoded == SZ_ERROR_MEM && db.FileToFolder[index] != static_cast<UInt32>(-1)) {
    // The whole solid block is decoded into one buffer: in a 32-bit process a
    // block of some hundred megabytes may find no room. Not a damaged archive.
    const UInt64 block = SzAr_GetFolderUnpackSize(&db.db, db.FileToFolder[index]);
    Log("[**  ERR] Not enough memory to unpack a block of " + std::to_string(block) + " bytes");
  }
  if (decoded != SZ_OK) return kArchiveError;

  // An archive without any names leaves the name table unset.
  const size_t units = db.FileNameOffsets ? SzArEx_GetFileNameUtf16(&db, index, nullptr) : 0;
  if (units == 0) return kArchiveError;
  std::vector<UInt16> wide(units);
  SzArEx_GetFileNameUtf16(&db, index, wide.data());
  // The low byte of each unit, no code-page conversion: what the packages
  // have always been unpacked with.
  std::string name;
  for (size_t u = 0; u + 1 < units; ++u) name += static_cast<char>(wide[u] & 0xFF);

  const std::string path = destDir + name;
  if (currentPath) *currentPath = path;
  if (!IsSafeArchiveEntryName(name)) {
    Log("[**  ERR] Refused archive entry outside the destination folder -> " + Printable(name));
    return kArchiveError;
  }

  if (SzArEx_IsDir(&db, index)) {
    PrepareFolder(path, true);
    return 0;
  }
  PrepareFolder(path, false);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastErrorOr(ERROR_WRITE_FAULT);

  DWORD written = 0;
  SetLastError(0);
  if (!g_writeFile(file, *outBuffer + offset, static_cast<DWORD>(size), &written, nullptr) ||
      written != size) {
    // A short write that Windows calls a success leaves no error code.
    const DWORD error = LastErrorOr(ERROR_WRITE_FAULT);
    CloseHandle(file);
    return error;
  }
  if (SzBitWithVals_Check(&db.MTime, index)) {
    const CNtfsFileTime& stored = db.MTime.Vals[index];
    FILETIME modified = {stored.Low, stored.High};
    if (!SetFileTime(file, nullptr, nullptr, &modified)) {
      const DWORD error = LastErrorOr(ERROR_WRITE_FAULT);
      CloseHandle(file);
      return error;
    }
  }
  if (!CloseHandle(file)) return LastErrorOr(ERROR_WRITE_FAULT);
  return 0;
}

DWORD Extract7z(const std::string& archivePath, const std::string& destDir,
                std::string* currentPath, ProgressCallback progress) {
  C7zExtractor extractor;
  HANDLE archive = CreateFileA(archivePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (archive == INVALID_HANDLE_VALUE) return GetLastError();
  extractor.archive = archive;
  // Names are appended to the folder: without its "\" "C:\ZAN\X" + "a.txt"
  // would write C:\ZAN\Xa.txt, beside the folder instead of inside it.
  std::string folder = destDir;
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return extractor.ExtractAll(folder, currentPath, progress);
}
