// The start-up search for earlier installations of the platform on every
// usable drive, and the readers of the marker files it relies on.
#include "detection.h"

#include <windows.h>

#include <cstdio>
#include <exception>
#include <unordered_set>

#include "constants.h"
#include "file_utils.h"
#include "handles.h"
#include "log.h"
#include "text_utils.h"

namespace {

class CFile {
 public:
  CFile(const std::string& path, const char* mode) : f_(std::fopen(path.c_str(), mode)) {}
  ~CFile() {
    if (f_) std::fclose(f_);
  }
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;
  FILE* get() const { return f_; }

 private:
  FILE* f_;
};

std::string PadOfficeCode(const std::string& code) {
  return code.size() < 5 ? std::string(5 - code.size(), '0') + code : code;
}

// The text of a fixed-size field up to its first zero byte or line break: a
// password field shorter than its eight bytes is followed at once by the
// line break and the platform folder.
std::string FieldText(const char* bytes, size_t size) {
  size_t n = 0;
  while (n < size && bytes[n] != '\0' && bytes[n] != '\r' && bytes[n] != '\n') ++n;
  return std::string(bytes, n);
}

// Reads the office code of the last disk-scan record from the first marker
// file that gives one; drops the record when none does.
void ReadOfficeCode(CSetting& setting) {
  InstallRecord& record = *setting.diskScanRecords.back();
  const std::string& p = record.platformPath;
  if (setting.ReadProtFromInf(p + "\\HOME\\BIN\\ZANOLINF.TXT", record)) return;
  if (ReadPmFromUffaut(p + "\\FILES\\uffaut", record) == 0) return;
  if (ReadInstallaMod(p + "\\HOME\\ETC\\INSTALLA.MOD", record) == 0) return;
  setting.diskScanRecords.pop_back();
}

void AddDiskRecord(CSetting& setting, const std::string& rootPath,
                   const std::string& platformPath, const std::string& anno) {
  std::unique_ptr<InstallRecord> record(new InstallRecord);
  record->rootPath = rootPath;
  record->platformPath = platformPath;
  record->anno = anno;
  record->type = 1;
  record->isNewOffice = false;
  record->fromSharedInfo = false;
  setting.diskScanRecords.push_back(std::move(record));
  ReadOfficeCode(setting);
}

// Offices kept under d + "ZAN\PM?????\".
void ScanOfficeFolders(CSetting& setting, const std::string& drive, int year,
                       const std::string& yearText) {
  const std::string z = drive + "ZAN";
  Log("[  INFO] Looking for Korval -> " + z);
  // A missing z simply matches nothing.
  WIN32_FIND_DATAA data;
  FindHandle h(FindFirstFileA((z + "\\PM?????").c_str(), &data));
  if (!h.valid()) return;
  Log("[  INFO] Looking for Korval -> " + z + "\\" + data.cFileName + "\\");
  do {
    const std::string root = z + "\\" + data.cFileName + "\\";
    setting.ReadSharedInfo(root, year);
    AddDiskRecord(setting, root, root + "ZAN" + yearText, yearText);
  } while (FindNextFileA(h.get(), &data));
}

// Offices kept in a top-level folder of the drive.
void ScanTopLevelFolders(CSetting& setting, const std::string& drive, int year,
                         const std::string& yearText) {
  const std::string pattern = drive + "*.*";
  Log("[  INFO] Looking for Korval -> " + pattern);
  WIN32_FIND_DATAA data;
  FindHandle h(FindFirstFileA(pattern.c_str(), &data));
  if (!h.valid()) return;
  do {
    const std::string name = data.cFileName;
    Log("[  INFO] Checking folder -> " + drive + name);
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name == "." || name == "..") {
      Log("[  INFO] Skipping, not valid folder");
      continue;
    }
    setting.ReadSharedInfo(drive + name, year);
    const std::string platform = drive + name + "\\ZAN" + yearText;
    Log("[  INFO] Looking for Korval -> " + platform);
    if (FileExists(platform)) AddDiskRecord(setting, drive + name + "\\", platform, yearText);
  } while (FindNextFileA(h.get(), &data));
}

// The previous year's platform kept at the drive root.
void ScanDriveRoot(CSetting& setting, const std::string& drive, int year,
                   const std::string& previousYearText) {
  setting.ReadSharedInfo(drive, year);
  const std::string platform = drive + "ZAN" + previousYearText;
  Log("[  INFO] Looking for Korval -> " + platform);
  WIN32_FIND_DATAA data;
  FindHandle h(FindFirstFileA(platform.c_str(), &data));
  if (!h.valid()) return;
  Log("[  INFO] Looking for Korval -> " + platform + "\\" + data.cFileName + "\\");
  AddDiskRecord(setting, drive, platform, previousYearText);
}

}  // namespace

bool DecodeProt(std::string& text, InstallRecord& record) {
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char>(static_cast<unsigned char>(text[i]) + i + 1);
    if (text[i] == '\0') text.resize(i);
  }
  if (text.size() < 5) return false;
  record.pm = text.substr(0, 5);
  record.pwd = text.substr(5, 8);
  return true;
}

bool CSetting::ReadProtFromInf(const std::string& path, InstallRecord& record) {
  // Most platform folders lack this marker, and the profile reader is slow to
  // say so; a file that is surely absent gives the empty default anyway.
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
      IsNotFoundError(GetLastError()))
    return false;
  char value[20] = {};
  GetPrivateProfileStringA("DATA", "PROT", "", value, sizeof value, path.c_str());
  std::string text = value;
  if (text.empty()) return false;
  // A short code from a stale copy of the file (an old stick, a network drive)
  // must not stop the search: this marker simply gives no office code.
  if (!DecodeProt(text, record)) {
    Log("[* WARN] Invalid PROT value, office code too short -> " + path);
    return false;
  }
  return true;
}

uint32_t ReadPmFromUffaut(const std::string& path, InstallRecord& record) {
  // A binary file: text mode would end it at byte 0x1A and fold CR LF.
  CFile file(path, "rb");
  if (!file.get()) return 1;
  if (std::fseek(file.get(), 521, SEEK_SET) != 0) return 1;
  int high = std::fgetc(file.get());
  if (std::fseek(file.get(), 522, SEEK_SET) != 0) return 1;
  int low = std::fgetc(file.get());
  unsigned code = (high == EOF ? 0u : static_cast<unsigned>(high)) * 256u +
                  (low == EOF ? 0u : static_cast<unsigned>(low));
  record.pm = PadOfficeCode(IntToString(static_cast<int>(code)));
  return 0;
}

uint32_t ReadInstallaMod(const std::string& path, InstallRecord& record) {
  CFile file(path, "r");
  if (!file.get()) return 1;
  char pm[5];
  char pwd[8];
  if (std::fread(pm, 1, sizeof pm, file.get()) == sizeof pm &&
      std::fread(pwd, 1, sizeof pwd, file.get()) == sizeof pwd) {
    record.pm = PadOfficeCode(FieldText(pm, sizeof pm));
    record.pwd = FieldText(pwd, sizeof pwd);
  }
  return 0;
}

Version FindHighestVersionFolder(const std::string& folder) {
  Version best;
  WIN32_FIND_DATAA data;
  FindHandle h(FindFirstFileA((folder + "\\*.*").c_str(), &data));
  if (!h.valid()) return best;
  do {
    const std::string name = data.cFileName;
    size_t dots = 0;
    for (char c : name) dots += (c == '.');
    if (dots != 3) continue;
    Version v(name);
    if (v > best) best = v;
  } while (FindNextFileA(h.get(), &data));
  return best;
}

void CSetting::FindDesktopApp() {
  Log("[  INFO] Looking for DesktopApp");
  const Version none("0");
  struct Layout {
    const char* folder;
    const char* found;
  };
  const Layout current_layout = {"ZAN\\DesktopApp\\bin", "[  INFO] DesktopApp version dir found -> "};
  const Layout older_layout = {"DesktopApp\\bin", "[  INFO] Vex version dir found -> "};
  auto try_layout = [&](const std::string& drive, const Layout& layout) {
    const std::string bin = drive + layout.folder;
    // The executable's presence answers for the folder's too.
    if (!FileExists(bin + "\\" + g_desktopAppExe)) return;
    Version v = FindHighestVersionFolder(bin);
    if (!(v > none)) return;
    Log(layout.found + v.ToString());
    desktopAppPath = bin;
  };
  for (const std::string& drive : drives) {
    try_layout(drive, current_layout);
    if (desktopAppPath.empty()) try_layout(drive, older_layout);
  }
  if (desktopAppPath.empty()) Log("[  INFO] DesktopApp not found");
}

int CSetting::CheckForPreviousPlatform() {
  try {
    const int yearNumber = StringToInt(platformName.substr(3, 4));
    const std::string yearText = IntToString(yearNumber);
    const std::string previousYearText = IntToString(yearNumber - 1);

    FindDesktopApp();

    Log("[  INFO] Looking for Korval in ZAN/PM<ccccc>");
    for (const std::string& drive : drives) ScanOfficeFolders(*this, drive, yearNumber, yearText);

    Log("[  INFO] Looking for Korval in ZAN<aaaa> in 2nd level");
    for (const std::string& drive : drives) ScanTopLevelFolders(*this, drive, yearNumber, yearText);

    Log("[  INFO] Looking for Korval in ZAN<aaaa - 1>");
    for (const std::string& drive : drives) ScanDriveRoot(*this, drive, yearNumber, previousYearText);

    // An installation a register lists is offered from the register, which
    // knows its workstation; the disk's copy of it goes.
    if (!sharedInfoRecords.empty()) {
      SortPmRecords(sharedInfoRecords);
      std::unordered_set<std::string> listed;
      for (const auto& r : sharedInfoRecords) listed.insert(r->platformPath);
      InstallRecordList kept;
      for (auto& r : diskScanRecords)
        if (!listed.count(r->platformPath)) kept.push_back(std::move(r));
      diskScanRecords.swap(kept);
    }
    return 0;
  } catch (...) {
    Log("[* WARN] Exception on CSetting::CheckForPreviousPlatform");
    return 1;
  }
}
