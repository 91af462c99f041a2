// The office list of WIZ_PMSELECT: one entry per installation found in the
// registers, kept current while the network search reports shares.
#pragma once

#include <windows.h>

// Empties and refills the office list from CSetting::sharedInfoRecords,
// dropping duplicate records (same pm, rootPath and anno) from the vector.
void FillPmList(HWND list);
// Sorts the register records and refills the office list of the active page
// (when it has one), dropping duplicates. What a share report does once no
// page handler is running.
void RefreshOfficeList();
