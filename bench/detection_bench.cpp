// Wall time of the start-up search for earlier installations on a drive with
// many office folders: ZAN\PM00001 ... each with this year's platform folder
// and a marker file, every tenth with its own register.
//   detection_bench [offices] [nolog|keep]   (default 1000 offices)
// "nolog" points the log at a folder that cannot exist, so the figure shows
// the search without the cost of its log lines; "keep" leaves the tree in
// place and prints "tree <folder>" (bench/detection.sh reads it with find).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "constants.h"
#include "log.h"
#include "settings.h"
#include "test_support.h"

namespace {

std::string Code(int n) {
  char code[8];
  std::snprintf(code, sizeof code, "%05d", n);
  return code;
}

bool MakeOffice(const std::string& root, int n) {
  const std::string office = root + "ZAN\\PM" + Code(n) + "\\";
  const std::string platform = office + "ZAN" + g_year;
  bool ok;
  switch (n % 3) {
    case 0:
      ok = testing_support::WriteBytes(platform + "\\HOME\\BIN\\ZANOLINF.TXT",
                                       testing_support::ZanolinfBytes(Code(n) + "pw"));
      break;
    case 1:
      ok = testing_support::WriteBytes(platform + "\\FILES\\uffaut",
                                       testing_support::UffautBytes(n >> 8, n & 0xFF));
      break;
    default:
      ok = testing_support::WriteBytes(platform + "\\HOME\\ETC\\INSTALLA.MOD",
                                       Code(n) + "password\r\n" + platform);
  }
  if (!ok) return false;
  return n % 10 != 0 || testing_support::AddWorkstation(office, Code(n), g_year, "PC1\\ann");
}

double Seconds(const LARGE_INTEGER& a, const LARGE_INTEGER& b) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  const int offices = argc > 1 ? std::atoi(argv[1]) : 1000;
  testing_support::TempDir scratch;
  testing_support::TempDir logs;
  const bool noLog = argc > 2 && std::string(argv[2]) == "nolog";
  const bool keep = argc > 2 && std::string(argv[2]) == "keep";
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string root = keep ? std::string(temp) + "zanbench_" +
                                      std::to_string(GetCurrentProcessId()) + "\\"
                                : scratch.path();
  if (keep) {
    testing_support::RemoveTree(root);  // a tree left by an earlier process of this id
    std::printf("tree %s\n", root.c_str());
  }
  SetLogFolderForTesting(noLog ? std::string("\\\\?\\NUL\\none") : logs.path() + "log");

  LARGE_INTEGER t0, t1;
  QueryPerformanceCounter(&t0);
  for (int n = 1; n <= offices; ++n) {
    if (!MakeOffice(root, n)) {
      std::fprintf(stderr, "cannot make office %d\n", n);
      return 2;
    }
  }
  QueryPerformanceCounter(&t1);
  std::printf("offices %d, set up in %.2f s\n", offices, Seconds(t0, t1));

  for (int run = 1; run <= 3; ++run) {
    CSetting setting;
    setting.platformName = g_platformName;
    setting.year = g_year;
    setting.drives = {root};
    QueryPerformanceCounter(&t0);
    const int result = setting.CheckForPreviousPlatform();
    QueryPerformanceCounter(&t1);
    std::printf("run %d: result %d, disk records %u, register records %u, registers %u: %.3f s\n",
                run, result, static_cast<unsigned>(setting.diskScanRecords.size()),
                static_cast<unsigned>(setting.sharedInfoRecords.size()),
                static_cast<unsigned>(setting.sharedInfoFiles.size()), Seconds(t0, t1));
    // Every office is found once: from its register or from the disk.
    const size_t found = setting.diskScanRecords.size() + setting.sharedInfoRecords.size();
    if (result != 0 || found != static_cast<size_t>(offices)) return 1;
  }
  SetLogFolderForTesting("");
  return 0;
}
