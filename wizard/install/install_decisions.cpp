#include "install_decisions.h"

#include <vector>

#include "file_utils.h"
#include "handles.h"
#include "text_utils.h"

bool SameFolder(const std::string& a, const std::string& b) {
  return ToUpper(WithBackslash(a)) == ToUpper(WithBackslash(b));
}

std::string PlatformYear(const std::string& platformName) {
  if (platformName.size() < 7) return std::string();
  return platformName.substr(3, 4);
}

KorvalSource DecideKorvalSource(const std::string& platformName, const std::string& anno,
                                bool localPackageOpens) {
  const std::string year = PlatformYear(platformName);
  if (!year.empty() && year == anno) return KorvalSource::AlreadyInstalled;
  if (localPackageOpens) return KorvalSource::LocalPackage;
  return KorvalSource::Download;
}

DesktopAppArchiveStep DecideArchiveStep(const std::string& desktopAppPath, bool checksumMatches) {
  if (!desktopAppPath.empty() && checksumMatches) return DesktopAppArchiveStep::KeepInstalled;
  return DesktopAppArchiveStep::Download;
}

std::string PackageForThread(const std::string& localPackage, bool localOpens,
                             const std::string& tempPackage) {
  return localOpens ? localPackage : tempPackage;
}

DesktopAppPlacement DecideDesktopAppPlacement(bool archiveOpens, const std::string& desktopAppPath,
                                              const std::string& destination) {
  if (archiveOpens) return DesktopAppPlacement::Unpack;
  if (desktopAppPath.empty() || SameFolder(desktopAppPath, destination))
    return DesktopAppPlacement::AlreadyInPlace;
  return DesktopAppPlacement::CopyFromElsewhere;
}

UnpackOutcome DesktopAppUnpackOutcome(DWORD result) {
  if (result == 0) return UnpackOutcome::Next;
  if (result == ERROR_SHARING_VIOLATION) return UnpackOutcome::WarnThenNext;
  return UnpackOutcome::EndRun;
}

int UnpackPercentage(uint32_t index, uint32_t total) {
  if (total == 0) return 0;
  // 64-bit, so that archives of more than 21 million entries do not overflow.
  return static_cast<int>(uint64_t(index) * 100 / total);
}

std::string PercentText(int percentage) { return IntToString(percentage) + "% completato"; }

namespace {

// What a target reached through a link is reported as: the copy was not
// made there (the copy does not write through links).
constexpr DWORD kLinkInTheTarget = 4395;  // ERROR_REPARSE_POINT_ENCOUNTERED

DWORD CheckCopyLevel(const std::string& source, const std::string& target,
                     std::string* failedPath) {
  if (IsLink(target)) {
    *failedPath = target;
    return kLinkInTheTarget;
  }
  WIN32_FIND_DATAA entry;
  FindHandle find(FindFirstEntry(source + "*", &entry));
  if (!find.valid()) {
    // A source that cannot be listed leaves nothing to compare: the copy
    // cannot be shown complete. (A readable folder below a drive root always
    // lists "." at least.)
    const DWORD error = GetLastError();
    *failedPath = source;
    return error != 0 ? error : ERROR_PATH_NOT_FOUND;
  }
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    const std::string copied = target + name;
    // A link in the source is not copied, so nothing is expected for it.
    if (IsLinkEntry(source + name, entry)) continue;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      const DWORD inner = CheckCopyLevel(source + name + "\\", copied + "\\", failedPath);
      if (inner != 0) return inner;
      continue;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(copied.c_str(), GetFileExInfoStandard, &data)) {
      const DWORD error = GetLastError();
      *failedPath = copied;
      return error != 0 ? error : ERROR_FILE_NOT_FOUND;
    }
    if (data.nFileSizeHigh != entry.nFileSizeHigh || data.nFileSizeLow != entry.nFileSizeLow ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      *failedPath = copied;
      return ERROR_WRITE_FAULT;
    }
  } while (FindNextEntry(find.get(), &entry));
  return 0;
}

}  // namespace

DWORD CheckFolderCopy(const std::string& source, const std::string& target,
                      std::string* failedPath) {
  std::string ignored;
  return CheckCopyLevel(WithBackslash(source), WithBackslash(target),
                        failedPath ? failedPath : &ignored);
}
