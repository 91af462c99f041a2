#include <windows.h>

// Placeholder until the entry point lands.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
