#include "pages.h"

// Placeholder until the pre-install page lands.
INT_PTR CALLBACK WizBeforeInstallDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
