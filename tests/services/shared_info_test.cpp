// The SharedInfo register: real SQLite files in scratch folders, checked with a
// connection of the raw SQLite API that shares no code with the operations.
#include "shared_info.h"

#include <windows.h>
#include <sqlite3.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <new>
#include <vector>

#include "test_support.h"

using testing::HasSubstr;
using testing_support::TempDir;

namespace {

// The scramble key every PC of an office shares, written out here on its own:
// a change of the product's key would make other PCs' passwords unreadable.
const unsigned char kKey[10] = {0x5A, 0x41, 0x4E, 0x2D, 0x73, 0x68, 0x61, 0x72, 0x65, 0x64};

std::string Scrambled(std::string text) {
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(text[i] ^ kKey[i % 10]);
  return text;
}

// An independent connection to a register.
class RawDb {
 public:
  explicit RawDb(const std::string& path) {
    EXPECT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db_)) << path;
    sqlite3_busy_timeout(db_, 5000);
  }
  ~RawDb() { sqlite3_close(db_); }
  void Exec(const std::string& sql) {
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db_, sql.c_str(), 0, 0, 0)) << sql << sqlite3_errmsg(db_);
  }
  // The rows as text, every byte of each value: columns joined by "|", rows by "\n".
  std::string Query(const std::string& sql, const std::vector<std::string>& params = {}) {
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
  int AddSoftware(const std::string& software, const std::string& anno) {
    Query("INSERT INTO SwExt (software, anno, cmdline, arguments) VALUES (?, ?, "
          "'\\home\\BIN\\wrun32.exe', 'args')", {software, anno});
    return static_cast<int>(sqlite3_last_insert_rowid(db_));
  }
  // A workpoint (pwd stored as given) linked to idSwExt; its id.
  int AddWorkpoint(int idSwExt, const std::string& pm, const std::string& storedPwd, int pdl,
                   const std::string& assignee, const std::string& path = "C:\\S\\") {
    Query("INSERT INTO Workpoint (pm, pwd, pdl, assignee, path) VALUES (?, ?, ?, ?, ?)",
          {pm, storedPwd, std::to_string(pdl), assignee, path});
    const int id = static_cast<int>(sqlite3_last_insert_rowid(db_));
    Query("INSERT INTO Workpoint_SwExt VALUES (?, ?)", {std::to_string(id), std::to_string(idSwExt)});
    return id;
  }
  // Every Workpoint row has exactly one link, every link a Workpoint row and a year.
  void ExpectConsistent() {
    EXPECT_EQ("0", Query("SELECT (SELECT count(*) FROM Workpoint w WHERE (SELECT count(*) FROM "
                         "Workpoint_SwExt ws WHERE ws.idWorkpoint = w.idWorkpoint) <> 1) + "
                         "(SELECT count(*) FROM Workpoint_SwExt ws WHERE ws.idSwExt < 1 OR NOT "
                         "EXISTS (SELECT 1 FROM Workpoint w WHERE w.idWorkpoint = "
                         "ws.idWorkpoint))"));
  }

 private:
  sqlite3* db_ = nullptr;
};

std::string g_user;
std::string TestUser() { return g_user; }

// Each test starts with a register made by the product, holding the year 2025.
class SharedInfoTest : public testing::Test {
 protected:
  void SetUp() override {
    g_user = "PC1\\m.rossi";
    SetCurrentUserSourceForTesting(&TestUser);
    ASSERT_EQ(0, CreateSharedInfo(reg_));
    y25_ = Year("2025");
  }
  void TearDown() override { SetCurrentUserSourceForTesting(nullptr); }
  int Year(const std::string& anno) {
    int id = 0;
    EXPECT_EQ(0, CheckInstallation(reg_, anno, &id));
    return id;
  }

  TempDir dir_;
  testing_support::LogCapture log_;
  const std::string reg_ = dir_ / "SharedInfo";
  int y25_ = 0;
};

TEST_F(SharedInfoTest, EmptyPathAndMissingFile) {
  const std::string missing = dir_ / "none";
  int id = 7;
  bool found = true, copied = true;
  std::vector<WorkpointRecord> records(2);
  using Path = const std::string&;
  const struct {
    const char* name;
    int empty, absent;
    std::function<int(Path)> run;
  } cases[] = {
      {"Check", 1, 14, [&](Path p) { return CheckInstallation(p, "2025", &id); }},
      {"Add", 1, 14, [](Path p) { return AddPdlEntry(p, "12345", "pw", 1, "C:\\S\\"); }},
      {"Exist", 1, 14, [&](Path p) { return ExistValidInstall(p, "12345", 2025, &found); }},
      {"Remove", 1, 14, [](Path p) { return RemoveWorkpoint(p, "12345", "2025"); }},
      {"Parse", 14, 14, [&](Path p) { return ParseSharedInfo(p, 2025, records); }},
      {"Duplicate", 1, 14, [&](Path p) { return DuplicateEntireYear(p, "12345", "2025", &copied); }},
      {"Create", 1, 0, [](Path p) { return CreateSharedInfo(p); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.empty, c.run(""));
    EXPECT_EQ(c.absent, c.run(missing));
  }
  EXPECT_EQ(7, id);
  EXPECT_TRUE(found);
  EXPECT_FALSE(copied);  // always reset first
  EXPECT_EQ(2u, records.size());
  EXPECT_EQ(14, AddPdlEntry(dir_.path(), "12345", "pw", 1, "C:\\S\\"));  // a folder
}

TEST_F(SharedInfoTest, CreatesExactSchemaAndOnlyMissingTables) {
  const char* const schema[][2] = {
      {"meta", "CREATE TABLE meta (key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value "
               "LONGVARCHAR)"},
      {"Workpoint", "CREATE TABLE Workpoint (idWorkpoint INTEGER PRIMARY KEY AUTOINCREMENT, "
                    "pm TEXT, pwd BLOB, pdl INTEGER, assignee TEXT, path TEXT, creationtime "
                    "INTEGER DEFAULT 0)"},
      {"Workpoint_SwExt", "CREATE TABLE Workpoint_SwExt (idWorkpoint INTEGER, idSwExt INTEGER)"},
      {"SwExt", "CREATE TABLE SwExt (idSwExt INTEGER PRIMARY KEY AUTOINCREMENT, software TEXT, "
                "anno TEXT, cmdline TEXT, arguments TEXT)"},
  };
  RawDb(reg_).Exec("INSERT INTO meta VALUES ('k', 'v'); DROP TABLE SwExt; "
                   "CREATE TABLE Workpoint_SwExt2 (x);");
  ASSERT_EQ(0, CreateSharedInfo(reg_));
  ASSERT_EQ(0, CreateSharedInfo(reg_));
  RawDb db(reg_);
  for (const auto& t : schema)
    EXPECT_EQ(t[1], db.Query(std::string("SELECT sql FROM sqlite_master WHERE name = '") + t[0] +
                              "'"));
  EXPECT_EQ("v", db.Query("SELECT value FROM meta WHERE key = 'k'"));
  EXPECT_EQ("6", db.Query("SELECT count(*) FROM sqlite_master WHERE type = 'table'"));
}

TEST_F(SharedInfoTest, RegisterErrorsAreLoggedAndReturnOne) {
  EXPECT_EQ(1, CreateSharedInfo(dir_ / "nofolder\\SharedInfo"));
  EXPECT_TRUE(log_.Has("[* WARN] Sqlite exception ")) << log_.Text();
  const std::string junk = dir_ / "junk";
  ASSERT_TRUE(testing_support::WriteBytes(junk, std::string(4096, 'x')));
  int id = 5;
  EXPECT_EQ(1, CheckInstallation(junk, "2025", &id));
  EXPECT_EQ(0, id);
  std::vector<WorkpointRecord> records(3);
  EXPECT_EQ(1, ParseSharedInfo(junk, 2025, records));
  EXPECT_TRUE(records.empty());
  const std::string bare = dir_ / "bare";
  RawDb(bare).Exec("CREATE TABLE x (a)");
  bool found = true;
  EXPECT_EQ(1, ExistValidInstall(bare, "12345", 2025, &found, "a\\b"));
  EXPECT_FALSE(found);
  EXPECT_TRUE(log_.Has("[* WARN] Exception no such table: Workpoint during database access in "
                       "ExistValidInstall\r\n"));
}

TEST_F(SharedInfoTest, YearRowsAndNumberedScrambledLinkedWorkpoints) {
  EXPECT_EQ(y25_, Year("2025"));
  const int y24 = Year("2024");
  RawDb db(reg_);
  EXPECT_EQ(std::to_string(y25_) + "|KORVAL|2025|\\home\\BIN\\wrun32.exe|-c ..\\etc\\cblconfi "
            "..\\obj\\tkmenu.acu rete <pdl> <path_year>",
            db.Query("SELECT * FROM SwExt WHERE anno = '2025'"));
  // Another software's row of the same year is not taken for ours.
  EXPECT_NE(db.AddSoftware("ALTRO", "2023"), Year("2023"));

  for (int pdl : {1, 2, 5}) db.AddWorkpoint(y25_, "12345", "x", pdl, "A\\a");
  db.AddWorkpoint(y25_, "99999", "x", 40, "A\\d");
  db.AddWorkpoint(y24, "12345", "x", 30, "A\\e");
  // "Z", "A" and "N" equal their key bytes: the stored value holds zero bytes.
  ASSERT_EQ(0, AddPdlEntry(reg_, "12345", "ZANpw_12", y25_, "C:\\ZAN\\Studio\\"));
  ASSERT_EQ(0, AddPdlEntry(reg_, "55555", "Pass_123", y24, "D:\\S\\", "PC9\\x"));
  const std::string q = "SELECT pdl, CAST(pwd AS BLOB), typeof(pwd), assignee, path, "
                        "ws.idSwExt FROM Workpoint w JOIN Workpoint_SwExt ws ON w.idWorkpoint = "
                        "ws.idWorkpoint WHERE w.idWorkpoint = ";
  EXPECT_EQ("6|" + Scrambled("ZANpw_12") + "|text|PC1\\m.rossi|C:\\ZAN\\Studio\\|" +
                std::to_string(y25_), db.Query(q + "6"));
  EXPECT_EQ("1|" + Scrambled("Pass_123") + "|text|PC9\\x|D:\\S\\|" + std::to_string(y24),
            db.Query(q + "7"));  // first of its office in 2024
  EXPECT_THAT(db.Query("SELECT creationtime FROM Workpoint WHERE idWorkpoint = 6"),
              testing::MatchesRegex("20\\d\\d-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d"));
  db.ExpectConsistent();
  EXPECT_TRUE(log_.Has("[  INFO] Created new workpoint -> 6\r\n"));
}

// A failing statement rolls back the whole operation: no Workpoint row without
// its link, no link without its row.
TEST_F(SharedInfoTest, FailedWritesLeaveNothingHalfWritten) {
  {
    RawDb db(reg_);
    db.AddWorkpoint(y25_, "12345", "x", 1, g_user);
    db.Exec("CREATE TRIGGER a BEFORE INSERT ON Workpoint_SwExt BEGIN "
            "SELECT RAISE(ABORT, 'no link'); END;"
            "CREATE TRIGGER b BEFORE DELETE ON Workpoint_SwExt BEGIN "
            "SELECT RAISE(ABORT, 'kept'); END;");
  }
  EXPECT_EQ(1, AddPdlEntry(reg_, "12345", "pw", y25_, "C:\\S\\"));
  EXPECT_EQ(1, RemoveWorkpoint(reg_, "12345", "2025"));
  EXPECT_TRUE(log_.Has("[* WARN] Exception no link during database access in AddPdlEntry\r\n"));
  EXPECT_TRUE(log_.Has("[* WARN] Exception kept during database access in RemoveWorkpoint\r\n"));
  EXPECT_FALSE(log_.Has("Created new workpoint") || log_.Has("removed"));
  RawDb db(reg_);
  EXPECT_EQ("1", db.Query("SELECT count(*) FROM Workpoint"));
  db.ExpectConsistent();
}

// Locked by another connection past the busy time-out, or held open by a
// program that lets nobody write: writing fails whole, reading still works.
TEST_F(SharedInfoTest, LockedRegisters) {
  {
    RawDb holder(reg_);
    holder.Exec("BEGIN EXCLUSIVE");
    const DWORD start = GetTickCount();
    EXPECT_EQ(1, AddPdlEntry(reg_, "12345", "pw", y25_, "C:\\S\\"));
    const DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 400u);
    EXPECT_LT(waited, 3000u);
    EXPECT_TRUE(log_.Has("database is locked during database access in AddPdlEntry"));
    holder.Exec("ROLLBACK");
    EXPECT_EQ("0", holder.Query("SELECT count(*) FROM Workpoint"));
  }
  ASSERT_EQ(0, AddPdlEntry(reg_, "12345", "pw", y25_, "C:\\S\\"));
  HANDLE holder = CreateFileA(reg_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  EXPECT_EQ(1, AddPdlEntry(reg_, "12345", "pw", y25_, "C:\\S\\"));
  EXPECT_TRUE(log_.Has("readonly database during database access in AddPdlEntry"));
  bool found = false;
  EXPECT_EQ(0, ExistValidInstall(reg_, "12345", 2025, &found));
  EXPECT_TRUE(found);
  std::vector<WorkpointRecord> records;
  EXPECT_EQ(0, ParseSharedInfo(reg_, 2025, records));
  EXPECT_EQ(1u, records.size());
  CloseHandle(holder);
  RawDb db(reg_);
  EXPECT_EQ("1", db.Query("SELECT count(*) FROM Workpoint"));
  db.ExpectConsistent();
}

// "_", "%" and the escape character in a user name are no wildcards; removal
// takes only the user's rows of that office and year.
TEST_F(SharedInfoTest, AssigneePredicate) {
  const int y24 = Year("2024");
  const struct {
    const char *stored, *asked;
    bool match;
  } cases[] = {
      {"PC1\\M.ROSSI", "pc1\\m.rossi", true},  // equal ignoring case
      {"PC2\\m.rossi", "PC1\\m.rossi", false},
      {"PC1\\m.rossi", "PC1\\m_rossi", false},
      {"PC1\\mxrossi", "PC1\\m%", false},
      {"PC1\\m_rossi", "PC1\\m_rossi", true},
      {"PC1\\50%", "PC1\\50%", true},
      {"PC1\\a!b", "PC1\\a!b", true},
      {"PC1\\ab", "PC1\\a!b", false},
      {"PC1\\m%x", "PC1\\mAx", false},  // the stored text is no pattern
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.stored) + " / " + c.asked);
    RawDb db(reg_);
    db.Exec("DELETE FROM Workpoint; DELETE FROM Workpoint_SwExt;");
    db.AddWorkpoint(y25_, "12345", "x", 1, c.stored);
    db.AddWorkpoint(y25_, "54321", "x", 2, c.asked);  // another office
    db.AddWorkpoint(y24, "12345", "x", 3, c.asked);   // another year
    bool found = !c.match;
    EXPECT_EQ(0, ExistValidInstall(reg_, "12345", 2025, &found, c.asked));
    EXPECT_EQ(c.match, found);
    g_user = c.asked;
    std::vector<WorkpointRecord> records;
    ASSERT_EQ(0, ParseSharedInfo(reg_, 2025, records));
    ASSERT_EQ(3u, records.size());
    // Only the user's own rows can be pending: they come first.
    EXPECT_EQ(c.match ? 0 : 1, records[c.match ? 0 : 2].notPending);
    EXPECT_EQ(0, RemoveWorkpoint(reg_, "12345", "2025"));
    EXPECT_EQ(c.match ? "2/3" : "1/2/3", db.Query("SELECT group_concat(pdl, '/') FROM "
                                                 "(SELECT pdl FROM Workpoint ORDER BY pdl)"));
    db.ExpectConsistent();
  }
  EXPECT_TRUE(log_.Has("[* WARN] RemoveWorkpoint found 1 pair for 12345 2025 PC1\\50%\r\n"));
  EXPECT_TRUE(log_.Has("[* WARN] RemoveWorkpoint removed 1 lines on Workpoint_SwExt for 12345 "
                       "2025 PC1\\50%\r\n"));
}

TEST_F(SharedInfoTest, ParseSharedInfoReadsTwoYearsCurrentUserFirst) {
  const std::string office = dir_.path() + "Studio\\";
  // The runtime of 2025 is present on this PC, that of 2024 is not.
  ASSERT_TRUE(testing_support::WriteBytes(office + "ZAN2025\\home\\BIN\\wrun32.exe", "MZ"));
  RawDb db(reg_);
  const int y24 = db.AddSoftware("KORVAL", "2024");
  const std::string pwd = "ZA-x5678";  // three zero bytes stored
  const int theirs = db.AddWorkpoint(y25_, "12345", Scrambled("secret01"), 1, "PC2\\b", office);
  const int mine25 = db.AddWorkpoint(y25_, "12345", Scrambled(pwd), 2, g_user, office);
  const int mine24 = db.AddWorkpoint(y24, "12345", Scrambled(pwd), 2, g_user, office);
  const int case25 = db.AddWorkpoint(y25_, "54321", Scrambled("x"), 3, "pc1\\M.Rossi", office);
  db.AddWorkpoint(db.AddSoftware("KORVAL", "2023"), "12345", "x", 4, g_user, office);
  db.AddWorkpoint(db.AddSoftware("ALTRO", "2025"), "12345", "x", 5, g_user, office);

  std::vector<WorkpointRecord> records(1);
  ASSERT_EQ(0, ParseSharedInfo(reg_, 2025, records));
  // The user's three (in the query's order), then the other user's; each text
  // "id pwd anno notPending".
  std::vector<std::string> got;
  for (const auto& r : records)
    got.push_back(std::to_string(r.idWorkpoint) + " " + r.pwd + " " + std::to_string(r.anno) +
                  " " + std::to_string(r.notPending));
  ASSERT_EQ(4u, got.size());
  std::sort(got.begin(), got.begin() + 3);
  EXPECT_EQ((std::vector<std::string>{
                std::to_string(mine25) + " " + pwd + " 2025 1",
                std::to_string(mine24) + " " + pwd + " 2024 0",  // runtime missing
                std::to_string(case25) + " x 2025 0",  // the user's by the predicate
                std::to_string(theirs) + " secret01 2025 1"}),
            got);
  const WorkpointRecord& m = *std::find_if(records.begin(), records.end(),
                                           [&](const WorkpointRecord& r) { return r.idWorkpoint == mine24; });
  EXPECT_EQ((std::vector<std::string>{"12345", "2", g_user, office, "\\home\\BIN\\wrun32.exe",
                                      "args", std::to_string(y24)}),
            (std::vector<std::string>{m.pm, m.pdl, m.assignee, m.path, m.cmdline, m.arguments,
                                      std::to_string(m.idSwExt)}));
}

TEST_F(SharedInfoTest, DuplicateEntireYearCopiesMissingYears) {
  const std::string pwd = Scrambled("ZAN-x123");  // zero bytes where the key matches
  {
    RawDb db(reg_);
    const int y24 = db.AddSoftware("KORVAL", "2024");
    db.AddWorkpoint(db.AddSoftware("KORVAL", "2018"), "12345", pwd, 3, g_user);
    db.AddWorkpoint(y24, "12345", "x", 7, "PC2\\bianchi");
    db.AddWorkpoint(y24, "99999", "x", 1, g_user, "C:\\T\\");
  }
  bool copied = false;
  ASSERT_EQ(0, DuplicateEntireYear(reg_, "12345", "2025", &copied));
  EXPECT_TRUE(copied);
  RawDb db(reg_);
  const std::string years = "SELECT group_concat(anno || '/' || pdl) FROM (SELECT s.anno, w.pdl "
      "FROM Workpoint w JOIN Workpoint_SwExt ws ON w.idWorkpoint = ws.idWorkpoint JOIN SwExt s "
      "ON s.idSwExt = ws.idSwExt WHERE w.pm = '12345' AND w.assignee = ? ORDER BY s.anno)";
  EXPECT_EQ("2016/3,2017/3,2018/3,2019/3,2020/3,2021/3,2022/3,2023/3,2024/3,2025/3",
            db.Query(years, {g_user}));
  EXPECT_EQ("2024/7,2025/7", db.Query(years, {"PC2\\bianchi"}));
  // The password copied with all its bytes, the folder kept.
  EXPECT_EQ("0", db.Query("SELECT count(*) FROM Workpoint WHERE pm = '12345' AND assignee = ? "
                          "AND (CAST(pwd AS BLOB) <> CAST(? AS BLOB) OR path <> 'C:\\S\\')",
                          {g_user, pwd}));
  EXPECT_EQ("1", db.Query("SELECT count(*) FROM Workpoint WHERE pm = '99999'"));
  EXPECT_EQ("0", db.Query("SELECT count(*) FROM (SELECT 1 FROM SwExt GROUP BY anno "
                           "HAVING count(*) > 1)"));
  db.ExpectConsistent();
  EXPECT_TRUE(log_.Has(" -> 12345 -> 2025 -> 7 -> PC2\\bianchi\r\n"));

  // Nothing left to copy, or nothing to copy into.
  const std::string count = db.Query("SELECT count(*) FROM Workpoint");
  for (const char* year : {"2025", "2015", "abc"}) {
    copied = true;
    EXPECT_EQ(0, DuplicateEntireYear(reg_, "12345", year, &copied)) << year;
    EXPECT_FALSE(copied) << year;
  }
  EXPECT_EQ(count, db.Query("SELECT count(*) FROM Workpoint"));
}

TEST_F(SharedInfoTest, DuplicateEntireYearSkipsAYearItCannotAdd) {
  {
    RawDb db(reg_);
    db.AddWorkpoint(db.AddSoftware("KORVAL", "2018"), "12345", "x", 1, g_user);
    db.Exec("CREATE TRIGGER no2020 BEFORE INSERT ON SwExt WHEN NEW.anno = '2020' BEGIN "
            "SELECT RAISE(ABORT, 'no 2020'); END;");
  }
  bool copied = false;
  EXPECT_EQ(1, DuplicateEntireYear(reg_, "12345", "2021", &copied));
  EXPECT_TRUE(copied);
  EXPECT_TRUE(log_.Has("[* WARN] DuplicateEntireYear skipped year 2020"));
  RawDb db(reg_);
  EXPECT_EQ("2016\n2017\n2018\n2019\n2021",
            db.Query("SELECT s.anno FROM Workpoint_SwExt ws JOIN SwExt s ON "
                     "s.idSwExt = ws.idSwExt ORDER BY s.anno"));
  db.ExpectConsistent();
}

std::string ThrowingUser() { throw std::bad_alloc(); }

TEST_F(SharedInfoTest, AnyFailureInsideAnOperationGivesResultOne) {
  SetCurrentUserSourceForTesting(&ThrowingUser);
  std::vector<WorkpointRecord> records(1);
  bool copied = true;
  int parsed = -1, duplicated = -1;
  EXPECT_NO_THROW(parsed = ParseSharedInfo(reg_, 2025, records));
  EXPECT_NO_THROW(duplicated = DuplicateEntireYear(reg_, "00012", "2025", &copied));
  EXPECT_EQ(parsed, 1);
  EXPECT_TRUE(records.empty());
  EXPECT_EQ(duplicated, 1);
  EXPECT_FALSE(copied);
  EXPECT_TRUE(log_.Has("[* WARN] Exception std::bad_alloc during database access in "
                       "DuplicateEntireYear")) << log_.Text();
}

TEST_F(SharedInfoTest, HighestWorkpointNumberIsRefusedNotWrapped) {
  RawDb db(reg_);
  db.AddWorkpoint(y25_, "00012", "x", 2147483647, "PC\\u");
  EXPECT_EQ(1, AddPdlEntry(reg_, "00012", "password", y25_, "C:\\ZAN\\", "PC\\other"));
  EXPECT_EQ("1", db.Query("SELECT count(*) FROM Workpoint"));
  EXPECT_TRUE(log_.Has("[* WARN] No free workpoint number in the register"));
}

}  // namespace
