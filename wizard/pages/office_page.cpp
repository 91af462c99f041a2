#include "pages.h"

// Placeholder until the office page lands.
INT_PTR CALLBACK WizPmSelectDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
