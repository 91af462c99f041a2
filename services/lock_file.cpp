#include "lock_file.h"

#include <share.h>

#include <cctype>
#include <cstdio>

#include "file_utils.h"
#include "log.h"
#include "text_utils.h"

namespace {

LockMessageBoxFunction g_messageBox = MessageBoxA;

// As much of the lock's first word as its log line shows.
const size_t kLockWordShown = 200;

// A C stream opened with deny-none sharing, so another PC can read the lock
// while this one writes it.
FILE* OpenShared(const std::string& path, const char* mode) {
  return _fsopen(path.c_str(), mode, _SH_DENYNO);
}

}  // namespace

void SetLockMessageBoxForTesting(LockMessageBoxFunction function) {
  g_messageBox = function ? function : MessageBoxA;
}

std::string GetLockFilePath(std::string folder) {
  return WithBackslash(folder) + "ZAN_Shared\\LockFile";
}

void WriteLockFile(const std::string& folder, const std::string& info) {
  FILE* file = OpenShared(GetLockFilePath(folder), "a");
  if (!file) return;
  const std::string record = GetLogTimestamp() + ';' + GetComputerUserName() + ';' + info;
  fwrite(record.data(), 1, record.size(), file);
  fclose(file);
}

std::string ReadLockFile(const std::string& folder, size_t limit) {
  std::string word;
  FILE* file = OpenShared(GetLockFilePath(folder), "rb");
  if (!file) return word;
  // Leading white space skipped, then up to the next white space or the end.
  // White space before the word counts against the limit too: a file of
  // blanks is not read whole either.
  int c;
  size_t skipped = 0;
  do c = fgetc(file);
  while (c != EOF && std::isspace(c) && skipped++ < limit);
  for (; c != EOF && !std::isspace(c) && word.size() < limit; c = fgetc(file))
    word += static_cast<char>(c);
  fclose(file);
  return word;
}

int CheckLockFile(HWND owner, const std::string& folder) {
  const std::string path = GetLockFilePath(folder);
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    Log("[  INFO] No lock file detected on " + path);
    return 0;
  }
  // Any PC of the office can write the lock: its word is quoted as text from
  // outside, and only as much of it read as the line shows.
  const std::string word = ReadLockFile(folder, kLockWordShown + 1);
  std::string shown = QuoteForLog(word.substr(0, kLockWordShown), kLockWordShown);
  if (word.size() > kLockWordShown)
    shown += "... (more than " + Decimal(kLockWordShown) + " bytes)";
  Log("[* WARN] Lock file detected on " + path + " -> " + shown);
  const int answer = g_messageBox(
      owner,
      "E' stata rilevata un'altra installazione concorrente per questo Codice Ufficio. "
      "Vuoi procedere?",
      "Attenzione", MB_YESNO | MB_ICONWARNING);
  if (answer != IDNO) {
    Log("[* WARN] User choose to continue with setup");
    return 1;
  }
  Log("[  INFO] User choose NOT to continue with setup");
  return -1;
}

void DeleteLockFile(const std::string& folder) { DeleteFileA(GetLockFilePath(folder).c_str()); }
