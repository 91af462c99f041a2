#include "app.h"

// Placeholder until the start-up checks land.
bool CApp::Initialize() { return false; }
