#include "app.h"

// Placeholder until the desktop integration lands.
bool CApp::CreateDesktopShortcut() { return true; }
