#include "app.h"

// Placeholders until the self-update lands.
void CApp::CheckForUpdate() {}
void CApp::DownloadSetupUpdate() {}
DWORD CApp::ApplySetupUpdate() { return 0; }
