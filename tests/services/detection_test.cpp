// The start-up search for earlier installations: marker files written byte by
// byte, folder trees of the three office layouts, DesktopApp version folders,
// the merge with register records, and real drive letters.
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <tuple>

#include "constants.h"
#include "detection.h"
#include "detection_test_util.h"
#include "settings.h"

using namespace detection_test;
using testing_support::LogCapture;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

std::string PreviousYear() { return std::to_string(std::stoi(g_year) - 1); }
void MakeFolder(const std::string& path) { ASSERT_TRUE(WriteBytes(path + "\\.keep", "")); }

// A DesktopApp "bin" folder under the drive root, in one of the two layouts.
void MakeDesktopApp(const std::string& root, const std::string& layout,
                    const std::vector<std::string>& versions, bool exe = true) {
  if (exe) {
    ASSERT_TRUE(WriteBytes(root + layout + "\\DesktopApp.exe", "MZ"));
  }
  for (const auto& v : versions) MakeFolder(root + layout + "\\" + v);
}

using RecordKey = std::tuple<std::string, std::string, std::string, std::string>;

// pm, pwd, anno, rootPath of every disk-scan record, after checking the values
// every disk-scan record shares.
std::set<RecordKey> DiskRecords(const CSetting& s) {
  std::set<RecordKey> out;
  for (const auto& r : s.diskScanRecords) {
    EXPECT_TRUE(r->type == 1 && !r->isNewOffice && !r->fromSharedInfo && !r->notPending &&
                r->pdl.empty() && r->sharedInfoPath.empty() && r->assignee.empty());
    EXPECT_EQ(r->platformPath, r->rootPath + "ZAN" + r->anno);
    out.insert(RecordKey(r->pm, r->pwd, r->anno, r->rootPath));
  }
  return out;
}

// A drive letter defined through Wine's mount manager (as its configuration
// tool does), mapped to a folder with a drive type of our choice, removed with
// the object. ok() is false off Wine or when the letter is taken.
class WineDrive {
 public:
  WineDrive(char letter, const std::string& folder, ULONG type) : letter_(letter) {
    typedef char*(CDECL * UnixName)(LPCWSTR);
    auto unix_name = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if ((GetLogicalDrives() & (1u << (letter - 'A'))) || !unix_name) return;
    char* unix_path = unix_name(std::wstring(folder.begin(), folder.end()).c_str());
    ok_ = unix_path && Define(unix_path, type);
    HeapFree(GetProcessHeap(), 0, unix_path);
  }
  ~WineDrive() {
    if (ok_) Define(nullptr, DRIVE_NO_ROOT_DIR);
  }
  bool ok() const { return ok_; }

 private:
  bool Define(const char* unixPath, ULONG type) {
    struct UnixDrive {  // Wine's mount manager request (include/ddk/mountmgr.h)
      ULONG size, type, fs_type;
      DWORD serial;
      ULONGLONG unix_dev;
      WCHAR letter;
      USHORT mount_point_offset, device_offset, label_offset;
    };
    std::vector<char> buffer(sizeof(UnixDrive) + (unixPath ? std::strlen(unixPath) + 1 : 0));
    UnixDrive* request = reinterpret_cast<UnixDrive*>(buffer.data());
    request->size = static_cast<ULONG>(buffer.size());
    request->type = type;
    request->letter = static_cast<WCHAR>(letter_ - 'A' + 'a');
    if (unixPath) {
      std::strcpy(buffer.data() + sizeof(UnixDrive), unixPath);
      request->mount_point_offset = sizeof(UnixDrive);
    }
    HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, 0);
    if (manager == INVALID_HANDLE_VALUE) return false;
    DWORD returned = 0;
    const BOOL done = DeviceIoControl(
        manager, CTL_CODE(ULONG('m'), 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS),
        buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
    CloseHandle(manager);
    return done != FALSE;
  }

  char letter_;
  bool ok_ = false;
};

}  // namespace

TEST(MarkerFiles, UffautIsReadAsBinaryAndInstallaModByLength) {
  TempDir dir;
  const struct {
    std::string bytes, pm;
  } uffaut[] = {
      {UffautBytes(1, 44), "00300"},
      {UffautBytes(0, 0x1A), "00026"},     // end-of-file byte in text mode
      {UffautBytes(0x0D, 0x0A), "03338"},  // CR LF in text mode
      {UffautBytes(0xFF, 0xFF), "65535"},
      {std::string(522, '\x02'), "00512"},  // no low byte
      {std::string(100, 'x'), "00000"},     // too short
  };
  for (const auto& c : uffaut) {
    SCOPED_TRACE(c.pm);
    ASSERT_TRUE(WriteBytes(dir / "uffaut", c.bytes));
    InstallRecord r;
    EXPECT_EQ(ReadPmFromUffaut(dir / "uffaut", r), 0u);
    EXPECT_EQ(r.pm, c.pm);
  }
  const struct {
    std::string bytes, pm, pwd;
  } installa[] = {
      {"00042secret12\r\nC:\\ZAN\\PM00042\\ZAN2025", "00042", "secret12"},
      {std::string("42\0\0\0pw\0\0\0\0\0\0", 13), "00042", "pw"},
      {"00042secret1", "", ""},  // 12 bytes: the record stays without a code
  };
  for (const auto& c : installa) {
    SCOPED_TRACE(c.pm);
    ASSERT_TRUE(WriteBytes(dir / "INSTALLA.MOD", c.bytes));
    InstallRecord r;
    EXPECT_EQ(ReadInstallaMod(dir / "INSTALLA.MOD", r), 0u);
    EXPECT_EQ(r.pm + "/" + r.pwd, c.pm + "/" + c.pwd);
  }
  InstallRecord r;
  EXPECT_EQ(ReadPmFromUffaut(dir / "missing", r), 1u);
  EXPECT_EQ(ReadInstallaMod(dir / "missing", r), 1u);
}

TEST(MarkerFiles, ProtFromInf) {
  TempDir dir;
  LogCapture log;
  CSetting s;
  const struct {
    std::string name, content;
    bool ok;
    std::string pm, pwd;
  } cases[] = {
      {"good.txt", ZanolinfBytes("00400secret"), true, "00400", "secret"},
      // Only 19 characters reach the decoder.
      {"long.txt", ZanolinfBytes("00400abcdefgh0123456789"), true, "00400", "abcdefgh"},
      {"short.txt", ZanolinfBytes("004"), false, "", ""},
      {"nodata.txt", "[OTHER]\r\nPROT=00400\r\n", false, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteBytes(dir / c.name, c.content));
    InstallRecord r;
    EXPECT_EQ(s.ReadProtFromInf(dir / c.name, r), c.ok);
    EXPECT_EQ(r.pm + "/" + r.pwd, c.pm + "/" + c.pwd);
  }
  // Only the short value is worth a warning, and it names its file.
  EXPECT_EQ(Messages(log), std::vector<std::string>{
      "[* WARN] Invalid PROT value, office code too short -> " + (dir / "short.txt")});
}

TEST(DesktopAppFolders, HighestVersionFolder) {
  const struct {
    std::vector<std::string> folders, files;
    std::string highest;
  } cases[] = {
      {{"1.9.0.0", "1.10.0.0", "locales"}, {"DesktopApp.exe"}, "1.10.0.0"},
      {{"0.0.0.0"}, {}, ""},  // not above the empty version
      {{"2.0.0", "1.2.3.4.5"}, {}, ""},
      {{"2.0.0", "1.0.0.0"}, {"3.0.0.1"}, "3.0.0.1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.highest);
    TempDir dir;
    for (const auto& f : c.folders) MakeFolder(dir / f);
    for (const auto& f : c.files) ASSERT_TRUE(WriteBytes(dir / f, "x"));
    EXPECT_EQ(FindHighestVersionFolder(dir.path().substr(0, dir.path().size() - 1)).ToString(),
              c.highest);
  }
}

// Two drives, C then D, each with a DesktopApp in the current layout ("new"),
// the older one ("old") or none ("").
TEST(DesktopAppFolders, FindDesktopApp) {
  const std::map<std::string, std::string> layouts = {{"new", "ZAN\\DesktopApp\\bin"},
                                                      {"old", "DesktopApp\\bin"}};
  TempDir drives[2];
  const struct {
    const char *c, *d;
    int found;  // the drive where it is found
    std::string line;
  } cases[] = {
      {"new", "", 0, "[  INFO] DesktopApp version dir found -> 1.10.0.0"},
      {"new", "new", 1, "[  INFO] DesktopApp version dir found -> 1.10.0.0"},  // the later wins
      {"", "old", 1, "[  INFO] Vex version dir found -> 1.10.0.0"},
      {"new", "old", 0, "[  INFO] DesktopApp version dir found -> 1.10.0.0"},
      {"old", "new", 1, "[  INFO] DesktopApp version dir found -> 1.10.0.0"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(std::string(k.c) + "/" + k.d);
    for (int i = 0; i < 2; ++i) {
      for (const char* top : {"ZAN", "DesktopApp"}) testing_support::RemoveTree(drives[i] / top);
      const std::string layout = i ? k.d : k.c;
      if (!layout.empty())
        MakeDesktopApp(drives[i].path(), layouts.at(layout), {"1.9.0.0", "1.10.0.0"});
    }
    LogCapture log;
    CSetting s;
    s.drives = {drives[0].path(), drives[1].path()};
    s.FindDesktopApp();
    EXPECT_EQ(s.desktopAppPath, drives[k.found].path() + layouts.at(k.found ? k.d : k.c));
    EXPECT_TRUE(Contains(Messages(log), k.line));
  }
}

TEST(PreviousPlatform, ThreeLayoutsMarkersAndMerge) {
  TempDir drive;
  const std::string d = drive.path(), y = g_year, py = PreviousYear();
  auto office = [&](const std::string& code) { return d + "ZAN\\PM" + code + "\\"; };
  auto platform = [&](const std::string& code) { return office(code) + "ZAN" + y; };
  const std::string zanolinf = "\\HOME\\BIN\\ZANOLINF.TXT";

  // Layout 1: ZAN\PM?????\ZAN<year>, one marker kind each.
  ASSERT_TRUE(WriteBytes(platform("00026") + "\\FILES\\uffaut", UffautBytes(0, 0x1A)));
  ASSERT_TRUE(WriteBytes(platform("00400") + zanolinf, ZanolinfBytes("00400secret")));
  ASSERT_TRUE(WriteBytes(platform("00701") + "\\HOME\\ETC\\INSTALLA.MOD", "00701secret12"));
  // A stale ZANOLINF.TXT with a short code: warned about, then FILES\uffaut.
  ASSERT_TRUE(WriteBytes(platform("00500") + zanolinf, ZanolinfBytes("005")));
  ASSERT_TRUE(WriteBytes(platform("00500") + "\\FILES\\uffaut", UffautBytes(1, 0xF4)));
  // A short code and no other marker: no record, and the search goes on.
  ASSERT_TRUE(WriteBytes(platform("00600") + zanolinf, ZanolinfBytes("6")));
  // No marker at all, but a register beside it, which is read.
  MakeFolder(platform("00800"));
  ASSERT_TRUE(AddWorkstation(office("00800"), "00800", y, "PC1\\ann"));
  // Only an older platform under an office folder: layout 1 knows only this year.
  ASSERT_TRUE(WriteBytes(office("00900") + "ZAN" + py + "\\FILES\\uffaut", UffautBytes(0, 9)));
  // A register listing the installation of PM00012: its record replaces the disk's.
  ASSERT_TRUE(WriteBytes(platform("00012") + "\\FILES\\uffaut", UffautBytes(0, 12)));
  ASSERT_TRUE(AddWorkstation(office("00012"), "00012", y, "PC1\\ann"));
  // Layout 2: a top-level office folder.
  ASSERT_TRUE(WriteBytes(d + "Office7\\ZAN" + y + "\\FILES\\uffaut", UffautBytes(0, 7)));
  ASSERT_TRUE(AddWorkstation(d + "Office7\\", "00007", y, "PC1\\ann"));
  ASSERT_TRUE(WriteBytes(d + "pagefile.sys", "x"));
  // Layout 3: the previous year's platform at the root; this year's is not looked at there.
  ASSERT_TRUE(WriteBytes(d + "ZAN" + py + "\\FILES\\uffaut", UffautBytes(0, 24)));
  ASSERT_TRUE(WriteBytes(d + "ZAN" + y + "\\FILES\\uffaut", UffautBytes(0, 25)));

  LogCapture log;
  CSetting s;
  s.platformName = g_platformName;
  s.year = y;
  s.drives = {d};
  // The sheet read the Office7 register before, through another spelling of the folder.
  s.ReadSharedInfo(d + "OFFICE7", std::stoi(y));
  ASSERT_EQ(s.sharedInfoRecords.size(), 1u);
  EXPECT_EQ(s.CheckForPreviousPlatform(), 0);

  EXPECT_EQ(DiskRecords(s), (std::set<RecordKey>{
      RecordKey("00026", "", y, office("00026")),
      RecordKey("00400", "secret", y, office("00400")),
      RecordKey("00500", "", y, office("00500")),
      RecordKey("00701", "secret12", y, office("00701")),
      // Not merged with the register record of d + "OFFICE7\": byte for byte only.
      RecordKey("00007", "", y, d + "Office7\\"),
      RecordKey("00024", "", py, d)}));
  // The register records, sorted: PM00007 (read before the search), PM00012.
  ASSERT_EQ(s.sharedInfoRecords.size(), 2u);
  EXPECT_EQ(s.sharedInfoRecords[0]->platformPath, d + "OFFICE7\\ZAN" + y);
  EXPECT_EQ(s.sharedInfoRecords[1]->platformPath, platform("00012"));
  EXPECT_EQ(s.sharedInfoFiles.size(), 3u);

  const std::vector<std::string> m = Messages(log);
  for (const std::string& line :
       {"[  INFO] Sharedinfo found -> " + office("00800") + "ZAN_Shared\\SharedInfo",
        "[  INFO] Duplicated Sharedinfo -> " + d + "Office7\\ZAN_Shared\\SharedInfo",
        "[* WARN] Invalid PROT value, office code too short -> " + platform("00500") + zanolinf,
        "[* WARN] Invalid PROT value, office code too short -> " + platform("00600") + zanolinf,
        "[  INFO] Checking folder -> " + d + "pagefile.sys"})
    EXPECT_TRUE(Contains(m, line)) << line;
}

TEST(PreviousPlatform, NoDrivesAndFailure) {
  {
    LogCapture log;
    CSetting s;
    s.platformName = g_platformName;
    s.year = g_year;
    EXPECT_EQ(s.CheckForPreviousPlatform(), 0);
    EXPECT_TRUE(s.diskScanRecords.empty());
    EXPECT_TRUE(Contains(Messages(log), "[  INFO] DesktopApp not found"));
  }
  // A platform name too short to hold a year cannot be searched for.
  LogCapture log;
  CSetting s;
  s.platformName = "ZA";
  s.drives = {"C:\\"};
  EXPECT_EQ(s.CheckForPreviousPlatform(), 1);
  EXPECT_TRUE(Contains(Messages(log), "[* WARN] Exception on CSetting::CheckForPreviousPlatform"));
}

// Drive letters that Wine maps to folders of the test, with real drive types:
// the drive list and the search see them through the ordinary Win32 calls.
TEST(PreviousPlatform, RealDriveLetters) {
  TempDir removable, cdrom, remote;
  WineDrive k('K', removable.path(), DRIVE_REMOVABLE), l('L', cdrom.path(), DRIVE_CDROM),
      m('M', remote.path(), DRIVE_REMOTE);
  if (!k.ok() || !l.ok() || !m.ok()) GTEST_SKIP() << "Wine's mount manager is not available";
  const std::string y = g_year, py = PreviousYear();
  const std::string uffaut = "ZAN" + y + "\\FILES\\uffaut";
  ASSERT_TRUE(WriteBytes(removable / ("ZAN\\PM00012\\" + uffaut), UffautBytes(0, 12)));
  ASSERT_TRUE(WriteBytes(cdrom / ("ZAN\\PM00013\\" + uffaut), UffautBytes(0, 13)));
  ASSERT_TRUE(WriteBytes(remote / ("ZAN" + py + "\\HOME\\ETC\\INSTALLA.MOD"), "00014secret12"));
  MakeDesktopApp(remote.path(), "ZAN\\DesktopApp\\bin", {"1.9.0.0", "1.10.0.0"});

  CSetting s;
  s.Load();
  std::vector<std::string> ours;
  for (const auto& drive : s.drives)
    if (drive == "K:\\" || drive == "L:\\" || drive == "M:\\") ours.push_back(drive);
  EXPECT_EQ(ours, (std::vector<std::string>{"K:\\", "M:\\"}));
  // Search only the test's drives, leaving the prefix's own alone.
  s.drives = ours;
  EXPECT_EQ(s.CheckForPreviousPlatform(), 0);
  EXPECT_EQ(DiskRecords(s), (std::set<RecordKey>{RecordKey("00012", "", y, "K:\\ZAN\\PM00012\\"),
                                                 RecordKey("00014", "secret12", py, "M:\\")}));
  EXPECT_EQ(s.desktopAppPath, "M:\\ZAN\\DesktopApp\\bin");
}
