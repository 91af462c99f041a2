// Whether the desktop application, the Vex agent or the platform's menu is
// running, found in a process snapshot; the first two can be ended.
#pragma once

// True when a process named exactly "DesktopApp.exe" runs. With terminate,
// every such process is ended and waited for (a few seconds at most).
bool IsDesktopAppRunning(bool terminate);
// The same for "vex.exe".
bool IsVexRunning(bool terminate);
// True when a "wrun32.exe" of the setup's own bitness has the platform menu's
// marker in its command line. Never ends anything; processes that cannot be
// read are skipped.
bool IsKorvalRunning();
