// e2e-timeout: 300
// The elevated share mode, end to end: the setup started with "/SHARE=" shows
// no window and answers with its exit code, one row per way the run ends
// (each refusal's reason is the in-process request table's). Under Wine the
// share call itself answers 50 (not supported), which is then the exit code.
#include <gtest/gtest.h>

#include <string>

#include "wizard_driver/driver.h"

using namespace e2e;

namespace {

TEST(ShareMode, EachRequestEndsWithItsCodeAndNoWindow) {
  ResetMachine();
  const std::string office = "C:\\e2e\\Studio01234";
  WriteOffice({}, false, office + "\\");
  const struct {
    const char* name;
    std::string part;
    DWORD exitCode;
    std::string line;
  } cases[] = {
      {"valid_office", "SHARE=01234;" + office, 50, "[  INFO] Net share add failed 50"},
      {"missing_folder", "SHARE=01234;C:\\e2e\\Missing", 3,
       "[* WARN] -------> Folder C:\\e2e\\Missing not found"},
      {"no_separator", "SHARE=01234", 87,
       "[* WARN] -------> Command line not formatted correctly (; not found)"},
      {"refused", "SHARE=01234;C:\\", 87, "[* WARN] -------> Share refused (drive root) -> C:\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WizardDriver wizard(c.name);
    ASSERT_TRUE(wizard.Start("/" + c.part));
    EXPECT_EQ(wizard.WaitExit(20000), c.exitCode);
    EXPECT_EQ(wizard.Sheet(), nullptr);
    EXPECT_EQ(wizard.CountLog("Start application"), 0);
    for (const std::string& line : {"[  INFO] -------> Command line -> " + c.part, c.line,
                                    std::string("[  INFO] -------> External privileges set end")})
      EXPECT_TRUE(wizard.WaitLog(line, 1000));
    // Only a valid request reaches the share call; after its failure there
    // is no share to set the caching of.
    EXPECT_EQ(wizard.CountLog("Net share"), c.exitCode == 50 ? 1 : 0);
    EXPECT_EQ(wizard.CountLog("cache settings"), 0);
  }
}

}  // namespace
