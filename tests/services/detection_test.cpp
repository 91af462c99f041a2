// The start-up search for earlier installations: marker files written byte by
// byte, folder trees of the three office layouts, DesktopApp version folders,
// the merge with register records, and real drive letters.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <tuple>

#include "constants.h"
#include "detection.h"
#include "detection_test_util.h"
#include "settings.h"

using detection_test::ScratchLog;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Index of the first line equal to `line` (lines.size() when absent).
size_t IndexOf(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) - lines.begin();
}

std::string Year() { return g_year; }
std::string PreviousYear() { return std::to_string(std::stoi(g_year) - 1); }

void MakeFolder(const std::string& path) { ASSERT_TRUE(WriteBytes(path + "\\.keep", "")); }

}  // namespace

TEST(DecodeProt, UnscramblesOfficeCodeAndPassword) {
  struct {
    std::string in;
    bool ok;
    std::string pm, pwd;
  } cases[] = {
      {"abcde", true, "bdfhj", ""},
      {detection_test::ScrambleProt("00012"), true, "00012", ""},
      {detection_test::ScrambleProt("00012pass"), true, "00012", "pass"},
      {detection_test::ScrambleProt("00400secret12XYZW"), true, "00400", "secret12"},
      {detection_test::ScrambleProt("0001"), false, "", ""},
      {"", false, "", ""},
      // 0xFF + 1 becomes 0 and ends the text at once.
      {"\xFF" + detection_test::ScrambleProt("00012").substr(1), false, "", ""},
      // A zero at position 7 leaves only six characters.
      {detection_test::ScrambleProt("00012p") + "\xF9" + "abc", true, "00012", "p"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pm + "/" + c.pwd);
    InstallRecord r;
    std::string text = c.in;
    EXPECT_EQ(DecodeProt(text, r), c.ok);
    EXPECT_EQ(r.pm, c.pm);
    EXPECT_EQ(r.pwd, c.pwd);
  }
}

TEST(MarkerFiles, UffautIsReadAsBinary) {
  TempDir dir;
  struct {
    std::string bytes;
    std::string pm;
  } cases[] = {
      {detection_test::UffautBytes(0, 12), "00012"},
      {detection_test::UffautBytes(1, 44), "00300"},
      {detection_test::UffautBytes(0, 0x1A), "00026"},      // end-of-file byte in text mode
      {detection_test::UffautBytes(0x0D, 0x0A), "03338"},   // CR LF in text mode
      {detection_test::UffautBytes(0xFF, 0xFF), "65535"},
      {std::string(100, '\x1A') + detection_test::UffautBytes(0, 7).substr(100), "00007"},
      {std::string(522, '\x02'), "00512"},                   // no low byte
      {std::string(100, 'x'), "00000"},                      // too short
      {std::string(), "00000"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pm);
    const std::string path = dir / ("uffaut" + std::to_string(n++));
    ASSERT_TRUE(WriteBytes(path, c.bytes));
    InstallRecord r;
    r.pwd = "kept";
    EXPECT_EQ(ReadPmFromUffaut(path, r), 0u);
    EXPECT_EQ(r.pm, c.pm);
    EXPECT_EQ(r.pwd, "kept");
  }
  InstallRecord r;
  EXPECT_EQ(ReadPmFromUffaut(dir / "missing", r), 1u);
  EXPECT_EQ(ReadPmFromUffaut(dir.path(), r), 1u);  // a folder
  EXPECT_EQ(r.pm, "");
}

TEST(MarkerFiles, InstallaMod) {
  TempDir dir;
  struct {
    std::string bytes;
    std::string pm, pwd;
  } cases[] = {
      {"00042secret12\r\nC:\\ZAN\\PM00042\\ZAN2025", "00042", "secret12"},
      {std::string("42\0\0\0pw\0\0\0\0\0\0", 13), "00042", "pw"},
      {std::string("\0\0\0\0\0\0\0\0\0\0\0\0\0", 13), "00000", ""},
      {"00042secret1", "", ""},  // 12 bytes: the record stays without a code
      {"0004", "", ""},
      {"", "", ""},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(n));
    const std::string path = dir / ("INSTALLA" + std::to_string(n++) + ".MOD");
    ASSERT_TRUE(WriteBytes(path, c.bytes));
    InstallRecord r;
    EXPECT_EQ(ReadInstallaMod(path, r), 0u);
    EXPECT_EQ(r.pm, c.pm);
    EXPECT_EQ(r.pwd, c.pwd);
  }
  InstallRecord r;
  EXPECT_EQ(ReadInstallaMod(dir / "missing.MOD", r), 1u);
}

TEST(MarkerFiles, ProtFromInf) {
  TempDir dir;
  ScratchLog log;
  CSetting s;
  struct {
    std::string name, content;
    bool ok;
    std::string pm, pwd;
  } cases[] = {
      {"good.txt", detection_test::ZanolinfBytes("00400secret"), true, "00400", "secret"},
      // Only 19 characters reach the decoder.
      {"long.txt", detection_test::ZanolinfBytes("00400abcdefgh0123456789"), true, "00400",
       "abcdefgh"},
      {"short.txt", detection_test::ZanolinfBytes("004"), false, "", ""},
      {"empty.txt", "[DATA]\r\nPROT=\r\n", false, "", ""},
      {"nodata.txt", "[OTHER]\r\nPROT=" + detection_test::ScrambleProt("00400") + "\r\n", false,
       "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteBytes(dir / c.name, c.content));
    InstallRecord r;
    EXPECT_EQ(s.ReadProtFromInf(dir / c.name, r), c.ok);
    EXPECT_EQ(r.pm, c.pm);
    EXPECT_EQ(r.pwd, c.pwd);
  }
  InstallRecord r;
  EXPECT_FALSE(s.ReadProtFromInf(dir / "missing.txt", r));
  // Only the short value is worth a warning, and it names its file.
  std::vector<std::string> m = log.Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0], "[* WARN] Invalid PROT value, office code too short -> " + (dir / "short.txt"));
}

TEST(DesktopAppFolders, HighestVersionFolder) {
  struct {
    std::vector<std::string> folders, files;
    std::string highest;
  } cases[] = {
      {{"1.9.0.0", "1.10.0.0", "locales"}, {"DesktopApp.exe"}, "1.10.0.0"},
      {{"0.0.0.0"}, {}, ""},  // not above the empty version
      {{"2.0.0", "1.2.3.4.5"}, {}, ""},
      {{"2.0.0", "1.0.0.0"}, {"3.0.0.1"}, "3.0.0.1"},
      {{"1.4.12.0", "1.4.12"}, {}, "1.4.12.0"},
      {{}, {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.highest);
    TempDir dir;
    for (const auto& f : c.folders) MakeFolder(dir / f);
    for (const auto& f : c.files) ASSERT_TRUE(WriteBytes(dir / f, "x"));
    EXPECT_EQ(FindHighestVersionFolder(dir.path().substr(0, dir.path().size() - 1)).ToString(),
              c.highest);
  }
  EXPECT_EQ(FindHighestVersionFolder("C:\\no\\such\\folder").ToString(), "");
}

namespace {

// A DesktopApp "bin" folder under the drive root, in one of the two layouts.
void MakeDesktopApp(const std::string& root, const std::string& layout, bool exe,
                    const std::vector<std::string>& versions) {
  const std::string bin = root + layout;
  MakeFolder(bin);
  if (exe) {
    ASSERT_TRUE(WriteBytes(bin + "\\DesktopApp.exe", "MZ"));
  }
  for (const auto& v : versions) MakeFolder(bin + "\\" + v);
}

}  // namespace

TEST(DesktopAppFolders, FindDesktopApp) {
  const std::string current = "ZAN\\DesktopApp\\bin";
  const std::string older = "DesktopApp\\bin";
  TempDir c, d;
  struct Case {
    const char* name;
    std::function<void()> make;
    std::string found;        // "c", "d", "c-old", "d-old" or ""
    std::string line;         // the version line expected
  };
  std::vector<Case> cases = {
      {"current layout", [&] { MakeDesktopApp(c.path(), current, true, {"1.9.0.0", "1.10.0.0"}); },
       "c", "[  INFO] DesktopApp version dir found -> 1.10.0.0"},
      {"no executable", [&] { MakeDesktopApp(c.path(), current, false, {"1.9.0.0"}); }, "", ""},
      {"only a zero version", [&] { MakeDesktopApp(c.path(), current, true, {"0.0.0.0"}); }, "", ""},
      {"version of two dots", [&] { MakeDesktopApp(c.path(), current, true, {"2.0.0"}); }, "", ""},
      {"both drives: the later wins",
       [&] {
         MakeDesktopApp(c.path(), current, true, {"5.0.0.0"});
         MakeDesktopApp(d.path(), current, true, {"1.0.0.0"});
       },
       "d", "[  INFO] DesktopApp version dir found -> 1.0.0.0"},
      {"older layout", [&] { MakeDesktopApp(d.path(), older, true, {"1.2.0.0"}); }, "d-old",
       "[  INFO] Vex version dir found -> 1.2.0.0"},
      {"older layout only while nothing found",
       [&] {
         MakeDesktopApp(c.path(), current, true, {"1.0.0.0"});
         MakeDesktopApp(d.path(), older, true, {"9.0.0.0"});
       },
       "c", "[  INFO] DesktopApp version dir found -> 1.0.0.0"},
      {"current layout replaces an older one found before",
       [&] {
         MakeDesktopApp(c.path(), older, true, {"9.0.0.0"});
         MakeDesktopApp(d.path(), current, true, {"1.0.0.0"});
       },
       "d", "[  INFO] DesktopApp version dir found -> 1.0.0.0"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    testing_support::RemoveTree(c / "ZAN");
    testing_support::RemoveTree(c / "DesktopApp");
    testing_support::RemoveTree(d / "ZAN");
    testing_support::RemoveTree(d / "DesktopApp");
    k.make();
    ScratchLog log;
    CSetting s;
    s.drives = {c.path(), d.path()};
    s.FindDesktopApp();
    std::string want;
    if (k.found == "c") want = c / current;
    if (k.found == "d") want = d / current;
    if (k.found == "d-old") want = d / older;
    EXPECT_EQ(s.desktopAppPath, want);
    std::vector<std::string> m = log.Messages();
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m.front(), "[  INFO] Looking for DesktopApp");
    if (k.found.empty()) {
      EXPECT_EQ(m.back(), "[  INFO] DesktopApp not found");
    } else {
      EXPECT_TRUE(Contains(m, k.line));
    }
  }
}

namespace {

using RecordKey = std::tuple<std::string, std::string, std::string, std::string, std::string>;

// pm, pwd, anno, rootPath, platformPath of every disk-scan record, after
// checking the values every disk-scan record shares.
std::set<RecordKey> DiskRecords(const CSetting& s) {
  std::set<RecordKey> out;
  for (const auto& r : s.diskScanRecords) {
    EXPECT_EQ(r->type, 1);
    EXPECT_FALSE(r->isNewOffice);
    EXPECT_FALSE(r->fromSharedInfo);
    EXPECT_FALSE(r->notPending);
    EXPECT_EQ(r->pdl, "");
    EXPECT_EQ(r->basePath, "");
    EXPECT_EQ(r->sharedInfoPath, "");
    EXPECT_EQ(r->assignee, "");
    EXPECT_EQ(r->platformPath, r->rootPath + "ZAN" + r->anno);
    out.insert(RecordKey(r->pm, r->pwd, r->anno, r->rootPath, r->platformPath));
  }
  return out;
}

}  // namespace

TEST(PreviousPlatform, ThreeLayoutsMarkersAndMerge) {
  TempDir drive;
  const std::string d = drive.path();
  const std::string y = Year(), py = PreviousYear();
  auto office = [&](const std::string& code) { return d + "ZAN\\PM" + code + "\\"; };
  auto platform = [&](const std::string& code) { return office(code) + "ZAN" + y; };

  // Layout 1: ZAN\PM?????\ZAN<year>, one marker kind each.
  ASSERT_TRUE(WriteBytes(platform("00012") + "\\FILES\\uffaut", detection_test::UffautBytes(0, 12)));
  ASSERT_TRUE(WriteBytes(platform("00300") + "\\FILES\\uffaut", detection_test::UffautBytes(1, 44)));
  ASSERT_TRUE(WriteBytes(platform("00026") + "\\FILES\\uffaut", detection_test::UffautBytes(0, 0x1A)));
  ASSERT_TRUE(WriteBytes(platform("03338") + "\\FILES\\uffaut", detection_test::UffautBytes(0x0D, 0x0A)));
  ASSERT_TRUE(WriteBytes(platform("00000") + "\\FILES\\uffaut", "short"));
  ASSERT_TRUE(WriteBytes(platform("00400") + "\\HOME\\BIN\\ZANOLINF.TXT",
                         detection_test::ZanolinfBytes("00400secret")));
  // A stale ZANOLINF.TXT with a short code: warned about, then FILES\uffaut.
  ASSERT_TRUE(WriteBytes(platform("00500") + "\\HOME\\BIN\\ZANOLINF.TXT",
                         detection_test::ZanolinfBytes("005")));
  ASSERT_TRUE(WriteBytes(platform("00500") + "\\FILES\\uffaut", detection_test::UffautBytes(1, 0xF4)));
  // A short code and no other marker: no record.
  ASSERT_TRUE(WriteBytes(platform("00600") + "\\HOME\\BIN\\ZANOLINF.TXT",
                         detection_test::ZanolinfBytes("6")));
  ASSERT_TRUE(WriteBytes(platform("00700") + "\\HOME\\ETC\\INSTALLA.MOD", "00700secret"));  // 11 bytes
  ASSERT_TRUE(WriteBytes(platform("00701") + "\\HOME\\ETC\\INSTALLA.MOD", "00701secret12"));
  // No marker at all, but a register beside it, which is read.
  MakeFolder(platform("00800"));
  ASSERT_TRUE(detection_test::AddWorkstation(office("00800"), "00800", y, "PC1\\ann"));
  // Only an older platform under an office folder: layout 1 knows only this year.
  ASSERT_TRUE(WriteBytes(office("00900") + "ZAN" + py + "\\FILES\\uffaut",
                         detection_test::UffautBytes(0, 9)));
  // A register listing the installation of PM00012: its record replaces the disk's.
  ASSERT_TRUE(detection_test::AddWorkstation(office("00012"), "00012", y, "PC1\\ann"));

  // Layout 2: a top-level office folder.
  ASSERT_TRUE(WriteBytes(d + "Office7\\ZAN" + y + "\\FILES\\uffaut", detection_test::UffautBytes(0, 7)));
  ASSERT_TRUE(detection_test::AddWorkstation(d + "Office7\\", "00007", y, "PC1\\ann"));
  MakeFolder(d + "Tools");
  ASSERT_TRUE(WriteBytes(d + "pagefile.sys", "x"));

  // Layout 3: the previous year's platform at the root; this year's is not looked at there.
  ASSERT_TRUE(WriteBytes(d + "ZAN" + py + "\\FILES\\uffaut", detection_test::UffautBytes(0, 24)));
  ASSERT_TRUE(WriteBytes(d + "ZAN" + y + "\\FILES\\uffaut", detection_test::UffautBytes(0, 25)));

  ScratchLog log;
  CSetting s;
  s.platformName = g_platformName;
  s.year = y;
  s.drives = {d};
  // The sheet read the Office7 register before, through another spelling of the folder.
  s.ReadSharedInfo(d + "OFFICE7", std::stoi(y));
  ASSERT_EQ(s.sharedInfoRecords.size(), 1u);

  EXPECT_EQ(s.CheckForPreviousPlatform(), 0);

  std::set<RecordKey> want = {
      RecordKey("00300", "", y, office("00300"), platform("00300")),
      RecordKey("00026", "", y, office("00026"), platform("00026")),
      RecordKey("03338", "", y, office("03338"), platform("03338")),
      RecordKey("00000", "", y, office("00000"), platform("00000")),
      RecordKey("00400", "secret", y, office("00400"), platform("00400")),
      RecordKey("00500", "", y, office("00500"), platform("00500")),
      RecordKey("", "", y, office("00700"), platform("00700")),
      RecordKey("00701", "secret12", y, office("00701"), platform("00701")),
      // Not merged with the register record of d + "OFFICE7\": byte for byte only.
      RecordKey("00007", "", y, d + "Office7\\", d + "Office7\\ZAN" + y),
      RecordKey("00024", "", py, d, d + "ZAN" + py),
  };
  EXPECT_EQ(DiskRecords(s), want);

  // The register records, sorted: PM00007 (read before the search), PM00012.
  ASSERT_EQ(s.sharedInfoRecords.size(), 2u);
  EXPECT_EQ(s.sharedInfoRecords[0]->platformPath, d + "OFFICE7\\ZAN" + y);
  EXPECT_EQ(s.sharedInfoRecords[1]->platformPath, platform("00012"));
  EXPECT_EQ(s.sharedInfoFiles.size(), 3u);

  const std::vector<std::string> m = log.Messages();
  EXPECT_TRUE(Contains(m, "[  INFO] Sharedinfo found -> " + office("00800") + "ZAN_Shared\\SharedInfo"));
  EXPECT_TRUE(Contains(m, "[  INFO] Duplicated Sharedinfo -> " + d + "Office7\\ZAN_Shared\\SharedInfo"));
  EXPECT_TRUE(Contains(m, "[* WARN] Invalid PROT value, office code too short -> " +
                              platform("00500") + "\\HOME\\BIN\\ZANOLINF.TXT"));
  EXPECT_TRUE(Contains(m, "[* WARN] Invalid PROT value, office code too short -> " +
                              platform("00600") + "\\HOME\\BIN\\ZANOLINF.TXT"));
  EXPECT_FALSE(Contains(m, "[* WARN] Exception on CSetting::CheckForPreviousPlatform"));

  // The phases in order, each opened by its line.
  size_t p1 = IndexOf(m, "[  INFO] Looking for Korval in ZAN/PM<ccccc>");
  size_t p2 = IndexOf(m, "[  INFO] Looking for Korval in ZAN<aaaa> in 2nd level");
  size_t p3 = IndexOf(m, "[  INFO] Looking for Korval in ZAN<aaaa - 1>");
  ASSERT_LT(p1, p2);
  ASSERT_LT(p2, p3);
  ASSERT_LT(p3, m.size());
  EXPECT_EQ(m[p1 + 1], "[  INFO] Looking for Korval -> " + d + "ZAN");
  EXPECT_EQ(m[p1 + 2].substr(0, 31 + d.size() + 6),
            "[  INFO] Looking for Korval -> " + d + "ZAN\\PM");
  EXPECT_EQ(m[p2 + 1], "[  INFO] Looking for Korval -> " + d + "*.*");
  size_t tools = IndexOf(m, "[  INFO] Checking folder -> " + d + "Tools");
  ASSERT_LT(tools + 1, p3);
  EXPECT_EQ(m[tools + 1], "[  INFO] Looking for Sharedinfo -> " + d + "Tools\\ZAN_Shared\\SharedInfo");
  EXPECT_EQ(m[tools + 3], "[  INFO] Looking for Korval -> " + d + "Tools\\ZAN" + y);
  size_t page = IndexOf(m, "[  INFO] Checking folder -> " + d + "pagefile.sys");
  ASSERT_LT(page + 1, p3);
  EXPECT_EQ(m[page + 1], "[  INFO] Skipping, not valid folder");
  EXPECT_EQ(m[p3 + 1], "[  INFO] Looking for Sharedinfo -> " + d + "ZAN_Shared\\SharedInfo");
  EXPECT_EQ(m[p3 + 3], "[  INFO] Looking for Korval -> " + d + "ZAN" + py);
  EXPECT_EQ(m[p3 + 4], "[  INFO] Looking for Korval -> " + d + "ZAN" + py + "\\ZAN" + py + "\\");
}

TEST(PreviousPlatform, NoRegisterRecordsNoMergeAndNoDrives) {
  CSetting s;
  s.platformName = g_platformName;
  s.year = Year();
  ScratchLog log;
  EXPECT_EQ(s.CheckForPreviousPlatform(), 0);
  EXPECT_TRUE(s.diskScanRecords.empty());
  EXPECT_EQ(s.desktopAppPath, "");
  std::vector<std::string> m = log.Messages();
  EXPECT_TRUE(Contains(m, "[  INFO] DesktopApp not found"));
}

TEST(PreviousPlatform, FailureEndsTheSearch) {
  // A platform name too short to hold a year cannot be searched for.
  CSetting s;
  s.platformName = "ZA";
  s.drives = {"C:\\"};
  ScratchLog log;
  EXPECT_EQ(s.CheckForPreviousPlatform(), 1);
  EXPECT_TRUE(Contains(log.Messages(), "[* WARN] Exception on CSetting::CheckForPreviousPlatform"));
}

// Drive letters that Wine maps to folders of the test, with real drive types:
// the drive list and the search see them through the ordinary Win32 calls.
TEST(PreviousPlatform, RealDriveLetters) {
  TempDir removable, cdrom, remote;
  detection_test::WineDrive k('K', removable.path(), DRIVE_REMOVABLE);
  detection_test::WineDrive l('L', cdrom.path(), DRIVE_CDROM);
  detection_test::WineDrive m('M', remote.path(), DRIVE_REMOTE);
  if (!k.ok() || !l.ok() || !m.ok()) GTEST_SKIP() << "Wine's mount manager is not available";
  ASSERT_EQ(GetDriveTypeA("K:\\"), static_cast<UINT>(DRIVE_REMOVABLE));

  const std::string y = Year(), py = PreviousYear();
  ASSERT_TRUE(WriteBytes(removable / ("ZAN\\PM00012\\ZAN" + y + "\\FILES\\uffaut"),
                         detection_test::UffautBytes(0, 12)));
  ASSERT_TRUE(WriteBytes(cdrom / ("ZAN\\PM00013\\ZAN" + y + "\\FILES\\uffaut"),
                         detection_test::UffautBytes(0, 13)));
  ASSERT_TRUE(WriteBytes(remote / ("ZAN" + py + "\\HOME\\ETC\\INSTALLA.MOD"), "00014secret12"));
  MakeDesktopApp(remote.path(), "ZAN\\DesktopApp\\bin", true, {"1.9.0.0", "1.10.0.0"});

  ScratchLog log;
  CSetting s;
  s.Load();
  const std::vector<std::string> lines = log.Messages();
  for (const char* root : {"K:\\", "L:\\", "M:\\"})
    EXPECT_TRUE(Contains(lines, std::string("[  INFO] Getting valid disk -> ") + root)) << root;
  std::vector<std::string> ours;
  for (const auto& drive : s.drives)
    if (drive == "K:\\" || drive == "L:\\" || drive == "M:\\") ours.push_back(drive);
  EXPECT_EQ(ours, (std::vector<std::string>{"K:\\", "M:\\"}));

  // Search only the test's drives, leaving the prefix's own alone.
  s.drives = ours;
  EXPECT_EQ(s.CheckForPreviousPlatform(), 0);
  std::set<RecordKey> want = {
      RecordKey("00012", "", y, "K:\\ZAN\\PM00012\\", "K:\\ZAN\\PM00012\\ZAN" + y),
      RecordKey("00014", "secret12", py, "M:\\", "M:\\ZAN" + py),
  };
  EXPECT_EQ(DiskRecords(s), want);
  EXPECT_EQ(s.desktopAppPath, "M:\\ZAN\\DesktopApp\\bin");
}
