#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <sqlite3.h>

#include <atomic>

#include "constants.h"
#include "file_utils.h"
#include "log.h"
#include "network_share.h"

namespace testing_support {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  char tmp[MAX_PATH];
  GetTempPathA(MAX_PATH, tmp);
  do {
    path_ = std::string(tmp) + "zantest_" + std::to_string(GetCurrentProcessId()) + "_" +
            std::to_string(counter++) + "_" + std::to_string(GetTickCount()) + "\\";
  } while (!CreateDirectoryA(path_.c_str(), nullptr));
}

TempDir::~TempDir() { RemoveTree(path_); }

std::string TestData(const std::string& name) { return std::string(TEST_DATA_DIR_WIN) + "\\" + name; }

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

namespace {

FakeShares* g_shares = nullptr;

LPBYTE Hand(size_t bytes) {
  return static_cast<LPBYTE>(*g_shares->outstanding.insert(calloc(1, bytes)).first);
}

// Takes only a well-formed record, its access list Everyone, full control, inherited by all.
NET_API_STATUS WINAPI FakeAdd(LMSTR server, DWORD level, LPBYTE buffer, LPDWORD) {
  const SHARE_INFO_502& i = *reinterpret_cast<SHARE_INFO_502*>(buffer);
  if (server || level != 502 || i.shi502_type != STYPE_DISKTREE ||
      i.shi502_permissions != ACCESS_ALL || i.shi502_max_uses != DWORD(-1) ||
      i.shi502_current_uses || i.shi502_passwd || i.shi502_reserved ||
      DaclText(i.shi502_security_descriptor) != "D:(A;OICI;GA;;;WD)")
    return ERROR_INVALID_PARAMETER;
  g_shares->added = std::wstring(i.shi502_netname) + L"|" + i.shi502_path + L"|" + i.shi502_remark;
  return g_shares->addStatus;
}

NET_API_STATUS WINAPI FakeSetInfo(LMSTR server, LMSTR name, DWORD level, LPBYTE buffer, LPDWORD) {
  ++g_shares->setCalls;
  if (!server && level == 1005 && reinterpret_cast<SHARE_INFO_1005*>(buffer)->shi1005_flags == 0x30)
    g_shares->setName = name;
  return g_shares->setStatus;
}

// Levels 0 and 502; "more data" while pages remain. A failure hands a buffer too.
NET_API_STATUS WINAPI FakeEnum(LMSTR server, DWORD level, LPBYTE* buffer, DWORD, LPDWORD read,
                               LPDWORD total, LPDWORD resume) {
  ++g_shares->enumCalls;
  *read = 0;
  if (level != 0 && level != 502) return ERROR_INVALID_PARAMETER;
  const std::wstring key = server ? server : L"";
  g_shares->serversAsked.push_back(key);
  const size_t size = level ? sizeof(SHARE_INFO_502) : sizeof(SHARE_INFO_0);
  if (g_shares->enumFailure || g_shares->bogusCount) {
    *buffer = Hand(size);
    *read = g_shares->bogusCount;
    return g_shares->enumFailure;
  }
  auto it = g_shares->servers.find(key);
  if (it == g_shares->servers.end()) return ERROR_BAD_NETPATH;
  const size_t page = *resume;
  if (page >= it->second.size()) return NERR_Success;
  const std::vector<FakeShare>& shares = it->second[page];
  *buffer = Hand(size * shares.size());
  for (size_t i = 0; i < shares.size(); ++i) {  // both levels begin with the name
    auto* entry = reinterpret_cast<SHARE_INFO_502*>(*buffer + i * size);
    entry->shi502_netname = const_cast<LMSTR>(shares[i].name.c_str());
    if (level) entry->shi502_path = const_cast<LMSTR>(shares[i].path);
  }
  *read = *total = shares.size();
  *resume = page + 1;
  return page + 1 < it->second.size() ? ERROR_MORE_DATA : NERR_Success;
}

// Levels 0 and 1 (the type); a buffer even on failure.
NET_API_STATUS WINAPI FakeGetInfo(LMSTR server, LMSTR name, DWORD level, LPBYTE* buffer) {
  if (level > 1) return ERROR_INVALID_PARAMETER;
  *buffer = Hand(sizeof(SHARE_INFO_1));
  for (const auto& page : g_shares->servers[server ? server : L""])
    for (const FakeShare& share : page)
      if (share.name == name && share.type != kNoShareInfo) {
        reinterpret_cast<SHARE_INFO_1*>(*buffer)->shi1_type = share.type;
        return NERR_Success;
      }
  return NERR_NetNameNotFound;
}

NET_API_STATUS WINAPI FakeFree(LPVOID buffer) {
  if (!g_shares->outstanding.erase(buffer)) return ERROR_INVALID_PARAMETER;
  free(buffer);
  return NERR_Success;
}

BOOL WINAPI FakeAllocateSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0, DWORD s1,
                            DWORD s2, DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7,
                            PSID* sid) {
  SetLastError(g_shares->sidError);
  return !g_shares->sidError &&
         AllocateAndInitializeSid(authority, count, s0, s1, s2, s3, s4, s5, s6, s7, sid);
}

const NetShareCalls kFakeShareCalls = {&FakeAdd, &FakeSetInfo, &FakeEnum, &FakeGetInfo, &FakeFree,
                                       &FakeAllocateSid};

}  // namespace

namespace {

std::string g_writtenPath, g_opensSeen;
bool g_opensAsked = false;

BOOL WINAPI WriteAfterOpens(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                            LPOVERLAPPED overlapped) {
  const struct {
    const char* name;
    DWORD access;
  } opens[] = {{"read", GENERIC_READ}, {"write", GENERIC_WRITE}, {"delete", DELETE}};
  if (!g_opensAsked) {  // on the first piece only
    g_opensAsked = true;
    for (const auto& o : opens) {
      HANDLE other = CreateFileA(g_writtenPath.c_str(), o.access,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (other == INVALID_HANDLE_VALUE) continue;
      CloseHandle(other);
      g_opensSeen += (g_opensSeen.empty() ? "" : " ") + std::string(o.name);
    }
  }
  return WriteFile(file, data, size, written, overlapped);
}

}  // namespace

std::string OpensWhileWritten(const std::string& path, void (*write)()) {
  g_writtenPath = path;
  g_opensSeen.clear();
  g_opensAsked = false;
  SetWholeFileWriteForTesting(&WriteAfterOpens);
  write();
  SetWholeFileWriteForTesting(nullptr);
  return g_opensSeen;
}

void UseFakeShares(FakeShares* fake) {
  g_shares = fake;
  SetNetShareCallsForTesting(fake ? &kFakeShareCalls : nullptr);
}

}  // namespace testing_support
