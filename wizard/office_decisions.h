// The decisions behind choosing the office: which found installation stops
// the user, how a mapped share rewrites the records, the folder of a typed
// office code, the folder-and-code conflicts, the drive entries, the
// free-space checks and the reset of the user's workstation row. Pure
// functions over the records and texts; the pages show the boxes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings.h"

// The office page the user goes back to (Back on the drive and pre-install
// pages, No to the lock question): the new-office page for a typed code,
// else the office list.
int OfficePageTemplate(bool isNewOffice);

// A picked installation becomes the one being set up: its code, password
// field, workstation, kind, folders, register, flags and year (basePath and
// assignee are left as they are).
void TakePickedRecord(InstallRecord& current, const InstallRecord& picked);

// --- Office selection -------------------------------------------------------

// The entry above `picked` in the list (same office code, walking upwards
// while the code stays the same) whose year differs from the picked one: a
// newer platform of that office is installed already. Null when none, and
// when `picked` is not in the list.
const InstallRecord* NewerYearEntry(const InstallRecordList& records,
                                    const InstallRecord* picked);

// True for a folder that begins with two backslashes.
bool IsUncPath(const std::string& path);

// After `uncFolder` (ending with "\") was mapped to `drive` (ending with "\"):
// every record's rootPath, basePath, platformPath and sharedInfoPath that
// begins with `uncFolder` (case-sensitive) gets the drive in its place. The
// log lines, one per field changed, in the order made.
std::vector<std::string> RewriteUncPaths(InstallRecordList& records,
                                         const std::string& uncFolder,
                                         const std::string& drive);

// The register of a picked installation: the file it was read from, or its
// office folder + "ZAN_Shared\SharedInfo".
std::string RegisterPathOf(const InstallRecord& record);
// The folder holding a register file: the path without its last "\" and what
// follows.
std::string FolderOfFile(const std::string& path);

// --- New office code --------------------------------------------------------

// Makes `current` an empty authorised-office record marked new (code,
// password field, workstation and the three folders emptied; the year, the
// register path and the assignee are left as they are).
void ResetAsNewOffice(InstallRecord& current);

// What the office-code edit keeps: at most five characters.
std::string CutOfficeCode(const std::string& text);
// "0" in front until the code has five characters.
std::string PadOfficeCode(std::string code);

// The folder of a typed office code, from its leading decimal digits (0 when
// none): basePath + "\PM" + five digits, or "C:\ZAN\PM" + five digits without
// a basePath.
struct OfficeFolder {
  std::string rootPath;      // the folder and "\"
  std::string platformPath;  // the folder
};
OfficeFolder NewOfficeFolder(const std::string& basePath, const std::string& codeText);

enum class NewCodeVerdict {
  kAccepted,      // *paddedPm holds the code padded to five digits
  kInvalid,       // not one to five digits, or zero
  kAlreadyFound,  // a found installation (any year) has this code
};
// The Next check of a typed office code. An accepted form zero-pads the pm
// of every record (the records keep it) before they are compared.
NewCodeVerdict CheckNewOfficeCode(const std::string& text, InstallRecordList& records,
                                  std::string* paddedPm);

// --- Drive page and install requirements -------------------------------------

// One entry of the drive combo: the upper-cased letter, " (rete)" for a
// network drive; `selected` for the system drive only (never a network one).
struct DriveEntry {
  std::string text;
  bool selected = false;
};
std::vector<DriveEntry> DriveEntries(const std::vector<std::string>& driveRoots,
                                     const std::function<UINT(const std::string&)>& driveType,
                                     const std::string& systemDriveRoot);

// The folders for the chosen combo entry; nullopt when no entry is chosen
// (empty text), so the page stays until one is.
struct DriveChoice {
  std::string folder;    // "L:\ZAN\PM" + pm
  std::string basePath;  // "L:\ZAN"
};
std::optional<DriveChoice> ChooseDrive(const std::string& entryText, const std::string& pm);

enum class InstallConflictKind {
  kNone,
  kFolderOfOtherCode,  // the folder is registered for another office code
  kCodeElsewhere,      // the office code is registered in another folder
};
struct InstallConflict {
  InstallConflictKind kind = InstallConflictKind::kNone;
  std::string recordRootPath;  // of the conflicting record
  std::string recordPm;
};
// The two passes over the found installations for the folder `rootPath`
// (ending with "\") and office code `pm`: first any record of the same folder
// (ignoring case) with another code, then any record of the same code (exact)
// in another folder. Every record's rootPath gets its final "\" (kept).
InstallConflict FindInstallConflict(InstallRecordList& records, const std::string& rootPath,
                                    const std::string& pm);

// --- Pre-install checks -----------------------------------------------------

enum class SpaceCheckKind {
  kKorvalOnWindowsDrive,  // 750 MB: the installation shares the Windows drive
  kKorval,                // 525 MB: a new platform year on another drive
  kDesktopApp,            // 10 MB: DesktopApp on the Windows drive
};
struct SpaceCheck {
  SpaceCheckKind kind;
  std::string path;   // what CSetting::CheckDiskSpace measures
  uint32_t required;  // the free bytes must exceed it
  int megabytes;      // as the notice names it
};
// The free-space checks for an office folder, in the order they are made.
// `windowsFolder` as GetWindowsDirectoryA gives it; `platformName` "ZAN2025".
std::vector<SpaceCheck> FreeSpaceChecks(const std::string& rootPath,
                                        const std::string& windowsFolder,
                                        const std::string& anno,
                                        const std::string& platformName);
// Runs the checks in order through `enough` (CSetting::CheckDiskSpace on the
// page); the first refused one, or nullopt when all pass.
std::optional<SpaceCheck> FirstRefusedSpaceCheck(
    const std::vector<SpaceCheck>& checks,
    const std::function<bool(const std::string& path, uint32_t required)>& enough);
// The log line and the notice of a refused check.
std::string SpaceRefusalLog(const SpaceCheck& check);
std::string SpaceRefusalText(const SpaceCheck& check, const std::string& windowsFolder);

// Whether the user's workstation row is removed before the install: it exists
// for the platform year, is not valid any more, and the installation is of
// that year (so the row removed is the row that was found).
bool ShouldRemoveWorkpoint(bool found, bool notPending, const std::string& anno,
                           const std::string& year);
