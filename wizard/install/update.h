// The setup's own update: the please-wait dialog that blocks the wizard while
// the server is asked, and the replacement of the running executable by a
// newer one from the downloaded package. The decisions and file steps of the
// replacement are here on their own so they can be checked without a restart.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CApp;

// The please-wait dialog (template 154). Its close box is ignored: the dialog
// ends only through the update steps.
INT_PTR CALLBACK WaitDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Hide, show again and end (result 1) the please-wait dialog; nothing happens
// when it is not open.
void HideWaitDialog(CApp& app);
void ShowWaitDialog(CApp& app);
void EndWaitDialog(CApp& app);

// The temporary folder + "NewSetupExe" (no trailing "\").
std::string UpdateFolder();

// Empties the update folder (or removes a file of its name) and makes sure
// the folder exists, empty. 0, or the Windows error of the step that failed.
DWORD PrepareUpdateFolder(const std::string& folder);

// Whether an unpacked setup may replace the running one.
enum class NewSetupVerdict { Replace, Missing, NoVersion, NotNewer };
// `exists`: the file is in the update folder; `newVersion` empty when its
// product version could not be read. Only a strictly higher version replaces:
// an older or equal one would start the same update again on every run.
NewSetupVerdict JudgeNewSetup(bool exists, const std::vector<std::string>& newVersion,
                              const std::vector<std::string>& ownVersion);

// Puts `newSetup` at `exe`, keeping the old file as folder + "old_" + name: a
// stale "old_" file is deleted first, the executable renamed, the new one
// copied, and the old file renamed back when the copy fails. Each step is
// logged, a failed one as a warning (a failed rename back, which leaves no
// setup under its name, as an error). 0, or the Windows error of the failed
// step (nothing left changed, except a stale "old_" file already deleted).
DWORD ReplaceExecutable(const std::string& exe, const std::string& newSetup);

// The command line of the new setup: its quoted path, a blank and the switches
// of this run, so they reach it as switches and not as its program name.
std::string NewSetupCommandLine(const std::string& newSetup, const std::string& switches);
