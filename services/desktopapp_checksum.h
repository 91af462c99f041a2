// The DesktopApp folder checksum: one MD5 over the per-file digests of an
// installed DesktopApp version, compared with the value the update server's
// descriptor announces.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Appends to `list` (never clears it) the full paths of the files directly in
// `folder` and of the qualifying sub-folders (path ends with `versionName`, or
// lower-cased path contains "locales"), each folder before its content.
// Names beginning with "." and a few fixed names are left out. Every file listed
// has its attributes reset to normal. 0, or the Windows error of a failed
// attribute change directly in `folder` (the list keeps what was appended up to
// then); a sub-folder's failure only ends that sub-folder's listing.
DWORD CollectFiles(const std::string& folder, const std::string& versionName,
                   std::vector<std::string>& list);

// MD5 of the concatenated FileMD5 of each entry, in list order ("-1" for a
// folder or an unreadable file).
std::string ComputeFilesChecksum(const std::vector<std::string>& list);

// True when the checksum of `folder` (collected, then sorted byte-wise by full
// path) equals `expected` exactly.
bool VerifyFolderChecksum(const std::string& folder, const std::string& expected,
                          const std::string& versionName);
