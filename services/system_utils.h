// System utilities: the .NET Framework 4.8 test, processor data, writing a
// resource of type "BINARY" out to a file, opening a file with the shell and
// placing a window on the screen. Stateless; nothing here throws.
#pragma once

#include <windows.h>

#include <string>

// True when HKLM "SOFTWARE\Microsoft\NET Framework Setup\NDP\v4\Full" holds a
// DWORD "Release" of 528040 or more (registry view of the process).
bool IsNetFramework48Installed();

// Reads "~MHz" and "ProcessorNameString" of the first processor. Returns the
// registry error of opening the key (both outputs untouched) or 0. A speed that
// cannot be read leaves *mhz unchanged; a name that cannot be read is empty.
int GetProcessorInfo(double* mhz, std::string* name);

// Writes the resource of type "BINARY" with this id, from the executable, to
// the temporary folder + fileName (a plain file name), replacing an existing
// file, and stores that path in *path. False when the resource is missing or
// empty, or the file cannot be written whole (a partial file is deleted).
bool ExtractBinaryResource(WORD resourceId, const std::string& fileName, std::string* path);

// ShellExecuteA "open" of the path, shown; the ShellExecuteA result (above 32
// on success).
HINSTANCE OpenWithShell(const std::string& path);

// Moves the window to the screen centre, or to the lower-right corner with
// room for the taskbar; a null window is left alone.
void PlaceWindow(HWND window, bool corner);

// Where PlaceWindow puts a window of this size on a screen of this size;
// negative coordinates become 0.
POINT WindowPlacement(int screenWidth, int screenHeight, int windowWidth, int windowHeight,
                      bool corner);
