// Test tool: adds year rows and workstations to a SharedInfo register, so that
// several processes can write to one register at the same time.
//   register_writer <register> <pm> <anno> <count> <assignee prefix> <go file>
//                   [<first year> <years>]
//   register_writer --create <register>
// Makes "<go file>.<process id>" and waits (at most two minutes) until the go
// file exists, so that all writers start together; then adds the years first..first+years-1 (CheckInstallation)
// and <count> workstations of <anno>. Prints "added <n> years <y> retries <r>";
// exit code 0 when everything was added.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "shared_info.h"

namespace {

// A register that stays busy beyond the time-out gives result 1: the user
// would try again, and so does this tool, a bounded number of times.
const int kAttempts = 100;
int g_retries = 0;

template <typename Operation>
bool WithRetries(Operation operation) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (operation() == 0) return true;
    ++g_retries;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--create") return CreateSharedInfo(argv[2]);
  if (argc != 7 && argc != 9) {
    std::fprintf(stderr, "usage: register_writer register pm anno count prefix gofile "
                         "[firstyear years]\n");
    return 2;
  }
  const std::string registerPath = argv[1], pm = argv[2], anno = argv[3], prefix = argv[5];
  const int count = std::atoi(argv[4]);
  const int firstYear = argc == 9 ? std::atoi(argv[7]) : 0;
  const int years = argc == 9 ? std::atoi(argv[8]) : 0;
  // Ready: "<go file>.<process id>"; then wait for the go file itself.
  const std::string ready = std::string(argv[6]) + "." + std::to_string(GetCurrentProcessId());
  CloseHandle(CreateFileA(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  for (int waited = 0; GetFileAttributesA(argv[6]) == INVALID_FILE_ATTRIBUTES; waited += 5) {
    if (waited > 120000) return 3;
    Sleep(5);
  }

  int yearsAdded = 0;
  for (int y = firstYear; y < firstYear + years; ++y) {
    int id = 0;
    if (WithRetries([&] { return CheckInstallation(registerPath, std::to_string(y), &id); }))
      ++yearsAdded;
  }
  int idSwExt = 0;
  int added = 0;
  if (WithRetries([&] { return CheckInstallation(registerPath, anno, &idSwExt); })) {
    for (int i = 0; i < count; ++i) {
      const std::string assignee = prefix + std::to_string(i);
      if (WithRetries([&] {
            return AddPdlEntry(registerPath, pm, "Pw_1234!", idSwExt, "C:\\ZAN\\Studio\\",
                               assignee);
          }))
        ++added;
    }
  }
  std::printf("added %d years %d retries %d\n", added, yearsAdded, g_retries);
  return added == count && yearsAdded == years ? 0 : 1;
}
