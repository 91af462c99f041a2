// The running-program checks against real processes: a small waiting program
// of ours started under the image names looked for.
#include "process_checks.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const char kMarker[] = " ..\\etc\\cblconfi ..\\obj\\tkmenu.acu rete ";

// A started stand-in, ended when the object goes if still running.
class StandIn {
 public:
  StandIn(const std::string& image, const std::string& arguments) {
    const std::string exe = std::string(STAND_IN_DIR_WIN) + "\\" + image;
    std::string commandLine = image + arguments;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    started_ = CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                              CREATE_SUSPENDED, nullptr, nullptr, &si, &pi_) != FALSE;
    if (!started_) return;
    // Wait until the program runs, its command line in place.
    const std::string name = "ZanStandInReady_" + std::to_string(pi_.dwProcessId);
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    ResumeThread(pi_.hThread);
    started_ = ready && WaitForSingleObject(ready, 10000) == WAIT_OBJECT_0;
    if (ready) CloseHandle(ready);
  }
  ~StandIn() {
    if (!started_) return;
    if (Running()) TerminateProcess(pi_.hProcess, 1);
    WaitForSingleObject(pi_.hProcess, 5000);
    CloseHandle(pi_.hThread);
    CloseHandle(pi_.hProcess);
  }
  bool started() const { return started_; }
  bool Running() const { return WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }

 private:
  bool started_ = false;
  PROCESS_INFORMATION pi_ = {};
};

TEST(ProcessChecks, DesktopAppIsFoundAndEndedBeforeTheCallReturns) {
  EXPECT_FALSE(IsDesktopAppRunning(false));
  StandIn app("DesktopApp.exe", "");
  ASSERT_TRUE(app.started());
  EXPECT_TRUE(IsDesktopAppRunning(false));
  EXPECT_TRUE(app.Running());
  EXPECT_TRUE(IsDesktopAppRunning(true));
  EXPECT_FALSE(app.Running());  // waited for, not just asked to end
  EXPECT_FALSE(IsDesktopAppRunning(false));
}

TEST(ProcessChecks, ImageNameIsCaseSensitive) {
  StandIn wrongCase("wrongcase\\desktopapp.exe", "");
  StandIn vex("vex.exe", "");
  ASSERT_TRUE(wrongCase.started());
  ASSERT_TRUE(vex.started());
  EXPECT_TRUE(IsVexRunning(false));
  EXPECT_FALSE(IsDesktopAppRunning(true));
  EXPECT_TRUE(wrongCase.Running());
}

TEST(ProcessChecks, EveryVexIsEnded) {
  StandIn first("vex.exe", "");
  StandIn second("vex.exe", " --second");
  ASSERT_TRUE(first.started() && second.started());
  EXPECT_TRUE(IsVexRunning(true));
  EXPECT_FALSE(first.Running());
  EXPECT_FALSE(second.Running());
  EXPECT_FALSE(IsVexRunning(false));
}

TEST(ProcessChecks, PlatformMenuIsRecognisedByItsCommandLine) {
  struct Case {
    std::string arguments;
    bool menu;
  } cases[] = {
      {"", false},
      {" -x other.acu", false},
      {kMarker, true},
      {std::string(" -a") + kMarker + "-b", true},
      {" ..\\etc\\cblconfi ..\\obj\\TKMENU.acu rete ", false},
      {" ..\\etc\\cblconfi ..\\obj\\tkmenu.acu rete", false},  // no closing blank
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("[" + c.arguments + "]");
    StandIn runtime("wrun32.exe", c.arguments);
    ASSERT_TRUE(runtime.started());
    EXPECT_EQ(IsKorvalRunning(), c.menu);
    EXPECT_TRUE(runtime.Running());  // never ended
  }
  EXPECT_FALSE(IsKorvalRunning());
}

TEST(ProcessChecks, MarkerUnderAnotherImageNameIsNotThePlatform) {
  StandIn vex("vex.exe", kMarker);
  ASSERT_TRUE(vex.started());
  EXPECT_FALSE(IsKorvalRunning());
}

}  // namespace
