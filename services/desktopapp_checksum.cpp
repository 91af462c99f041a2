#include "desktopapp_checksum.h"

#include <algorithm>
#include <cstring>

#include "file_utils.h"
#include "handles.h"
#include "md5.h"
#include "text_utils.h"

namespace {

// Files the running DesktopApp writes or swaps at run time, and its chat store:
// their content differs from PC to PC, so they are no part of the checksum.
const char* const kSkippedNames[] = {"old_vex.exe", "new_vex.exe",  "debug.log",
                                     "chrome_debug.log", "Xmpp", "Xmpp-journal"};

bool IsSkipped(const char* name) {
  if (name[0] == '.') return true;
  for (const char* skipped : kSkippedNames)
    if (std::strcmp(name, skipped) == 0) return true;
  return false;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

DWORD CollectFiles(const std::string& folder, const std::string& versionName,
                   std::vector<std::string>& list) {
  const std::string base = WithBackslash(folder);
  WIN32_FIND_DATAA entry;
  FindHandle search(FindFirstFileA((base + "*.*").c_str(), &entry));
  if (!search.valid()) return 0;
  do {
    if (IsSkipped(entry.cFileName)) continue;
    const std::string path = base + entry.cFileName;
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      // A read-only or hidden file would otherwise block the next update.
      if (!SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL)) return GetLastError();
      list.push_back(path);
    } else if (EndsWith(path, versionName) || ToLower(path).find("locales") != std::string::npos) {
      list.push_back(path);
      CollectFiles(path, versionName, list);
    }
  } while (FindNextFileA(search.get(), &entry));
  return 0;
}

std::string ComputeFilesChecksum(const std::vector<std::string>& list) {
  std::string digests;
  digests.reserve(list.size() * 32);
  for (const std::string& path : list) digests += FileMD5(path);
  return StringMD5(digests);
}

bool VerifyFolderChecksum(const std::string& folder, const std::string& expected,
                          const std::string& versionName) {
  std::vector<std::string> list;
  CollectFiles(folder, versionName, list);
  // std::string compares as unsigned bytes: the order does not depend on the
  // order the search returned the entries in.
  std::sort(list.begin(), list.end());
  return ComputeFilesChecksum(list) == expected;
}
