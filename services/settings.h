// The installation environment of one run (platform name and year, drives,
// path templates) and the installations of the platform found on this PC and
// in the offices' registers, with the record order the office list uses.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One installation of the platform, found (on disk or in a register) or being
// created. Texts start empty, `type` 0 and every flag false; each creator sets
// what it knows.
struct InstallRecord {
  InstallRecord();
  ~InstallRecord();

  std::string pm;              // office code, five digits ("00012")
  std::string pwd;             // office password field, up to 8 characters
  std::string pdl;             // workstation number; empty when found on disk
  std::string anno;            // platform year, "2025"
  std::string platformPath;    // rootPath + "ZAN" + anno, no final "\"
  std::string rootPath;        // office folder, ends with "\"
  std::string basePath;        // drive chosen on the drive page + ":\ZAN"
  std::string sharedInfoPath;  // register the record was read from
  std::string assignee;        // "computer\user" owning the workstation
  int32_t type = 0;            // 1 authorised office, 2 peripheral unit
  bool isNewOffice = false;
  bool fromSharedInfo = false;
  bool notPending = false;
};

using InstallRecordList = std::vector<std::unique_ptr<InstallRecord>>;

// Record order of the office list: office code ascending, year descending,
// platform folder ascending, the current user's record first, workstation
// number ascending. True when a sorts before b.
bool ComparePmRecords(const InstallRecord& a, const InstallRecord& b);
// Sorts a record list with ComparePmRecords (moves pointers only).
void SortPmRecords(InstallRecordList& records);

// Test seam for the drive calls: the two GetDiskList makes and the free-space
// call of CheckDiskSpace.
struct DriveApi {
  DWORD(WINAPI* getLogicalDriveStrings)(DWORD, LPSTR);
  UINT(WINAPI* getDriveType)(LPCSTR);
  BOOL(WINAPI* getDiskFreeSpaceEx)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
};
// Replaces the calls (nullptr restores the real ones).
void SetDriveApiForTesting(const DriveApi* api);

class CSetting {
 public:
  CSetting();
  ~CSetting();
  CSetting(const CSetting&) = delete;
  CSetting& operator=(const CSetting&) = delete;

  // LoadInf, GetDiskList, then systemDriveRoot; the GetDiskList result (0).
  uint32_t Load();
  // Fills the environment texts; logs and passes on any failure. 0.
  uint32_t LoadInf();
  // Appends the fixed, removable and remote drive roots to `drives`; 0.
  uint32_t GetDiskList();
  // True when the drive (or share, for \\server\share\...) of the path has
  // more than `required` free bytes; stores the free bytes in freeBytes.
  bool CheckDiskSpace(const std::string& path, uint32_t required);
  // False for a negative index; true when both register records have the same
  // pm, anno and pdl.
  bool SameRecord(int32_t i, int32_t j) const;
  bool HasPendingRecordForCurrentYear() const;
  bool HasPendingSharedInfoRecord() const;
  bool HasDiskScanRecords() const;

  // Start-up search for earlier installations on every drive of `drives`:
  // fills desktopAppPath, diskScanRecords and (through ReadSharedInfo)
  // sharedInfoRecords. 0 when it ran to its end, 1 after a failure.
  int CheckForPreviousPlatform();
  // Sets desktopAppPath to the DesktopApp "bin" folder found, if any.
  void FindDesktopApp();
  // Reads section "DATA", key "PROT" of a ZANOLINF.TXT; true when non-empty,
  // and then the record's pm and pwd are set from it.
  bool ReadProtFromInf(const std::string& path, InstallRecord& record);
  // Reads the register of an office folder once per distinct content and
  // records its workstations of `registerYear` and the year before. 14 empty folder,
  // 2 no register, 52 same content read before, else the parse result.
  int ReadSharedInfo(const std::string& folder, int registerYear);

  std::string systemDrive;
  std::string platformName;
  std::string installRoot;
  std::string runtimeExePath;
  std::string runtimeBinPath;
  std::string companyName;
  std::string year;
  std::string systemDriveRoot;
  uint64_t freeBytes = 0;
  InstallRecord current;
  std::string desktopAppPath;
  InstallRecordList sharedInfoRecords;
  InstallRecordList diskScanRecords;
  std::vector<std::string> sharedInfoFiles;
  std::vector<std::string> drives;
};
