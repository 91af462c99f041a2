#include "sheet.h"

// Placeholder until the sheet lands.
int CApp::RunWizard(HINSTANCE, const std::string&) { return 0; }
