#include "app.h"

// Placeholders until download completion lands.
void CApp::OnDownloadStarted(WininetWrapper*, DWORD) {}
void CApp::OnDownloadProgress(WininetWrapper*, DWORD) {}
void CApp::OnDownloadComplete(WininetWrapper*) {}
