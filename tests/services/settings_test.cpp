// fixtures: detect_unc
// The environment of a run, the drive list, the free-space check, the record
// order of the office list and the questions the pages ask about the records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>

#include "constants.h"
#include "detection_test_util.h"
#include "file_utils.h"
#include "settings.h"

using detection_test::ScratchLog;

namespace {

std::unique_ptr<InstallRecord> Rec(const std::string& pm, const std::string& anno,
                                   const std::string& platformPath, const std::string& assignee,
                                   const std::string& pdl) {
  std::unique_ptr<InstallRecord> r(new InstallRecord);
  r->pm = pm;
  r->anno = anno;
  r->platformPath = platformPath;
  r->assignee = assignee;
  r->pdl = pdl;
  return r;
}

std::string Me() { return GetComputerUserName(); }

// The current user's name written in another letter case.
std::string MeOtherCase() {
  std::string s = Me();
  for (char& c : s) c = static_cast<char>(islower(static_cast<unsigned char>(c)) ? toupper(c) : tolower(c));
  return s;
}

}  // namespace

TEST(RecordOrder, SortsAMixedSetByEveryKey) {
  ASSERT_FALSE(Me().empty());
  // Listed in the expected order; the pdl field doubles as the label.
  std::vector<std::unique_ptr<InstallRecord>> expected;
  expected.push_back(Rec("00007", "2024", "C:\\A", "PC9\\zoe", "91"));
  expected.push_back(Rec("0001", "2025", "C:\\A", "PC9\\zoe", "90"));   // a prefix of 00012
  expected.push_back(Rec("00012", "2025", "C:\\A", Me(), "3"));          // the current user,
  expected.push_back(Rec("00012", "2025", "C:\\A", MeOtherCase(), "7")); // in any case, first
  expected.push_back(Rec("00012", "2025", "C:\\A", "PC3\\cid", "x"));   // non-numeric is 0
  expected.push_back(Rec("00012", "2025", "C:\\A", "PC2\\bob", "2"));   // 2 before 10
  expected.push_back(Rec("00012", "2025", "C:\\A", "PC1\\ann", "10"));
  expected.push_back(Rec("00012", "2025", "D:\\A", "PC3\\cid", "1"));
  expected.push_back(Rec("00012", "2024", "A:\\A", Me(), "1"));

  std::vector<std::string> want;
  for (const auto& r : expected) want.push_back(r->pdl + "/" + r->platformPath + "/" + r->anno);

  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    InstallRecordList records;
    for (const auto& r : expected) records.push_back(std::unique_ptr<InstallRecord>(new InstallRecord(*r)));
    std::shuffle(records.begin(), records.end(), rng);
    SortPmRecords(records);
    std::vector<std::string> got;
    for (const auto& r : records) got.push_back(r->pdl + "/" + r->platformPath + "/" + r->anno);
    ASSERT_EQ(got, want) << "round " << round;
  }
}

TEST(RecordOrder, EqualRecordsSortNeitherWay) {
  auto a = Rec("00012", "2025", "C:\\A", "PC1\\ann", "4");
  auto b = Rec("00012", "2025", "C:\\A", "PC2\\bob", "04");
  EXPECT_FALSE(ComparePmRecords(*a, *b));
  EXPECT_FALSE(ComparePmRecords(*b, *a));
  EXPECT_FALSE(ComparePmRecords(*a, *a));
}

TEST(SettingQuestions, SameRecordAndPredicates) {
  CSetting s;
  s.year = "2025";
  EXPECT_FALSE(s.HasPendingRecordForCurrentYear());
  EXPECT_FALSE(s.HasPendingSharedInfoRecord());
  EXPECT_FALSE(s.HasDiskScanRecords());

  s.sharedInfoRecords.push_back(Rec("00012", "2025", "C:\\A", "PC1\\ann", "1"));
  s.sharedInfoRecords.push_back(Rec("00012", "2025", "D:\\B", "PC2\\bob", "1"));
  s.sharedInfoRecords.push_back(Rec("00012", "2025", "C:\\A", "PC1\\ann", "2"));
  for (auto& r : s.sharedInfoRecords) r->notPending = true;
  struct {
    int i, j;
    bool same;
  } pairs[] = {{0, 0, true}, {0, 1, true}, {0, 2, false}, {-1, 0, false}, {0, -1, false},
               {0, 3, false}};
  for (const auto& p : pairs) EXPECT_EQ(s.SameRecord(p.i, p.j), p.same) << p.i << "," << p.j;

  // Register records of this year, all complete: nothing pending.
  EXPECT_FALSE(s.HasPendingRecordForCurrentYear());
  EXPECT_FALSE(s.HasPendingSharedInfoRecord());

  // A pending register record of another year.
  s.sharedInfoRecords[1]->anno = "2024";
  s.sharedInfoRecords[1]->notPending = false;
  EXPECT_FALSE(s.HasPendingRecordForCurrentYear());
  EXPECT_TRUE(s.HasPendingSharedInfoRecord());

  // An installation found on disk of the previous year, then of this one
  // (whose notPending is false as made, and not asked).
  s.diskScanRecords.push_back(Rec("00030", "2024", "C:\\ZAN2024", "", ""));
  EXPECT_TRUE(s.HasDiskScanRecords());
  EXPECT_FALSE(s.HasPendingRecordForCurrentYear());
  s.diskScanRecords.push_back(std::unique_ptr<InstallRecord>(new InstallRecord));
  s.diskScanRecords.back()->anno = "2025";
  EXPECT_FALSE(s.diskScanRecords.back()->notPending);
  EXPECT_EQ(s.diskScanRecords.back()->type, 0);
  EXPECT_TRUE(s.HasPendingRecordForCurrentYear());

  // Only the disk record of this year, no register records.
  s.sharedInfoRecords.clear();
  EXPECT_TRUE(s.HasPendingRecordForCurrentYear());
  EXPECT_FALSE(s.HasPendingSharedInfoRecord());
}

TEST(SettingLoad, EnvironmentOfTheRun) {
  ScratchLog log;
  CSetting s;
  EXPECT_EQ(s.Load(), 0u);
  EXPECT_EQ(s.platformName, g_platformName);
  EXPECT_EQ(s.year, g_year);
  EXPECT_EQ(s.systemDrive, "C:");
  EXPECT_EQ(s.installRoot, "C:\\");
  EXPECT_EQ(s.systemDriveRoot, "C:");
  EXPECT_EQ(s.runtimeBinPath, "%\\HOME\\BIN");
  EXPECT_EQ(s.runtimeExePath, "%\\home\\bin\\wrun32.exe");
  EXPECT_EQ(s.companyName, g_companyName);
  EXPECT_EQ(s.freeBytes, 0u);
  EXPECT_NE(std::find(s.drives.begin(), s.drives.end(), "C:\\"), s.drives.end());
  std::vector<std::string> m = log.Messages();
  ASSERT_GE(m.size(), 2u);
  EXPECT_EQ(m[0], "[  INFO] Getting info about install");
  EXPECT_EQ(m[1], "[  INFO] Getting disk list");
}

namespace {

// A drive list and drive types set by the test.
std::string g_fakeList;
DWORD g_fakeGrowOnce = 0;
DWORD WINAPI FakeDriveStrings(DWORD size, LPSTR buffer) {
  const DWORD needed = static_cast<DWORD>(g_fakeList.size()) + 1;
  if (g_fakeGrowOnce) {  // claims a shorter list on the size query
    DWORD claimed = g_fakeGrowOnce;
    g_fakeGrowOnce = 0;
    return claimed;
  }
  if (size < needed) return needed;
  std::memcpy(buffer, g_fakeList.c_str(), needed);
  return needed - 1;
}
UINT WINAPI FakeDriveType(LPCSTR root) {
  switch (root[0]) {
    case 'A': case 'B': case 'C': case 'H': return DRIVE_FIXED;
    case 'D': return DRIVE_CDROM;
    case 'E': return DRIVE_REMOVABLE;
    case 'F': return DRIVE_RAMDISK;
    case 'G': return DRIVE_NO_ROOT_DIR;
    case 'Z': return DRIVE_REMOTE;
  }
  return DRIVE_UNKNOWN;
}
const DriveApi kFakeDrives = {&FakeDriveStrings, &FakeDriveType};

struct FakeDrivesScope {
  FakeDrivesScope(const std::string& list, DWORD growOnce = 0) {
    g_fakeList = list;
    g_fakeGrowOnce = growOnce;
    SetDriveApiForTesting(&kFakeDrives);
  }
  ~FakeDrivesScope() { SetDriveApiForTesting(nullptr); }
};

}  // namespace

TEST(SettingDrives, KeepsFixedRemovableAndRemoteDrives) {
  struct {
    const char* name;
    std::string list;
    DWORD growOnce;
    std::vector<std::string> drives;
    size_t logged;
  } cases[] = {
      {"typical", std::string("A:\\\0B:\\\0C:\\\0D:\\\0E:\\\0Z:\\\0", 24), 0,
       {"C:\\", "E:\\", "Z:\\"}, 6},
      {"ram disk and no root", std::string("C:\\\0F:\\\0G:\\\0", 12), 0, {"C:\\"}, 3},
      {"drive added between the calls", std::string("C:\\\0E:\\\0H:\\\0", 12), 5,
       {"C:\\", "E:\\", "H:\\"}, 3},
      {"empty", std::string(), 0, {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchLog log;
    FakeDrivesScope fake(c.list, c.growOnce);
    CSetting s;
    EXPECT_EQ(s.GetDiskList(), 0u);
    EXPECT_EQ(s.drives, c.drives);
    std::vector<std::string> m = log.Messages();
    ASSERT_EQ(m.size(), 1 + c.logged);
    EXPECT_EQ(m[0], "[  INFO] Getting disk list");
    for (size_t i = 0; i < c.logged; ++i)
      EXPECT_EQ(m[1 + i], "[  INFO] Getting valid disk -> " + std::string(1, c.list[4 * i]) + ":\\");
  }
}

TEST(SettingDiskSpace, RootOfTheGivenPath) {
  testing_support::TempDir dir;
  const std::string share = detection_test::ShareRoot() + "space_" +
                            std::to_string(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryA(share.c_str(), nullptr)) << "no " << share;
  struct {
    std::string path;
    bool measured;
  } cases[] = {
      {"C:\\ZAN\\PM00012\\", true},
      {"C:\\", true},
      {dir.path(), true},
      {share + "\\ZAN\\PM00001", true},  // on the share's root
      {share, true},
      {"C:", false},
      {"", false},
      {"C:\\" + std::string(257, 'x'), false},
      {"\\\\detectsrv", false},
      {"\\\\detectsrv\\", false},
      {"\\\\detectsrv\\\\x", false},
      {"\\\\nosuchserver\\noshare\\x", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    CSetting s;
    s.freeBytes = 12345;
    bool enough = s.CheckDiskSpace(c.path, 0);
    if (!c.measured) {
      EXPECT_FALSE(enough);
      EXPECT_EQ(s.freeBytes, 12345u);
      continue;
    }
    EXPECT_NE(s.freeBytes, 12345u);
    EXPECT_EQ(enough, s.freeBytes > 0);
    // The threshold is strict and 64-bit.
    EXPECT_EQ(s.CheckDiskSpace(c.path, 0xFFFFFFFFu), s.freeBytes > 0xFFFFFFFFull);
    if (s.freeBytes <= 0xFFFFFFFFull && s.freeBytes > 0) {
      EXPECT_FALSE(s.CheckDiskSpace(c.path, static_cast<uint32_t>(s.freeBytes)));
    }
  }
  RemoveDirectoryA(share.c_str());
}
