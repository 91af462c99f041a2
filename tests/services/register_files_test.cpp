// fixtures: detect_unc
// Reading the register of an office folder into installation records: once per
// register content, workstations without their platform folder left out, and
// workstations seen again through a network path dropped.
#include <gtest/gtest.h>

#include <algorithm>

#include "constants.h"
#include "settings.h"
#include "test_support.h"

using testing_support::AddWorkstation;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

const int kYear = std::stoi(g_year);
std::string Y(int delta = 0) { return std::to_string(kYear + delta); }

// A folder on the fixture's network share, reached both through its network
// path and through the Z: drive; emptied before and after.
struct ShareFolder {
  const std::string name = "repeat_" + std::to_string(GetCurrentProcessId());
  const std::string local = testing_support::TestData("detect_unc\\" + name + "\\");
  const std::string network = testing_support::kShareRoot + name + "\\";
  ShareFolder() {
    testing_support::RemoveTree(local);
    CreateDirectoryA(local.c_str(), nullptr);
  }
  ~ShareFolder() { testing_support::RemoveTree(local); }
};

// A register is read once (also when it cannot be parsed); its workstations
// are offered only while their platform folder holds a marker file. (The
// fields offered are the office list's, end to end.)
TEST(ReadSharedInfo, RecordsWithTheirPlatformFoldersReadOnce) {
  TempDir dir;
  const std::string office = dir / "PM00012\\";
  // Two workstations of this year, one of last year whose folder is gone, one
  // of an older year that the register reading leaves out.
  for (const auto& w : {std::make_pair(0, "PC1\\ann"), std::make_pair(0, "PC2\\bob"),
                        std::make_pair(-1, "PC3\\cid"), std::make_pair(-2, "PC4\\dan")})
    ASSERT_TRUE(AddWorkstation(office, "00012", Y(w.first), w.second));
  for (const std::string& f : {office + "ZAN" + Y() + "\\HOME\\ETC\\INSTALLA.MOD",
                               office + "ZAN" + Y(-2) + "\\FILES\\uffaut"})
    ASSERT_TRUE(WriteBytes(f, "x"));
  CSetting s;
  EXPECT_EQ(s.ReadSharedInfo(dir / "PM00012", kYear), 0);
  EXPECT_EQ(s.ReadSharedInfo(office, kYear), 52);
  std::vector<std::string> offered;
  for (const auto& r : s.sharedInfoRecords) offered.push_back(r->assignee + r->pdl + "@" + r->anno);
  EXPECT_EQ(offered, (std::vector<std::string>{"PC1\\ann1@" + Y(), "PC2\\bob2@" + Y()}));

  const std::string broken = dir / "broken\\";
  ASSERT_TRUE(WriteBytes(broken + "ZAN_Shared\\SharedInfo", std::string(4096, 'z')));
  EXPECT_EQ(s.ReadSharedInfo(broken, kYear), 1);
  EXPECT_EQ(s.ReadSharedInfo(broken, kYear), 52);
}

// Two registers that differ but both list ann's workstation 1 of office 00012:
// one in a local folder, one on the share, which is also reached as a drive.
TEST(ReadSharedInfo, RepeatedWorkstationDroppedOnlyThroughNetworkPath) {
  TempDir dir;
  const std::string local = dir / "PM00012\\";
  ASSERT_TRUE(AddWorkstation(local, "00012", Y(), "PC1\\ann"));
  ASSERT_TRUE(WriteBytes(local + "ZAN" + Y() + "\\FILES\\uffaut", "x"));
  ShareFolder share;
  // Last year's workstation of ann is another installation.
  for (const auto& w : {std::make_pair(0, "PC1\\ann"), std::make_pair(0, "PC2\\bob"),
                        std::make_pair(-1, "PC1\\ann")})
    ASSERT_TRUE(AddWorkstation(share.local, "00012", Y(w.first), w.second));
  ASSERT_TRUE(WriteBytes(share.local + "ZAN" + Y() + "\\FILES\\uffaut", "x"));
  ASSERT_TRUE(WriteBytes(share.local + "ZAN" + Y(-1) + "\\HOME\\BIN\\ZANOLINF.TXT", "x"));
  ASSERT_TRUE(testing_support::Exists(share.network + "ZAN_Shared\\SharedInfo"))
      << "Wine does not serve " << share.network;

  for (const std::string& second : {share.network, share.local}) {
    SCOPED_TRACE(second);
    CSetting s;
    EXPECT_EQ(s.ReadSharedInfo(local, kYear), 0);
    ASSERT_EQ(s.sharedInfoRecords.size(), 1u);
    EXPECT_EQ(s.ReadSharedInfo(second, kYear), 0);
    std::vector<std::string> kept;  // the share's records
    for (size_t i = 1; i < s.sharedInfoRecords.size(); ++i) {
      const auto& r = *s.sharedInfoRecords[i];
      kept.push_back(r.assignee + r.pdl + "@" + r.anno + (r.rootPath == second ? "" : " elsewhere"));
    }
    std::sort(kept.begin(), kept.end());
    std::vector<std::string> want = {"PC1\\ann1@" + Y(-1), "PC2\\bob2@" + Y()};
    if (second == share.local) want.insert(want.begin() + 1, "PC1\\ann1@" + Y());
    EXPECT_EQ(kept, want);
    // The same register through its other path: read once.
    EXPECT_EQ(s.ReadSharedInfo(second == share.local ? share.network : share.local, kYear), 52);
  }
}

}  // namespace
