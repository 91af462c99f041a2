// The run command seen from inside its prefix: tests/run/run_command_test.sh
// starts tools/run_setup.sh on a virtual display, then this program in the
// same prefix and display, one scenario per run of the script. The driver
// adopts the setup the script started (and the one its update restarts).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "resource.h"
#include "wizard_driver/driver.h"

using namespace e2e;

namespace {

TEST(RunCommand, WithoutOptionsTheWizardOpensInItalianWithNoUpdateAndOnlyTheRunFolderAsDrive) {
  WizardDriver wizard("defaults");
  ASSERT_TRUE(wizard.Attach("ZAN2025.exe"));
  // Started from the run folder's own drive, as the prefix has no other way
  // to it.
  EXPECT_EQ(wizard.SetupPath(), "R:\\setup\\ZAN2025.exe");
  ASSERT_TRUE(wizard.WaitPage("WIZ_START"));
  EXPECT_TRUE(wizard.NoBoxFor(1500)) << "a box is open on WIZ_START";
  // Wine's own button, in the locale the run command gives it.
  EXPECT_EQ(wizard.NextButtonText(), "&Avanti >");
  EXPECT_EQ(ServerRequests(), std::vector<std::string>{kInfoPath});

  // Wine's Z: is the machine's root: choosing it would install into the
  // machine running the command.
  ASSERT_TRUE(wizard.ToSelectUnitAsNewOffice(true));
  const std::vector<std::string> drives = wizard.ComboItems(IDC_DRIVE_COMBO);
  EXPECT_FALSE(drives.empty());
  EXPECT_EQ(std::count(drives.begin(), drives.end(), "Z"), 0) << testing::PrintToString(drives);
  EXPECT_TRUE(wizard.CancelAndExit());
}

TEST(RunCommand, WithUpdateTheRestartedSetupInstallsThroughTheSameServer) {
  const std::string base = FileVersion(SetupExe());
  const std::string next = FileVersion(SetupNextExe());
  ASSERT_FALSE(base.empty());
  ASSERT_NE(base, next) << "the setup_next build is missing";
  // The DesktopApp archive comes slowly: the install is still on WIZ_INSTALL,
  // past the platform package, when Cancel is pressed.
  SetServerRule(kArchivePath, "trickle:512:200");

  WizardDriver wizard("with_update");
  ASSERT_TRUE(wizard.Attach("ZAN2025.exe"));
  ASSERT_TRUE(wizard.AnswerBox("Aggiornamento setup",
                               "E' stata trovata una versione aggiornata del setup. Procedere con il download."));
  EXPECT_EQ(wizard.WaitExit(), 0u);

  // The new setup, started by the first one.
  ASSERT_TRUE(wizard.Attach("ZAN2025.exe"));
  EXPECT_EQ(FileVersion(wizard.SetupPath()), next);
  ASSERT_TRUE(wizard.ToInstallAsNewOffice());
  ASSERT_TRUE(wizard.WaitLog("[  INFO] Start checking DesktopApp package -> ", kChainWait));
  // The platform package came whole from the run's server, still up for the
  // restarted setup.
  const std::vector<std::string> lines = ServerRequestLines();
  const std::string korval = std::string("GET ") + kKorvalPath + " 200 " +
                             std::to_string(ReadBytes(ServedFile(kKorvalPath)).size());
  EXPECT_EQ(std::count(lines.begin(), lines.end(), korval), 1);

  wizard.Cancel();
  ASSERT_TRUE(wizard.AnswerBox("Attenzione", "Sei sicuro di voler interrompere l'installazione?", IDYES));
  EXPECT_EQ(wizard.WaitExit(), 0u);
}

}  // namespace
