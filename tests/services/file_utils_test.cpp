// File, folder and system utilities on real temporary trees, the registry of
// the test prefix and resources compiled into this program.
// fixtures: scratch_drive
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "constants.h"
#include "file_utils.h"
#include "log.h"
#include "system_utils.h"
#include "test_support.h"

using testing_support::Exists;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

// Points the log at a scratch folder for the life of the object.
class LogCapture {
 public:
  LogCapture() {
    folder_ = dir_.path().substr(0, dir_.path().size() - 1);
    SetLogFolderForTesting(folder_);
  }
  ~LogCapture() { SetLogFolderForTesting(""); }
  std::string Text() const { return ReadBytes(folder_ + g_logFileName); }

 private:
  TempDir dir_;
  std::string folder_;
};

DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

bool SetAttributes(const std::string& path, DWORD attributes) {
  return SetFileAttributesA(path.c_str(), attributes) != FALSE;
}

// Names of the entries directly in a folder, sorted, "." entries left out.
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = entry.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

// Three sibling folders whose names share a prefix, each holding a file and a
// sub-folder with a file.
void MakeSiblings(const TempDir& dir) {
  for (const char* name : {"1.2", "1.20", "1.2.1"}) {
    ASSERT_TRUE(WriteBytes(dir / name + "\\file.txt", name));
    ASSERT_TRUE(WriteBytes(dir / name + "\\sub\\inner.txt", name));
  }
}

}  // namespace

TEST(FileUtils, FixedFoldersHangOffTheSystemDrive) {
  char windows[MAX_PATH] = {};
  ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 3u);
  const std::string root = std::string(windows).substr(0, 3);
  EXPECT_EQ(GetDesktopAppPath(), root + "ZAN\\DesktopApp\\");
  EXPECT_EQ(GetDesktopAppBinPath(), root + "ZAN\\DesktopApp\\BIN\\");
  EXPECT_EQ(GetVexBinPath(), root + "ZAN\\Vex\\BIN\\");
}

TEST(FileUtils, CreateDirectoryTree) {
  TempDir dir;
  ASSERT_TRUE(WriteBytes(dir / "file.txt", "x"));
  struct Row {
    std::string path, mustExist;
    bool result;
  } rows[] = {
      {dir / "A\\B\\C", dir / "A\\B\\C", true},
      {dir / "A\\B\\C", dir / "A\\B\\C", true},  // already there
      {dir / "file.txt", "", false},
      {dir / "file.txt\\below", "", false},
      {dir / "T\\U\\", dir / "T\\U", false},  // trailing separator: made, yet false
      {dir / "M/N\\O/P", dir / "M\\N\\O\\P", true},
      {"", "", false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.path);
    EXPECT_EQ(CreateDirectoryTree(r.path), r.result);
    if (!r.mustExist.empty()) EXPECT_TRUE(IsDirectory(r.mustExist));
  }
  EXPECT_FALSE(Exists(dir / "file.txt\\below"));
}

TEST(FileUtils, IsDirectoryAndFileExists) {
  TempDir dir;
  ASSERT_TRUE(WriteBytes(dir / "file.txt", "x"));
  ASSERT_TRUE(CreateDirectoryA((dir / "folder").c_str(), nullptr));
  struct Row {
    std::string path;
    bool directory, exists;
  } rows[] = {
      {dir / "file.txt", false, true},
      {dir / "folder", true, true},
      {dir / "folder\\", true, true},
      {dir / "missing", false, false},
      {"", false, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.path);
    EXPECT_EQ(IsDirectory(r.path), r.directory);
    EXPECT_EQ(FileExists(r.path), r.exists);
  }
}

TEST(FileUtils, IsDriveRoot) {
  struct Row {
    const char* path;
    bool root;
  } rows[] = {
      {"C:", true},          {"C:\\", true},      {"D:", true},
      {"7:\\", true},        {"", false},         {"C:\\ZAN", false},
      {"C:\\ZAN\\", false},  {"C", false},        {"C:/", false},
      {"\\\\srv\\share", false}, {"\\\\srv\\share\\", false}, {"CC:\\", false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.path);
    EXPECT_EQ(IsDriveRoot(r.path), r.root);
  }
}

TEST(FileUtils, CanWriteToFolderLeavesNoProbe) {
  TempDir dir;
  const std::string probe = dir / "test_privileges.txt";
  EXPECT_TRUE(CanWriteToFolder(dir.path()));
  EXPECT_FALSE(Exists(probe));

  // Without the trailing "\", and with a leftover probe from an earlier run.
  ASSERT_TRUE(WriteBytes(probe, "left over"));
  EXPECT_TRUE(CanWriteToFolder(dir.path().substr(0, dir.path().size() - 1)));
  EXPECT_FALSE(Exists(probe));

  EXPECT_FALSE(CanWriteToFolder(dir / "missing"));
  EXPECT_FALSE(Exists(dir / "missing"));

  // A probe that cannot be replaced makes the folder count as not writable.
  ASSERT_TRUE(CreateDirectoryA(probe.c_str(), nullptr));
  EXPECT_FALSE(CanWriteToFolder(dir.path()));
}

TEST(FileUtils, CopyFolderContentsTakesOnlyThatFolder) {
  TempDir dir;
  MakeSiblings(dir);
  for (const std::string source : {dir / "1.2", dir / "1.2\\"}) {
    SCOPED_TRACE(source);
    TempDir target;
    CopyFolderContents(source, target.path());
    EXPECT_EQ(Listing(target / ""), (std::vector<std::string>{"file.txt", "sub"}));
    EXPECT_EQ(ReadBytes(target / "file.txt"), "1.2");
    EXPECT_EQ(ReadBytes(target / "sub\\inner.txt"), "1.2");
  }
  // The source is left as it was.
  EXPECT_EQ(Listing(dir / "1.2"), (std::vector<std::string>{"file.txt", "sub"}));
}

TEST(FileUtils, CopyFolderContentsRefusals) {
  TempDir dir;
  MakeSiblings(dir);
  // The empty source would name the current folder's content.
  char previous[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA((dir / "1.2").c_str()));
  struct Row {
    std::string source, target, warning;
  } rows[] = {
      {"", dir / "out", "[* WARN] CopyFolderContents: empty source folder"},
      {dir / std::string(300, 'x'), dir / "out",
       "[* WARN] CopyFolderContents: path too long, nothing copied"},
      {dir / "1.2", dir / std::string(259 - dir.path().size(), 'y'),
       "[* WARN] CopyFolderContents: path too long, nothing copied"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.source + " -> " + r.target);
    LogCapture log;
    CopyFolderContents(r.source, r.target);
    EXPECT_NE(log.Text().find(r.warning), std::string::npos) << log.Text();
    EXPECT_FALSE(Exists(r.target));
  }
  SetCurrentDirectoryA(previous);
}

TEST(FileUtils, DeleteFolderContentsLeavesTheSiblings) {
  for (const char* suffix : {"", "\\"}) {
    SCOPED_TRACE(suffix);
    TempDir dir;
    MakeSiblings(dir);
    DeleteFolderContents(dir / "1.2" + suffix);
    EXPECT_TRUE(IsDirectory(dir / "1.2"));
    EXPECT_TRUE(Listing(dir / "1.2").empty());
    for (const char* sibling : {"1.20", "1.2.1"}) {
      EXPECT_EQ(ReadBytes(dir / sibling + "\\file.txt"), sibling);
      EXPECT_EQ(ReadBytes(dir / sibling + "\\sub\\inner.txt"), sibling);
    }
  }
}

TEST(FileUtils, DeleteFolderContentsGuards) {
  // Drive Q: is a scratch folder of the test prefix: a failed guard on a drive
  // root empties only that.
  TempDir dir;
  const std::string canaries[] = {dir / "canary.txt", dir / "rel\\canary.txt", "Q:\\canary.txt",
                                  "Q:\\rel\\canary.txt"};
  for (const std::string& canary : canaries) ASSERT_TRUE(WriteBytes(canary, "keep")) << canary;

  char previous[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(dir.path().c_str()));
  struct Row {
    std::string folder, warning;
  } rows[] = {
      {"", "[* WARN] DeleteFolderContents: empty folder, nothing deleted"},
      {"rel", "[* WARN] DeleteFolderContents: relative folder, nothing deleted -> rel"},
      {"rel\\", "[* WARN] DeleteFolderContents: relative folder, nothing deleted -> rel\\"},
      {"\\", "[* WARN] DeleteFolderContents: relative folder, nothing deleted -> \\"},
      {"Q:", "[* WARN] DeleteFolderContents: relative folder, nothing deleted -> Q:"},
      {"Q:\\", "[* WARN] DeleteFolderContents: drive root, nothing deleted -> Q:\\"},
      {"Q:/", "[* WARN] DeleteFolderContents: drive root, nothing deleted -> Q:/"},
      {"Q:\\rel\\..", "[* WARN] DeleteFolderContents: drive root, nothing deleted -> Q:\\rel\\.."},
      {"Q:\\rel\\" + std::string(250, 'z'),  // pattern of 259 characters
       "[* WARN] DeleteFolderContents: path too long, nothing deleted -> Q:\\rel\\zzz"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.folder);
    LogCapture log;
    DeleteFolderContents(r.folder);
    EXPECT_NE(log.Text().find(r.warning), std::string::npos) << log.Text();
    for (const std::string& canary : canaries) EXPECT_EQ(ReadBytes(canary), "keep") << canary;
  }
  SetCurrentDirectoryA(previous);

  // The longest pattern that fits: 258 characters with its "*" and two zeros.
  {
    LogCapture log;
    DeleteFolderContents("Q:\\rel\\" + std::string(249, 'z'));
    EXPECT_EQ(log.Text(), "");
  }

  // A folder below a drive root is still emptied.
  DeleteFolderContents("Q:\\rel");
  EXPECT_TRUE(Listing("Q:\\rel").empty());
  EXPECT_EQ(ReadBytes("Q:\\canary.txt"), "keep");
  RemoveDirectoryA("Q:\\rel");
  DeleteFileA("Q:\\canary.txt");
}

TEST(FileUtils, SetAttributesRecursive) {
  TempDir dir;
  const DWORD ro = FILE_ATTRIBUTE_READONLY, hidden = FILE_ATTRIBUTE_HIDDEN;
  struct Entry {
    const char* name;
    bool folder;
    DWORD set;
    bool cleared;  // read-only and hidden gone afterwards
  } entries[] = {
      {"sub", true, hidden, true},
      {"sub\\deep.txt", false, ro | hidden, true},
      {"sub\\plain.txt", false, 0, true},
      {"clean", true, 0, true},
      {"clean\\plain.txt", false, 0, true},
      {"readonly.txt", false, ro, true},
      {"hidden.txt", false, hidden, true},
      {"both.txt", false, ro | hidden, true},
      {"archive.txt", false, FILE_ATTRIBUTE_ARCHIVE, true},
      {".dotfile", false, ro | hidden, false},  // Wine shows dot names hidden
      {".git", true, hidden, false},
      {".git\\object", false, ro, false},
  };
  for (const Entry& e : entries) {
    if (e.folder)
      ASSERT_TRUE(CreateDirectoryA((dir / e.name).c_str(), nullptr));
    else
      ASSERT_TRUE(WriteBytes(dir / e.name, e.name));
  }
  // Attributes last, children before their folders.
  for (int i = sizeof entries / sizeof entries[0] - 1; i >= 0; --i) {
    if (entries[i].set) ASSERT_TRUE(SetAttributes(dir / entries[i].name, entries[i].set));
    ASSERT_EQ(Attributes(dir / entries[i].name) & (ro | hidden), entries[i].set & (ro | hidden))
        << entries[i].name;
  }

  LogCapture log;
  SetAttributesRecursive(dir.path().substr(0, dir.path().size() - 1));
  for (const Entry& e : entries) {
    SCOPED_TRACE(e.name);
    const DWORD now = Attributes(dir / e.name);
    ASSERT_NE(now, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ((now & (ro | hidden)) == 0, e.cleared);
    EXPECT_EQ((now & FILE_ATTRIBUTE_DIRECTORY) != 0, e.folder);
  }
  const std::string text = log.Text();
  EXPECT_NE(text.find(" [  INFO] Set attributes on 4 files/folder in " + dir.path() + "\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(" [  INFO] Set attributes on 1 files/folder in " + dir / "sub\\" + "\r\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("clean"), std::string::npos) << text;
  EXPECT_EQ(text.find(".git"), std::string::npos) << text;

  // A second pass finds nothing to change and logs nothing.
  LogCapture again;
  SetAttributesRecursive(dir.path());
  EXPECT_EQ(again.Text(), "");
}

TEST(FileUtils, GetFileVersionReadsTheProductVersion) {
  TempDir dir;
  ASSERT_TRUE(WriteBytes(dir / "plain.txt", "no version here"));
  const std::vector<std::string> before = {"left", "as", "it", "was"};
  struct Row {
    std::string path;
    bool ok;
    std::vector<std::string> out;
  } rows[] = {
      {FILE_UTILS_PROBE_EXE, true, {"10", "0", "19041", "1"}},
      {dir / "plain.txt", false, before},
      {dir / "missing.exe", false, before},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.path);
    std::vector<std::string> out = before;
    EXPECT_EQ(GetFileVersion(r.path, &out), r.ok);
    EXPECT_EQ(out, r.out);
  }
}

// The probe reads its own version; from a folder deeper than 128 characters
// too.
TEST(FileUtils, GetFileVersionOfTheOwnExecutable) {
  TempDir dir;
  std::string deep = dir.path();
  while (deep.size() < 200) deep += "deeper_folder_level\\";
  ASSERT_TRUE(CreateDirectoryTree(deep.substr(0, deep.size() - 1)));
  for (const std::string& folder : {dir.path(), deep}) {
    SCOPED_TRACE(folder);
    const std::string exe = folder + "probe.exe";
    ASSERT_TRUE(CopyFileA(FILE_UTILS_PROBE_EXE, exe.c_str(), FALSE));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string command = "\"" + exe + "\"";
    ASSERT_TRUE(CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                               folder.c_str(), &startup, &process));
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(code, 0u);
  }
}

namespace {

// Points the temporary folder (TMP) at a scratch folder and the resource
// writer back at WriteFile when the test ends.
class TempFolderOverride {
 public:
  TempFolderOverride() {
    char old[32768] = {};
    hadTmp_ = GetEnvironmentVariableA("TMP", old, sizeof old) > 0;
    oldTmp_ = old;
    SetEnvironmentVariableA("TMP", dir_.path().c_str());
  }
  ~TempFolderOverride() {
    SetEnvironmentVariableA("TMP", hadTmp_ ? oldTmp_.c_str() : nullptr);
    SetResourceWriteFunctionForTesting(nullptr);
  }
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  bool hadTmp_ = false;
  std::string oldTmp_;
};

const std::string kPayload("PK\003\004binary payload\000\377\376 after the zero\x0a\x0d\x00\x1a",
                           40);

BOOL WINAPI ShortWrite(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED) {
  return WriteFile(file, data, size / 2, written, nullptr);
}

BOOL WINAPI FailedWrite(HANDLE file, LPCVOID data, DWORD, LPDWORD written, LPOVERLAPPED) {
  WriteFile(file, data, 3, written, nullptr);
  SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

}  // namespace

TEST(SystemUtils, ExtractBinaryResourceWritesTheWholeResource) {
  TempFolderOverride temp;
  const std::string expected = temp.dir() / "payload.bin";
  ASSERT_TRUE(WriteBytes(expected, std::string(1000, 'o')));  // replaced, not appended to
  std::string path = "unchanged";
  ASSERT_TRUE(ExtractBinaryResource(178, "payload.bin", &path));
  EXPECT_EQ(path, expected);
  EXPECT_EQ(ReadBytes(expected), kPayload);
}

TEST(SystemUtils, ExtractBinaryResourceFailures) {
  TempFolderOverride temp;
  struct Row {
    const char* what;
    WORD id;
    std::string name;
    WriteFileFunction write;
  } rows[] = {
      {"missing resource", 179, "payload.bin", nullptr},
      {"short write", 178, "payload.bin", &ShortWrite},
      {"failed write", 178, "payload.bin", &FailedWrite},
      {"empty name", 178, "", nullptr},
      {"name with a folder", 178, "..\\payload.bin", nullptr},
      {"name with a drive", 178, "C:payload.bin", nullptr},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    SetResourceWriteFunctionForTesting(r.write);
    std::string path = "unchanged";
    EXPECT_FALSE(ExtractBinaryResource(r.id, r.name, &path));
    EXPECT_EQ(path, "unchanged");
    EXPECT_TRUE(Listing(temp.dir() / "").empty());
  }
}

namespace {

const char kNetKey[] = "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full";

// Saves the .NET release key of the test prefix and puts it back (or removes
// the keys it had to create) when the test ends.
class NetKeyGuard {
 public:
  NetKeyGuard() {
    const std::string key = kNetKey;
    for (size_t end = key.find('\\'); ; end = key.find('\\', end + 1)) {
      const std::string part = key.substr(0, end);
      HKEY h;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, part.c_str(), 0, KEY_READ, &h) == ERROR_SUCCESS)
        RegCloseKey(h);
      else
        created_.push_back(part);
      if (end == std::string::npos) break;
    }
    HKEY h;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kNetKey, 0, KEY_READ, &h) == ERROR_SUCCESS) {
      DWORD size = sizeof oldValue_;
      hadValue_ = RegQueryValueExA(h, "Release", nullptr, &oldType_, oldValue_, &size) ==
                  ERROR_SUCCESS;
      oldSize_ = size;
      RegCloseKey(h);
    }
  }
  ~NetKeyGuard() {
    HKEY h;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kNetKey, 0, KEY_SET_VALUE, &h) == ERROR_SUCCESS) {
      if (hadValue_)
        RegSetValueExA(h, "Release", 0, oldType_, oldValue_, oldSize_);
      else
        RegDeleteValueA(h, "Release");
      RegCloseKey(h);
    }
    for (auto it = created_.rbegin(); it != created_.rend(); ++it)
      RegDeleteKeyA(HKEY_LOCAL_MACHINE, it->c_str());
  }
  const std::vector<std::string>& created() const { return created_; }

 private:
  std::vector<std::string> created_;
  bool hadValue_ = false;
  DWORD oldType_ = 0, oldSize_ = 0;
  BYTE oldValue_[256] = {};
};

}  // namespace

TEST(SystemUtils, NetFramework48Release) {
  std::vector<std::string> created;
  {
    NetKeyGuard guard;
    created = guard.created();
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kNetKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegDeleteValueA(key, "Release");
    EXPECT_FALSE(IsNetFramework48Installed()) << "no value";
    struct Row {
      DWORD type;
      DWORD value;
      bool installed;
    } rows[] = {
        {REG_DWORD, 528039, false}, {REG_DWORD, 528040, true},  {REG_DWORD, 528049, true},
        {REG_DWORD, 533320, true},  {REG_DWORD, 0, false},      {REG_DWORD, 0xFFFFFFFF, true},
        {REG_BINARY, 528040, false},
    };
    for (const Row& r : rows) {
      SCOPED_TRACE(r.value);
      ASSERT_EQ(RegSetValueExA(key, "Release", 0, r.type, reinterpret_cast<const BYTE*>(&r.value),
                               sizeof r.value),
                ERROR_SUCCESS);
      EXPECT_EQ(IsNetFramework48Installed(), r.installed);
    }
    ASSERT_EQ(RegSetValueExA(key, "Release", 0, REG_SZ, reinterpret_cast<const BYTE*>("528040"), 7),
              ERROR_SUCCESS);
    EXPECT_FALSE(IsNetFramework48Installed()) << "text value";
    RegCloseKey(key);
  }
  // The guard put the prefix back: keys made by the test are gone.
  for (const std::string& key : created) {
    HKEY h;
    EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h), ERROR_SUCCESS)
        << key;
  }
  if (created.empty()) {
    SUCCEED() << "the key existed before the test";
  } else {
    EXPECT_FALSE(IsNetFramework48Installed());
  }
}

TEST(SystemUtils, ProcessorInfoUnderWine) {
  double mhz = -1;
  std::string name = "unset";
  EXPECT_EQ(GetProcessorInfo(&mhz, &name), 0);
  EXPECT_GT(mhz, 0);
  EXPECT_NE(name, "unset");
  EXPECT_EQ(name.find('\0'), std::string::npos);
}

TEST(SystemUtils, ComputerUserName) {
  char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof computer;
  ASSERT_TRUE(GetComputerNameA(computer, &size));
  const std::string identity = GetComputerUserName();
  ASSERT_EQ(identity.rfind(std::string(computer) + "\\", 0), 0u) << identity;
  EXPECT_GT(identity.size(), size + 1) << "user name missing";
  EXPECT_EQ(identity.find('\\', size + 1), std::string::npos);
}

TEST(SystemUtils, WindowPlacement) {
  struct Row {
    int sw, sh, ww, wh;
    bool corner;
    LONG x, y;
  } rows[] = {
      {1024, 768, 400, 300, false, 312, 234},
      {1024, 768, 401, 301, false, 311, 233},  // truncated toward zero
      {1024, 768, 400, 300, true, 624, 438},
      {1024, 768, 2000, 1000, false, 0, 0},  // larger than the screen
      {1024, 768, 1025, 300, false, 0, 234},
      {1024, 768, 2000, 1000, true, 0, 0},
      {1024, 768, 400, 750, true, 624, 0},  // no room for the taskbar
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.ww) + "x" + std::to_string(r.wh) + (r.corner ? " corner" : ""));
    const POINT at = WindowPlacement(r.sw, r.sh, r.ww, r.wh, r.corner);
    EXPECT_EQ(at.x, r.x);
    EXPECT_EQ(at.y, r.y);
  }
}

TEST(SystemUtils, OpenWithShellReportsAMissingFile) {
  TempDir dir;
  const INT_PTR result = reinterpret_cast<INT_PTR>(OpenWithShell(dir / "missing.txt"));
  EXPECT_LE(result, 32);
}
