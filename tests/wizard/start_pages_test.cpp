// The start pages' decisions: which pages WIZ_START's Next removes while the
// search runs, and which office a restore works on. (The restore's folders
// are the end-to-end restore story's.)
#include "pages/start_pages.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// (A first Next with nothing found or with records, and Back then Next
// again, are the end-to-end start stories', which switch the search off.)
TEST(StartPageRemovals, PmSelectStaysWhileTheSearchMayStillFindOffices) {
  // First Next while the search runs: an office found later must be selectable.
  const StartPageRemovals first = DecideStartPageRemovals(false, false, false, true);
  EXPECT_TRUE(first.notSupported);
  EXPECT_FALSE(first.pmSelect);
  // The search ended empty after the first Next: the page goes now.
  const StartPageRemovals later = DecideStartPageRemovals(true, false, false, false);
  EXPECT_FALSE(later.notSupported);
  EXPECT_TRUE(later.pmSelect);
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

}  // namespace
