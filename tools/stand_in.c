/* A stand-in for the platform's and DesktopApp's programs in the sample
   packages: a real Windows executable that does nothing and exits 0. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;
  return 0;
}
