#include "shared_info.h"

#include <share.h>
#include <sqlite3.h>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>

#include <windows.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <exception>

#include "file_utils.h"
#include "log.h"
#include "text_utils.h"

namespace {

// The key of the pwd column. Every PC of the office and the installed platform
// scramble with the same ten bytes, so a deployment for another platform sets
// its own key here and nowhere else.
const unsigned char kPwdScrambleKey[10] = {0x5A, 0x41, 0x4E, 0x2D, 0x73,
                                           0x68, 0x61, 0x72, 0x65, 0x64};

const int kBusyTimeoutMs = 500;
const int kOpenReadOnly = SQLITE_OPEN_READONLY;
const int kOpenReadWrite = SQLITE_OPEN_READWRITE;
const int kOpenCreate = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;

const char kSoftware[] = "KORVAL";

// SQLite takes file names as UTF-8, the setup's paths are text of the ANSI
// code page: an office folder with an accented name would otherwise not open,
// or a register be created under another name.
std::string SqliteFileName(const std::string& path) {
  const std::wstring wide = AnsiToWide(path);
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string utf8(size > 0 ? size : 0, '\0');
  if (size > 0)
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), &utf8[0], size,
                        nullptr, nullptr);
  return utf8;
}

// Whether a row belongs to a user; seven parameters, all the user text, the
// first one escaped for LIKE so that "%" and "_" in a user name match only
// themselves.
const char kAssigneePredicate[] =
    "((w.assignee LIKE ? ESCAPE '!') OR (lower(w.assignee) = lower(?)) OR (w.assignee = ?) OR "
    "(lower(substr(assignee, instr(assignee, '\\'))) = lower(substr(?, instr(?, '\\'))) AND "
    "substr(assignee, 1, instr(assignee, '\\')) = substr(?, 1, instr(?, '\\'))))";

const char kInsertWorkpoint[] =
    "INSERT INTO Workpoint (pm, pwd, pdl, assignee, path, creationtime) "
    "VALUES (?, ?, ?, ?, ?, datetime('now'))";
const char kInsertLink[] = "INSERT INTO Workpoint_SwExt (idWorkpoint, idSwExt) VALUES (?, ?);";

// A workstation link found for removal: idSwExt and idWorkpoint as text.
struct WorkpointKey {
  std::string idSwExt;
  std::string idWorkpoint;
};

std::string (*g_currentUserSource)() = nullptr;
void (*g_registerCheckedHook)(const std::string& path) = nullptr;

std::string CurrentUser() {
  if (g_currentUserSource) return g_currentUserSource();
  // Neither the computer name nor the process's user changes while it runs,
  // and the start-up search parses many registers.
  static const std::string user = GetComputerUserName();
  return user;
}

// The register exists and can be read: opened with shared access and closed.
bool CanOpenForReading(const std::string& path) {
  if (path.empty()) return false;
  FILE* f = _fsopen(path.c_str(), "rb", _SH_DENYNO);
  if (!f) return false;
  std::fclose(f);
  if (g_registerCheckedHook) g_registerCheckedHook(path);
  return true;
}

// The register operations catch every failure, not only SQLite's: a register
// reached over the network may hold more than memory takes (std::bad_alloc),
// and nothing may escape into the wizard's message handling. The message can
// carry the register's own text (a trigger's RAISE, a name from its schema),
// so it is quoted like any other value read from it.
std::string MessageOf(const std::exception& e) {
  const char* what = e.what();
  return (what && *what) ? QuoteSharedText(what) : std::string("Unknown exception");
}

void LogAccessError(const std::exception& e, const char* operation) {
  Log("[* WARN] Exception " + MessageOf(e) + " during database access in " + operation);
}

std::string EscapeLike(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 4);
  for (char c : text) {
    if (c == '%' || c == '_' || c == '!') out += '!';
    out += c;
  }
  return out;
}

// Binds the user text to the predicate's seven parameters from `first` on.
void BindAssignee(SQLite::Statement& query, int first, const std::string& user) {
  query.bind(first, EscapeLike(user));
  for (int i = 1; i < 7; ++i) query.bind(first + i, user);
}

// A column's bytes with their full stored length; SQL NULL gives "".
std::string ColumnBytes(const SQLite::Column& column) {
  const char* data = static_cast<const char*>(column.getBlob());
  const int size = column.getBytes();
  return (data && size > 0) ? std::string(data, static_cast<size_t>(size)) : std::string();
}

int32_t LastInsertId(SQLite::Database& db) {
  return static_cast<int32_t>(sqlite3_last_insert_rowid(db.getHandle()));
}

// A write transaction taken at once (so two PCs never both read the same state
// and then write), rolled back unless committed.
class WriteTransaction {
 public:
  explicit WriteTransaction(SQLite::Database& db) : db_(db) { db_.exec("BEGIN IMMEDIATE"); }
  ~WriteTransaction() {
    if (!committed_) sqlite3_exec(db_.getHandle(), "ROLLBACK", nullptr, nullptr, nullptr);
  }
  WriteTransaction(const WriteTransaction&) = delete;
  WriteTransaction& operator=(const WriteTransaction&) = delete;
  void Commit() {
    db_.exec("COMMIT");
    committed_ = true;
  }

 private:
  SQLite::Database& db_;
  bool committed_ = false;
};

// Inserts a Workpoint row and its link, inside the caller's transaction; the
// new row's id. `pdl` is bound as given: a number or a copied column's text.
template <typename Pdl>
int32_t InsertWorkpointAndLink(SQLite::Database& db, const std::string& pm,
                               const std::string& storedPwd, const Pdl& pdl,
                               const std::string& assignee, const std::string& path,
                               int idSwExt) {
  SQLite::Statement insert(db, kInsertWorkpoint);
  insert.bind(1, pm);
  insert.bind(2, storedPwd);
  insert.bind(3, pdl);
  insert.bind(4, assignee);
  insert.bind(5, path);
  insert.exec();
  const int32_t id = LastInsertId(db);
  SQLite::Statement link(db, kInsertLink);
  link.bind(1, id);
  link.bind(2, idSwExt);
  link.exec();
  return id;
}

// A user's workstations of one office in one year, `columns` chosen by the
// caller; bound by BindUserWorkstations.
std::string UserWorkstationsQuery(const char* columns) {
  return std::string("SELECT DISTINCT ") + columns +
         " FROM Workpoint w, Workpoint_SwExt ws, SwExt s WHERE w.idWorkpoint = ws.idWorkpoint "
         "AND ws.idSwExt = s.idSwExt AND s.software = ? AND s.anno = ? AND w.pm = ? AND " +
         kAssigneePredicate;
}

template <typename Year>
void BindUserWorkstations(SQLite::Statement& query, const Year& year, const std::string& pm,
                          const std::string& user) {
  query.bind(1, kSoftware);
  query.bind(2, year);
  query.bind(3, pm);
  BindAssignee(query, 4, user);
}

WorkpointRecord ReadRecord(SQLite::Statement& query) {
  WorkpointRecord r;
  r.idSwExt = query.getColumn(0).getInt();
  r.idWorkpoint = query.getColumn(1).getInt();
  r.pm = ColumnBytes(query.getColumn(2));
  r.pwd = XorScramble(ColumnBytes(query.getColumn(3)));
  r.pdl = ColumnBytes(query.getColumn(4));
  r.assignee = ColumnBytes(query.getColumn(5));
  r.anno = query.getColumn(6).getInt();
  r.path = ColumnBytes(query.getColumn(7));
  r.cmdline = ColumnBytes(query.getColumn(8));
  r.arguments = ColumnBytes(query.getColumn(9));
  return r;
}

// path + "ZAN" + year + the command line up to "\wrun" + "\wrun32.exe".
std::string RuntimePath(const WorkpointRecord& r) {
  const size_t cut = r.cmdline.find("\\wrun");
  const std::string folder = cut == std::string::npos ? r.cmdline : r.cmdline.substr(0, cut);
  return r.path + "ZAN" + IntToString(r.anno) + folder + "\\wrun32.exe";
}

const char kRecordColumns[] =
    "SELECT ws.idSwExt, w.idWorkpoint, w.pm, w.pwd, w.pdl, w.assignee, s.anno, w.path, "
    "s.cmdline, s.arguments FROM Workpoint w, Workpoint_SwExt ws, SwExt s "
    "WHERE w.idWorkpoint = ws.idWorkpoint AND ws.idSwExt = s.idSwExt AND s.software = ? "
    "AND (s.anno = ? OR s.anno = ?)";

}  // namespace

void SetCurrentUserSourceForTesting(std::string (*source)()) { g_currentUserSource = source; }

void SetRegisterCheckedHookForTesting(void (*hook)(const std::string& path)) {
  g_registerCheckedHook = hook;
}

std::string XorScramble(const std::string& text) {
  std::string out(text);
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char>(static_cast<unsigned char>(out[i]) ^ kPwdScrambleKey[i % 10]);
  return out;
}

int CreateSharedInfo(const std::string& registerPath) {
  if (registerPath.empty()) return kSharedInfoError;
  static const char* const kTables[][2] = {
      {"meta", "CREATE TABLE meta (key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);"},
      {"Workpoint",
       "CREATE TABLE Workpoint (idWorkpoint INTEGER PRIMARY KEY AUTOINCREMENT, pm TEXT, pwd BLOB, "
       "pdl INTEGER, assignee TEXT, path TEXT, creationtime INTEGER DEFAULT 0);"},
      {"Workpoint_SwExt", "CREATE TABLE Workpoint_SwExt (idWorkpoint INTEGER, idSwExt INTEGER);"},
      {"SwExt",
       "CREATE TABLE SwExt (idSwExt INTEGER PRIMARY KEY AUTOINCREMENT, software TEXT, anno TEXT, "
       "cmdline TEXT, arguments TEXT);"},
  };
  try {
    SQLite::Database db(SqliteFileName(registerPath), kOpenCreate, kBusyTimeoutMs);
    for (const auto& table : kTables) {
      if (!db.tableExists(table[0])) db.exec(table[1]);
    }
    return kSharedInfoOk;
  } catch (const std::exception& e) {
    Log("[* WARN] Sqlite exception " + MessageOf(e) + " in CreateSharedInfo");
    return kSharedInfoError;
  }
}

int CheckInstallation(const std::string& registerPath, const std::string& anno, int* idSwExt) {
  if (registerPath.empty()) return kSharedInfoError;
  if (!CanOpenForReading(registerPath)) return kSharedInfoCannotOpen;
  if (anno.empty() || !idSwExt) return kSharedInfoError;
  try {
    // Without the create flag: a register that went away since the check above
    // must not come back empty.
    SQLite::Database db(SqliteFileName(registerPath), kOpenReadWrite, kBusyTimeoutMs);
    // Find-or-insert under the write lock: two PCs never add the same year twice.
    WriteTransaction transaction(db);
    SQLite::Statement query(db,
                            "SELECT idSwExt FROM SwExt WHERE anno = ? AND software = 'KORVAL' "
                            "ORDER BY anno DESC LIMIT 1");
    query.bind(1, anno);
    int id = 0;
    const bool present = query.executeStep();
    if (present) id = query.getColumn(0).getInt();
    query.reset();  // done reading before the insert
    if (!present) {
      SQLite::Statement insert(
          db,
          "INSERT INTO SwExt (software, anno, cmdline, arguments) VALUES ('KORVAL', ?, "
          "'\\home\\BIN\\wrun32.exe', '-c ..\\etc\\cblconfi ..\\obj\\tkmenu.acu rete <pdl> "
          "<path_year>')");
      insert.bind(1, anno);
      insert.exec();
      id = LastInsertId(db);
    }
    transaction.Commit();
    Log(present ? "[  INFO] Software already present in database"
                : "[  INFO] Software not present in database, adding it");
    *idSwExt = id;
    return kSharedInfoOk;
  } catch (const std::exception& e) {
    *idSwExt = 0;
    LogAccessError(e, "CheckInstallation");
    return kSharedInfoError;
  }
}

int AddPdlEntry(const std::string& registerPath, const std::string& pm, const std::string& pwd,
                int idSwExt, const std::string& path, const std::string& assignee) {
  if (registerPath.empty()) return kSharedInfoError;
  if (!CanOpenForReading(registerPath)) return kSharedInfoCannotOpen;
  if (pm.empty() || pwd.empty() || idSwExt < 1 || path.empty()) return kSharedInfoError;
  const std::string user = assignee.empty() ? CurrentUser() : assignee;
  try {
    SQLite::Database db(SqliteFileName(registerPath), kOpenReadWrite, kBusyTimeoutMs);
    // The number search and both inserts under one write lock: no two PCs get
    // the same number, and no Workpoint row is left without its link.
    WriteTransaction transaction(db);
    int next = 1;
    {
      // Only whole numbers count: text sorts above every number, and another
      // PC's 'x' read as 0 would give a number already taken. One row always:
      // the highest whole number (NULL when none), and how many values are
      // neither a whole number nor empty.
      SQLite::Statement query(
          db,
          "SELECT max(CASE WHEN typeof(w.pdl) = 'integer' THEN w.pdl END), "
          "count(CASE WHEN typeof(w.pdl) NOT IN ('integer', 'null') THEN 1 END) "
          "FROM Workpoint w JOIN Workpoint_SwExt ws WHERE w.idWorkpoint = ws.idWorkpoint AND "
          "ws.idSwExt = ? AND w.pm = ?");
      query.bind(1, idSwExt);
      query.bind(2, pm);
      query.executeStep();
      const int64_t passedOver = query.getColumn(1).getInt64();
      if (passedOver > 0)
        Log("[* WARN] Workpoint numbers that are not whole numbers passed over -> " +
            Decimal(passedOver) + " in " + registerPath);
      if (!query.getColumn(0).isNull()) {
        // Read whole: a 64-bit number cut to 32 bits would pass for a small one.
        const int64_t last = query.getColumn(0).getInt64();
        // A number below 1 (another program's row) counts as none.
        const int64_t highest = last < 1 ? 0 : last;
        // A damaged register could hold the largest number already: refuse
        // rather than wrap around to a number another PC may have.
        if (highest >= INT_MAX) {
          Log("[* WARN] No free workpoint number in the register -> " + registerPath);
          return kSharedInfoError;
        }
        next = static_cast<int>(highest + 1);
      }
    }
    const int32_t id =
        InsertWorkpointAndLink(db, pm, XorScramble(pwd), next, user, path, idSwExt);
    transaction.Commit();
    Log("[  INFO] Created new workpoint -> " + IntToString(id));
    Log("[  INFO] Created association between workpoint and software");
    return kSharedInfoOk;
  } catch (const std::exception& e) {
    LogAccessError(e, "AddPdlEntry");
    return kSharedInfoError;
  }
}

int ExistValidInstall(const std::string& registerPath, const std::string& pm, int year,
                      bool* found, const std::string& assignee) {
  if (registerPath.empty()) return kSharedInfoError;
  if (!CanOpenForReading(registerPath)) return kSharedInfoCannotOpen;
  if (pm.empty() || year < 2015 || !found) return kSharedInfoError;
  *found = false;
  const std::string user = assignee.empty() ? CurrentUser() : assignee;
  try {
    SQLite::Database db(SqliteFileName(registerPath), kOpenReadOnly, kBusyTimeoutMs);
    SQLite::Statement query(db, UserWorkstationsQuery("w.pdl"));
    BindUserWorkstations(query, year, pm, user);
    if (query.executeStep()) *found = true;
    return kSharedInfoOk;
  } catch (const std::exception& e) {
    LogAccessError(e, "ExistValidInstall");
    return kSharedInfoError;
  }
}

int RemoveWorkpoint(const std::string& registerPath, const std::string& pm,
                    const std::string& anno) {
  if (registerPath.empty()) return kSharedInfoError;
  if (!CanOpenForReading(registerPath)) return kSharedInfoCannotOpen;
  if (pm.empty() || anno.empty()) return kSharedInfoError;
  const std::string user = CurrentUser();
  // The caller's office code and year are a register record's.
  const std::string tail =
      " for " + QuoteSharedText(pm) + " " + QuoteSharedText(anno) + " " + user;
  try {
    SQLite::Database db(SqliteFileName(registerPath), kOpenReadWrite, kBusyTimeoutMs);
    std::vector<WorkpointKey> keys;
    {
      SQLite::Statement query(db, UserWorkstationsQuery("ws.idSwExt, ws.idWorkpoint"));
      BindUserWorkstations(query, anno, pm, user);
      while (query.executeStep())
        keys.push_back({ColumnBytes(query.getColumn(0)), ColumnBytes(query.getColumn(1))});
    }
    Log("[* WARN] RemoveWorkpoint found " + IntToString(static_cast<int>(keys.size())) +
        " pair" + tail);
    for (const WorkpointKey& key : keys) {
      // A workpoint and its link go together or not at all.
      WriteTransaction transaction(db);
      SQLite::Statement deleteRow(db, "DELETE FROM Workpoint WHERE idWorkpoint = ?");
      deleteRow.bind(1, key.idWorkpoint);
      const int rows = deleteRow.exec();
      SQLite::Statement deleteLink(
          db, "DELETE FROM Workpoint_SwExt WHERE idSwExt = ? AND idWorkpoint = ?");
      deleteLink.bind(1, key.idSwExt);
      deleteLink.bind(2, key.idWorkpoint);
      const int links = deleteLink.exec();
      transaction.Commit();
      Log("[* WARN] RemoveWorkpoint removed " + IntToString(rows) + " lines on Workpoint" + tail);
      Log("[* WARN] RemoveWorkpoint removed " + IntToString(links) +
          " lines on Workpoint_SwExt" + tail);
    }
    return kSharedInfoOk;
  } catch (const std::exception& e) {
    LogAccessError(e, "RemoveWorkpoint");
    return kSharedInfoError;
  }
}

int ParseSharedInfo(const std::string& registerPath, int year,
                    std::vector<WorkpointRecord>& records) {
  if (!CanOpenForReading(registerPath)) return kSharedInfoCannotOpen;
  try {
    const std::string user = CurrentUser();
    SQLite::Database db(SqliteFileName(registerPath), kOpenReadOnly, kBusyTimeoutMs);
    std::vector<WorkpointRecord> list;
    {
      SQLite::Statement mine(db, std::string(kRecordColumns) + " AND " + kAssigneePredicate);
      mine.bind(1, kSoftware);
      mine.bind(2, year);
      mine.bind(3, year - 1);
      BindAssignee(mine, 4, user);
      while (mine.executeStep()) {
        WorkpointRecord r = ReadRecord(mine);
        r.notPending = r.assignee == user && CanOpenForReading(RuntimePath(r)) ? 1 : 0;
        list.push_back(std::move(r));
      }
    }
    const size_t mineCount = list.size();
    {
      SQLite::Statement all(db, kRecordColumns);
      all.bind(1, kSoftware);
      all.bind(2, year);
      all.bind(3, year - 1);
      while (all.executeStep()) {
        WorkpointRecord r = ReadRecord(all);
        bool listed = false;
        for (size_t i = 0; i < mineCount && !listed; ++i)
          listed = list[i].idSwExt == r.idSwExt && list[i].idWorkpoint == r.idWorkpoint;
        if (listed) continue;
        r.notPending = 1;
        list.push_back(std::move(r));
      }
    }
    records.swap(list);
    return kSharedInfoOk;
  } catch (const std::exception& e) {
    Log("[* WARN] Sqlite exception " + MessageOf(e) + " in ParseSharedInfo");
    records.clear();
    return kSharedInfoError;
  }
}

int DuplicateEntireYear(const std::string& registerPath, const std::string& pm,
                        const std::string& year, bool* copied) {
  if (copied) *copied = false;
  if (registerPath.empty()) return kSharedInfoError;
  if (!CanOpenForReading(registerPath)) return kSharedInfoCannotOpen;
  if (pm.empty() || year.empty()) return kSharedInfoError;
  struct Row {
    std::string pwd, pdl, assignee, path;
  };
  bool skipped = false;
  try {
    SQLite::Database db(SqliteFileName(registerPath), kOpenReadWrite, kBusyTimeoutMs);
    const int y = StringToInt(year);
    const std::string user = CurrentUser();
    // All rows are read before any write: an open read would keep the other
    // connections below from writing.
    std::vector<Row> rows;
    {
      SQLite::Statement query(
          db,
          "SELECT DISTINCT w.pwd, w.pdl, w.assignee, w.path FROM Workpoint w, Workpoint_SwExt ws, "
          "SwExt s WHERE w.idWorkpoint = ws.idWorkpoint AND ws.idSwExt = s.idSwExt AND pm = ? "
          "AND software = 'KORVAL'");
      query.bind(1, pm);
      while (query.executeStep()) {
        rows.push_back({ColumnBytes(query.getColumn(0)), ColumnBytes(query.getColumn(1)),
                        ColumnBytes(query.getColumn(2)), ColumnBytes(query.getColumn(3))});
      }
    }
    for (const Row& row : rows) {
      for (int z = 2016; z <= y; ++z) {
        if (z != y && row.assignee != user) continue;
        bool found = false;
        if (ExistValidInstall(registerPath, pm, z, &found, row.assignee) != kSharedInfoOk) {
          Log("[* WARN] DuplicateEntireYear skipped year " + IntToString(z) + " of " +
              QuoteSharedText(pm) + " for " + QuoteSharedText(row.assignee) +
              ": workstation check failed");
          skipped = true;
          continue;
        }
        if (found) continue;
        int idSwExt = 0;
        if (CheckInstallation(registerPath, IntToString(z), &idSwExt) != kSharedInfoOk ||
            idSwExt < 1) {
          Log("[* WARN] DuplicateEntireYear skipped year " + IntToString(z) + " of " +
              QuoteSharedText(pm) + " for " + QuoteSharedText(row.assignee) + ": no software row");
          skipped = true;
          continue;
        }
        WriteTransaction transaction(db);
        const int32_t id =
            InsertWorkpointAndLink(db, pm, row.pwd, row.pdl, row.assignee, row.path, idSwExt);
        transaction.Commit();
        Log("[  INFO] Created new workpoint  -> " + IntToString(id) + " -> " +
            QuoteSharedText(pm) + " -> " + IntToString(z) + " -> " + QuoteSharedText(row.pdl) +
            " -> " + QuoteSharedText(row.assignee));
        if (copied) *copied = true;
      }
    }
  } catch (const std::exception& e) {
    LogAccessError(e, "DuplicateEntireYear");
    return kSharedInfoError;
  }
  return skipped ? kSharedInfoError : kSharedInfoOk;
}
