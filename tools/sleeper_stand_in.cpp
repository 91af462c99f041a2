// A stand-in for the programs the setup looks for: it only waits, so tests
// can find it by image name and command line and end it.
#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Tell the starter, when it waits for us, that this process is fully up.
  char name[64];
  std::snprintf(name, sizeof name, "ZanStandInReady_%lu", GetCurrentProcessId());
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
  if (ready) {
    SetEvent(ready);
    CloseHandle(ready);
  }
  Sleep(60000);
  return 0;
}
