// Helpers shared by the in-process test programs: scratch folders that clean
// up after themselves, the fixture folder, access lists as text, the setup
// log captured, office registers written and read straight through SQLite,
// and the share calls faked (file helpers in files.h).
#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "files.h"

struct sqlite3;

namespace testing_support {

// A new empty folder under the Wine prefix's temporary folder, removed with its
// content when the object goes. path() ends with "\".
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// A file made by a test fixture, as a Windows path.
std::string TestData(const std::string& name);

// The network path, "\"-ended, of the share the detect_unc fixture serves
// from the test-data folder of that name.
const char kShareRoot[] = "\\\\detectsrv\\offices\\";

// A security descriptor's access list in SDDL text; "?" when it cannot be had.
std::string DaclText(PSECURITY_DESCRIPTOR sd);

// Points the setup log at a scratch folder of its own for the life of the
// object (test programs run in parallel), and reads it back.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  // The log folder (no trailing "\").
  const std::string& folder() const { return folder_; }
  std::string Text() const;
  // Whether the log holds the text; an empty text is a mistake of the test.
  bool Has(const std::string& text) const;
  // Later reads see only the lines written after this call. The file stays:
  // deleting it races with a writer that has it open (its lines would go
  // with the deleted file).
  void Clear();

 private:
  TempDir dir_;
  std::string folder_;
  std::string cleared_;  // the log as it stood at Clear()
};

// An office register read and written through a raw SQLite connection that
// shares no code with the setup's register operations.
class RegisterDb {
 public:
  // Opens the file, creating it when missing.
  explicit RegisterDb(const std::string& path);
  ~RegisterDb();
  RegisterDb(const RegisterDb&) = delete;
  RegisterDb& operator=(const RegisterDb&) = delete;
  void Exec(const std::string& sql);
  // Every byte of each value: columns joined by "|", rows by "\n".
  std::string Query(const std::string& sql, const std::vector<std::string>& params = {});
  // The platform's four tables, those missing.
  void CreateTables();
  // A software row; its id.
  int AddSoftware(const std::string& software, const std::string& anno);
  // A workstation (pwd stored as given) linked to the software row; its id.
  int AddWorkpoint(int idSwExt, const std::string& pm, const std::string& storedPwd, long long pdl,
                   const std::string& assignee, const std::string& path = "C:\\S\\");

 private:
  sqlite3* db_ = nullptr;
};

// A password as the register stores it: each byte XOR the ten key bytes,
// written out here so that a change of the setup's key shows.
std::string Scrambled(std::string password);

// Adds a workstation of office `pm` in year `anno` to the register of the
// office folder ("\"-ended), made with its folder when missing: the year's
// KORVAL row when missing, the password "segreto", the next number of the
// office and year. False when the register cannot be written.
bool AddWorkstation(const std::string& officeFolder, const std::string& pm,
                    const std::string& anno, const std::string& assignee);

// The setup's share calls answered from a table of shares per server (""
// the local machine), one page per enumeration call; every buffer handed out
// is tracked until the setup releases it.
struct FakeShare {
  std::wstring name;
  const wchar_t* path;  // null: an entry without a path
  DWORD type;           // kNoShareInfo: the share's information cannot be had
};
const DWORD kNoShareInfo = 0xFFFFFFFF;
struct FakeShares {
  std::map<std::wstring, std::vector<std::vector<FakeShare>>> servers;
  DWORD addStatus = 0, setStatus = 0, enumFailure = 0;
  DWORD bogusCount = 0;  // non-zero: the count an enumeration claims, whatever it holds
  DWORD sidError = 0;    // non-zero: no identifier can be built
  int setCalls = 0, enumCalls = 0;
  std::wstring added;    // name|path|remark of a share added with a well-formed record
  std::wstring setName;  // the share whose offline caching was switched off
  std::vector<std::wstring> serversAsked;  // by the enumerations
  std::set<void*> outstanding;             // buffers not released yet
};
// Points the setup's share calls at `fake`; nullptr restores the real calls.
void UseFakeShares(FakeShares* fake);

// Which other opens of `path` succeed while the setup's whole-file writer is
// writing it, during `write` (through the writer's write seam): "read",
// "write" and "delete", each asked for sharing everything, joined by blanks.
std::string OpensWhileWritten(const std::string& path, void (*write)());

}  // namespace testing_support
