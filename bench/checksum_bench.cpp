// Benchmark: the DesktopApp folder checksum over a folder, timed inside the
// process (Wine's start-up left out). Run by bench/checksum.sh beside md5sum.
//   checksum_bench <folder> <version name> [rounds]
#include <windows.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "desktopapp_checksum.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: checksum_bench folder version [rounds]\n");
    return 2;
  }
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
  LARGE_INTEGER freq;
  QueryPerformanceFrequency(&freq);
  for (int r = 0; r < rounds; ++r) {
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    std::vector<std::string> list;
    CollectFiles(argv[1], argv[2], list);
    std::sort(list.begin(), list.end());
    const std::string checksum = ComputeFilesChecksum(list);
    QueryPerformanceCounter(&t1);
    std::printf("round %d: %zu entries, checksum %s, %.1f ms\n", r + 1, list.size(),
                checksum.c_str(), 1000.0 * (t1.QuadPart - t0.QuadPart) / freq.QuadPart);
  }
  return 0;
}
