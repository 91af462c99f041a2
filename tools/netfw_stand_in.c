/* A stand-in for the .NET Framework 4.8 web installer that the setup embeds
   as resource 178 by default: a Windows GUI program that leaves a mark
   ("ndp48-web.mark" in the temporary folder, holding its command line), so
   tests can see that the setup wrote it out and opened it, and exits 0. */
#include <windows.h>
#include <string.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;
  char folder[MAX_PATH + 1];
  DWORD length = GetTempPathA(sizeof folder, folder);
  if (length == 0 || length > MAX_PATH) return 0;
  char path[MAX_PATH + 32];
  strcpy(path, folder);
  strcat(path, "ndp48-web.mark");
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 0;
  const char* line = GetCommandLineA();
  DWORD written = 0;
  WriteFile(file, line, (DWORD)strlen(line), &written, NULL);
  CloseHandle(file);
  return 0;
}
