// The start-up search for earlier installations: marker files written byte by
// byte, folder trees of the three office layouts and the merge with register
// records. (Drive letters of every kind are the drive list's, in the settings
// tests and end to end; a DesktopApp found is checked by its checksum before
// it is taken, and followed end to end on drive C.)
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

#include "constants.h"
#include "detection.h"
#include "settings.h"
#include "test_support.h"

using testing_support::AddWorkstation;
using testing_support::LogCapture;
using testing_support::TempDir;
using testing_support::UffautBytes;
using testing_support::WriteBytes;
using testing_support::ZanolinfBytes;

namespace {

std::string PreviousYear() { return std::to_string(std::stoi(g_year) - 1); }

using RecordKey = std::tuple<std::string, std::string, std::string, std::string>;

// pm, pwd, anno, rootPath of every disk-scan record whose platform folder is
// the year's folder in its office folder.
std::set<RecordKey> DiskRecords(const CSetting& s) {
  std::set<RecordKey> out;
  for (const auto& r : s.diskScanRecords)
    if (r->platformPath == r->rootPath + "ZAN" + r->anno)
      out.insert(RecordKey(r->pm, r->pwd, r->anno, r->rootPath));
  return out;
}

}  // namespace

TEST(MarkerFiles, UffautIsReadAsBinaryInstallaModByLengthShortProtWarned) {
  TempDir dir;
  LogCapture log;
  CSetting s;
  enum Kind { kUffaut, kInstalla, kProt };
  const struct {
    Kind kind;
    std::string bytes, pmPwd;
  } cases[] = {
      {kUffaut, UffautBytes(0, 0x1A), "00026/"},     // end-of-file byte in text mode
      {kUffaut, UffautBytes(0x0D, 0x0A), "03338/"},  // CR LF in text mode
      {kUffaut, std::string(522, '\x02'), "00512/"},  // no low byte
      {kUffaut, std::string(100, 'x'), "00000/"},     // too short
      {kInstalla, "00042secret12\r\nC:\\ZAN\\PM00042\\ZAN2025", "00042/secret12"},
      {kInstalla, std::string("42\0\0\0pw\0\0\0\0\0\0", 13), "00042/pw"},
      {kInstalla, "00042secret1", "/"},  // 12 bytes: no code
      {kProt, ZanolinfBytes("00400secret"), "00400/secret"},
      {kProt, ZanolinfBytes("00400abcdefgh0123456789"), "00400/abcdefgh"},  // 19 decoded
      {kProt, ZanolinfBytes("004"), "/"},  // file "9": the only warning
      {kProt, "[OTHER]\r\nPROT=00400\r\n", "/"},
      // A password field shorter than eight, as the final page writes it.
      {kInstalla, "00042secret\r\r\nC:\\ZAN\\PM00042\\ZAN2025", "00042/secret"},
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    const auto& c = cases[i];
    const std::string file = dir / std::to_string(i);
    SCOPED_TRACE(file);
    ASSERT_TRUE(WriteBytes(file, c.bytes));
    InstallRecord r;
    if (c.kind == kProt) EXPECT_EQ(s.ReadProtFromInf(file, r), c.pmPwd != "/");
    else EXPECT_EQ((c.kind == kUffaut ? ReadPmFromUffaut : ReadInstallaMod)(file, r), 0u);
    EXPECT_EQ(r.pm + "/" + r.pwd, c.pmPwd);
  }
  InstallRecord r;
  EXPECT_EQ(ReadPmFromUffaut(dir / "missing", r) + ReadInstallaMod(dir / "missing", r), 2u);
  EXPECT_EQ(log.Text().substr(24),  // the only line
            "[* WARN] Invalid PROT value, office code too short -> " + (dir / "9") + "\r\n");
}

TEST(PreviousPlatform, ThreeLayoutsMarkersAndMerge) {
  TempDir drive;
  const std::string d = drive.path(), y = g_year, py = PreviousYear(), zanolinf = "\\HOME\\BIN\\ZANOLINF.TXT";
  auto office = [&](const std::string& code) { return d + "ZAN\\PM" + code + "\\"; };
  auto platform = [&](const std::string& code) { return office(code) + "ZAN" + y; };
  const std::pair<std::string, std::string> files[] = {
      // Layout 1: ZAN\PM?????\ZAN<year>, one marker kind each.
      {platform("00026") + "\\FILES\\uffaut", UffautBytes(0, 0x1A)},
      {platform("00400") + zanolinf, ZanolinfBytes("00400secret")},
      {platform("00701") + "\\HOME\\ETC\\INSTALLA.MOD", "00701secret12"},
      // A stale short code: warned about, then FILES\uffaut read.
      {platform("00500") + zanolinf, ZanolinfBytes("005")},
      {platform("00500") + "\\FILES\\uffaut", UffautBytes(1, 0xF4)},
      {platform("00600") + zanolinf, ZanolinfBytes("6")},  // no record, the search goes on
      {platform("00800") + "\\.keep", ""},  // no marker, but a register beside it
      {office("00900") + "ZAN" + py + "\\FILES\\uffaut", UffautBytes(0, 9)},  // layout 1: this year only
      {platform("00012") + "\\FILES\\uffaut", UffautBytes(0, 12)},  // replaced by its register's
      // Layout 2: a top-level office folder.
      {d + "Office7\\ZAN" + y + "\\FILES\\uffaut", UffautBytes(0, 7)},
      {d + "pagefile.sys", "x"},
      // Layout 3: the previous year's platform at the root, not this year's.
      {d + "ZAN" + py + "\\FILES\\uffaut", UffautBytes(0, 24)},
      {d + "ZAN" + y + "\\FILES\\uffaut", UffautBytes(0, 25)},
  };
  for (const auto& f : files) ASSERT_TRUE(WriteBytes(f.first, f.second));
  ASSERT_TRUE(AddWorkstation(office("00800"), "00800", y, "PC1\\ann"));
  ASSERT_TRUE(AddWorkstation(office("00012"), "00012", y, "PC1\\ann"));
  ASSERT_TRUE(AddWorkstation(d + "Office7\\", "00007", y, "PC1\\ann"));

  LogCapture log;
  CSetting s;
  s.platformName = g_platformName;
  s.year = y;
  s.drives = {d};
  // The Office7 register read before, through another spelling of the folder.
  s.ReadSharedInfo(d + "OFFICE7", std::stoi(y));
  ASSERT_EQ(s.sharedInfoRecords.size(), 1u);
  EXPECT_EQ(s.CheckForPreviousPlatform(), 0);
  EXPECT_EQ(DiskRecords(s), (std::set<RecordKey>{
      RecordKey("00026", "", y, office("00026")), RecordKey("00400", "secret", y, office("00400")),
      RecordKey("00500", "", y, office("00500")), RecordKey("00701", "secret12", y, office("00701")),
      RecordKey("00007", "", y, d + "Office7\\"),  // merged byte for byte only
      RecordKey("00024", "", py, d)}));
  ASSERT_EQ(s.sharedInfoRecords.size(), 2u);  // sorted
  EXPECT_EQ(s.sharedInfoRecords[0]->platformPath, d + "OFFICE7\\ZAN" + y);
  EXPECT_EQ(s.sharedInfoRecords[1]->platformPath, platform("00012"));
  EXPECT_EQ(s.sharedInfoFiles.size(), 3u);
}

// A failure inside the search is the search's result, never an exception.
TEST(PreviousPlatform, Failure) {
  LogCapture log;
  CSetting s;
  s.platformName = "ZA";  // too short to hold a year
  s.drives = {"C:\\"};
  EXPECT_EQ(s.CheckForPreviousPlatform(), 1);
  EXPECT_TRUE(log.Has("[* WARN] Exception on CSetting::CheckForPreviousPlatform"));
}
