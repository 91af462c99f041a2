// The decisions of the office, drive and pre-install pages the end-to-end
// roads cannot reach (shares mapped to drives, a network system drive, free
// space) or pin down row by row, as tables over records and texts.
#include "office_decisions.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

struct Row {
  std::string pm, anno, rootPath = "", sharedInfoPath = "", basePath = "", platformPath = "";
};

InstallRecordList Records(const std::vector<Row>& rows) {
  InstallRecordList list;
  for (const Row& row : rows) {
    auto r = std::make_unique<InstallRecord>();
    r->pm = row.pm;
    r->anno = row.anno;
    r->rootPath = row.rootPath;
    r->sharedInfoPath = row.sharedInfoPath;
    r->basePath = row.basePath;
    r->platformPath = row.platformPath;
    list.push_back(std::move(r));
  }
  return list;
}

// (A newer year directly above, the newest itself and another office are the
// end-to-end office story's.)
TEST(NewerYearEntry, OnlyAnotherYearOfThePickedOfficeAboveItStops) {
  const struct {
    std::vector<Row> rows;
    int picked;
    int stopper;  // -1: none
  } cases[] = {
      {{{"00123", "2026"}, {"00123", "2025"}, {"00123", "2025"}}, 2, 0},  // past its own year
      {{{"00123", "2026"}, {"00999", "2025"}, {"00123", "2025"}}, 2, -1},  // the walk stops
  };
  for (const auto& c : cases) {
    const InstallRecordList list = Records(c.rows);
    const InstallRecord* stopper = NewerYearEntry(list, list[c.picked].get());
    EXPECT_EQ(c.stopper < 0 ? nullptr : list[c.stopper].get(), stopper)
        << "picked " << c.picked << " of " << c.rows.size();
  }
}

// Shares are found only on a network, which Wine does not have.
TEST(RewriteUncPaths, OnlyFieldsBeginningWithTheShareFolderNameTheDrive) {
  const std::string unc = "\\\\SRV\\SHARE\\PM00012\\";
  InstallRecordList list = Records({
      {"00012", "2025", unc, unc + "ZAN_Shared\\SharedInfo", "", unc + "ZAN2025"},
      {"00012", "2024", unc, "", "\\\\SRV\\SHARE\\PM00012\\X", unc + "ZAN2024"},
      {"00013", "2025", "\\\\srv\\share\\PM00012\\", "", "", ""},  // case differs
      {"00014", "2025", "\\\\SRV\\SHARE\\PM00014\\", "", "", ""},  // another folder
      {"00015", "2025", "C:\\x" + unc, "", "", ""},                // further in
  });
  RewriteUncPaths(list, unc, "Z:\\");
  const std::vector<std::vector<std::string>> expected = {
      {"Z:\\", "", "Z:\\ZAN2025", "Z:\\ZAN_Shared\\SharedInfo"},
      {"Z:\\", "Z:\\X", "Z:\\ZAN2024", ""},
      {"\\\\srv\\share\\PM00012\\", "", "", ""},
      {"\\\\SRV\\SHARE\\PM00014\\", "", "", ""},
      {"C:\\x" + unc, "", "", ""},
  };
  for (size_t i = 0; i < list.size(); ++i) {
    const InstallRecord& r = *list[i];
    EXPECT_EQ(expected[i], (std::vector<std::string>{r.rootPath, r.basePath, r.platformPath,
                                                      r.sharedInfoPath}))
        << "record " << i;
  }
}

// Without an entry there is no ":\ZAN\PM00123" folder to check.
TEST(ChooseDrive, NoEntryStays) {
  EXPECT_FALSE(ChooseDrive("", "00123").has_value());
}

// Wine's system drive is always a fixed C:.
TEST(DriveEntries, ANetworkSystemDriveIsNotPreselected) {
  const auto remote = [](const std::string&) -> UINT { return DRIVE_REMOTE; };
  const std::vector<DriveEntry> entries = DriveEntries({"C:\\"}, remote, "C:");
  ASSERT_EQ(1u, entries.size());
  EXPECT_FALSE(entries[0].selected);
}

// (The folder of another code, as found, is the end-to-end office story's.)
TEST(FindInstallConflict, FolderOfAnotherCodeFirstThenTheCodeElsewhere) {
  const std::string folder = "D:\\ZAN\\PM00123\\";
  const struct {
    std::vector<Row> rows;
    InstallConflictKind kind;
    int record;  // the conflicting record
  } cases[] = {
      {{{"00555", "2025", "d:\\zan\\pm00123"}}, InstallConflictKind::kFolderOfOtherCode, 0},
      {{{"00123", "2025", "C:\\ZAN\\PM00123\\"}}, InstallConflictKind::kCodeElsewhere, 0},
      {{{"00123", "2024", "d:\\ZAN\\PM00123"}}, InstallConflictKind::kNone, -1},
      {{{"00123", "2025", "C:\\ZAN\\PM00123\\"}, {"00555", "2025", folder}},
       InstallConflictKind::kFolderOfOtherCode, 1},
  };
  for (const auto& c : cases) {
    InstallRecordList list = Records(c.rows);
    const InstallConflict conflict = FindInstallConflict(list, folder, "00123");
    EXPECT_EQ(c.kind, conflict.kind) << c.rows[0].rootPath;
    if (c.record < 0) continue;
    EXPECT_EQ(list[c.record]->rootPath, conflict.recordRootPath);
    EXPECT_EQ(list[c.record]->pm, conflict.recordPm);
  }
}

// Free space is what the machine has: no story sets it. The Windows drive
// alone, else the package for a platform year not yet there, and DesktopApp.
TEST(FreeSpaceChecks, WindowsDriveAloneElseTheNewYearAndDesktopApp) {
  using K = SpaceCheckKind;
  const struct {
    std::string rootPath, anno;
    std::vector<std::tuple<K, std::string, uint32_t>> checks;
  } cases[] = {
      {"C:\\ZAN\\PM00123\\", "", {{K::kKorvalOnWindowsDrive, "C:\\Windows", 750000000}}},
      {"D:\\ZAN\\PM00123\\", "",
       {{K::kKorval, "D:\\ZAN\\PM00123\\", 525000000}, {K::kDesktopApp, "C:\\ZAN", 10000000}}},
      {"D:\\ZAN\\PM00123\\", "2025", {{K::kDesktopApp, "C:\\ZAN", 10000000}}},
  };
  for (const auto& c : cases) {
    std::vector<std::tuple<K, std::string, uint32_t>> got;
    for (const SpaceCheck& check : FreeSpaceChecks(c.rootPath, "C:\\Windows", c.anno, "ZAN2025"))
      got.emplace_back(check.kind, check.path, check.required);
    EXPECT_EQ(c.checks, got) << c.rootPath << " " << c.anno;
  }
}

// The end-to-end office story removes the user's row of this year; the row
// found is this year's, so an earlier year's install (its row is copied
// forward) or a new office keeps it.
TEST(ShouldRemoveWorkpoint, NotWhenAnotherYearIsInstalled) {
  EXPECT_FALSE(ShouldRemoveWorkpoint(true, false, "2024", "2025"));
  EXPECT_FALSE(ShouldRemoveWorkpoint(true, false, "", "2025"));
}

}  // namespace
