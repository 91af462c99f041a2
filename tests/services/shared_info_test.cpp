// The SharedInfo register: real SQLite files in scratch folders, checked with a
// connection of the raw SQLite API that shares no code with the operations.
#include "shared_info.h"

#include <windows.h>
#include <sqlite3.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "constants.h"
#include "log.h"
#include "test_support.h"

using testing::HasSubstr;
using testing_support::TempDir;

namespace {

// The scramble key every PC of an office shares, written out here on its own:
// a change of the product's key would make other PCs' passwords unreadable.
const unsigned char kKey[10] = {0x5A, 0x41, 0x4E, 0x2D, 0x73, 0x68, 0x61, 0x72, 0x65, 0x64};

std::string Scrambled(const std::string& text) {
  std::string out(text);
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<char>(out[i] ^ kKey[i % 10]);
  return out;
}

// An independent connection to a register.
class RawDb {
 public:
  explicit RawDb(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK)
      ADD_FAILURE() << "cannot open " << path;
    sqlite3_busy_timeout(db_, 5000);
  }
  ~RawDb() { sqlite3_close(db_); }
  RawDb(const RawDb&) = delete;
  RawDb& operator=(const RawDb&) = delete;

  void Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << (error ? error : "?");
      sqlite3_free(error);
    }
  }
  // Every row, each column as its full bytes ("NULL" for SQL NULL).
  std::vector<std::vector<std::string>> Query(const std::string& sql,
                                              const std::vector<std::string>& params = {}) {
    std::vector<std::vector<std::string>> rows;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
      return rows;
    }
    for (size_t i = 0; i < params.size(); ++i)
      sqlite3_bind_text(st, static_cast<int>(i + 1), params[i].data(),
                        static_cast<int>(params[i].size()), SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        if (sqlite3_column_type(st, c) == SQLITE_NULL) {
          row.push_back("NULL");
          continue;
        }
        const char* p = static_cast<const char*>(sqlite3_column_blob(st, c));
        row.emplace_back(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(st, c)));
      }
      rows.push_back(row);
    }
    sqlite3_finalize(st);
    return rows;
  }
  std::string Scalar(const std::string& sql) {
    auto rows = Query(sql);
    return rows.empty() || rows[0].empty() ? std::string() : rows[0][0];
  }
  // Adds a software row and returns its id.
  int AddSoftware(const std::string& software, const std::string& anno) {
    Query("INSERT INTO SwExt (software, anno, cmdline, arguments) VALUES (?, ?, "
          "'\\home\\BIN\\wrun32.exe', 'args')",
          {software, anno});
    return static_cast<int>(sqlite3_last_insert_rowid(db_));
  }
  // Adds a workpoint (pwd stored as given) linked to idSwExt; its id.
  int AddWorkpoint(int idSwExt, const std::string& pm, const std::string& storedPwd, int pdl,
                   const std::string& assignee, const std::string& path) {
    Query("INSERT INTO Workpoint (pm, pwd, pdl, assignee, path) VALUES (?, ?, ?, ?, ?)",
          {pm, storedPwd, std::to_string(pdl), assignee, path});
    const int id = static_cast<int>(sqlite3_last_insert_rowid(db_));
    Query("INSERT INTO Workpoint_SwExt (idWorkpoint, idSwExt) VALUES (?, ?)",
          {std::to_string(id), std::to_string(idSwExt)});
    return id;
  }
  sqlite3* handle() { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

const char* const kSchema[][2] = {
    {"meta", "CREATE TABLE meta (key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR)"},
    {"Workpoint",
     "CREATE TABLE Workpoint (idWorkpoint INTEGER PRIMARY KEY AUTOINCREMENT, pm TEXT, pwd BLOB, "
     "pdl INTEGER, assignee TEXT, path TEXT, creationtime INTEGER DEFAULT 0)"},
    {"Workpoint_SwExt", "CREATE TABLE Workpoint_SwExt (idWorkpoint INTEGER, idSwExt INTEGER)"},
    {"SwExt",
     "CREATE TABLE SwExt (idSwExt INTEGER PRIMARY KEY AUTOINCREMENT, software TEXT, anno TEXT, "
     "cmdline TEXT, arguments TEXT)"},
};

std::string g_user = "PC1\\m.rossi";
std::string TestUser() { return g_user; }

class SharedInfoTest : public testing::Test {
 protected:
  void SetUp() override {
    SetLogFolderForTesting(dir_.path() + "log");
    SetCurrentUserSourceForTesting(&TestUser);
    g_user = "PC1\\m.rossi";
    reg_ = dir_ / "SharedInfo";
  }
  void TearDown() override {
    SetCurrentUserSourceForTesting(nullptr);
    SetLogFolderForTesting("");
  }
  std::string LogText() { return testing_support::ReadBytes(dir_.path() + "log" + g_logFileName); }
  // A fresh register made by the product, checked empty.
  void Create() { ASSERT_EQ(0, CreateSharedInfo(reg_)); }
  int Year(const std::string& anno) {
    int id = 0;
    EXPECT_EQ(0, CheckInstallation(reg_, anno, &id));
    return id;
  }
  // Counts of Workpoint rows, link rows and Workpoint rows without exactly one link.
  void ExpectConsistent(RawDb& db) {
    EXPECT_EQ("0", db.Scalar("SELECT count(*) FROM Workpoint w WHERE (SELECT count(*) FROM "
                             "Workpoint_SwExt ws WHERE ws.idWorkpoint = w.idWorkpoint) <> 1"));
    EXPECT_EQ("0", db.Scalar("SELECT count(*) FROM Workpoint_SwExt ws WHERE NOT EXISTS (SELECT 1 "
                             "FROM Workpoint w WHERE w.idWorkpoint = ws.idWorkpoint) OR "
                             "ws.idSwExt < 1"));
  }

  TempDir dir_;
  std::string reg_;
};

TEST_F(SharedInfoTest, EmptyPathAndMissingFile) {
  const std::string missing = dir_ / "none";
  int id = 7;
  bool found = true, copied = true;
  std::vector<WorkpointRecord> records(2);
  struct Case {
    const char* name;
    int empty, absent;
    std::function<int(const std::string&)> run;
  };
  const Case cases[] = {
      {"CheckInstallation", 1, 14,
       [&](const std::string& p) { return CheckInstallation(p, "2025", &id); }},
      {"AddPdlEntry", 1, 14,
       [](const std::string& p) { return AddPdlEntry(p, "12345", "pw", 1, "C:\\S\\", "a\\b"); }},
      {"ExistValidInstall", 1, 14,
       [&](const std::string& p) { return ExistValidInstall(p, "12345", 2025, &found); }},
      {"RemoveWorkpoint", 1, 14,
       [](const std::string& p) { return RemoveWorkpoint(p, "12345", "2025"); }},
      {"ParseSharedInfo", 14, 14,
       [&](const std::string& p) { return ParseSharedInfo(p, 2025, records); }},
      {"DuplicateEntireYear", 1, 14,
       [&](const std::string& p) { return DuplicateEntireYear(p, "12345", "2025", &copied); }},
      {"CreateSharedInfo", 1, 0, [](const std::string& p) { return CreateSharedInfo(p); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.empty, c.run(""));
    EXPECT_EQ(c.absent, c.run(missing));
  }
  EXPECT_EQ(7, id);           // untouched by the argument checks
  EXPECT_TRUE(found);
  EXPECT_FALSE(copied);       // always reset first
  EXPECT_EQ(2u, records.size());
  // Only the last case made the file; a folder is no register either.
  EXPECT_TRUE(testing_support::Exists(missing));
  EXPECT_EQ(14, AddPdlEntry(dir_.path(), "12345", "pw", 1, "C:\\S\\", "a\\b"));
}

TEST_F(SharedInfoTest, CreatesExactSchemaAndOnlyMissingTables) {
  Create();
  {
    RawDb db(reg_);
    for (const auto& t : kSchema)
      EXPECT_EQ(t[1], db.Scalar(std::string("SELECT sql FROM sqlite_master WHERE name = '") +
                                t[0] + "'"));
    db.Exec("INSERT INTO meta VALUES ('k', 'v'); DROP TABLE SwExt;"
            "CREATE TABLE Workpoint_SwExt2 (x);");
  }
  ASSERT_EQ(0, CreateSharedInfo(reg_));
  ASSERT_EQ(0, CreateSharedInfo(reg_));
  RawDb db(reg_);
  EXPECT_EQ(kSchema[3][1], db.Scalar("SELECT sql FROM sqlite_master WHERE name = 'SwExt'"));
  EXPECT_EQ("v", db.Scalar("SELECT value FROM meta WHERE key = 'k'"));
  EXPECT_EQ("6", db.Scalar("SELECT count(*) FROM sqlite_master WHERE type = 'table'"));
}

TEST_F(SharedInfoTest, RegisterErrorsAreLoggedAndReturnOne) {
  // No folder for the file.
  EXPECT_EQ(1, CreateSharedInfo(dir_ / "nofolder\\SharedInfo"));
  EXPECT_THAT(LogText(), HasSubstr("[* WARN] Sqlite exception "));
  EXPECT_THAT(LogText(), HasSubstr(" in CreateSharedInfo"));
  // A file that is no database.
  const std::string junk = dir_ / "junk";
  ASSERT_TRUE(testing_support::WriteBytes(junk, std::string(4096, 'x')));
  int id = 5;
  EXPECT_EQ(1, CheckInstallation(junk, "2025", &id));
  EXPECT_EQ(0, id);
  EXPECT_THAT(LogText(), HasSubstr("during database access in CheckInstallation"));
  std::vector<WorkpointRecord> records(3);
  EXPECT_EQ(1, ParseSharedInfo(junk, 2025, records));
  EXPECT_TRUE(records.empty());
  EXPECT_THAT(LogText(), HasSubstr(" in ParseSharedInfo"));
  // A register without the workstation tables.
  const std::string bare = dir_ / "bare";
  { RawDb db(bare); db.Exec("CREATE TABLE x (a)"); }
  bool found = true;
  EXPECT_EQ(1, ExistValidInstall(bare, "12345", 2025, &found, "a\\b"));
  EXPECT_FALSE(found);
  EXPECT_THAT(LogText(), HasSubstr("[* WARN] Exception no such table: Workpoint during database "
                                   "access in ExistValidInstall"));
}

TEST_F(SharedInfoTest, ArgumentChecks) {
  Create();
  int id = 3;
  EXPECT_EQ(1, CheckInstallation(reg_, "", &id));
  EXPECT_EQ(1, CheckInstallation(reg_, "2025", nullptr));
  EXPECT_EQ(3, id);
  EXPECT_EQ(1, AddPdlEntry(reg_, "", "pw", 1, "C:\\S\\"));
  EXPECT_EQ(1, AddPdlEntry(reg_, "12345", "", 1, "C:\\S\\"));
  EXPECT_EQ(1, AddPdlEntry(reg_, "12345", "pw", 0, "C:\\S\\"));
  EXPECT_EQ(1, AddPdlEntry(reg_, "12345", "pw", 1, ""));
  bool found = true;
  EXPECT_EQ(1, ExistValidInstall(reg_, "12345", 2014, &found));
  EXPECT_TRUE(found);
  EXPECT_EQ(1, ExistValidInstall(reg_, "", 2025, &found));
  EXPECT_EQ(1, ExistValidInstall(reg_, "12345", 2025, nullptr));
  EXPECT_EQ(0, ExistValidInstall(reg_, "12345", 2015, &found));
  EXPECT_FALSE(found);
  EXPECT_EQ(1, RemoveWorkpoint(reg_, "", "2025"));
  EXPECT_EQ(1, RemoveWorkpoint(reg_, "12345", ""));
  bool copied = true;
  EXPECT_EQ(1, DuplicateEntireYear(reg_, "", "2025", &copied));
  EXPECT_EQ(1, DuplicateEntireYear(reg_, "12345", "", &copied));
  EXPECT_FALSE(copied);
  RawDb db(reg_);
  EXPECT_EQ("0", db.Scalar("SELECT count(*) FROM Workpoint"));
}

TEST_F(SharedInfoTest, CheckInstallationFindsOrAddsOneRowPerYear) {
  Create();
  const int a = Year("2025");
  EXPECT_THAT(LogText(), HasSubstr("[  INFO] Software not present in database, adding it"));
  EXPECT_EQ(a, Year("2025"));
  EXPECT_THAT(LogText(), HasSubstr("[  INFO] Software already present in database"));
  const int b = Year("2024");
  EXPECT_NE(a, b);
  RawDb db(reg_);
  auto rows = db.Query("SELECT idSwExt, software, anno, cmdline, arguments FROM SwExt ORDER BY 1");
  ASSERT_EQ(2u, rows.size());
  EXPECT_EQ(std::to_string(a), rows[0][0]);
  EXPECT_EQ((std::vector<std::string>{"KORVAL", "2025", "\\home\\BIN\\wrun32.exe",
                                      "-c ..\\etc\\cblconfi ..\\obj\\tkmenu.acu rete <pdl> "
                                      "<path_year>"}),
            std::vector<std::string>(rows[0].begin() + 1, rows[0].end()));
  // Another software's row of the same year is not taken for ours.
  const int other = db.AddSoftware("ALTRO", "2023");
  EXPECT_NE(other, Year("2023"));
}

TEST_F(SharedInfoTest, AddPdlEntryNumbersScramblesAndLinks) {
  Create();
  const int y25 = Year("2025"), y24 = Year("2024");
  {
    RawDb db(reg_);
    db.AddWorkpoint(y25, "12345", "x", 1, "A\\a", "C:\\S\\");
    db.AddWorkpoint(y25, "12345", "x", 2, "A\\b", "C:\\S\\");
    db.AddWorkpoint(y25, "12345", "x", 5, "A\\c", "C:\\S\\");
    db.AddWorkpoint(y25, "99999", "x", 40, "A\\d", "C:\\S\\");
    db.AddWorkpoint(y24, "12345", "x", 30, "A\\e", "C:\\S\\");
  }
  // "Z", "A" and "N" equal their key bytes: the stored value holds zero bytes.
  const std::string pwd = "ZANpw_12";
  ASSERT_EQ(0, AddPdlEntry(reg_, "12345", pwd, y25, "C:\\ZAN\\Studio\\"));
  ASSERT_EQ(0, AddPdlEntry(reg_, "55555", "Pass_123", y24, "D:\\S\\", "PC9\\x"));
  RawDb db(reg_);
  auto rows = db.Query(
      "SELECT w.idWorkpoint, pdl, CAST(pwd AS BLOB), typeof(pwd), assignee, path, "
      "creationtime, ws.idSwExt FROM Workpoint w JOIN Workpoint_SwExt ws ON "
      "w.idWorkpoint = ws.idWorkpoint WHERE w.idWorkpoint > 5 ORDER BY 1");
  ASSERT_EQ(2u, rows.size());
  EXPECT_EQ("6", rows[0][1]);
  EXPECT_EQ(std::string("\0\0\0]\x04" "7P@", 8), rows[0][2]);
  EXPECT_EQ(Scrambled(pwd), rows[0][2]);
  EXPECT_EQ("text", rows[0][3]);
  EXPECT_EQ("PC1\\m.rossi", rows[0][4]);
  EXPECT_EQ("C:\\ZAN\\Studio\\", rows[0][5]);
  EXPECT_TRUE(testing::Matches(testing::MatchesRegex(
      "20\\d\\d-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d"))(rows[0][6]))
      << rows[0][6];
  EXPECT_EQ(std::to_string(y25), rows[0][7]);
  EXPECT_EQ("1", rows[1][1]);  // first of its office in 2024
  EXPECT_EQ("PC9\\x", rows[1][4]);
  ExpectConsistent(db);
  EXPECT_THAT(LogText(), HasSubstr("[  INFO] Created new workpoint -> 6\r\n"));
  EXPECT_THAT(LogText(), HasSubstr("[  INFO] Created association between workpoint and software"));
}

TEST_F(SharedInfoTest, XorScrambleIsItsOwnInverse) {
  EXPECT_EQ("", XorScramble(""));
  const std::string text = "abcdefghijkl";
  EXPECT_EQ(Scrambled(text), XorScramble(text));
  EXPECT_EQ(text, XorScramble(XorScramble(text)));
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  EXPECT_EQ(all, XorScramble(XorScramble(all)));
}

TEST_F(SharedInfoTest, AddPdlEntryLeavesNothingHalfWritten) {
  Create();
  const int y = Year("2025");
  {
    RawDb db(reg_);
    db.Exec("CREATE TRIGGER refuse BEFORE INSERT ON Workpoint_SwExt BEGIN "
            "SELECT RAISE(ABORT, 'link refused'); END;");
  }
  EXPECT_EQ(1, AddPdlEntry(reg_, "12345", "pw", y, "C:\\S\\"));
  EXPECT_THAT(LogText(), HasSubstr("[* WARN] Exception link refused during database access in "
                                   "AddPdlEntry"));
  RawDb db(reg_);
  EXPECT_EQ("0", db.Scalar("SELECT count(*) FROM Workpoint"));
  EXPECT_THAT(LogText(), testing::Not(HasSubstr("Created new workpoint")));
}

TEST_F(SharedInfoTest, BusyRegisterTimesOutWithoutPartialRows) {
  Create();
  const int y = Year("2025");
  RawDb holder(reg_);
  holder.Exec("BEGIN EXCLUSIVE");
  const DWORD start = GetTickCount();
  EXPECT_EQ(1, AddPdlEntry(reg_, "12345", "pw", y, "C:\\S\\"));
  const DWORD waited = GetTickCount() - start;
  EXPECT_GE(waited, 400u);
  EXPECT_LT(waited, 3000u);
  EXPECT_THAT(LogText(), HasSubstr("database is locked during database access in AddPdlEntry"));
  bool found = true;
  EXPECT_EQ(1, ExistValidInstall(reg_, "12345", 2025, &found));
  holder.Exec("ROLLBACK");
  EXPECT_EQ("0", holder.Scalar("SELECT count(*) FROM Workpoint"));
  EXPECT_EQ(0, AddPdlEntry(reg_, "12345", "pw", y, "C:\\S\\"));
}

// Another program holds the file without letting anyone write to it: the
// register can still be read, and writing fails whole.
TEST_F(SharedInfoTest, RegisterThatCannotBeWrittenIsReadButNotChanged) {
  Create();
  const int y = Year("2025");
  ASSERT_EQ(0, AddPdlEntry(reg_, "12345", "pw", y, "C:\\S\\"));
  HANDLE holder = CreateFileA(reg_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  EXPECT_EQ(1, AddPdlEntry(reg_, "12345", "pw", y, "C:\\S\\"));
  EXPECT_THAT(LogText(), HasSubstr("readonly database during database access in AddPdlEntry"));
  bool found = false;
  EXPECT_EQ(0, ExistValidInstall(reg_, "12345", 2025, &found));
  EXPECT_TRUE(found);
  std::vector<WorkpointRecord> records;
  EXPECT_EQ(0, ParseSharedInfo(reg_, 2025, records));
  EXPECT_EQ(1u, records.size());
  CloseHandle(holder);
  RawDb db(reg_);
  EXPECT_EQ("1", db.Scalar("SELECT count(*) FROM Workpoint"));
  ExpectConsistent(db);
}

TEST_F(SharedInfoTest, AssigneePredicate) {
  Create();
  const int y = Year("2025");
  struct Case {
    const char* stored;
    const char* asked;
    bool match;
  } const cases[] = {
      {"PC1\\m.rossi", "PC1\\m.rossi", true},
      {"PC1\\M.ROSSI", "pc1\\m.rossi", true},    // equal ignoring case
      {"PC1\\M.Rossi", "PC1\\m.rossi", true},
      {"PC2\\m.rossi", "PC1\\m.rossi", false},   // other computer, same user
      {"PC1\\m.rossi", "PC1\\m_rossi", false},   // "_" is no wildcard
      {"PC1\\mxrossi", "PC1\\m%", false},        // nor is "%"
      {"PC1\\m_rossi", "PC1\\m_rossi", true},
      {"PC1\\50%", "PC1\\50%", true},
      {"PC1\\a!b", "PC1\\a!b", true},            // the escape character itself
      {"PC1\\ab", "PC1\\a!b", false},
      {"PC1\\m%x", "PC1\\mAx", false},           // the stored text is no pattern
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.stored) + " / " + c.asked);
    {
      RawDb db(reg_);
      db.Exec("DELETE FROM Workpoint; DELETE FROM Workpoint_SwExt;");
      db.AddWorkpoint(y, "12345", "x", 1, c.stored, "C:\\S\\");
    }
    bool found = !c.match;
    EXPECT_EQ(0, ExistValidInstall(reg_, "12345", 2025, &found, c.asked));
    EXPECT_EQ(c.match, found);
    g_user = c.asked;
    std::vector<WorkpointRecord> records;
    ASSERT_EQ(0, ParseSharedInfo(reg_, 2025, records));
    ASSERT_EQ(1u, records.size());
    // Only the current user's own rows can be pending.
    EXPECT_EQ(c.match ? 0 : 1, records[0].notPending);
    EXPECT_EQ(0, RemoveWorkpoint(reg_, "12345", "2025"));
    RawDb db(reg_);
    EXPECT_EQ(c.match ? "0" : "1", db.Scalar("SELECT count(*) FROM Workpoint"));
    ExpectConsistent(db);
  }
}

TEST_F(SharedInfoTest, RemoveWorkpointTakesOnlyTheUsersRowsOfThatOfficeAndYear) {
  Create();
  const int y25 = Year("2025"), y24 = Year("2024");
  g_user = "PC1\\m_rossi";
  {
    RawDb db(reg_);
    db.AddWorkpoint(y25, "12345", "x", 1, "PC1\\m_rossi", "C:\\S\\");
    db.AddWorkpoint(y25, "12345", "x", 2, "PC1\\m.rossi", "C:\\S\\");
    db.AddWorkpoint(y25, "54321", "x", 1, "PC1\\m_rossi", "C:\\S\\");
    db.AddWorkpoint(y24, "12345", "x", 1, "PC1\\m_rossi", "C:\\S\\");
    db.AddWorkpoint(y25, "12345", "x", 3, "pc1\\M_ROSSI", "C:\\S\\");
  }
  ASSERT_EQ(0, RemoveWorkpoint(reg_, "12345", "2025"));
  RawDb db(reg_);
  auto rows = db.Query("SELECT pm, pdl, assignee FROM Workpoint ORDER BY idWorkpoint");
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"12345", "2", "PC1\\m.rossi"},
                                                   {"54321", "1", "PC1\\m_rossi"},
                                                   {"12345", "1", "PC1\\m_rossi"}}),
            rows);
  EXPECT_EQ("2", db.Scalar("SELECT count(*) FROM SwExt"));
  ExpectConsistent(db);
  const std::string tail = " for 12345 2025 PC1\\m_rossi\r\n";
  EXPECT_THAT(LogText(), HasSubstr("[* WARN] RemoveWorkpoint found 2 pair" + tail));
  EXPECT_THAT(LogText(), HasSubstr("[* WARN] RemoveWorkpoint removed 1 lines on Workpoint" + tail));
  EXPECT_THAT(LogText(),
              HasSubstr("[* WARN] RemoveWorkpoint removed 1 lines on Workpoint_SwExt" + tail));
  ASSERT_EQ(0, RemoveWorkpoint(reg_, "12345", "2025"));
  EXPECT_THAT(LogText(), HasSubstr("[* WARN] RemoveWorkpoint found 0 pair" + tail));
}

TEST_F(SharedInfoTest, RemoveWorkpointDeletesEachPairWhole) {
  Create();
  const int y = Year("2025");
  {
    RawDb db(reg_);
    db.AddWorkpoint(y, "12345", "x", 1, g_user, "C:\\S\\");
    db.Exec("CREATE TRIGGER keep BEFORE DELETE ON Workpoint_SwExt BEGIN "
            "SELECT RAISE(ABORT, 'kept'); END;");
  }
  EXPECT_EQ(1, RemoveWorkpoint(reg_, "12345", "2025"));
  EXPECT_THAT(LogText(), HasSubstr("[* WARN] Exception kept during database access in "
                                   "RemoveWorkpoint"));
  EXPECT_THAT(LogText(), testing::Not(HasSubstr("removed")));
  RawDb db(reg_);
  EXPECT_EQ("1", db.Scalar("SELECT count(*) FROM Workpoint"));
  ExpectConsistent(db);
}

TEST_F(SharedInfoTest, ParseSharedInfoReadsTwoYearsCurrentUserFirst) {
  Create();
  const std::string office = dir_.path() + "Studio\\";
  // The runtime of 2025 is present on this PC, that of 2024 is not.
  ASSERT_TRUE(testing_support::WriteBytes(office + "ZAN2025\\home\\BIN\\wrun32.exe", "MZ"));
  RawDb db(reg_);
  const int y25 = db.AddSoftware("KORVAL", "2025");
  const int y24 = db.AddSoftware("KORVAL", "2024");
  const int y23 = db.AddSoftware("KORVAL", "2023");
  const int other = db.AddSoftware("ALTRO", "2025");
  const std::string pwd = "ZA" + std::string("\x2d", 1) + "x5678";  // three zero bytes stored
  const int others25 = db.AddWorkpoint(y25, "12345", Scrambled("secret01"), 1, "PC2\\bianchi", office);
  const int mine25 = db.AddWorkpoint(y25, "12345", Scrambled(pwd), 2, g_user, office);
  const int mine24 = db.AddWorkpoint(y24, "12345", Scrambled(pwd), 2, g_user, office);
  const int case25 = db.AddWorkpoint(y25, "54321", Scrambled("pw"), 3, "pc1\\M.Rossi", office);
  db.AddWorkpoint(y23, "12345", Scrambled("pw"), 4, g_user, office);
  db.AddWorkpoint(other, "12345", Scrambled("pw"), 5, g_user, office);
  db.Exec("UPDATE SwExt SET cmdline = NULL WHERE idSwExt = " + std::to_string(y24));

  std::vector<WorkpointRecord> records(1);
  ASSERT_EQ(0, ParseSharedInfo(reg_, 2025, records));
  ASSERT_EQ(4u, records.size());
  std::vector<int> ids;
  for (const auto& r : records) ids.push_back(r.idWorkpoint);
  // The user's three (in the query's order), then the other user's.
  std::vector<int> mine(ids.begin(), ids.begin() + 3);
  std::sort(mine.begin(), mine.end());
  EXPECT_EQ((std::vector<int>{mine25, mine24, case25}), mine);
  EXPECT_EQ(others25, ids[3]);
  std::map<int, const WorkpointRecord*> byId;
  for (const auto& r : records) byId[r.idWorkpoint] = &r;
  const WorkpointRecord& m = *byId[mine25];
  EXPECT_EQ(y25, m.idSwExt);
  EXPECT_EQ("12345", m.pm);
  EXPECT_EQ(pwd, m.pwd);
  EXPECT_EQ(8u, m.pwd.size());
  EXPECT_EQ("2", m.pdl);
  EXPECT_EQ(g_user, m.assignee);
  EXPECT_EQ(2025, m.anno);
  EXPECT_EQ(office, m.path);
  EXPECT_EQ("\\home\\BIN\\wrun32.exe", m.cmdline);
  EXPECT_EQ("args", m.arguments);
  EXPECT_EQ(1, m.notPending);
  EXPECT_EQ(0, byId[mine24]->notPending);   // runtime missing
  EXPECT_EQ("", byId[mine24]->cmdline);     // NULL reads as empty
  EXPECT_EQ(2024, byId[mine24]->anno);
  EXPECT_EQ(0, byId[case25]->notPending);   // the user's by the predicate, not exactly
  EXPECT_EQ(1, byId[others25]->notPending);
  EXPECT_EQ("secret01", byId[others25]->pwd);

  // An empty register gives an empty list; a missing one leaves the list alone.
  db.Exec("DELETE FROM Workpoint");
  EXPECT_EQ(0, ParseSharedInfo(reg_, 2025, records));
  EXPECT_TRUE(records.empty());
  records.resize(2);
  EXPECT_EQ(14, ParseSharedInfo(dir_ / "none", 2025, records));
  EXPECT_EQ(2u, records.size());
}

TEST_F(SharedInfoTest, DuplicateEntireYearCopiesMissingYears) {
  Create();
  const std::string pwd = Scrambled("ZAN-x123");  // zero bytes where the key matches
  {
    RawDb db(reg_);
    const int y18 = db.AddSoftware("KORVAL", "2018");
    const int y24 = db.AddSoftware("KORVAL", "2024");
    db.AddWorkpoint(y18, "12345", pwd, 3, g_user, "C:\\S\\");
    db.AddWorkpoint(y24, "12345", Scrambled("other"), 7, "PC2\\bianchi", "C:\\S\\");
    db.AddWorkpoint(y24, "99999", Scrambled("other"), 1, g_user, "C:\\T\\");
  }
  bool copied = false;
  ASSERT_EQ(0, DuplicateEntireYear(reg_, "12345", "2025", &copied));
  EXPECT_TRUE(copied);
  RawDb db(reg_);
  auto rows = db.Query(
      "SELECT s.anno, w.pdl, w.assignee, CAST(w.pwd AS BLOB), w.path FROM Workpoint w JOIN "
      "Workpoint_SwExt ws ON w.idWorkpoint = ws.idWorkpoint JOIN SwExt s ON "
      "s.idSwExt = ws.idSwExt WHERE w.pm = '12345' ORDER BY w.assignee, s.anno");
  std::vector<std::string> mineYears, otherYears;
  for (const auto& r : rows) {
    if (r[2] == g_user) {
      mineYears.push_back(r[0]);
      EXPECT_EQ("3", r[1]);
      EXPECT_EQ(pwd, r[3]);
      EXPECT_EQ("C:\\S\\", r[4]);
    } else {
      otherYears.push_back(r[0]);
      EXPECT_EQ("7", r[1]);
    }
  }
  EXPECT_EQ((std::vector<std::string>{"2016", "2017", "2018", "2019", "2020", "2021", "2022",
                                      "2023", "2024", "2025"}),
            mineYears);
  EXPECT_EQ((std::vector<std::string>{"2024", "2025"}), otherYears);
  EXPECT_EQ("1", db.Scalar("SELECT count(*) FROM Workpoint WHERE pm = '99999'"));
  EXPECT_EQ("0", db.Scalar("SELECT count(*) FROM (SELECT anno FROM SwExt GROUP BY anno "
                           "HAVING count(*) > 1)"));
  ExpectConsistent(db);
  EXPECT_THAT(LogText(), HasSubstr("[  INFO] Created new workpoint  -> "));
  EXPECT_THAT(LogText(), HasSubstr(" -> 12345 -> 2025 -> 7 -> PC2\\bianchi\r\n"));

  // A second run finds everything in place.
  const std::string count = db.Scalar("SELECT count(*) FROM Workpoint");
  ASSERT_EQ(0, DuplicateEntireYear(reg_, "12345", "2025", &copied));
  EXPECT_FALSE(copied);
  EXPECT_EQ(count, db.Scalar("SELECT count(*) FROM Workpoint"));
  // Years that give nothing to do.
  for (const char* year : {"2015", "abc"}) {
    copied = true;
    EXPECT_EQ(0, DuplicateEntireYear(reg_, "12345", year, &copied));
    EXPECT_FALSE(copied);
  }
  EXPECT_EQ(count, db.Scalar("SELECT count(*) FROM Workpoint"));
}

TEST_F(SharedInfoTest, DuplicateEntireYearSkipsAYearItCannotAdd) {
  Create();
  {
    RawDb db(reg_);
    const int y18 = db.AddSoftware("KORVAL", "2018");
    db.AddWorkpoint(y18, "12345", "x", 1, g_user, "C:\\S\\");
    db.Exec("CREATE TRIGGER no2020 BEFORE INSERT ON SwExt WHEN NEW.anno = '2020' BEGIN "
            "SELECT RAISE(ABORT, 'no 2020'); END;");
  }
  bool copied = false;
  EXPECT_EQ(1, DuplicateEntireYear(reg_, "12345", "2021", &copied));
  EXPECT_TRUE(copied);
  EXPECT_THAT(LogText(), HasSubstr("[* WARN] DuplicateEntireYear skipped year 2020"));
  RawDb db(reg_);
  auto years = db.Query("SELECT s.anno FROM Workpoint_SwExt ws JOIN SwExt s ON "
                        "s.idSwExt = ws.idSwExt ORDER BY s.anno");
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"2016"}, {"2017"}, {"2018"}, {"2019"},
                                                   {"2021"}}),
            years);
  ExpectConsistent(db);
}

// Threads of one process adding workstations of one office and year at once.
TEST_F(SharedInfoTest, ConcurrentThreadsGetDistinctNumbers) {
  Create();
  const int y = Year("2025");
  const int kThreads = 4, kEach = 15;
  std::atomic<int> added{0}, failed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        const std::string who = "PC" + std::to_string(t) + "\\u" + std::to_string(i);
        // A busy register is reported as 1; try again as the user would.
        int r = 1;
        for (int attempt = 0; attempt < 50 && r != 0; ++attempt) {
          r = AddPdlEntry(reg_, "12345", "pw", y, "C:\\S\\", who);
          if (r != 0) ++failed;
        }
        if (r == 0) ++added;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(kThreads * kEach, added.load());
  RawDb db(reg_);
  EXPECT_EQ(std::to_string(kThreads * kEach), db.Scalar("SELECT count(DISTINCT pdl) FROM Workpoint"));
  EXPECT_EQ(std::to_string(kThreads * kEach), db.Scalar("SELECT max(pdl) FROM Workpoint"));
  ExpectConsistent(db);
  RecordProperty("busy_retries", failed.load());
}

// Eight processes adding 25 workstations each to one register.
TEST_F(SharedInfoTest, ConcurrentProcessesGetDistinctNumbers) {
  Create();
  std::string exe = REGISTER_WRITER_EXE;
  std::replace(exe.begin(), exe.end(), '/', '\\');
  exe = "Z:" + exe;
  const int kProcesses = 8, kEach = 25;
  std::vector<PROCESS_INFORMATION> children;
  const DWORD start = GetTickCount();
  for (int p = 0; p < kProcesses; ++p) {
    std::string cmd = "\"" + exe + "\" \"" + reg_ + "\" 12345 2025 " + std::to_string(kEach) +
                      " PC" + std::to_string(p) + "\\u \"" + dir_.path() + "log\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi))
        << GetLastError();
    children.push_back(pi);
  }
  for (auto& pi : children) {
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 120000));
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(0u, code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  const DWORD elapsed = GetTickCount() - start;
  std::printf("%d processes x %d workstations: %lu ms\n", kProcesses, kEach,
              static_cast<unsigned long>(elapsed));
  RecordProperty("elapsed_ms", static_cast<int>(elapsed));
  RawDb db(reg_);
  const std::string total = std::to_string(kProcesses * kEach);
  EXPECT_EQ(total, db.Scalar("SELECT count(*) FROM Workpoint"));
  EXPECT_EQ(total, db.Scalar("SELECT count(DISTINCT pdl) FROM Workpoint"));
  EXPECT_EQ("1", db.Scalar("SELECT min(pdl) FROM Workpoint"));
  EXPECT_EQ(total, db.Scalar("SELECT max(pdl) FROM Workpoint"));
  EXPECT_EQ("1", db.Scalar("SELECT count(*) FROM SwExt"));
  ExpectConsistent(db);
}

}  // namespace
