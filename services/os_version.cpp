#include "os_version.h"

#include <cstring>
#include <stdexcept>
#include <vector>

#include "file_utils.h"
#include "text_utils.h"

bool IsWindows7OrLater(unsigned major, unsigned minor) {
  if (major != 6) return major > 6;
  return minor != 0;
}

namespace {

const char* WindowsName(int major, int minor, int build) {
  if (major == 11) return "Windows 11 ";
  if (major == 10) {
    static const struct {
      int build;
      const char* name;
    } kWindows10[] = {
        {22000, "Windows 11 "},
        {20348, "Windows Server 2022 "},
        {19044, "Windows 10 21H2: Build 19044 "},
        {19043, "Windows 10 21H1: Build 19043 "},
        {19042, "Windows 10 20H2: Build 19042 "},
        {19041, "Windows 10 20H1: Build 19041 "},
        {18363, "Windows 10 19H2: Version 1909, Build 18363 "},
        {18362, "Windows 10 19H1: Version 1903, Build 18362 "},
        {17763, "Windows 10 RS5: Version 1809, Build 17763 "},
        {17134, "Windows 10 RS4: Version 1803, Build 17134 "},
        {16299, "Windows 10 RS3: Version 1709, Build 16299 "},
        {15063, "Windows 10 RS2: Version 1703, Build 15063 "},
        {14393, "Windows 10 RS1: Version 1607, Build 14393 "},
        {10586, "Windows 10 TH2: Version 1511, Build 10586 "},
    };
    for (const auto& row : kWindows10)
      if (build >= row.build) return row.name;
    return "Windows 10 TH1: Version 1507, Build 10240 ";
  }
  if (major == 6) {
    switch (minor) {
      case 0: return "Windows Vista ";
      case 1: return "Windows 7 ";
      case 2: return "Windows 8 ";
      default: return "Windows 8.1 ";
    }
  }
  return "";
}

const char* EditionName(DWORD productType) {
  switch (productType) {
    case 1: return "Ultimate Edition";
    case 2: return "Home Basic Edition";
    case 3: return "Home Premium Edition";
    case 4:
    case 10: return "Enterprise Edition";
    case 6: return "Business Edition";
    case 7: return "Standard Edition";
    case 8: return "Datacenter Edition";
    case 9: return "Small Business Server";
    case 11: return "Starter Edition";
    case 12: return "Datacenter Edition (core installation)";
    case 13: return "Standard Edition (core installation)";
    case 14: return "Enterprise Edition (core installation)";
    case 15: return "Enterprise Edition for Itanium-based Systems";
    case 17: return "Web Server Edition";
    case 18: return "Cluster Server Edition";
    case 25: return "Small Business Server Premium Edition";
    case 48: return "Professional";
    default: return "";
  }
}

// The name's buffer held 512 characters with the terminator.
const size_t kMaxNameLength = 511;

}  // namespace

std::string OsDisplayName(const OsNameFacts& facts) {
  std::string name = "Sistema operativo non compatibile";
  if (facts.major > 5) {
    name = "Microsoft ";
    name += WindowsName(facts.major, facts.minor, facts.build);
    if (facts.haveProductType) name += EditionName(facts.productType);
  }
  if (!facts.servicePack.empty()) name += " " + facts.servicePack;
  if (facts.reportedMajor > 5) {
    if (facts.architecture == PROCESSOR_ARCHITECTURE_AMD64)
      name += " 64-bit";
    else if (facts.architecture == PROCESSOR_ARCHITECTURE_INTEL)
      name += " 32-bit";
  }
  if (name.size() > kMaxNameLength) name.resize(kMaxNameLength);
  return name;
}

COSVersion::COSVersion() {
  ZeroMemory(&systemInfo, sizeof systemInfo);
  ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)))
    throw std::runtime_error("Sistema operativo non supportato.");

  char windows[520] = {};
  const UINT length = GetWindowsDirectoryA(windows, sizeof windows);
  std::string system32 =
      (length > 0 && length < sizeof windows) ? std::string(windows, length) : std::string();
  system32 += "\\system32\\";

  // The numbers Windows reports to the process may be shimmed; those of its
  // own kernel library are not.
  std::vector<std::string> pieces;
  if (!GetFileVersion(system32 + "kernel32.dll", &pieces))
    GetFileVersion(system32 + "kernelbase.dll", &pieces);
  major = pieces.size() > 0 ? StringToInt(pieces[0]) : 0;
  minor = pieces.size() > 1 ? StringToInt(pieces[1]) : 0;
  build = pieces.size() > 2 ? StringToInt(pieces[2]) : 0;

  displayName = BuildDisplayName();
}

std::string COSVersion::BuildDisplayName() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  typedef void(WINAPI * NativeInfoFn)(LPSYSTEM_INFO);
  typedef BOOL(WINAPI * ProductInfoFn)(DWORD, DWORD, DWORD, DWORD, PDWORD);
  NativeInfoFn nativeInfo =
      kernel ? reinterpret_cast<NativeInfoFn>(
                   reinterpret_cast<void*>(GetProcAddress(kernel, "GetNativeSystemInfo")))
             : nullptr;
  if (nativeInfo)
    nativeInfo(&systemInfo);
  else
    GetSystemInfo(&systemInfo);

  OsNameFacts facts;
  facts.major = major;
  facts.minor = minor;
  facts.build = build;
  if (major > 5) {
    ProductInfoFn productInfo =
        kernel ? reinterpret_cast<ProductInfoFn>(
                     reinterpret_cast<void*>(GetProcAddress(kernel, "GetProductInfo")))
               : nullptr;
    if (productInfo) {
      DWORD type = 0;
      productInfo(info.dwMajorVersion, info.dwMinorVersion, 0, 0, &type);
      facts.haveProductType = true;
      facts.productType = type;
    }
  }
  facts.servicePack.assign(info.szCSDVersion, strnlen(info.szCSDVersion, sizeof info.szCSDVersion));
  facts.reportedMajor = info.dwMajorVersion;
  facts.architecture = systemInfo.wProcessorArchitecture;
  return OsDisplayName(facts);
}
