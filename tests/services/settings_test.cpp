// fixtures: detect_unc
// The drive list, the free-space check and the record order of the office list.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <random>

#include "constants.h"
#include "file_utils.h"
#include "settings.h"
#include "test_support.h"

namespace {

// pm, anno, platformPath, assignee, pdl.
std::unique_ptr<InstallRecord> Rec(const std::vector<std::string>& f) {
  std::unique_ptr<InstallRecord> r(new InstallRecord);
  r->pm = f[0], r->anno = f[1], r->platformPath = f[2], r->assignee = f[3], r->pdl = f[4];
  return r;
}

TEST(RecordOrder, SortsAMixedSetByEveryKey) {
  const std::string me = GetComputerUserName();
  ASSERT_FALSE(me.empty());
  std::string meOtherCase = me;
  for (char& c : meOtherCase) c = static_cast<char>(islower(c & 0xFF) ? toupper(c) : tolower(c));
  const std::vector<std::vector<std::string>> sorted = {  // the pdl field is the label
      {"00007", "2024", "C:\\A", "PC9\\zoe", "91"},
      {"0001", "2025", "C:\\A", "PC9\\zoe", "90"},  // a prefix of 00012
      {"00012", "2025", "C:\\A", me, "3"},           // the current user,
      {"00012", "2025", "C:\\A", meOtherCase, "7"},  // in any case, first
      {"00012", "2025", "C:\\A", "PC3\\cid", "x"},   // non-numeric is 0
      {"00012", "2025", "C:\\A", "PC2\\bob", "2"},   // 2 before 10
      {"00012", "2025", "C:\\A", "PC1\\ann", "10"},
      {"00012", "2025", "D:\\A", "PC3\\cid", "1"},
      {"00012", "2024", "A:\\A", me, "1"}};
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    std::vector<std::vector<std::string>> rows = sorted, got;
    std::shuffle(rows.begin(), rows.end(), rng);
    InstallRecordList records;
    for (const auto& f : rows) records.push_back(Rec(f));
    SortPmRecords(records);
    for (const auto& r : records) got.push_back({r->pm, r->anno, r->platformPath, r->assignee, r->pdl});
    ASSERT_EQ(got, sorted) << "round " << round;
  }
  // Equal keys ("4" and "04" are the same number) sort neither way.
  auto a = Rec({"00012", "2025", "C:\\A", "PC1\\ann", "4"});
  auto b = Rec({"00012", "2025", "C:\\A", "PC2\\bob", "04"});
  EXPECT_FALSE(ComparePmRecords(*a, *b));
  EXPECT_FALSE(ComparePmRecords(*b, *a));
  EXPECT_FALSE(ComparePmRecords(*a, *a));
}

// A drive list, drive types and free space set by the test.
std::string g_fakeList;
DWORD g_fakeGrowOnce = 0;  // a shorter size claimed by the first query
ULONGLONG g_free = 0;
DWORD WINAPI FakeDriveStrings(DWORD size, LPSTR buffer) {
  const DWORD needed = static_cast<DWORD>(g_fakeList.size()) + 1, claimed = g_fakeGrowOnce;
  g_fakeGrowOnce = 0;
  if (claimed) return claimed;
  if (size < needed) return needed;
  std::memcpy(buffer, g_fakeList.c_str(), needed);
  return needed - 1;
}
UINT WINAPI FakeDriveType(LPCSTR root) {
  static const std::map<char, UINT> types = {
      {'A', DRIVE_FIXED}, {'B', DRIVE_FIXED}, {'C', DRIVE_FIXED}, {'H', DRIVE_FIXED},
      {'D', DRIVE_CDROM}, {'E', DRIVE_REMOVABLE}, {'F', DRIVE_RAMDISK}, {'Z', DRIVE_REMOTE}};
  return types.count(root[0]) ? types.at(root[0]) : DRIVE_NO_ROOT_DIR;
}
BOOL WINAPI FakeFreeSpace(LPCSTR, PULARGE_INTEGER available, PULARGE_INTEGER, PULARGE_INTEGER) {
  available->QuadPart = g_free;
  return TRUE;
}
const DriveApi kFake = {&FakeDriveStrings, &FakeDriveType, &FakeFreeSpace};

// Floppy letters, CD-ROMs, RAM disks and letters without a root are left out;
// a list that grew between the size query and the fill is asked again.
TEST(SettingDrives, KeepsFixedRemovableAndRemoteDrives) {
  const struct {
    std::string list;
    DWORD growOnce;
    std::vector<std::string> drives;
  } cases[] = {
      {std::string("A:\\\0B:\\\0C:\\\0D:\\\0E:\\\0Z:\\\0", 24), 0, {"C:\\", "E:\\", "Z:\\"}},
      {std::string("C:\\\0F:\\\0G:\\\0", 12), 0, {"C:\\"}},
      {std::string("C:\\\0E:\\\0H:\\\0", 12), 5, {"C:\\", "E:\\", "H:\\"}},
  };
  SetDriveApiForTesting(&kFake);
  for (const auto& c : cases) {
    g_fakeList = c.list;
    g_fakeGrowOnce = c.growOnce;
    CSetting s;
    EXPECT_EQ(s.GetDiskList(), 0u);
    EXPECT_EQ(s.drives, c.drives);
  }
  SetDriveApiForTesting(nullptr);
}

// Enough means more than required: exactly the amount is not enough.
TEST(SettingDiskSpace, StrictlyMoreThanRequired) {
  SetDriveApiForTesting(&kFake);
  const struct { ULONGLONG free; uint32_t required; bool enough; } cases[] = {
      {750000000, 750000000, false}, {750000001, 750000000, true},
      {0x100000000ull, 0xFFFFFFFFu, true}};
  for (const auto& c : cases) {
    g_free = c.free;
    CSetting s;
    EXPECT_EQ(s.CheckDiskSpace("C:\\ZAN\\", c.required), c.enough) << c.free;
    EXPECT_EQ(s.freeBytes, c.free);
  }
  SetDriveApiForTesting(nullptr);
}

// Real free-space calls, on drives and on the fixture's network share, whose
// paths are measured on the share's root.
TEST(SettingDiskSpace, RootOfTheGivenPath) {
  const std::string share =
      testing_support::kShareRoot + ("space_" + std::to_string(GetCurrentProcessId()));
  ASSERT_TRUE(CreateDirectoryA(share.c_str(), nullptr)) << "no " << share;
  const struct {
    std::string path;
    bool measured;
  } cases[] = {
      {"C:\\ZAN\\PM00012\\", true}, {share + "\\ZAN\\PM00001", true}, {"C:", false},
      {"C:\\" + std::string(257, 'x'), false}, {"\\\\detectsrv\\", false},
      {"\\\\detectsrv\\\\x", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    CSetting s;
    s.freeBytes = 12345;
    const bool enough = s.CheckDiskSpace(c.path, 0);
    EXPECT_EQ(c.measured, s.freeBytes != 12345u);
    EXPECT_EQ(enough, c.measured && s.freeBytes > 0);
  }
  RemoveDirectoryA(share.c_str());
}

}  // namespace
