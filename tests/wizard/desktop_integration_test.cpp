// The desktop integration on scratch folders and a scratch registry key: the
// shortcut read back through the shell's link object, the autorun value and
// the Vex repair.
#include "desktop_integration.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include "test_support.h"

using testing_support::Exists;
using testing_support::LogCapture;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

struct Link {
  bool read = false;
  std::string target, folder, description;
};

// Reads a link with the shell's own object, independently of the code under test.
Link ReadLink(const std::string& path) {
  Link link;
  CoInitialize(nullptr);
  IShellLinkA* shell = nullptr;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 reinterpret_cast<void**>(&shell))) &&
      SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    char text[MAX_PATH] = {};
    if (SUCCEEDED(file->Load(wide, 0))) {
      link.read = true;
      shell->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
      link.target = text;
      shell->GetWorkingDirectory(text, MAX_PATH);
      link.folder = text;
      shell->GetDescription(text, MAX_PATH);
      link.description = text;
    }
  }
  if (file) file->Release();
  if (shell) shell->Release();
  CoUninitialize();
  return link;
}

TEST(DesktopShortcut, PathFallsBackToTheProfileDesktop) {
  EXPECT_EQ(ShortcutPath("C:\\Users\\u\\Desktop", "C:\\Users\\u", "Servizi ZAN"),
            "C:\\Users\\u\\Desktop\\Servizi ZAN.lnk");
  EXPECT_EQ(ShortcutPath("", "C:\\Users\\u", "Servizi ZAN"),
            "C:\\Users\\u\\Desktop\\Servizi ZAN.lnk");
  const std::string longFolder(300, 'd');
  EXPECT_EQ(ShortcutPath("C:\\" + longFolder, "", "Servizi ZAN"),
            "C:\\" + longFolder + "\\Servizi ZAN.lnk");
}

TEST(DesktopShortcut, ReplacesOnlyVexLinksUnlessRestoring) {
  struct Case {
    const char* name;
    const char* existingTarget;  // file name of an earlier link's target, or null
    bool restore;
    ShortcutOutcome outcome;
    bool pointsAtDesktopApp;
  };
  const Case cases[] = {
      {"no link", nullptr, false, ShortcutOutcome::Written, true},
      {"link to the Vex agent in capitals", "VEX.EXE", false, ShortcutOutcome::Written, true},
      {"link to another program", "other.exe", false, ShortcutOutcome::Kept, false},
      {"restore over another program", "other.exe", true, ShortcutOutcome::Written, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string bin = dir / "DesktopApp\\BIN\\";
    const std::string target = bin + "DesktopApp.exe";
    ASSERT_TRUE(WriteBytes(target, "MZ"));
    const std::string link = dir / "Servizi ZAN.lnk";
    std::string earlier;
    if (c.existingTarget) {
      earlier = dir / (std::string("old\\") + c.existingTarget);
      ASSERT_TRUE(WriteBytes(earlier, "MZ"));
      ASSERT_EQ(PlaceShortcut(link, earlier, dir / "old", "earlier", false),
                ShortcutOutcome::Written);
    }
    EXPECT_EQ(PlaceShortcut(link, target, bin, "Servizi ZAN", c.restore), c.outcome);
    const Link read = ReadLink(link);
    ASSERT_TRUE(read.read);
    EXPECT_EQ(read.target, c.pointsAtDesktopApp ? target : earlier);
    if (c.pointsAtDesktopApp) {
      EXPECT_EQ(read.folder, bin);
      EXPECT_EQ(read.description, "Servizi ZAN");
    }
  }
}

// A key of its own below HKEY_CURRENT_USER, deleted with its content.
class ScratchKey {
 public:
  ScratchKey() : path_("Software\\ZanDesktopTest\\" + std::to_string(GetCurrentProcessId())) {}
  ~ScratchKey() { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\ZanDesktopTest"); }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// Whether the value can be read: ERROR_SUCCESS or the reason it cannot.
LONG QueryValue(const std::string& key, const std::string& name) {
  return RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_ANY, nullptr, nullptr,
                      nullptr);
}

// (The compatibility values, under the real keys and with their doubled
// separator, are the end-to-end scenario's.)

TEST(VexAutorun, RemovesTheValueAndReportsAMissingOne) {
  struct Case {
    const char* name;
    bool makeKey, makeValue;
    bool result;
    const char* line;
  };
  const Case cases[] = {
      {"value present", true, true, true, "[  INFO] Vex removed from autorun"},
      {"value missing", true, false, true, "[* WARN] Vex NOT removed from autorun"},
      {"key missing", false, false, false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchKey key;
    LogCapture log;
    HKEY h = nullptr;
    if (c.makeKey) {
      ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, (key / "Run").c_str(), &h), ERROR_SUCCESS);
      if (c.makeValue) RegSetValueExA(h, "Vex", 0, REG_SZ, (const BYTE*)"C:\\v.exe", 9);
      RegSetValueExA(h, "Other", 0, REG_SZ, (const BYTE*)"x", 2);
      RegCloseKey(h);
    }
    EXPECT_EQ(RemoveVexFromAutorunIn(HKEY_CURRENT_USER, key / "Run"), c.result);
    if (c.line) {
      EXPECT_TRUE(log.Has(c.line)) << log.Text();
      EXPECT_EQ(QueryValue(key / "Run", "Vex"), ERROR_FILE_NOT_FOUND);
      EXPECT_EQ(QueryValue(key / "Run", "Other"), ERROR_SUCCESS);
    } else {
      EXPECT_EQ(log.Text().find("Vex"), std::string::npos);
    }
  }
}

TEST(VexRepair, ReplacesTheDestinationOnlyWithAWholeCopy) {
  struct Case {
    const char* name;
    bool source, destination, lockSource;
    const char* line;
    bool repaired;
    bool leftoverDeleted;
  };
  const Case cases[] = {
      {"normal repair", true, true, false, "[  INFO] Vex fake fixed", true, true},
      {"source missing", false, true, false, "[* WARN] Vex fake source not found", false, false},
      {"destination missing", true, false, false, "[  INFO] Vex regular not found", false, false},
      {"source unreadable", true, true, true, "[* WARN] Vex fake NOT fixed", false, true},
  };
  const std::string fresh(200000, 'F');  // more than one read buffer
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    LogCapture log;
    const std::string app = dir / "DesktopApp\\BIN\\", vex = dir / "Vex\\BIN\\";
    ASSERT_TRUE(WriteBytes(app + (c.source ? "vex.exe" : "other.dll"), fresh));
    ASSERT_TRUE(WriteBytes(vex + (c.destination ? "vex.exe" : "other.dll"), "broken agent"));
    ASSERT_TRUE(WriteBytes(vex + "new_vex.exe", "leftover"));
    HANDLE lock = INVALID_HANDLE_VALUE;
    if (c.lockSource)
      lock = CreateFileA((app + "vex.exe").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);

    RepairVexExecutableIn(app, vex);
    if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);

    EXPECT_TRUE(log.Has(c.line)) << log.Text();
    if (c.destination) {
      EXPECT_EQ(ReadBytes(vex + "vex.exe"), c.repaired ? fresh : "broken agent");
    } else {
      EXPECT_FALSE(Exists(vex + "vex.exe"));
    }
    EXPECT_EQ(Exists(vex + "new_vex.exe"), !c.leftoverDeleted);
    EXPECT_EQ(log.Has("[  INFO] Vex new executable deleted"), c.leftoverDeleted);
    EXPECT_FALSE(Exists(vex + "vex.exe.part"));
  }
}

}  // namespace
