// One timed install chain for bench/install_chain.sh, run through
// tools/wizard_driver/run_e2e.sh (its prefix, display and update server):
//   install_chain_bench.exe <korval.7z> <desktopapp.7z> <desktopapp.xml>
// (Windows paths of the big packages, copied into the server's root first).
// Drives a new office to WIZ_INSTALL, then only sleeps and reads the log now
// and then (so as not to take CPU from the setup) until WIZ_END, and prints
// the time between the two "Sheet active" lines of the setup's own log and
// the setup's peak memory.
#include <windows.h>

#include <psapi.h>
#include <winternl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "wizard_driver/driver.h"

using namespace e2e;

namespace {

// Milliseconds of the day of a log line's "[YYYYMMDD@hh:mm:ss:mmm]".
long long LineTime(const std::string& log, const std::string& text) {
  const size_t at = log.find(text);
  if (at == std::string::npos) return -1;
  const size_t start = log.rfind('\n', at) == std::string::npos ? 0 : log.rfind('\n', at) + 1;
  int y, mo, d, h, mi, s, ms;
  if (std::sscanf(log.c_str() + start, "[%4d%2d%2d@%d:%d:%d:%d]", &y, &mo, &d, &h, &mi, &s, &ms) != 7)
    return -1;
  return ((h * 60LL + mi) * 60 + s) * 1000 + ms + d * 86400000LL;
}

// The process's peak virtual size (VM_COUNTERS through NtQueryInformationProcess).
SIZE_T PeakVirtualSize(HANDLE process) {
  struct VmCounters {
    SIZE_T PeakVirtualSize, VirtualSize;
    ULONG PageFaultCount;
    SIZE_T PeakWorkingSetSize, WorkingSetSize, QuotaPeakPagedPoolUsage, QuotaPagedPoolUsage,
        QuotaPeakNonPagedPoolUsage, QuotaNonPagedPoolUsage, PagefileUsage, PeakPagefileUsage;
  } counters = {};
  using Query = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
  if (!query || query(process, 3 /* ProcessVmCounters */, &counters, sizeof counters, nullptr) != 0)
    return 0;
  return counters.PeakVirtualSize;
}

bool Copy(const std::string& from, const std::string& to) {
  if (CopyFileA(from.c_str(), to.c_str(), FALSE)) return true;
  std::fprintf(stderr, "cannot copy %s to %s: %lu\n", from.c_str(), to.c_str(), GetLastError());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: install_chain_bench <korval.7z> <desktopapp.7z> <desktopapp.xml>\n");
    return 2;
  }
  ResetMachine();
  const std::string root = ServerRoot();
  if (!Copy(argv[1], root + "\\update\\korval\\korval2025.7z") ||
      !Copy(argv[2], root + "\\update\\desktopapp\\production\\desktopapp.7z") ||
      !Copy(argv[3], root + "\\update\\desktopapp.xml"))
    return 1;

  WizardDriver wizard("install_chain_bench");
  if (!wizard.Start("/SKIPUPDATE /NODISCOVERY") || !wizard.ToInstallAsNewOffice())
    return 1;
  const std::vector<DWORD> setups = ProcessesNamed("ZAN2025.exe");
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                               setups.empty() ? 0 : setups.back());

  std::string log;
  const DWORD start = GetTickCount();
  while ((log = wizard.LogText()).find("Sheet active -> WIZ_END") == std::string::npos) {
    if (GetTickCount() - start > 1800000 || !wizard.Running() ||
        log.find("[**  ERR]") != std::string::npos) {
      std::fprintf(stderr, "no WIZ_END; log:\n%s\n", log.c_str());
      return 1;
    }
    Sleep(500);
  }
  const long long from = LineTime(log, "Sheet active -> WIZ_INSTALL");
  const long long to = LineTime(log, "Sheet active -> WIZ_END");
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(process, &memory, sizeof memory);
  std::printf("chain seconds %.3f peak working set MB %.1f peak commit MB %.1f peak virtual MB %.1f\n",
              (to - from) / 1000.0, memory.PeakWorkingSetSize / 1048576.0,
              memory.PeakPagefileUsage / 1048576.0, PeakVirtualSize(process) / 1048576.0);
  return 0;
}
