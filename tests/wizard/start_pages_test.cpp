// The start pages' decisions: which pages WIZ_START's Next removes, which
// office a restore works on, and how it becomes the installation being set up.
#include "pages/start_pages.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(StartPageRemovals, PmSelectStaysWhileTheSearchMayStillFindOffices) {
  struct Row {
    bool notSupportedRemoved, pmSelectRemoved, anyRecord, discoveryRunning;
    bool removeNotSupported, removePmSelect;
  };
  // (A first Next with nothing found or with records, and Back then Next
  // again, are the end-to-end start stories', which switch the search off.)
  const Row rows[] = {
      // First Next while the search runs: an office found later must be selectable.
      {false, false, false, true, true, false},
      // The search ended empty after the first Next: the page goes now.
      {true, false, false, false, false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(&row - rows);
    const StartPageRemovals r = DecideStartPageRemovals(
        row.notSupportedRemoved, row.pmSelectRemoved, row.anyRecord, row.discoveryRunning);
    EXPECT_EQ(r.notSupported, row.removeNotSupported);
    EXPECT_EQ(r.pmSelect, row.removePmSelect);
  }
}

std::unique_ptr<InstallRecord> Record(const std::string& pm, const std::string& anno) {
  auto r = std::make_unique<InstallRecord>();
  r->pm = pm;
  r->anno = anno;
  return r;
}

TEST(RestoreRecord, FirstRestorableOfTheYearElseFirstRestorable) {
  struct Row {
    std::vector<std::pair<std::string, std::string>> records;  // pm, anno
    std::set<std::string> restorable;                          // by pm
    int picked;
  };
  const Row rows[] = {
      {{}, {}, -1},
      {{{"1", "2025"}, {"2", "2024"}}, {}, -1},
      {{{"1", "2024"}, {"2", "2025"}, {"3", "2025"}}, {"1", "2", "3"}, 1},
      {{{"1", "2025"}, {"2", "2024"}, {"3", "2025"}}, {"2", "3"}, 2},
      {{{"1", "2025"}, {"2", "2024"}}, {"2"}, 1},
  };
  for (const Row& row : rows) {
    InstallRecordList records;
    for (const auto& r : row.records) records.push_back(Record(r.first, r.second));
    const int picked = PickRestoreRecord(records, "2025", [&](const InstallRecord& r) {
      return row.restorable.count(r.pm) > 0;
    });
    EXPECT_EQ(picked, row.picked) << "rows " << row.records.size();
  }
}

TEST(RestoreRecord, BecomesTheInstallationBeingSetUp) {
  CSetting setting;
  setting.platformName = "ZAN2025";
  setting.installRoot = "C:\\";
  setting.current.basePath = "D:\\ZAN";
  setting.current.assignee = "kept";
  InstallRecord r;
  r.pm = "01234";
  r.assignee = "PC\\user";
  r.rootPath = "D:\\ZAN\\PM01234\\";
  MakeCurrentInstall(setting, r);
  EXPECT_EQ(setting.current.pm, "01234");
  EXPECT_EQ(setting.current.assignee, "kept");  // who owns it is not the record's
  EXPECT_EQ(setting.installRoot, "D:\\ZAN\\PM01234\\ZAN2025\\");

  r.rootPath = "\\\\SRV\\ZAN\\PM01234";  // without its final "\"
  MakeCurrentInstall(setting, r);
  EXPECT_EQ(setting.installRoot, "\\\\SRV\\ZAN\\PM01234\\ZAN2025\\");
}

}  // namespace
