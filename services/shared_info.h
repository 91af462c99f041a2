// The office's SharedInfo register: the SQLite file "ZAN_Shared\SharedInfo" in
// the office folder, shared by every PC of the office, listing its workstations
// per platform year. Creation, workstation records, reading and year copies.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Result codes of the register operations.
enum SharedInfoResult {
  kSharedInfoOk = 0,
  // Empty path, empty or out-of-range argument, or a register error (logged).
  kSharedInfoError = 1,
  // The register file cannot be opened for reading (missing or inaccessible).
  kSharedInfoCannotOpen = 14,
};

// One workstation row joined with the software row of its year.
struct WorkpointRecord {
  int32_t idSwExt = 0;
  int32_t idWorkpoint = 0;
  std::string pm;         // office code
  std::string pwd;        // password field, unscrambled
  std::string pdl;        // workstation number as text
  std::string assignee;   // computer name + "\" + user name
  int32_t anno = 0;       // platform year
  std::string path;       // office folder, ending in "\"
  std::string cmdline;    // runtime, relative to the year's platform folder
  std::string arguments;
  // 1: another user's row, or the current user's row complete on this PC;
  // 0: the current user's row that must be set up again.
  uint8_t notPending = 0;
};

// Scrambles (and, applied again, unscrambles) the password field: byte i XOR
// key byte (i mod 10). Same length as the input.
std::string XorScramble(const std::string& text);

// Creates the register file if missing and any of its four tables that is
// missing. Never returns 14.
int CreateSharedInfo(const std::string& registerPath);

// Finds the software row of year `anno`, adding it when missing; its id in
// *idSwExt (0 on a register error).
int CheckInstallation(const std::string& registerPath, const std::string& anno,
                      int* idSwExt);

// Adds a workstation of office `pm` to the year of `idSwExt` with the next free
// number, linked to that year. Empty assignee: the current user. All or nothing.
int AddPdlEntry(const std::string& registerPath, const std::string& pm,
                const std::string& pwd, int idSwExt, const std::string& path,
                const std::string& assignee = std::string());

// *found = whether the user (empty: the current user) has a workstation of
// office `pm` in `year` (2015 or later). *found is untouched on argument errors.
int ExistValidInstall(const std::string& registerPath, const std::string& pm,
                      int year, bool* found,
                      const std::string& assignee = std::string());

// Removes the current user's workstations of office `pm` in year `anno`, with
// their links. Software rows and other users' rows stay.
int RemoveWorkpoint(const std::string& registerPath, const std::string& pm,
                    const std::string& anno);

// Replaces `records` with the workstations of years `year` and `year` - 1: the
// current user's first (notPending set from this PC's files), then everyone
// else's. 14 leaves `records` untouched; a register error empties it.
int ParseSharedInfo(const std::string& registerPath, int year,
                    std::vector<WorkpointRecord>& records);

// Copies office `pm`'s workstations into the years where they are missing: every
// user's into `year`, the current user's into every year from 2016 to `year`.
// *copied = whether any copy was made. A year whose software row cannot be found
// or added is skipped (logged) and the result is then 1.
int DuplicateEntireYear(const std::string& registerPath, const std::string& pm,
                        const std::string& year, bool* copied);

// Test seam: where the current user's assignee text comes from (null restores
// GetComputerUserName).
void SetCurrentUserSourceForTesting(std::string (*source)());
// Test seam: called with the register path once an operation found the file
// readable, before it opens the database (null: nothing).
void SetRegisterCheckedHookForTesting(void (*hook)(const std::string& path));
