#include "app.h"

// Placeholders until the install chain lands.
void CApp::InstallPhase1() {}
void CApp::InstallPhase2() {}
void CApp::InstallPhase3() {}
void CApp::InstallPhase4() {}
void CApp::InstallPhase5() {}
void CApp::RestorePhase() {}
