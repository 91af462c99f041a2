// Holds one file open without sharing, as a program that has it in use would:
//   file_holder.exe <path> [seconds]
// The file (and its folder) is created when missing. Once the file is held,
// the event "ZanFileHolderReady_<pid>" is set when the starter made it. Ends
// after the given seconds (120 by default) or when ended.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void CreateParents(const std::string& path) {
  for (size_t i = 3; i < path.size(); ++i)
    if (path[i] == '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: file_holder <path> [seconds]\n");
    return 2;
  }
  const std::string path = argv[1];
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 120;
  CreateParents(path);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "cannot hold %s: %lu\n", path.c_str(), GetLastError());
    return 1;
  }
  char name[64];
  std::snprintf(name, sizeof name, "ZanFileHolderReady_%lu", GetCurrentProcessId());
  if (HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, name)) {
    SetEvent(ready);
    CloseHandle(ready);
  }
  Sleep(static_cast<DWORD>(seconds) * 1000);
  CloseHandle(file);
  return 0;
}
