// The two unpack threads of the install chain and their progress display,
// and the handshake through which a confirmed Cancel stops them at a safe
// point before the run ends.
#pragma once

#include <windows.h>

#include <cstdint>

// Unpacks the Korval package into the office's platform folder, then runs
// install phase 5 on this thread. A failed unpacking shows its box, empties
// the platform folder and ends the process with the unpacking's code.
unsigned __stdcall KorvalDecompressionThread(void* unused);
// Unpacks the DesktopApp archive into the DesktopApp bin folder and presses
// Next. A file in use only warns; any other failure shows its box, empties the
// bin folder and ends the process with the unpacking's code.
unsigned __stdcall DesktopAppDecompressionThread(void* unused);

// Extract7z's progress callback on the unpacking thread: the install page's
// bar gets 0..total (32-bit range) at index, the text "NN% completato". The
// page is updated when what it shows changes: the range at an archive's first
// entry, bar and text at each new percentage, the bar at the last entry.
void DecompressionProgressCallback(uint32_t index, uint32_t total);

// Starts one of the procedures above with _beginthreadex and counts it as
// running until its body returns; the handle (never closed), or null when no
// thread could be had (then nothing runs and nothing is counted).
HANDLE StartUnpackThread(unsigned(__stdcall* procedure)(void*));

// True while an unpack thread runs (a thread stopped at a safe point counts as
// stopped, not running).
bool UnpackRunning();
// Asks every unpack thread to stop at its next safe point (between entries,
// before and after each unpacking, before install phase 5) and waits, handling
// messages sent to this thread meanwhile, up to `timeout` ms. True when no
// thread runs any more. Stopped threads stay parked until the process ends:
// they write nothing and send nothing more. A stop is for good: threads
// started later park at their first safe point.
bool StopUnpacking(DWORD timeout);
// A safe point: when a stop was asked, parks the calling unpack thread for
// good. Called by the threads and by install phase 5 on them.
void UnpackCheckpoint();
