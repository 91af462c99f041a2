// Static controls turned into links, and the two web pages the wizard opens.
#pragma once

#include <windows.h>

// Turns a static control into a hyperlink (hand cursor, underline on hover,
// blue text); the page reacts to its click itself. True.
BOOL ConvertStaticToHyperlink(HWND dialog, int controlId);
// Open the vendor's installation guide / Microsoft's .NET 4.8 download page.
void OpenInstallationGuide();
void OpenNetFrameworkDownloadPage();
