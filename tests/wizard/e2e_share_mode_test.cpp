// e2e-timeout: 300
// The elevated share mode, end to end: the setup started with "/SHARE=" shows
// no window and answers with its exit code. Only an office folder as the
// final page passes it is ever shared; under Wine the share call itself
// answers 50 (not supported), which is then the exit code.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "wizard_driver/driver.h"

using namespace e2e;

namespace {

const std::string kOffice = "C:\\e2e\\Studio01234";

class ShareModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMachine();
    ExecRegister(kOffice + "\\ZAN_Shared\\SharedInfo",
                 "CREATE TABLE meta (key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);");
    ASSERT_TRUE(Exists(kOffice + "\\ZAN_Shared\\SharedInfo"));
    CreateDirectoryA("C:\\e2e\\Empty", nullptr);
  }

  // Runs the share mode; its exit code. No window may open on the way.
  DWORD RunShare(WizardDriver& wizard, const std::string& part) {
    EXPECT_TRUE(wizard.Start("/" + part));
    std::optional<DWORD> code = wizard.WaitExit(20000);
    EXPECT_EQ(wizard.Sheet(), nullptr);
    EXPECT_EQ(wizard.CountLog("Start application"), 0);
    return code.value_or(0xFFFFFFFF);
  }
};

TEST_F(ShareModeTest, OfficeFolderIsSharedAndWinesAnswerIsTheExitCode) {
  WizardDriver wizard("valid_office");
  EXPECT_EQ(RunShare(wizard, "SHARE=01234;" + kOffice), 50u);
  const std::vector<std::string> expected = {
      "[  INFO] -------> External privileges set begin",
      "[  INFO] -------> Command line -> SHARE=01234;" + kOffice,
      "[  INFO] -------> Share folder -> " + kOffice,
      "[  INFO] -------> PM -> 01234",
      "[  INFO] Net share add failed 50",
      "[  INFO] -------> External privileges set end",
  };
  for (const std::string& line : expected) EXPECT_TRUE(wizard.WaitLog(line, 1000));
  // After a failed add there is no share to set the caching of.
  EXPECT_EQ(wizard.CountLog("cache settings"), 0);
}

TEST_F(ShareModeTest, MalformedOrRefusedRequestsShareNothing) {
  struct Case {
    const char* name;
    std::string part;
    DWORD exitCode;
    std::string warning;
  } cases[] = {
      {"missing_folder", "SHARE=01234;C:\\e2e\\Missing", 3,
       "[* WARN] -------> Folder C:\\e2e\\Missing not found"},
      {"no_separator", "SHARE=01234", 87,
       "[* WARN] -------> Command line not formatted correctly (; not found)"},
      {"drive_root", "SHARE=01234;C:\\", 87, "[* WARN] -------> Share refused (drive root) -> C:\\"},
      {"windows_folder", "SHARE=01234;C:\\windows", 87,
       "[* WARN] -------> Share refused (no office register) -> C:\\windows"},
      {"relative_folder", "SHARE=01234;e2e\\Studio01234", 87,
       "[* WARN] -------> Share refused (not an absolute folder on a drive) -> e2e\\Studio01234"},
      {"unc_folder", "SHARE=01234;\\\\VM\\C\\e2e\\Studio01234", 87,
       "[* WARN] -------> Share refused (not an absolute folder on a drive) -> \\\\VM\\C\\e2e\\Studio01234"},
      {"dot_dot", "SHARE=01234;" + kOffice + "\\..\\Studio01234", 87,
       "[* WARN] -------> Share refused (\".\" or \"..\" in the folder) -> " + kOffice +
           "\\..\\Studio01234"},
      {"no_register", "SHARE=01234;C:\\e2e\\Empty", 87,
       "[* WARN] -------> Share refused (no office register) -> C:\\e2e\\Empty"},
      {"bad_office_code", "SHARE=00000;" + kOffice, 87,
       "[* WARN] -------> Share refused (office code not valid) -> 00000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WizardDriver wizard(std::string("refused_") + c.name);
    EXPECT_EQ(RunShare(wizard, c.part), c.exitCode);
    EXPECT_TRUE(wizard.WaitLog("[  INFO] -------> Command line -> " + c.part, 1000));
    EXPECT_TRUE(wizard.WaitLog(c.warning, 1000));
    EXPECT_TRUE(wizard.WaitLog("[  INFO] -------> External privileges set end", 1000));
    EXPECT_EQ(wizard.CountLog("Net share"), 0);
  }
}

TEST_F(ShareModeTest, LowerCaseShareIsNoShareMode) {
  // "share=" is not the share mode: the wizard starts and ignores the piece.
  WizardDriver wizard("lower_case_share");
  ASSERT_TRUE(wizard.Start("/share=01234;" + kOffice + " /SKIPUPDATE /NODISCOVERY"));
  ASSERT_TRUE(wizard.WaitPage("WIZ_START"));
  EXPECT_EQ(wizard.CountLog("External privileges"), 0);
  EXPECT_TRUE(wizard.CancelAndExit());
}

}  // namespace
