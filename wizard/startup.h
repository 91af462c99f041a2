// The decisions of the start-up step: what the command line's switches ask
// for, and the installation being set up before any page is shown.
#pragma once

#include <string>

#include "settings.h"

// The help of the "?" switch (also after a command line without "/").
extern const char kCommandLineHelp[];

// What a command line asks for. The line is upper-cased and split at "/"; the
// text before the first "/" is ignored; every later piece, trimmed of blanks,
// is compared exactly with each switch.
struct CommandLineSwitches {
  enum Outcome {
    kEmpty,    // no command line at all
    kOk,       // switches read (possibly none matched)
    kNoSlash,  // a non-empty line without "/": the error box, the run ends
    kHelp,     // "?": the help box, the run ends; later pieces are not read
  };
  Outcome outcome = kEmpty;
  bool peripheralUnit = false;  // "UP"
  bool skipUpdate = false;      // "SKIPUPDATE"
  bool skipPermission = false;  // "SKIPPERMISSION"
  bool noDiscovery = false;     // "NODISCOVERY"
  int environment = 0;          // the last of "DEV" / "TEST1", else the default
};
CommandLineSwitches ParseSwitches(const std::string& cmdLine, int defaultEnvironment);

// The installation being set up, as start-up leaves it: the defaults (type 1,
// both folders installRoot), and when the register gave exactly one record,
// that record's pm, pwd, type, folders and pending state.
void ResetCurrentInstall(CSetting& setting);

// The network share discovery's thread entry, as the start-up step starts it:
// a failure escaping the walk ends the run with its box instead of taking the
// process down without a word.
unsigned __stdcall DiscoveryThreadEntry(void* parameter);
