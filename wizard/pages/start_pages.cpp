#include "pages.h"

// Placeholders until the start pages land.
INT_PTR CALLBACK WizReqNetFwNotMetDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
INT_PTR CALLBACK WizStartDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
INT_PTR CALLBACK WizNotSupportedDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
