#include "pages.h"

// Placeholder until the install page lands.
INT_PTR CALLBACK WizInstallDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
