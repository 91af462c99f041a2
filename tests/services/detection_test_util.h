// Helpers shared by the tests of the installation records, the register
// reading and the start-up search: the marker files of an installed
// platform written byte by byte, registers, and the fixture's network share.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "shared_info.h"
#include "test_support.h"

namespace detection_test {

inline bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// FILES\uffaut: filler bytes with the office code at offsets 521 (high) and 522 (low).
inline std::string UffautBytes(unsigned char high, unsigned char low) {
  std::string bytes(523, '\x55');
  bytes[521] = static_cast<char>(high);
  bytes[522] = static_cast<char>(low);
  return bytes;
}

// ZANOLINF.TXT with the platform's scrambling of "PROT": byte i (from 1) minus i.
inline std::string ZanolinfBytes(std::string prot) {
  for (size_t i = 0; i < prot.size(); ++i)
    prot[i] = static_cast<char>(static_cast<unsigned char>(prot[i]) - (i + 1));
  return "[GENERAL]\r\nNAME=office\r\n[DATA]\r\nPROT=" + prot + "\r\n";
}

// Adds a workstation of `pm` in year `anno` to the register of the office
// folder (ending in "\"), creating the register when needed.
inline bool AddWorkstation(const std::string& officeFolder, const std::string& pm,
                           const std::string& anno, const std::string& assignee) {
  CreateDirectoryA(officeFolder.c_str(), nullptr);
  CreateDirectoryA((officeFolder + "ZAN_Shared").c_str(), nullptr);
  const std::string path = officeFolder + "ZAN_Shared\\SharedInfo";
  int id = 0;
  return CreateSharedInfo(path) == kSharedInfoOk &&
         CheckInstallation(path, anno, &id) == kSharedInfoOk &&
         AddPdlEntry(path, pm, "segreto", id, officeFolder, assignee) == kSharedInfoOk;
}

// The network share the detect_unc fixture serves from a test-data folder.
inline std::string ShareRoot() { return "\\\\detectsrv\\offices\\"; }
inline std::string ShareFolderLocal() { return testing_support::TestData("detect_unc") + "\\"; }

}  // namespace detection_test
