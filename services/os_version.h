// Which Windows the setup runs on: the version numbers from the product version
// of kernel32.dll (what Windows reports to the process may be shimmed), and a
// readable name for the log and the window title.
#pragma once

#include <windows.h>

#include <string>

// Windows 7 (6.1) or later: 6.0 and anything below 6 are refused.
bool IsWindows7OrLater(unsigned major, unsigned minor);

// What the display name is built from, so the naming rules can be checked
// without the machine.
struct OsNameFacts {
  int major = 0;  // from kernel32.dll's product version; 0 when unreadable
  int minor = 0;
  int build = 0;
  bool haveProductType = false;  // GetProductInfo was found
  DWORD productType = 0;
  std::string servicePack;      // the service-pack text Windows reports
  DWORD reportedMajor = 0;      // the major version Windows reports to the process
  WORD architecture = PROCESSOR_ARCHITECTURE_UNKNOWN;
};

// "Microsoft " + Windows name + edition [+ " " + service pack] [+ " 64-bit" /
// " 32-bit"]; "Sistema operativo non compatibile" in place of the first three
// when major is 5 or less. At most 511 characters.
std::string OsDisplayName(const OsNameFacts& facts);

class COSVersion {
 public:
  // Reads the version. Throws std::runtime_error("Sistema operativo non
  // supportato.") when Windows will not report its version at all.
  COSVersion();

  int GetMajor() const { return major; }
  int GetMinor() const { return minor; }
  int GetBuild() const { return build; }
  // The display name, never empty; valid as long as the object.
  const char* GetName() const { return displayName.c_str(); }

 private:
  std::string BuildDisplayName();

  OSVERSIONINFOEXA info;
  SYSTEM_INFO systemInfo;
  std::string displayName;
  int major = 0;
  int minor = 0;
  int build = 0;
};
