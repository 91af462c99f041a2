// The decisions of the start pages: which pages WIZ_START's Next takes out of
// the sheet, which office a restore works on and how it becomes the
// installation being set up.
#pragma once

#include <functional>
#include <string>

#include "settings.h"

// What WIZ_START's accepted Next removes, each page at most once per run.
// WIZ_PMSELECT goes only when no register record exists and the network search
// has ended: an office found later must still be selectable there.
struct StartPageRemovals {
  bool notSupported = false;  // remove the page at sheet position 2
  bool pmSelect = false;      // remove WIZ_PMSELECT at pmSelectPosition
  int pmSelectPosition = 0;
};
StartPageRemovals DecideStartPageRemovals(bool notSupportedRemoved, bool pmSelectRemoved,
                                          bool anyRecord, bool discoveryRunning);

// True when a register record of that platform year exists.
bool HasRecordOfYear(const InstallRecordList& records, const std::string& year);

// The record a restore works on: of the records that pass `restorable`, the
// first of `year`, else the first. -1 when none passes.
int PickRestoreRecord(const InstallRecordList& records, const std::string& year,
                      const std::function<bool(const InstallRecord&)>& restorable);

// Makes the record the installation being set up, as the office page does
// with a picked office (pm, pwd, pdl, type, folders, register, flags, year),
// and points installRoot at its platform folder (office folder + platform
// name + "\").
void MakeCurrentInstall(CSetting& setting, const InstallRecord& record);
