// The wizard's message boxes (through one function, so in-process tests can
// answer them), its string resources and fonts.
#pragma once

#include <windows.h>

#include <string>

// The caption of the warnings and questions the pages ask.
constexpr char kWarningCaption[] = "Attenzione";
// The box asking to close the platform while it runs.
extern const char kPlatformRunningText[];

// MessageBoxA, never with the text as a format. Every box of the wizard goes
// through here, so in-process tests can answer.
int ShowBox(HWND owner, const std::string& text, const std::string& caption, UINT style);
// Test seam: the function ShowBox calls (null restores MessageBoxA).
using MessageBoxFunction = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
void SetMessageBoxForTesting(MessageBoxFunction function);

// The platform's runtime is running: logs it and asks the user to close it.
void AskToClosePlatform(HWND owner);
// Asks again after each OK while the runtime runs; `afterEachBox` (when
// given) runs after each box, e.g. an unpack thread's stop point.
void WaitForPlatformClosed(HWND owner, void (*afterEachBox)() = nullptr);

// Logs the line, shows the error box (no owner) and ends the run with -1.
[[noreturn]] void EndRunWithBox(const std::string& logLine, const std::string& text,
                                const std::string& caption, UINT extraStyle = 0);

// A "Tahoma" font of that height and weight (never deleted), set on the control.
HFONT SetTahomaFont(HWND dialog, int controlId, int height, int weight);
// The text of a string resource of the program; empty when it cannot be loaded.
std::string LoadStr(UINT id);
