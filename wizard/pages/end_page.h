// The final page's process-wide state and the seam of its share creation.
// The page itself is WizEndDlgProc (pages.h).
#pragma once

#include <string>

// The page's one-time work (register, configuration, share offer) is done.
extern bool g_endPageDone;
// The year copy added workstations for other users or other years; Finish
// then shows the "Importante" notice.
extern bool g_otherWorkpointsCreated;

// The call that creates the office's share (CreateNetShare's signature). A
// test build of the setup replaces it, so that the first creation can answer
// "access denied" and the elevated copy runs for real.
using CreateNetShareFunction = bool (*)(const std::string& officeCode, const std::string& remark,
                                        const std::string& folder, int* error);
// Null restores CreateNetShare.
void SetCreateNetShareForTesting(CreateNetShareFunction function);
