// The running-program checks against real processes: a small waiting program
// of ours started under the image names looked for.
#include "process_checks.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

const char kMarker[] = " ..\\etc\\cblconfi ..\\obj\\tkmenu.acu rete ";

// A started stand-in, ended when the object goes.
struct StandIn {
  StandIn(const std::string& image, std::string arguments) {
    const std::string exe = std::string(STAND_IN_DIR_WIN) + "\\" + image;
    arguments.insert(0, image);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (!CreateProcessA(exe.c_str(), &arguments[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                        nullptr, nullptr, &si, &pi))
      return;
    // Wait until the program runs, its command line in place.
    const std::string name = "ZanStandInReady_" + std::to_string(pi.dwProcessId);
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    ResumeThread(pi.hThread);
    started = ready && WaitForSingleObject(ready, 10000) == WAIT_OBJECT_0;
    if (ready) CloseHandle(ready);
  }
  ~StandIn() {
    if (!pi.hProcess) return;
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  bool Running() const { return WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT; }
  PROCESS_INFORMATION pi = {};
  bool started = false;
};

TEST(ProcessChecks, DesktopAppAndEveryVexAreFoundAndEndedBeforeTheCallReturns) {
  StandIn app("DesktopApp.exe", ""), wrongCase("wrongcase\\desktopapp.exe", "");
  StandIn vex1("vex.exe", ""), vex2("vex.exe", kMarker);
  for (const StandIn* s : {&app, &wrongCase, &vex1, &vex2}) ASSERT_TRUE(s->started);
  EXPECT_TRUE(IsDesktopAppRunning(false));
  EXPECT_TRUE(app.Running());
  EXPECT_TRUE(IsDesktopAppRunning(true));
  EXPECT_FALSE(app.Running());  // waited for, not just asked to end
  EXPECT_FALSE(IsDesktopAppRunning(true));  // the image name is matched case-sensitively
  EXPECT_TRUE(wrongCase.Running());
  EXPECT_FALSE(IsKorvalRunning());  // the platform's marker under another image name
  EXPECT_TRUE(IsVexRunning(true));
  EXPECT_FALSE(vex1.Running());
  EXPECT_FALSE(vex2.Running());
  EXPECT_FALSE(IsVexRunning(false));
}

TEST(ProcessChecks, PlatformMenuIsRecognisedByItsCommandLine) {
  const struct { std::string arguments; bool menu; } cases[] = {
      {"", false}, {" -x other.acu", false}, {kMarker, true}, {std::string(" -a") + kMarker + "-b", true},
      {" ..\\etc\\cblconfi ..\\obj\\TKMENU.acu rete ", false},
      {" ..\\etc\\cblconfi ..\\obj\\tkmenu.acu rete", false},  // no closing blank
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("[" + c.arguments + "]");
    StandIn runtime("wrun32.exe", c.arguments);
    ASSERT_TRUE(runtime.started);
    EXPECT_EQ(IsKorvalRunning(), c.menu);
    EXPECT_TRUE(runtime.Running());  // never ended
  }
}

}  // namespace
