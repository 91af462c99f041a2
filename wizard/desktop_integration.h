// What the final page leaves on the desktop and in the user's registry after
// every installation and restore: the "Servizi ZAN" shortcut to DesktopApp,
// the compatibility values of the platform's runtime, the Vex agent's autorun
// entry removed and the Vex executable repaired from DesktopApp's copy.
// None of them shows a message or stops the wizard; they log and return.
// CApp::CreateDesktopShortcut (app.h) is the fourth step.
#pragma once

#include <windows.h>

#include <string>

// Marks "<runtime folder>\wrun32.exe" as needing elevation for the processes
// it creates (both values under HKEY_CURRENT_USER). True when both keys were
// opened and both values written.
bool SetRunAsAdminCompatFlags();
// Deletes the value "Vex" of the user's Run key. False only when the key
// cannot be opened; a missing value is logged and still true.
bool RemoveVexFromAutorun();
// Replaces the Vex agent's "vex.exe" by the copy in DesktopApp's folder and
// deletes a leftover "new_vex.exe". The destination is replaced only by a
// complete copy; otherwise it stays as it was and a warning is logged.
void RepairVexExecutable();

// The same steps with their places as arguments -------------------------

// Where the shortcut goes: desktopFolder + "\" + name + ".lnk", or, when the
// desktop folder is unknown (empty), userProfile + "\Desktop\" + name + ".lnk".
std::string ShortcutPath(const std::string& desktopFolder, const std::string& userProfile,
                         const std::string& name);
// What PlaceShortcut did.
enum class ShortcutOutcome {
  Kept,      // a link of that name points elsewhere and stays
  Written,   // the link was (re)written
  Failed,    // writing it failed (nothing is reported to the user)
};
// Writes the link at linkPath (target, working folder, description) unless a
// link is already there whose target is not the Vex agent; a link to
// "vex.exe" (any case) is replaced, and restoreMode always rewrites.
ShortcutOutcome PlaceShortcut(const std::string& linkPath, const std::string& target,
                              const std::string& workingFolder, const std::string& description,
                              bool restoreMode);
// The compatibility values' name: runtimeBinPath + "\wrun32.exe" (the runtime
// folder as the final page leaves it, so its "\\HOME" doubling is kept).
std::string CompatValueName(const std::string& runtimeBinPath);
// The two compatibility keys, below HKEY_CURRENT_USER.
extern const char kCompatPersistedKey[];
extern const char kCompatLayersKey[];
// Writes the DWORD 2 under persistedKey and "ELEVATECREATEPROCESS" under
// layersKey, both named valueName, below root; closes both keys.
bool SetRunAsAdminCompatFlagsIn(HKEY root, const std::string& persistedKey,
                                const std::string& layersKey, const std::string& valueName);
// The user's Run key, below HKEY_CURRENT_USER.
extern const char kAutorunKey[];
bool RemoveVexFromAutorunIn(HKEY root, const std::string& runKey);
// The repair between two folders (each ending in "\").
void RepairVexExecutableIn(const std::string& desktopAppBin, const std::string& vexBin);
