// The decisions of the install chain, apart from the calls that carry them
// out: which phase follows, what is skipped, which package is unpacked, what
// an unpacking result leads to, and the unpack percentage. Pure functions
// (except CheckFolderCopy, which reads the disk), tested without a sheet.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The same folder, compared without regard to ASCII letter case and to one
// trailing "\" on either side. Two empty texts are the same folder.
bool SameFolder(const std::string& a, const std::string& b);

// The platform year inside a platform name: the four characters from the
// fourth ("ZAN2025" -> "2025"); empty when the name is too short.
std::string PlatformYear(const std::string& platformName);

// Phase 1: what happens to the Korval package.
enum class KorvalSource {
  AlreadyInstalled,  // the installation being set up is of this platform year
  LocalPackage,      // the package lies in the current folder
  Download,          // from the update server
};
KorvalSource DecideKorvalSource(const std::string& platformName, const std::string& anno,
                                bool localPackageOpens);

// Phase 3: an installed DesktopApp whose checksum matches is kept; otherwise
// the archive is downloaded. An empty installed path never matches.
enum class DesktopAppArchiveStep { KeepInstalled, Download };
DesktopAppArchiveStep DecideArchiveStep(const std::string& desktopAppPath, bool checksumMatches);

// Which package an unpack thread reads: the local one when it opens, else the
// downloaded one.
std::string PackageForThread(const std::string& localPackage, bool localOpens,
                             const std::string& tempPackage);

// Phase 5 without an archive: nothing to do when no DesktopApp was found or
// it already lies in the destination, else its content is copied there.
enum class DesktopAppPlacement { Unpack, AlreadyInPlace, CopyFromElsewhere };
DesktopAppPlacement DecideDesktopAppPlacement(bool archiveOpens, const std::string& desktopAppPath,
                                              const std::string& destination);

// What a DesktopApp unpacking result leads to: 0 Next; 32 (a file in use)
// a warning, then Next; anything else the run ends with that code.
enum class UnpackOutcome { Next, WarnThenNext, EndRun };
UnpackOutcome DesktopAppUnpackOutcome(DWORD result);

// Unpack progress: index * 100 / total truncated (0 when total is 0). Never
// 100 from the unpacking, whose last call is (total - 1, total).
int UnpackPercentage(uint32_t index, uint32_t total);
// "NN% completato".
std::string PercentText(int percentage);

// After a folder copy: 0 when every file below `source` exists in `target`
// with the same size; otherwise the Windows error met, with the first such
// path in *failedPath: a source folder that cannot be listed (its listing
// error), a copied file whose attributes cannot be read (that error), a size
// that differs (ERROR_WRITE_FAULT), a target folder that is a link
// (ERROR_REPARSE_POINT_ENCOUNTERED, 4395: the copy does not write through
// one). Links in the source are not expected in the target. Reads the disk.
DWORD CheckFolderCopy(const std::string& source, const std::string& target,
                      std::string* failedPath);
