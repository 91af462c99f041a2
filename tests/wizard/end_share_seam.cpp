// Linked only into the test copy of the setup (tests/cmake/end_share_seam.cmake):
// the final page's own share creation answers "access denied", as on a PC
// where the user lacks the rights, so the page starts its elevated copy. The
// copy runs the share mode, which calls the real share creation.
#include <windows.h>

#include "pages/end_page.h"

namespace {

bool RefusedForRights(const std::string&, const std::string&, const std::string&, int* error) {
  if (error) *error = ERROR_ACCESS_DENIED;
  return false;
}

const bool g_installed = (SetCreateNetShareForTesting(&RefusedForRights), true);

}  // namespace
