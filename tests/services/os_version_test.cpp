// The Windows display-name rules, the Windows 7 floor, and the real reading
// on this machine.
#include <gtest/gtest.h>

#include <cstring>

#include "os_version.h"

TEST(OsVersion, Windows7Floor) {
  const struct {
    unsigned major, minor;
    bool accepted;
  } rows[] = {
      {0, 0, false}, {5, 1, false}, {5, 2, false}, {6, 0, false}, {6, 1, true},  {6, 2, true},
      {6, 3, true},  {7, 0, true},  {10, 0, true}, {11, 0, true}, {12, 5, true},
  };
  for (const auto& r : rows)
    EXPECT_EQ(IsWindows7OrLater(r.major, r.minor), r.accepted) << r.major << "." << r.minor;
}

TEST(OsVersion, DisplayNameTable) {
  const WORD x64 = PROCESSOR_ARCHITECTURE_AMD64, x86 = PROCESSOR_ARCHITECTURE_INTEL,
             arm = PROCESSOR_ARCHITECTURE_ARM;
  const struct {
    int major, minor, build;
    bool haveType;
    DWORD type;
    const char* servicePack;
    DWORD reportedMajor;
    WORD arch;
    const char* name;
  } rows[] = {
      {10, 0, 19045, true, 48, "", 10, x64, "Microsoft Windows 10 21H2: Build 19044 Professional 64-bit"},
      {10, 0, 22631, true, 48, "", 10, x64, "Microsoft Windows 11 Professional 64-bit"},
      {10, 0, 22000, true, 4, "", 6, x86, "Microsoft Windows 11 Enterprise Edition 32-bit"},
      {10, 0, 21999, true, 7, "", 10, x64, "Microsoft Windows Server 2022 Standard Edition 64-bit"},
      {10, 0, 20348, true, 8, "", 10, x64, "Microsoft Windows Server 2022 Datacenter Edition 64-bit"},
      {10, 0, 19044, true, 10, "", 10, x64, "Microsoft Windows 10 21H2: Build 19044 Enterprise Edition 64-bit"},
      {10, 0, 19043, true, 48, "", 10, x64, "Microsoft Windows 10 21H1: Build 19043 Professional 64-bit"},
      {10, 0, 19042, true, 48, "", 10, x64, "Microsoft Windows 10 20H2: Build 19042 Professional 64-bit"},
      {10, 0, 19041, true, 48, "", 10, x64, "Microsoft Windows 10 20H1: Build 19041 Professional 64-bit"},
      {10, 0, 18363, true, 48, "", 10, x64, "Microsoft Windows 10 19H2: Version 1909, Build 18363 Professional 64-bit"},
      {10, 0, 18362, true, 48, "", 6, x86, "Microsoft Windows 10 19H1: Version 1903, Build 18362 Professional 32-bit"},
      {10, 0, 17763, true, 48, "", 10, x64, "Microsoft Windows 10 RS5: Version 1809, Build 17763 Professional 64-bit"},
      {10, 0, 17134, true, 48, "", 10, x64, "Microsoft Windows 10 RS4: Version 1803, Build 17134 Professional 64-bit"},
      {10, 0, 16299, true, 48, "", 10, x64, "Microsoft Windows 10 RS3: Version 1709, Build 16299 Professional 64-bit"},
      {10, 0, 15063, true, 48, "", 10, x64, "Microsoft Windows 10 RS2: Version 1703, Build 15063 Professional 64-bit"},
      {10, 0, 14393, true, 48, "", 10, x64, "Microsoft Windows 10 RS1: Version 1607, Build 14393 Professional 64-bit"},
      {10, 0, 14392, true, 48, "", 10, x64, "Microsoft Windows 10 TH2: Version 1511, Build 10586 Professional 64-bit"},
      {10, 0, 10586, true, 48, "", 10, x64, "Microsoft Windows 10 TH2: Version 1511, Build 10586 Professional 64-bit"},
      {10, 0, 10240, true, 48, "", 10, x64, "Microsoft Windows 10 TH1: Version 1507, Build 10240 Professional 64-bit"},
      // Only two numbers read: build 0 names TH1.
      {10, 0, 0, true, 48, "", 10, x64, "Microsoft Windows 10 TH1: Version 1507, Build 10240 Professional 64-bit"},
      {11, 0, 0, true, 48, "", 10, x64, "Microsoft Windows 11 Professional 64-bit"},
      // Home (101) is not in the edition table: two blanks before the architecture.
      {10, 0, 19045, true, 101, "", 10, x64, "Microsoft Windows 10 21H2: Build 19044  64-bit"},
      {6, 1, 7601, true, 48, "Service Pack 1", 6, x64, "Microsoft Windows 7 Professional Service Pack 1 64-bit"},
      {6, 1, 7601, true, 1, "", 6, x86, "Microsoft Windows 7 Ultimate Edition 32-bit"},
      {6, 0, 6002, true, 3, "Service Pack 2", 6, x86, "Microsoft Windows Vista Home Premium Edition Service Pack 2 32-bit"},
      {6, 2, 9200, true, 2, "", 6, x64, "Microsoft Windows 8 Home Basic Edition 64-bit"},
      {6, 3, 9600, true, 6, "", 6, x64, "Microsoft Windows 8.1 Business Edition 64-bit"},
      {6, 4, 0, true, 9, "", 6, x64, "Microsoft Windows 8.1 Small Business Server 64-bit"},
      // A major with no Windows name: the edition follows "Microsoft " directly.
      {7, 0, 0, true, 11, "", 6, x64, "Microsoft Starter Edition 64-bit"},
      {9, 0, 0, true, 12, "", 6, x64, "Microsoft Datacenter Edition (core installation) 64-bit"},
      {8, 0, 0, true, 13, "", 6, x86, "Microsoft Standard Edition (core installation) 32-bit"},
      {10, 0, 19045, true, 14, "", 10, x64, "Microsoft Windows 10 21H2: Build 19044 Enterprise Edition (core installation) 64-bit"},
      {10, 0, 19045, true, 15, "", 10, x64, "Microsoft Windows 10 21H2: Build 19044 Enterprise Edition for Itanium-based Systems 64-bit"},
      {10, 0, 19045, true, 17, "", 10, x64, "Microsoft Windows 10 21H2: Build 19044 Web Server Edition 64-bit"},
      {10, 0, 19045, true, 18, "", 10, x64, "Microsoft Windows 10 21H2: Build 19044 Cluster Server Edition 64-bit"},
      {10, 0, 19045, true, 25, "", 10, x64, "Microsoft Windows 10 21H2: Build 19044 Small Business Server Premium Edition 64-bit"},
      // No GetProductInfo: no edition; another architecture: no suffix.
      {10, 0, 19045, false, 48, "", 10, x64, "Microsoft Windows 10 21H2: Build 19044  64-bit"},
      {10, 0, 19045, true, 48, "", 10, arm, "Microsoft Windows 10 21H2: Build 19044 Professional"},
      // The architecture follows the reported major, not the kernel's.
      {10, 0, 19045, true, 48, "", 5, x64, "Microsoft Windows 10 21H2: Build 19044 Professional"},
      // Version unreadable, or too old.
      {0, 0, 0, true, 48, "", 6, x64, "Sistema operativo non compatibile 64-bit"},
      {0, 0, 0, false, 0, "Service Pack 1", 6, x86, "Sistema operativo non compatibile Service Pack 1 32-bit"},
      {5, 1, 2600, true, 48, "Service Pack 3", 5, x86, "Sistema operativo non compatibile Service Pack 3"},
  };
  for (const auto& r : rows) {
    OsNameFacts facts;
    facts.major = r.major;
    facts.minor = r.minor;
    facts.build = r.build;
    facts.haveProductType = r.haveType;
    facts.productType = r.type;
    facts.servicePack = r.servicePack;
    facts.reportedMajor = r.reportedMajor;
    facts.architecture = r.arch;
    EXPECT_EQ(OsDisplayName(facts), r.name)
        << r.major << "." << r.minor << "." << r.build << " type " << r.type;
  }
}

TEST(OsVersion, OverlongNameIsCut) {
  OsNameFacts facts;
  facts.major = 10;
  facts.servicePack = std::string(600, 'S');
  facts.reportedMajor = 10;
  facts.architecture = PROCESSOR_ARCHITECTURE_AMD64;
  const std::string name = OsDisplayName(facts);
  EXPECT_EQ(name.size(), 511u);
  EXPECT_EQ(name.rfind("Microsoft Windows 10 TH1", 0), 0u);
}

TEST(OsVersion, ReadsThisMachine) {
  COSVersion os;
  EXPECT_GE(os.GetMajor(), 6);
  EXPECT_TRUE(IsWindows7OrLater(os.GetMajor(), os.GetMinor()));
  const std::string name = os.GetName();
  EXPECT_EQ(name.rfind("Microsoft Windows ", 0), 0u) << name;
  EXPECT_TRUE(name.find(" 32-bit") != std::string::npos ||
              name.find(" 64-bit") != std::string::npos)
      << name;
}
