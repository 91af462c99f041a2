// The SharedInfo register: real SQLite files in scratch folders, checked through
// a raw SQLite connection that shares no code with the operations.
#include "shared_info.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <new>
#include <vector>

#include "test_support.h"

using testing_support::TempDir;

namespace {

using RawDb = testing_support::RegisterDb;
using testing_support::Scrambled;

std::string Rows(RawDb& db) { return db.Query("SELECT count(*) FROM Workpoint"); }

// Every Workpoint row has exactly one link, every link a Workpoint row and a year.
void ExpectConsistent(RawDb& db) {
  EXPECT_EQ("0", db.Query("SELECT (SELECT count(*) FROM Workpoint w WHERE (SELECT count(*) FROM "
                          "Workpoint_SwExt ws WHERE ws.idWorkpoint = w.idWorkpoint) <> 1) + "
                          "(SELECT count(*) FROM Workpoint_SwExt WHERE idSwExt < 1 OR "
                          "idWorkpoint NOT IN (SELECT idWorkpoint FROM Workpoint))"));
}

std::string g_user;
std::string TestUser() { return g_user; }
std::string ThrowingUser() { throw std::bad_alloc(); }

// Each test starts with a register made by the product, holding the year 2025.
class SharedInfoTest : public testing::Test {
 protected:
  void SetUp() override {
    g_user = "PC1\\m.rossi";
    SetCurrentUserSourceForTesting(&TestUser);
    ASSERT_EQ(0, CreateSharedInfo(reg_));
    y25_ = Year("2025");
  }
  void TearDown() override {
    SetCurrentUserSourceForTesting(nullptr);
    SetRegisterCheckedHookForTesting(nullptr);
  }
  int Year(const std::string& anno) {
    int id = 0;
    EXPECT_EQ(0, CheckInstallation(reg_, anno, &id));
    return id;
  }
  int Add(const std::string& assignee = "") {
    return AddPdlEntry(reg_, "12345", "pw", y25_, "C:\\S\\", assignee);
  }

  TempDir dir_;
  testing_support::LogCapture log_;
  const std::string reg_ = dir_ / "SharedInfo";
  int y25_ = 0;
};

// No path, a missing register (not created), a file that is no register, a
// folder: every operation fails, and what it hands back says nothing found.
TEST_F(SharedInfoTest, MissingAndBrokenRegisters) {
  const std::string junk = dir_ / "junk";
  ASSERT_TRUE(testing_support::WriteBytes(junk, std::string(4096, 'x')));
  int id = 7;
  bool found = true, copied = true;
  std::vector<WorkpointRecord> records(2);
  using Path = const std::string&;
  const std::function<int(Path)> operations[] = {
      [&](Path p) { return CheckInstallation(p, "2025", &id); },
      [](Path p) { return AddPdlEntry(p, "12345", "pw", 1, "C:\\S\\"); },
      [&](Path p) { return ExistValidInstall(p, "12345", 2025, &found); },
      [](Path p) { return RemoveWorkpoint(p, "12345", "2025"); },
      [&](Path p) { return ParseSharedInfo(p, 2025, records); },
      [&](Path p) { return DuplicateEntireYear(p, "12345", "2025", &copied); },
  };
  for (const auto& run : operations)
    for (const std::string& path : {std::string(), dir_ / "none", junk, dir_.path()})
      EXPECT_NE(0, run(path)) << path;
  EXPECT_FALSE(testing_support::Exists(dir_ / "none"));
  EXPECT_EQ(id, 0);
  EXPECT_FALSE(found);
  EXPECT_TRUE(records.empty());
  EXPECT_FALSE(copied);
  EXPECT_EQ(1, CreateSharedInfo(dir_ / "nofolder\\SharedInfo"));
}

// The tables every PC and the platform expect, as the shared test writer
// makes them.
TEST_F(SharedInfoTest, CreatesExactSchemaAndOnlyMissingTables) {
  RawDb(reg_).Exec("INSERT INTO meta VALUES ('k', 'v'); DROP TABLE SwExt; "
                   "CREATE TABLE Workpoint_SwExt2 (x);");
  ASSERT_EQ(CreateSharedInfo(reg_), 0);
  ASSERT_EQ(CreateSharedInfo(reg_), 0);
  RawDb db(reg_), reference(dir_ / "reference");
  reference.CreateTables();
  const std::string schema = "SELECT name, sql FROM sqlite_master WHERE name IN ('meta', "
                             "'Workpoint', 'Workpoint_SwExt', 'SwExt') ORDER BY name";
  EXPECT_EQ(db.Query(schema), reference.Query(schema));
  EXPECT_EQ("v", db.Query("SELECT value FROM meta WHERE key = 'k'"));
  EXPECT_EQ("6", db.Query("SELECT count(*) FROM sqlite_master WHERE type = 'table'"));
}

// Numbered after the highest of the same office and year, the password
// scrambled with its zero bytes, the current user when none is given, linked
// to the year's row (never another software's). The rows the setup writes on
// its roads are read back end to end.
TEST_F(SharedInfoTest, WorkpointsNumberedPerOfficeAndYear) {
  const int y24 = Year("2024");
  RawDb db(reg_);
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
  ExpectConsistent(db);
}

// An office folder whose name has a letter beyond ASCII (ANSI text, as every
// path of the setup): the register is made and found under that very name.
TEST_F(SharedInfoTest, RegisterInAFolderWithAnAccentedName) {
  const std::string folder = dir_ / "Studio Citt\xE0";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  const std::string reg = folder + "\\SharedInfo";
  ASSERT_EQ(CreateSharedInfo(reg), 0);
  EXPECT_TRUE(testing_support::Exists(reg));
  int id = 0;
  EXPECT_EQ(CheckInstallation(reg, "2025", &id), 0);
}

// A failing statement rolls back the whole operation.
TEST_F(SharedInfoTest, FailedWritesLeaveNothingHalfWritten) {
  RawDb db(reg_);
  db.AddWorkpoint(y25_, "12345", "x", 1, g_user);
  db.Exec("CREATE TRIGGER a BEFORE INSERT ON Workpoint_SwExt BEGIN SELECT RAISE(ABORT, 'no link'); "
          "END; CREATE TRIGGER b BEFORE DELETE ON Workpoint_SwExt BEGIN SELECT RAISE(ABORT, "
          "'kept'); END;");
  EXPECT_EQ(1, Add());
  EXPECT_EQ(1, RemoveWorkpoint(reg_, "12345", "2025"));
  EXPECT_TRUE(log_.Has("[* WARN] Exception no link during database access in AddPdlEntry\r\n"));
  EXPECT_TRUE(log_.Has("[* WARN] Exception kept during database access in RemoveWorkpoint\r\n"));
  EXPECT_EQ("1", Rows(db));
  ExpectConsistent(db);
}

// Held open by a program that lets nobody write: writing fails whole, reading
// still works.
TEST_F(SharedInfoTest, RegisterHeldReadOnly) {
  ASSERT_EQ(0, Add());
  testing_support::HeldFile holder(reg_, FILE_SHARE_READ);
  ASSERT_TRUE(holder.held());
  EXPECT_EQ(1, Add());
  EXPECT_TRUE(log_.Has("readonly database during database access in AddPdlEntry"));
  bool found = false;
  std::vector<WorkpointRecord> records;
  EXPECT_EQ(ExistValidInstall(reg_, "12345", 2025, &found), 0);
  EXPECT_TRUE(found);
  EXPECT_EQ(ParseSharedInfo(reg_, 2025, records), 0);
  EXPECT_EQ(records.size(), 1u);
  holder.Release();
  RawDb db(reg_);
  EXPECT_EQ("1", Rows(db));
  ExpectConsistent(db);
}

// "_", "%" and the escape character in a user name are no wildcards; removal
// takes only the user's rows of that office and year.
TEST_F(SharedInfoTest, AssigneePredicate) {
  const int y24 = Year("2024");
  const struct { const char *stored, *asked; bool match; } cases[] = {
      {"PC1\\M.ROSSI", "pc1\\m.rossi", true},  // equal ignoring case
      {"PC1\\m.rossi", "PC1\\m_rossi", false},
      {"PC1\\mxrossi", "PC1\\m%", false},
      {"PC1\\50%", "PC1\\50%", true},
      {"PC1\\ab", "PC1\\a!b", false},
      {"PC1\\m%x", "PC1\\mAx", false},  // the stored text is no pattern
  };
  RawDb db(reg_);
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.stored) + " / " + c.asked);
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
    ExpectConsistent(db);
  }
  EXPECT_TRUE(log_.Has("[* WARN] RemoveWorkpoint found 1 pair for 12345 2025 PC1\\50%\r\n"));
}

// The password comes back with every byte, zero bytes included.
TEST_F(SharedInfoTest, ParseSharedInfoReadsTwoYearsCurrentUserFirst) {
  const std::string office = dir_.path() + "Studio\\", pwd = "ZA-x5678";
  // The runtime of 2025 is present on this PC, that of 2024 is not.
  ASSERT_TRUE(testing_support::WriteBytes(office + "ZAN2025\\home\\BIN\\wrun32.exe", "MZ"));
  RawDb db(reg_);
  const int y24 = db.AddSoftware("KORVAL", "2024");
  const int theirs = db.AddWorkpoint(y25_, "12345", Scrambled("secret01"), 1, "PC2\\b", office);
  const int mine25 = db.AddWorkpoint(y25_, "12345", Scrambled(pwd), 2, g_user, office);
  const int mine24 = db.AddWorkpoint(y24, "12345", Scrambled(pwd), 2, g_user, office);
  const int case25 = db.AddWorkpoint(y25_, "54321", Scrambled("x"), 3, "pc1\\M.Rossi", office);
  db.AddWorkpoint(db.AddSoftware("KORVAL", "2023"), "12345", "x", 4, g_user, office);
  db.AddWorkpoint(db.AddSoftware("ALTRO", "2025"), "12345", "x", 5, g_user, office);

  std::vector<WorkpointRecord> records(1);
  ASSERT_EQ(0, ParseSharedInfo(reg_, 2025, records));
  std::vector<std::string> got;  // "id pwd anno notPending"
  for (const auto& r : records)
    got.push_back(std::to_string(r.idWorkpoint) + " " + r.pwd + " " + std::to_string(r.anno) +
                  " " + std::to_string(r.notPending));
  ASSERT_EQ(4u, got.size());
  std::sort(got.begin(), got.begin() + 3);  // the user's own in any order, then the others'
  EXPECT_EQ((std::vector<std::string>{
                std::to_string(mine25) + " " + pwd + " 2025 1",
                std::to_string(mine24) + " " + pwd + " 2024 0",  // runtime missing
                std::to_string(case25) + " x 2025 0",  // the user's by the predicate
                std::to_string(theirs) + " secret01 2025 1"}),
            got);
}

// The rows are read before any year is written: an open read would block the
// writes until the busy time-out.
TEST_F(SharedInfoTest, DuplicateEntireYearCopiesMissingYearsAndSkipsUnaddable) {
  const std::string pwd = Scrambled("ZAN-x123");  // zero bytes where the key matches
  RawDb db(reg_);
  const int y24 = db.AddSoftware("KORVAL", "2024");
  db.AddWorkpoint(db.AddSoftware("KORVAL", "2018"), "12345", pwd, 3, g_user);
  db.AddWorkpoint(y24, "12345", "x", 7, "PC2\\bianchi");
  db.AddWorkpoint(y24, "99999", "x", 1, g_user, "C:\\T\\");
  bool copied = false;
  ASSERT_EQ(0, DuplicateEntireYear(reg_, "12345", "2025", &copied));
  EXPECT_TRUE(copied);
  const std::string years = "SELECT group_concat(anno || '/' || pdl) FROM (SELECT s.anno, w.pdl "
      "FROM Workpoint w JOIN Workpoint_SwExt ws ON w.idWorkpoint = ws.idWorkpoint JOIN SwExt s "
      "ON s.idSwExt = ws.idSwExt WHERE w.pm = ? AND w.assignee = ? ORDER BY s.anno)";
  EXPECT_EQ("2016/3,2017/3,2018/3,2019/3,2020/3,2021/3,2022/3,2023/3,2024/3,2025/3",
            db.Query(years, {"12345", g_user}));
  EXPECT_EQ("2024/7,2025/7", db.Query(years, {"12345", "PC2\\bianchi"}));
  // The password copied with all its bytes, the folder kept.
  EXPECT_EQ("0", db.Query("SELECT count(*) FROM Workpoint WHERE pm = '12345' AND assignee = ? "
                          "AND (CAST(pwd AS BLOB) <> CAST(? AS BLOB) OR path <> 'C:\\S\\')",
                          {g_user, pwd}));
  EXPECT_EQ("1", db.Query("SELECT count(*) FROM Workpoint WHERE pm = '99999'"));
  EXPECT_EQ("", db.Query("SELECT anno FROM SwExt GROUP BY anno HAVING count(*) > 1"));
  ExpectConsistent(db);
  EXPECT_TRUE(log_.Has(" -> 12345 -> 2025 -> 7 -> PC2\\bianchi\r\n"));

  // Nothing left to copy, or nothing to copy into.
  const std::string rows = Rows(db);
  for (const char* year : {"2025", "2015", "abc"}) {
    copied = true;
    EXPECT_EQ(0, DuplicateEntireYear(reg_, "12345", year, &copied)) << year;
    EXPECT_FALSE(copied) << year;
  }
  EXPECT_EQ(rows, Rows(db));

  // A year that cannot be added is skipped, the others still copied.
  db.AddWorkpoint(y25_, "77777", "x", 1, g_user);
  db.Exec("CREATE TRIGGER no2026 BEFORE INSERT ON SwExt WHEN NEW.anno = '2026' BEGIN "
          "SELECT RAISE(ABORT, 'no 2026'); END;");
  EXPECT_EQ(1, DuplicateEntireYear(reg_, "77777", "2027", &copied));
  EXPECT_TRUE(copied);
  EXPECT_TRUE(log_.Has("[* WARN] DuplicateEntireYear skipped year 2026"));
  EXPECT_EQ("2016/1,2017/1,2018/1,2019/1,2020/1,2021/1,2022/1,2023/1,2024/1,2025/1,2027/1",
            db.Query(years, {"77777", g_user}));
  ExpectConsistent(db);
}

// Any PC can write the register: a copied workstation's assignee reaches the
// log escaped and cut, its line breaks never starting a line of their own.
TEST_F(SharedInfoTest, ACopiedWorkstationsAssigneeIsQuotedInTheLog) {
  const std::string forged = "PC3\\x\r\n[  INFO] forged ";
  const std::string assignee = forged + std::string(300, 'x');
  RawDb db(reg_);
  db.AddWorkpoint(db.AddSoftware("KORVAL", "2024"), "12345", "x", 9, assignee);
  bool copied = false;
  ASSERT_EQ(0, DuplicateEntireYear(reg_, "12345", "2025", &copied));
  EXPECT_TRUE(log_.Has(" -> 12345 -> 2025 -> 9 -> PC3\\x\\x0D\\x0A[  INFO] forged " +
                       std::string(260 - forged.size(), 'x') + "... (" +
                       std::to_string(assignee.size()) + " bytes)\r\n"))
      << log_.Text();
}

// The removal's office code and year, and a register error's message (here a
// trigger's, which any PC can add), are the register's text: escaped, never a
// line of their own.
TEST_F(SharedInfoTest, RemovalLinesAndRegisterMessagesAreQuoted) {
  const std::string code = "12345\r\n[  INFO] forged";
  const std::string tail = " for 12345\\x0D\\x0A[  INFO] forged 2025 PC1\\m.rossi\r\n";
  RawDb db(reg_);
  db.AddWorkpoint(y25_, code, "x", 1, g_user);
  EXPECT_EQ(0, RemoveWorkpoint(reg_, code, "2025"));
  EXPECT_EQ("0", Rows(db));
  EXPECT_TRUE(log_.Has("[* WARN] RemoveWorkpoint found 1 pair" + tail)) << log_.Text();
  EXPECT_TRUE(log_.Has("[* WARN] RemoveWorkpoint removed 1 lines on Workpoint" + tail));
  EXPECT_TRUE(log_.Has("[* WARN] RemoveWorkpoint removed 1 lines on Workpoint_SwExt" + tail));

  db.Exec("CREATE TRIGGER t BEFORE INSERT ON Workpoint BEGIN SELECT RAISE(ABORT, 'refused\r\n"
          "[  INFO] forged'); END;");
  EXPECT_EQ(1, Add());
  EXPECT_TRUE(log_.Has("[* WARN] Exception refused\\x0D\\x0A[  INFO] forged during database "
                       "access in AddPdlEntry\r\n"))
      << log_.Text();
  EXPECT_EQ(log_.Text().find("\n[  INFO] forged"), std::string::npos) << log_.Text();
}

TEST_F(SharedInfoTest, AnyFailureInsideAnOperationGivesResultOne) {
  SetCurrentUserSourceForTesting(&ThrowingUser);
  std::vector<WorkpointRecord> records(1);
  bool copied = true;  // a throw would fail the test
  EXPECT_EQ(ParseSharedInfo(reg_, 2025, records), 1);
  EXPECT_TRUE(records.empty());
  EXPECT_EQ(DuplicateEntireYear(reg_, "00012", "2025", &copied), 1);
  EXPECT_FALSE(copied);
  EXPECT_TRUE(log_.Has("[* WARN] Exception std::bad_alloc during database access in "
                       "DuplicateEntireYear")) << log_.Text();
}

// A register that went away after the check must not come back empty.
TEST_F(SharedInfoTest, RegisterGoneAfterTheCheckIsNotCreatedAgain) {
  SetRegisterCheckedHookForTesting([](const std::string& path) { DeleteFileA(path.c_str()); });
  int id = 7;
  EXPECT_EQ(1, CheckInstallation(reg_, "2024", &id));
  SetRegisterCheckedHookForTesting(nullptr);
  EXPECT_EQ(0, id);
  EXPECT_FALSE(testing_support::Exists(reg_));
}

// The next number follows the highest of the office and year, read whole;
// a highest below 1 counts as none; past the largest 32-bit number the
// register is refused rather than wrapped to a number another PC may have.
TEST_F(SharedInfoTest, NextWorkpointNumberAfterAnAbsurdHighest) {
  const std::string refused = "[* WARN] No free workpoint number in the register -> ";
  struct Row {
    long long highest;  // another user's row, the only one of the office
    int result;
    std::string added;  // the new row's number ("": none added)
  } rows[] = {
      {-5, 0, "1"},
      {2147483646, 0, "2147483647"},
      {2147483647, 1, ""},
      {9223372036854775807LL, 1, ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.highest);
    RawDb db(reg_);
    db.Exec("DELETE FROM Workpoint; DELETE FROM Workpoint_SwExt;");
    db.AddWorkpoint(y25_, "12345", "x", r.highest, "PC\\other");
    log_.Clear();
    EXPECT_EQ(Add("PC\\new"), r.result);
    EXPECT_EQ(db.Query("SELECT pdl FROM Workpoint WHERE assignee = 'PC\\new'"), r.added);
    EXPECT_EQ(log_.Has(refused + reg_), r.result == 1) << log_.Text();
  }
}

// Only whole numbers count: text sorts above every number in the query, and
// read as a number it would give a number another PC already has.
TEST_F(SharedInfoTest, NextWorkpointNumberPassesOverValuesThatAreNotWholeNumbers) {
  const std::string passedOver =
      "[* WARN] Workpoint numbers that are not whole numbers passed over -> ";
  struct Row {
    std::vector<std::string> others;  // SQL values of other users' rows, same office and year
    std::string added;
    const char* passed;  // the count logged ("": no line)
  } rows[] = {
      {{"'x'", "1"}, "2", "1"},
      {{"'9abc'", "2.5", "x'07'", "3", "NULL"}, "4", "3"},
      {{"'x'"}, "1", "1"},
      {{"2", "NULL"}, "3", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.added);
    RawDb db(reg_);
    db.Exec("DELETE FROM Workpoint; DELETE FROM Workpoint_SwExt;");
    for (const std::string& value : r.others) {
      const int id = db.AddWorkpoint(y25_, "12345", "x", 0, "PC\\other");
      db.Exec("UPDATE Workpoint SET pdl = " + value + " WHERE idWorkpoint = " +
              std::to_string(id));
    }
    log_.Clear();
    EXPECT_EQ(Add("PC\\new"), 0);
    EXPECT_EQ(db.Query("SELECT pdl FROM Workpoint WHERE assignee = 'PC\\new'"), r.added);
    EXPECT_EQ(log_.Has(passedOver), *r.passed != '\0') << log_.Text();
    if (*r.passed) {
      EXPECT_TRUE(log_.Has(passedOver + r.passed + " in " + reg_ + "\r\n")) << log_.Text();
    }
  }
}

}  // namespace
