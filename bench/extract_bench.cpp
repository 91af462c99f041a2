// Unpacks one archive with Extract7z and prints the wall time and the
// process's peak memory, for comparison with 7zz on the same archive.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <string>

#include "extract_7z.h"
#include "service_settings.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: extract_bench ARCHIVE.7z DEST\\\n");
    return 2;
  }
  GetServiceSettings().skipPermission = true;
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const DWORD result = Extract7z(argv[1], argv[2], nullptr, nullptr);
  QueryPerformanceCounter(&end);
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  std::printf("result %lu seconds %.2f peak_working_set_mb %.1f peak_pagefile_mb %.1f\n", result,
              double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart),
              memory.PeakWorkingSetSize / 1048576.0, memory.PeakPagefileUsage / 1048576.0);
  return result == 0 ? 0 : 1;
}
