// Readers of the marker files an installed platform keeps under its platform
// folder, and of the DesktopApp version folders: the pieces the start-up search
// for earlier installations (CSetting::CheckForPreviousPlatform) is made of.
#pragma once

#include <cstdint>
#include <string>

#include "settings.h"
#include "version.h"

// Unscrambles a "PROT" value in place (byte i, from 1, plus i; a byte that
// becomes 0 ends the text). True when the result holds at least five
// characters: then the record's pm is the first five and pwd the up to eight
// after them. A shorter result leaves the record untouched.
bool DecodeProt(std::string& text, InstallRecord& record);

// Office code from bytes 521 (high) and 522 (low) of FILES\uffaut, read in
// binary; a byte past the end counts as 0. 0 when the file opened (pm set), 1
// when it cannot be opened or positioned.
uint32_t ReadPmFromUffaut(const std::string& path, InstallRecord& record);

// Office code (5 bytes) and password field (8 bytes) from the start of
// HOME\ETC\INSTALLA.MOD, each ending early at a zero byte or a line break
// (a short password field is followed by the line break). 0 when the file
// opened (fields set only when all 13 bytes came), 1 otherwise.
uint32_t ReadInstallaMod(const std::string& path, InstallRecord& record);

// The highest version among the entries (files or folders) of the folder whose
// names hold exactly three dots; a version without components when none does.
Version FindHighestVersionFolder(const std::string& folder);
