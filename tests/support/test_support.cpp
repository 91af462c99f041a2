#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "constants.h"
#include "log.h"

namespace testing_support {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  char tmp[MAX_PATH];
  GetTempPathA(MAX_PATH, tmp);
  for (;;) {
    char name[64];
    std::snprintf(name, sizeof name, "zantest_%lu_%u_%lu\\", GetCurrentProcessId(), counter++,
                  GetTickCount());
    path_ = std::string(tmp) + name;
    if (CreateDirectoryA(path_.c_str(), nullptr)) break;
  }
}

TempDir::~TempDir() { RemoveTree(path_); }

std::string TestData(const std::string& name) { return std::string(TEST_DATA_DIR_WIN) + "\\" + name; }

std::string ShareLocal() { return TestData("detect_unc") + "\\"; }

DWORD RunProgram(std::string command, const std::string& folder, DWORD timeoutMs) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;  // the program's output stays out of the test's
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process))
    return ~0u;
  DWORD code = ~0u;
  if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

LogCapture::LogCapture() : folder_(dir_.path().substr(0, dir_.path().size() - 1)) {
  SetLogFolderForTesting(folder_);
}

LogCapture::~LogCapture() { SetLogFolderForTesting(""); }

std::string LogCapture::Text() const {
  const std::string text = ReadBytes(folder_ + g_logFileName);
  // A log the code under test began anew holds new lines only.
  return text.compare(0, cleared_.size(), cleared_) == 0 ? text.substr(cleared_.size()) : text;
}

bool LogCapture::Has(const std::string& text) const {
  if (text.empty()) ADD_FAILURE() << "a log check for an empty text always holds";
  return !text.empty() && Text().find(text) != std::string::npos;
}

std::vector<std::string> LogCapture::Lines() const {
  std::vector<std::string> lines;
  const std::string text = Text();
  for (size_t start = 0, end; start < text.size(); start = end + 2) {
    end = std::min(text.find("\r\n", start), text.size());
    size_t from = text.find("] ", start);
    from = from < end ? from + 2 : start;
    lines.push_back(text.substr(from, end - from));
  }
  return lines;
}

void LogCapture::Clear() { cleared_ = ReadBytes(folder_ + g_logFileName); }

std::string DaclText(PSECURITY_DESCRIPTOR sd) {
  char* text = nullptr;
  if (!sd || !ConvertSecurityDescriptorToStringSecurityDescriptorA(
                 sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
    return "?";
  std::string out = text;
  LocalFree(text);
  return out;
}

RegisterDb::RegisterDb(const std::string& path) {
  EXPECT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db_)) << path;
  sqlite3_busy_timeout(db_, 5000);
}

RegisterDb::~RegisterDb() { sqlite3_close(db_); }

void RegisterDb::Exec(const std::string& sql) {
  EXPECT_EQ(SQLITE_OK, sqlite3_exec(db_, sql.c_str(), 0, 0, 0)) << sql << sqlite3_errmsg(db_);
}

std::string RegisterDb::Query(const std::string& sql, const std::vector<std::string>& params) {
  std::string out;
  sqlite3_stmt* st = nullptr;
  EXPECT_EQ(SQLITE_OK, sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr)) << sql;
  for (size_t i = 0; i < params.size(); ++i)
    sqlite3_bind_text(st, int(i + 1), params[i].data(), int(params[i].size()), SQLITE_TRANSIENT);
  for (int row = 0; sqlite3_step(st) == SQLITE_ROW; ++row) {
    for (int c = 0; c < sqlite3_column_count(st); ++c) {
      out += c ? "|" : row ? "\n" : "";
      if (const void* p = sqlite3_column_blob(st, c))
        out.append(static_cast<const char*>(p), size_t(sqlite3_column_bytes(st, c)));
    }
  }
  sqlite3_finalize(st);
  return out;
}

void RegisterDb::CreateTables() {
  Exec("CREATE TABLE IF NOT EXISTS meta (key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value "
       "LONGVARCHAR); CREATE TABLE IF NOT EXISTS Workpoint (idWorkpoint INTEGER PRIMARY KEY "
       "AUTOINCREMENT, pm TEXT, pwd BLOB, pdl INTEGER, assignee TEXT, path TEXT, creationtime "
       "INTEGER DEFAULT 0); CREATE TABLE IF NOT EXISTS Workpoint_SwExt (idWorkpoint INTEGER, "
       "idSwExt INTEGER); CREATE TABLE IF NOT EXISTS SwExt (idSwExt INTEGER PRIMARY KEY "
       "AUTOINCREMENT, software TEXT, anno TEXT, cmdline TEXT, arguments TEXT);");
}

int RegisterDb::AddSoftware(const std::string& software, const std::string& anno) {
  Query("INSERT INTO SwExt (software, anno, cmdline, arguments) VALUES (?, ?, "
        "'\\home\\BIN\\wrun32.exe', 'args')", {software, anno});
  return static_cast<int>(sqlite3_last_insert_rowid(db_));
}

int RegisterDb::AddWorkpoint(int idSwExt, const std::string& pm, const std::string& storedPwd,
                             long long pdl, const std::string& assignee, const std::string& path) {
  Query("INSERT INTO Workpoint (pm, pwd, pdl, assignee, path) VALUES (?, ?, ?, ?, ?)",
        {pm, storedPwd, std::to_string(pdl), assignee, path});
  const int id = static_cast<int>(sqlite3_last_insert_rowid(db_));
  Query("INSERT INTO Workpoint_SwExt VALUES (?, ?)", {std::to_string(id), std::to_string(idSwExt)});
  return id;
}

std::string Scrambled(std::string password) {
  static const char kKey[] = "ZAN-shared";
  for (size_t i = 0; i < password.size(); ++i)
    password[i] = static_cast<char>(password[i] ^ kKey[i % 10]);
  return password;
}

bool AddWorkstation(const std::string& officeFolder, const std::string& pm,
                    const std::string& anno, const std::string& assignee) {
  MakeFolders(officeFolder + "ZAN_Shared");
  RegisterDb db(officeFolder + "ZAN_Shared\\SharedInfo");
  db.CreateTables();
  const std::string year = "SELECT idSwExt FROM SwExt WHERE software = 'KORVAL' AND anno = ?";
  std::string id = db.Query(year, {anno});
  if (id.empty()) id = std::to_string(db.AddSoftware("KORVAL", anno));
  const std::string next = db.Query(
      "SELECT count(*) + 1 FROM Workpoint w JOIN Workpoint_SwExt ws ON w.idWorkpoint = "
      "ws.idWorkpoint WHERE w.pm = ? AND ws.idSwExt = ?", {pm, id});
  const int added = db.AddWorkpoint(std::stoi(id), pm, Scrambled("segreto"), std::stoll(next),
                                    assignee, officeFolder);
  return db.Query("SELECT count(*) FROM Workpoint w JOIN Workpoint_SwExt ws ON w.idWorkpoint = "
                  "ws.idWorkpoint WHERE w.idWorkpoint = ? AND w.pdl = ?",
                  {std::to_string(added), next}) == "1";
}

}  // namespace testing_support
