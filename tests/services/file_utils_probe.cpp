// A small program that reads its own product version, so a test can run it
// from a deep folder. Exit code: 0 when the version reads 10.0.19041.1, 2 when
// it cannot be read, 3 when it reads something else.
#include <string>
#include <vector>

#include "file_utils.h"

int main() {
  std::vector<std::string> parts;
  if (!GetFileVersion("", &parts)) return 2;
  const std::vector<std::string> expected = {"10", "0", "19041", "1"};
  return parts == expected ? 0 : 3;
}
