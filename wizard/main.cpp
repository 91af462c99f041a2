// The setup's entry point: the elevated share mode, or one interactive run of
// the wizard with a fresh log.
#include <windows.h>

#include <exception>
#include <string>

#include "app.h"
#include "log.h"
#include "share_mode.h"
#include "sheet.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  const std::string line = commandLine ? commandLine : "";

  // The elevated copy started by the final page: no window, no single-instance
  // guard, the log appended to; the answer is the exit code.
  std::string sharePart;
  if (line.find("SHARE=") != std::string::npos && FindSharePart(line, &sharePart))
    return static_cast<int>(RunShareMode(sharePart));

  if (!CheckSingleInstance("")) return 1;
  DeleteLogFile();
  Log("[  INFO] Start application");

  try {
    g_app = new CApp();
  } catch (const std::exception& e) {
    EndRunWithBox(std::string("[**  ERR] Exception ") + e.what(), e.what(), "Errore");
  } catch (...) {
    FatalException("(unknown)");
  }

  // The sheet's handlers guard themselves; this catches what escapes the
  // code between them (building the pages, the clean-up after the sheet).
  try {
    g_app->RunWizard(instance, line);
  } catch (const std::exception& e) {
    FatalException(e.what());
  } catch (...) {
    FatalException("(unknown)");
  }
  ReleaseSingleInstance();
  // Ends the process here so that no worker thread (discovery, downloads)
  // outlives the run or runs under the runtime's teardown.
  EndRun(0);
}
