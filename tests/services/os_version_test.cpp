// The Windows display-name rules, the Windows 7 floor, and this machine's reading.
#include <gtest/gtest.h>

#include "os_version.h"

TEST(OsVersion, Windows7Floor) {
  const struct { unsigned major, minor; bool accepted; } rows[] = {
      {5, 2, false}, {6, 0, false}, {6, 1, true}, {12, 0, true}};
  for (const auto& r : rows)
    EXPECT_EQ(IsWindows7OrLater(r.major, r.minor), r.accepted) << r.major << "." << r.minor;
}

TEST(OsVersion, DisplayNameTable) {
  const WORD x64 = PROCESSOR_ARCHITECTURE_AMD64, x86 = PROCESSOR_ARCHITECTURE_INTEL;
  const struct {
    int major, minor, build; bool haveType; DWORD type; const char* servicePack;
    DWORD reportedMajor; WORD arch; const char* name;
  } rows[] = {
      {10, 0, 22000, true, 4, "", 6, x86, "Microsoft Windows 11 Enterprise Edition 32-bit"},
      {10, 0, 21999, true, 7, "", 10, x64, "Microsoft Windows Server 2022 Standard Edition 64-bit"},
      {10, 0, 19045, true, 10, "", 10, x64, "Microsoft Windows 10 21H2: Build 19044 Enterprise Edition 64-bit"},
      // Only two numbers read: build 0 names the first Windows 10.
      {10, 0, 0, true, 48, "", 10, x64, "Microsoft Windows 10 TH1: Version 1507, Build 10240 Professional 64-bit"},
      {11, 0, 0, true, 12, "", 10, x64, "Microsoft Windows 11 Datacenter Edition (core installation) 64-bit"},
      // An edition not in the table (Home, 101), or no GetProductInfo: two blanks.
      {10, 0, 19045, true, 101, "", 10, x64, "Microsoft Windows 10 21H2: Build 19044  64-bit"},
      {10, 0, 19045, false, 48, "", 10, x64, "Microsoft Windows 10 21H2: Build 19044  64-bit"},
      {6, 1, 7601, true, 48, "Service Pack 1", 6, x64, "Microsoft Windows 7 Professional Service Pack 1 64-bit"},
      // No Windows name for the major; no suffix for ARM or a reported major below 6.
      {7, 0, 0, true, 11, "", 6, x64, "Microsoft Starter Edition 64-bit"},
      {10, 0, 19045, true, 48, "", 10, PROCESSOR_ARCHITECTURE_ARM, "Microsoft Windows 10 21H2: Build 19044 Professional"},
      {10, 0, 19045, true, 48, "", 5, x64, "Microsoft Windows 10 21H2: Build 19044 Professional"},
      {0, 0, 0, false, 0, "Service Pack 1", 6, x86, "Sistema operativo non compatibile Service Pack 1 32-bit"},
  };
  for (const auto& r : rows) {
    OsNameFacts f;
    f.major = r.major, f.minor = r.minor, f.build = r.build, f.haveProductType = r.haveType;
    f.productType = r.type, f.servicePack = r.servicePack, f.reportedMajor = r.reportedMajor;
    f.architecture = r.arch;
    EXPECT_EQ(OsDisplayName(f), r.name) << r.major << "." << r.minor << "." << r.build;
  }
  // An overlong service-pack text is cut where the name's buffer ended.
  OsNameFacts f;
  f.major = 10, f.servicePack = std::string(600, 'S');
  EXPECT_EQ(OsDisplayName(f).size(), 511u);
}

TEST(OsVersion, ReadsThisMachine) {
  COSVersion os;
  EXPECT_GE(os.GetMajor(), 6);
  EXPECT_TRUE(IsWindows7OrLater(os.GetMajor(), os.GetMinor()));
  const std::string name = os.GetName();
  EXPECT_EQ(name.rfind("Microsoft Windows ", 0), 0u) << name;
  EXPECT_NE(name.find("-bit"), std::string::npos) << name;
}
