#include "pages.h"

// Placeholder until the final page lands.
INT_PTR CALLBACK WizEndDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
