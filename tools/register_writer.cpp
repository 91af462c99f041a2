// Test tool: adds workstations to a SharedInfo register, so that several
// processes can write to one register at the same time.
//   register_writer <register> <pm> <anno> <count> <assignee prefix> [log folder]
//   register_writer --create <register>
// Prints "added <n> retries <r>"; exit code 0 when all <count> were added.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "log.h"
#include "shared_info.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--create") return CreateSharedInfo(argv[2]);
  if (argc < 6) {
    std::fprintf(stderr, "usage: register_writer register pm anno count prefix [logfolder]\n");
    return 2;
  }
  const std::string registerPath = argv[1], pm = argv[2], anno = argv[3], prefix = argv[5];
  const int count = std::atoi(argv[4]);
  if (argc > 6) SetLogFolderForTesting(argv[6]);

  // A register that stays busy beyond the time-out gives result 1: the user
  // would try again, and so does this tool, a bounded number of times.
  const int kAttempts = 100;
  int retries = 0;
  int idSwExt = 0;
  int result = 1;
  for (int attempt = 0; attempt < kAttempts && result != 0; ++attempt) {
    result = CheckInstallation(registerPath, anno, &idSwExt);
    if (result != 0) ++retries;
  }
  int added = 0;
  for (int i = 0; result == 0 && i < count; ++i) {
    const std::string assignee = prefix + std::to_string(i);
    int r = 1;
    for (int attempt = 0; attempt < kAttempts && r != 0; ++attempt) {
      r = AddPdlEntry(registerPath, pm, "Pw_1234!", idSwExt, "C:\\ZAN\\Studio\\", assignee);
      if (r != 0) ++retries;
    }
    if (r == 0) ++added;
  }
  std::printf("added %d retries %d\n", added, retries);
  return added == count ? 0 : 1;
}
