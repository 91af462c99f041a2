#include "office_decisions.h"

#include "file_utils.h"
#include "resource.h"

#include <cstdio>

#include "text_utils.h"

int OfficePageTemplate(bool isNewOffice) { return isNewOffice ? IDD_WIZ_PMNEW : IDD_WIZ_PMSELECT; }

void TakePickedRecord(InstallRecord& current, const InstallRecord& picked) {
  current.pm = picked.pm;
  current.pwd = picked.pwd;
  current.pdl = picked.pdl;
  current.type = picked.type;
  current.platformPath = picked.platformPath;
  current.rootPath = picked.rootPath;
  current.sharedInfoPath = picked.sharedInfoPath;
  current.isNewOffice = picked.isNewOffice;
  current.fromSharedInfo = picked.fromSharedInfo;
  current.notPending = picked.notPending;
  current.anno = picked.anno;
}

const InstallRecord* NewerYearEntry(const InstallRecordList& records,
                                    const InstallRecord* picked) {
  size_t index = 0;
  while (index < records.size() && records[index].get() != picked) ++index;
  if (index == records.size()) return nullptr;
  // The record order puts the newer years of an office above the older ones.
  while (index-- > 0) {
    const InstallRecord& above = *records[index];
    if (above.pm != picked->pm) break;
    if (above.anno != picked->anno) return &above;
  }
  return nullptr;
}

bool IsUncPath(const std::string& path) { return path.compare(0, 2, "\\\\") == 0; }

std::vector<std::string> RewriteUncPaths(InstallRecordList& records,
                                         const std::string& uncFolder,
                                         const std::string& drive) {
  std::vector<std::string> lines;
  if (uncFolder.empty()) return lines;
  for (auto& record : records) {
    const struct {
      std::string* field;
      const char* label;
    } fields[] = {
        {&record->rootPath, "[INFO] Setup path -> "},
        {&record->basePath, "[INFO] Base path -> "},
        {&record->platformPath, "[INFO] Zan path -> "},
        {&record->sharedInfoPath, "[INFO] Sharedinfo path -> "},
    };
    for (const auto& f : fields) {
      // Only a field that starts with the folder: replacing the leading
      // characters of a field holding it further in would garble that field.
      if (f.field->compare(0, uncFolder.size(), uncFolder) != 0) continue;
      const std::string old = *f.field;
      *f.field = drive + old.substr(uncFolder.size());
      lines.push_back(f.label + old + " -> " + *f.field);
    }
  }
  return lines;
}

std::string RegisterPathOf(const InstallRecord& record) {
  if (!record.sharedInfoPath.empty()) return record.sharedInfoPath;
  return record.rootPath + "ZAN_Shared\\SharedInfo";
}

std::string FolderOfFile(const std::string& path) {
  const size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(0, slash);
}

void ResetAsNewOffice(InstallRecord& current) {
  current.pm.clear();
  current.pwd.clear();
  current.pdl.clear();
  current.platformPath.clear();
  current.rootPath.clear();
  current.basePath.clear();
  current.type = 1;
  current.isNewOffice = true;
  current.fromSharedInfo = true;
  current.notPending = true;
}

std::string CutOfficeCode(const std::string& text) { return text.substr(0, 5); }

std::string PadOfficeCode(std::string code) {
  if (code.size() < 5) code.insert(0, 5 - code.size(), '0');
  return code;
}

OfficeFolder NewOfficeFolder(const std::string& basePath, const std::string& codeText) {
  // Leading digits only: the edit holds at most five, so no overflow, and a
  // sign is not a digit.
  int number = 0;
  for (size_t i = 0; i < codeText.size() && i < 9 && codeText[i] >= '0' && codeText[i] <= '9'; ++i)
    number = number * 10 + (codeText[i] - '0');
  char digits[16];
  std::snprintf(digits, sizeof(digits), "%.5d", number);
  const std::string folder = (basePath.empty() ? std::string("C:\\ZAN") : basePath) + "\\PM" + digits;
  return OfficeFolder{folder + "\\", folder};
}

NewCodeVerdict CheckNewOfficeCode(const std::string& text, InstallRecordList& records,
                                  std::string* paddedPm) {
  if (!IsValidOfficeNumber(text)) return NewCodeVerdict::kInvalid;
  *paddedPm = PadOfficeCode(text);
  for (auto& record : records) record->pm = PadOfficeCode(record->pm);
  for (const auto& record : records)
    if (record->pm == *paddedPm) return NewCodeVerdict::kAlreadyFound;
  return NewCodeVerdict::kAccepted;
}

std::vector<DriveEntry> DriveEntries(const std::vector<std::string>& driveRoots,
                                     const std::function<UINT(const std::string&)>& driveType,
                                     const std::string& systemDriveRoot) {
  std::vector<DriveEntry> entries;
  for (const std::string& root : driveRoots) {
    if (root.empty()) continue;
    DriveEntry entry;
    entry.text = ToUpper(root.substr(0, 1));
    if (driveType(root) == DRIVE_REMOTE) entry.text += " (rete)";
    entry.selected = entry.text + ":" == systemDriveRoot;
    entries.push_back(entry);
  }
  return entries;
}

std::optional<DriveChoice> ChooseDrive(const std::string& entryText, const std::string& pm) {
  if (entryText.empty()) return std::nullopt;
  const std::string base = entryText.substr(0, 1) + ":\\ZAN";
  return DriveChoice{base + "\\PM" + pm, base};
}

InstallConflict FindInstallConflict(InstallRecordList& records, const std::string& rootPath,
                                    const std::string& pm) {
  const std::string folder = ToUpper(rootPath);
  for (auto& record : records) {
    record->rootPath = WithBackslash(record->rootPath);
    if (ToUpper(record->rootPath) == folder && record->pm != pm)
      return {InstallConflictKind::kFolderOfOtherCode, record->rootPath, record->pm};
  }
  for (const auto& record : records)
    if (record->pm == pm && ToUpper(record->rootPath) != folder)
      return {InstallConflictKind::kCodeElsewhere, record->rootPath, record->pm};
  return {};
}

std::vector<SpaceCheck> FreeSpaceChecks(const std::string& rootPath,
                                        const std::string& windowsFolder,
                                        const std::string& anno,
                                        const std::string& platformName) {
  const std::string windowsRoot = windowsFolder.substr(0, 3);
  if (rootPath.substr(0, 3) == windowsRoot)
    return {{SpaceCheckKind::kKorvalOnWindowsDrive, windowsFolder, 750000000, 750}};
  std::vector<SpaceCheck> checks;
  // The platform of an earlier year, or a new office, unpacks the whole
  // package there; the current year's platform is there already.
  const std::string platformYear = platformName.size() > 3 ? platformName.substr(3) : "";
  if (anno != platformYear) checks.push_back({SpaceCheckKind::kKorval, rootPath, 525000000, 525});
  checks.push_back({SpaceCheckKind::kDesktopApp, windowsRoot + "ZAN", 10000000, 10});
  return checks;
}

std::optional<SpaceCheck> FirstRefusedSpaceCheck(
    const std::vector<SpaceCheck>& checks,
    const std::function<bool(const std::string& path, uint32_t required)>& enough) {
  for (const SpaceCheck& check : checks)
    if (!enough(check.path, check.required)) return check;
  return std::nullopt;
}

std::string SpaceRefusalLog(const SpaceCheck& check) {
  return check.kind == SpaceCheckKind::kDesktopApp ? "[* WARN] Low disk space for DesktopApp"
                                                   : "[* WARN] Low disk space for Korval";
}

std::string SpaceRefusalText(const SpaceCheck& check, const std::string& windowsFolder) {
  if (check.kind == SpaceCheckKind::kDesktopApp)
    return "ATTENZIONE!!\n\nLo spazio sull'unita' disco " + windowsFolder.substr(0, 3) +
           " non e' sufficiente. Sono necessari almeno " + IntToString(check.megabytes) +
           " MB liberi.";
  return "ATTENZIONE!!\n\nLo spazio sull'unita' disco selezionata non e' sufficiente. "
         "Sono necessari almeno " + IntToString(check.megabytes) + " MB liberi.";
}

bool ShouldRemoveWorkpoint(bool found, bool notPending, const std::string& anno,
                           const std::string& year) {
  return found && !notPending && anno == year;
}
