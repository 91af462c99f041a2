// Downloads one URL through WininetWrapper (message loop on this thread, as in
// the wizard) and prints the wall time, the body size and the peak memory.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "wininet_wrapper.h"

namespace {

class QuitOnComplete final : public WininetWrapperDelegate {
 public:
  void OnDownloadStarted(WininetWrapper*, DWORD) override {}
  void OnDownloadProgress(WininetWrapper*, DWORD) override {}
  void OnDownloadComplete(WininetWrapper*) override { PostQuitMessage(0); }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: wininet_bench URL\n");
    return 2;
  }
  QuitOnComplete delegate;
  LARGE_INTEGER frequency, begin, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&begin);
  WininetWrapper* request = new WininetWrapper(argv[1], false);
  request->delegate = &delegate;
  request->Start();
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  QueryPerformanceCounter(&end);

  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  std::printf("status %d bytes %u seconds %.3f peak_working_set_mb %.1f peak_commit_mb %.1f\n",
              request->status, static_cast<unsigned>(request->response.size()),
              double(end.QuadPart - begin.QuadPart) / double(frequency.QuadPart),
              memory.PeakWorkingSetSize / 1048576.0, memory.PeakPagefileUsage / 1048576.0);
  return request->status == 200 ? 0 : 1;
}
