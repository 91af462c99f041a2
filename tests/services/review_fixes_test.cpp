// fixtures: extract_archives
// Faults found on review: an unpacking folder given without its "\", and a
// failure other than SQLite's inside a register operation.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <new>
#include <string>
#include <vector>

#include "extract_7z.h"
#include "shared_info.h"
#include "test_support.h"

using testing_support::Exists;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::TestData;

namespace {

TEST(ReviewFixes, ExtractIntoFolderWithoutFinalSeparatorStaysInside) {
  TempDir temp;
  const std::string dest = temp / "dest";  // no "\" at the end
  std::string current;
  ASSERT_EQ(Extract7z(TestData("extract\\three.7z"), dest, &current, nullptr), 0u);
  EXPECT_EQ(ReadBytes(dest + "\\a.txt"), "a");
  EXPECT_EQ(ReadBytes(dest + "\\c.txt"), "c");
  EXPECT_EQ(current, dest + "\\c.txt");
  for (const char* beside : {"desta.txt", "destb.txt", "destc.txt"})
    EXPECT_FALSE(Exists(temp / beside)) << beside;
}

std::string ThrowingUser() { throw std::bad_alloc(); }

TEST(ReviewFixes, RegisterOperationsTurnAnyFailureIntoResultOne) {
  TempDir temp;
  testing_support::LogCapture log;
  const std::string path = temp / "SharedInfo";
  ASSERT_EQ(CreateSharedInfo(path), kSharedInfoOk);
  SetCurrentUserSourceForTesting(&ThrowingUser);
  std::vector<WorkpointRecord> records(1);
  bool copied = true;
  int parsed = -1, duplicated = -1;
  EXPECT_NO_THROW(parsed = ParseSharedInfo(path, 2025, records));
  EXPECT_NO_THROW(duplicated = DuplicateEntireYear(path, "00012", "2025", &copied));
  SetCurrentUserSourceForTesting(nullptr);
  EXPECT_EQ(parsed, kSharedInfoError);
  EXPECT_TRUE(records.empty());
  EXPECT_EQ(duplicated, kSharedInfoError);
  EXPECT_FALSE(copied);
  EXPECT_TRUE(log.Has("[* WARN] Sqlite exception std::bad_alloc in ParseSharedInfo"));
  EXPECT_TRUE(log.Has("[* WARN] Exception std::bad_alloc during database access in "
                      "DuplicateEntireYear"));
}

TEST(ReviewFixes, HighestWorkpointNumberIsRefusedNotWrapped) {
  TempDir temp;
  testing_support::LogCapture log;
  const std::string path = temp / "SharedInfo";
  ASSERT_EQ(CreateSharedInfo(path), kSharedInfoOk);
  int idSwExt = 0;
  ASSERT_EQ(CheckInstallation(path, "2025", &idSwExt), kSharedInfoOk);
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
  const std::string insert =
      "INSERT INTO Workpoint (pm, pwd, pdl, assignee, path) VALUES ('00012', 'x', 2147483647, "
      "'PC\\u', 'C:\\'); INSERT INTO Workpoint_SwExt VALUES (last_insert_rowid(), " +
      std::to_string(idSwExt) + ");";
  ASSERT_EQ(sqlite3_exec(raw, insert.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);

  EXPECT_EQ(AddPdlEntry(path, "00012", "password", idSwExt, "C:\\ZAN\\", "PC\\other"),
            kSharedInfoError);
  sqlite3_stmt* count = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(raw, "SELECT count(*) FROM Workpoint", -1, &count, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(count, 0), 1);
  sqlite3_finalize(count);
  sqlite3_close(raw);
  EXPECT_TRUE(log.Has("[* WARN] No free workpoint number in the register"));
}

}  // namespace
