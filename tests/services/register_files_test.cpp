// fixtures: detect_unc
// Reading the register of an office folder into installation records: once per
// register content, workstations without their platform folder left out, and
// workstations seen again through a network path dropped.
#include <gtest/gtest.h>

#include <algorithm>

#include "constants.h"
#include "detection_test_util.h"
#include "settings.h"
#include "shared_info.h"

using detection_test::AddWorkstation;
using detection_test::ScratchLog;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

int ThisYear() { return std::stoi(g_year); }
std::string Y(int delta = 0) { return std::to_string(ThisYear() + delta); }

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// A folder on the fixture's network share, reached both through its network
// path and through the Z: drive; emptied before and after.
class ShareFolder {
 public:
  explicit ShareFolder(const std::string& name)
      : name_(name + "_" + std::to_string(GetCurrentProcessId())) {
    testing_support::RemoveTree(local());
    CreateDirectoryA(local().c_str(), nullptr);
  }
  ~ShareFolder() { testing_support::RemoveTree(local()); }
  std::string local() const { return detection_test::ShareFolderLocal() + name_ + "\\"; }
  std::string network() const { return detection_test::ShareRoot() + name_ + "\\"; }

 private:
  std::string name_;
};

}  // namespace

TEST(ReadSharedInfo, FolderWithoutRegister) {
  TempDir dir;
  ScratchLog log;
  CSetting s;
  EXPECT_EQ(s.ReadSharedInfo("", ThisYear()), 14);
  EXPECT_EQ(log.Text(), "");

  EXPECT_EQ(s.ReadSharedInfo(dir / "office", ThisYear()), 2);
  const std::string path = dir / "office\\ZAN_Shared\\SharedInfo";
  std::vector<std::string> m = log.Messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0], "[  INFO] Looking for Sharedinfo -> " + path);
  const std::string notFound = "[  INFO] Sharedinfo not found or cannot open it -> " + path + " -> ";
  ASSERT_EQ(m[1].substr(0, notFound.size()), notFound);
  EXPECT_TRUE(m[1].substr(notFound.size()) == "3" || m[1].substr(notFound.size()) == "2") << m[1];

  // A folder named like the register cannot be opened as one either.
  CreateDirectoryA((dir / "folder").c_str(), nullptr);
  CreateDirectoryA((dir / "folder\\ZAN_Shared").c_str(), nullptr);
  CreateDirectoryA((dir / "folder\\ZAN_Shared\\SharedInfo").c_str(), nullptr);
  EXPECT_EQ(s.ReadSharedInfo(dir / "folder", ThisYear()), 2);
  EXPECT_TRUE(s.sharedInfoFiles.empty());
  EXPECT_TRUE(s.sharedInfoRecords.empty());
}

TEST(ReadSharedInfo, RecordsWithTheirPlatformFolders) {
  TempDir dir;
  const std::string office = dir / "PM00012\\";
  // Two workstations of this year, one of last year whose folder is gone, one
  // of an older year that the register reading leaves out.
  ASSERT_TRUE(AddWorkstation(office, "00012", Y(), "PC1\\ann"));
  ASSERT_TRUE(AddWorkstation(office, "00012", Y(), "PC2\\bob"));
  ASSERT_TRUE(AddWorkstation(office, "00012", Y(-1), "PC3\\cid"));
  ASSERT_TRUE(AddWorkstation(office, "00012", Y(-2), "PC4\\dan"));
  ASSERT_TRUE(WriteBytes(office + "ZAN" + Y() + "\\HOME\\ETC\\INSTALLA.MOD", "x"));
  ASSERT_TRUE(WriteBytes(office + "ZAN" + Y(-2) + "\\FILES\\uffaut", "x"));

  ScratchLog log;
  CSetting s;
  EXPECT_EQ(s.ReadSharedInfo(dir / "PM00012", ThisYear()), 0);
  const std::string path = office + "ZAN_Shared\\SharedInfo";
  std::vector<std::string> m = log.Messages();
  EXPECT_EQ(m, (std::vector<std::string>{"[  INFO] Looking for Sharedinfo -> " + path,
                                          "[  INFO] Sharedinfo found -> " + path,
                                          "[  INFO] Sharedinfo item count -> 3"}));
  ASSERT_EQ(s.sharedInfoRecords.size(), 2u);
  for (const auto& r : s.sharedInfoRecords) {
    EXPECT_EQ(r->pm, "00012");
    EXPECT_EQ(r->pwd, "segreto");
    EXPECT_EQ(r->anno, Y());
    EXPECT_EQ(r->rootPath, office);
    EXPECT_EQ(r->platformPath, office + "ZAN" + Y());
    EXPECT_EQ(r->sharedInfoPath, path);
    EXPECT_EQ(r->basePath, "");
    EXPECT_EQ(r->type, 1);
    EXPECT_FALSE(r->isNewOffice);
    EXPECT_TRUE(r->fromSharedInfo);
    EXPECT_TRUE(r->notPending);  // other users' workstations
  }
  EXPECT_EQ(s.sharedInfoRecords[0]->assignee + s.sharedInfoRecords[0]->pdl, "PC1\\ann1");
  EXPECT_EQ(s.sharedInfoRecords[1]->assignee + s.sharedInfoRecords[1]->pdl, "PC2\\bob2");
  EXPECT_TRUE(s.SameRecord(0, 0));
  EXPECT_FALSE(s.SameRecord(0, 1));
  ASSERT_EQ(s.sharedInfoFiles.size(), 1u);
  EXPECT_EQ(s.sharedInfoFiles[0].size(), 32u);

  // Each of the three marker files is enough on its own.
  for (const char* marker : {"\\HOME\\BIN\\ZANOLINF.TXT", "\\FILES\\uffaut"}) {
    SCOPED_TRACE(marker);
    TempDir other;
    ASSERT_TRUE(AddWorkstation(other.path(), "00077", Y(), "PC1\\ann"));
    ASSERT_TRUE(WriteBytes(other / ("ZAN" + Y() + marker), "x"));
    CSetting t;
    EXPECT_EQ(t.ReadSharedInfo(other.path(), ThisYear()), 0);
    EXPECT_EQ(t.sharedInfoRecords.size(), 1u);
  }
}

TEST(ReadSharedInfo, EachRegisterContentIsReadOnce) {
  TempDir dir;
  const std::string office = dir / "PM00012\\";
  ASSERT_TRUE(AddWorkstation(office, "00012", Y(), "PC1\\ann"));
  ASSERT_TRUE(WriteBytes(office + "ZAN" + Y() + "\\FILES\\uffaut", "x"));
  // An identical copy in another folder, with its own platform folder.
  const std::string copy = dir / "copy\\";
  ASSERT_TRUE(WriteBytes(copy + "ZAN_Shared\\SharedInfo", ReadBytes(office + "ZAN_Shared\\SharedInfo")));
  ASSERT_TRUE(WriteBytes(copy + "ZAN" + Y() + "\\FILES\\uffaut", "x"));

  ScratchLog log;
  CSetting s;
  EXPECT_EQ(s.ReadSharedInfo(dir / "PM00012", ThisYear()), 0);
  EXPECT_EQ(s.ReadSharedInfo(office, ThisYear()), 52);
  EXPECT_EQ(s.ReadSharedInfo(copy, ThisYear()), 52);
  EXPECT_EQ(s.sharedInfoRecords.size(), 1u);
  EXPECT_EQ(s.sharedInfoFiles.size(), 1u);
  std::vector<std::string> m = log.Messages();
  EXPECT_TRUE(Contains(m, "[  INFO] Duplicated Sharedinfo -> " + office + "ZAN_Shared\\SharedInfo"));
  EXPECT_TRUE(Contains(m, "[  INFO] Duplicated Sharedinfo -> " + copy + "ZAN_Shared\\SharedInfo"));

  // A register that cannot be parsed keeps its digest: not tried again.
  const std::string broken = dir / "broken\\";
  ASSERT_TRUE(WriteBytes(broken + "ZAN_Shared\\SharedInfo", std::string(4096, 'z')));
  EXPECT_EQ(s.ReadSharedInfo(broken, ThisYear()), 1);
  EXPECT_EQ(s.ReadSharedInfo(broken, ThisYear()), 52);
  EXPECT_EQ(s.sharedInfoFiles.size(), 2u);
  EXPECT_EQ(s.sharedInfoRecords.size(), 1u);
}

TEST(ReadSharedInfo, SameRegisterThroughDriveLetterAndNetworkPath) {
  ShareFolder share("same");
  ASSERT_TRUE(AddWorkstation(share.local(), "00012", Y(), "PC1\\ann"));
  ASSERT_TRUE(WriteBytes(share.local() + "ZAN" + Y() + "\\FILES\\uffaut", "x"));
  ASSERT_TRUE(testing_support::Exists(share.network() + "ZAN_Shared\\SharedInfo"))
      << "Wine does not serve " << share.network();

  CSetting s;
  EXPECT_EQ(s.ReadSharedInfo(share.local(), ThisYear()), 0);
  EXPECT_EQ(s.ReadSharedInfo(share.network(), ThisYear()), 52);
  ASSERT_EQ(s.sharedInfoRecords.size(), 1u);

  CSetting t;  // the other way round
  EXPECT_EQ(t.ReadSharedInfo(share.network(), ThisYear()), 0);
  EXPECT_EQ(t.ReadSharedInfo(share.local(), ThisYear()), 52);
  ASSERT_EQ(t.sharedInfoRecords.size(), 1u);
  EXPECT_EQ(t.sharedInfoRecords[0]->platformPath, share.network() + "ZAN" + Y());
}

TEST(ReadSharedInfo, RepeatedWorkstationDroppedOnlyThroughNetworkPath) {
  // Two registers that differ (the second has one more workstation) but both
  // list ann's workstation 1 of office 00012: one in a local folder, one on
  // the share.
  TempDir dir;
  const std::string local = dir / "PM00012\\";
  ASSERT_TRUE(AddWorkstation(local, "00012", Y(), "PC1\\ann"));
  ASSERT_TRUE(WriteBytes(local + "ZAN" + Y() + "\\FILES\\uffaut", "x"));
  ShareFolder share("repeat");
  ASSERT_TRUE(AddWorkstation(share.local(), "00012", Y(), "PC1\\ann"));
  ASSERT_TRUE(AddWorkstation(share.local(), "00012", Y(), "PC2\\bob"));
  // Last year's workstation of ann is another installation.
  ASSERT_TRUE(AddWorkstation(share.local(), "00012", Y(-1), "PC1\\ann"));
  ASSERT_TRUE(WriteBytes(share.local() + "ZAN" + Y() + "\\FILES\\uffaut", "x"));
  ASSERT_TRUE(WriteBytes(share.local() + "ZAN" + Y(-1) + "\\FILES\\uffaut", "x"));

  struct {
    const char* name;
    std::string second;
    std::vector<std::string> kept;  // assignee + pdl + "@" + anno of the share's records
  } cases[] = {
      {"network path", share.network(), {"PC2\\bob2@" + Y(), "PC1\\ann1@" + Y(-1)}},
      {"drive letter", share.local(),
       {"PC1\\ann1@" + Y(), "PC2\\bob2@" + Y(), "PC1\\ann1@" + Y(-1)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CSetting s;
    EXPECT_EQ(s.ReadSharedInfo(local, ThisYear()), 0);
    ASSERT_EQ(s.sharedInfoRecords.size(), 1u);
    EXPECT_EQ(s.ReadSharedInfo(c.second, ThisYear()), 0);
    std::vector<std::string> kept;
    for (size_t i = 1; i < s.sharedInfoRecords.size(); ++i) {
      const auto& r = *s.sharedInfoRecords[i];
      EXPECT_EQ(r.rootPath, c.second);
      kept.push_back(r.assignee + r.pdl + "@" + r.anno);
    }
    std::sort(kept.begin(), kept.end());
    std::vector<std::string> want = c.kept;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(kept, want);
  }
}
