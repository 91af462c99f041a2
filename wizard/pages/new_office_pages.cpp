#include "app.h"
#include "pages.h"

// Placeholders until the new office and drive pages land.
INT_PTR CALLBACK WizPmNewDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
INT_PTR CALLBACK WizSelectUnitDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
bool CApp::CheckInstallRequirements(const std::string&) { return true; }
