// fixtures: extract_archives
// Unpacking real archives made by 7zz (every coder the packages use) and by our
// own writer (hostile names), compared with what 7zz itself unpacks.
#include "extract_7z.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "constants.h"
#include "log.h"
#include "service_settings.h"
#include "test_support.h"

using testing_support::Exists;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::TestData;
using testing_support::WriteBytes;

namespace {

std::string Archive(const std::string& name) { return TestData("extract\\" + name + ".7z"); }

struct TreeEntry {
  bool folder = false;
  std::string content;
  ULONGLONG lastWrite = 0;
};

ULONGLONG ToUInt64(const FILETIME& t) {
  return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// Every file and folder below root ("\"-terminated), by relative path.
void ListTree(const std::string& root, const std::string& relative,
              std::map<std::string, TreeEntry>* out) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((root + relative + "*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    TreeEntry entry;
    entry.lastWrite = ToUInt64(fd.ftLastWriteTime);
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      entry.folder = true;
      ListTree(root, relative + name + "\\", out);
    } else {
      entry.content = ReadBytes(root + relative + name);
    }
    (*out)[relative + name] = entry;
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}

std::map<std::string, TreeEntry> Tree(const std::string& root) {
  std::map<std::string, TreeEntry> out;
  ListTree(root, "", &out);
  return out;
}

ULONGLONG Now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return ToUInt64(now);
}

// Looks for a file or folder whose name contains marker anywhere below root.
void FindMarked(const std::string& root, const std::string& marker, int depth,
                std::vector<std::string>* found) {
  if (depth > 16) return;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((root + "*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    if (name.find(marker) != std::string::npos) found->push_back(root + name);
    if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      FindMarked(root + name + "\\", marker, depth + 1, found);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}

std::vector<std::pair<uint32_t, uint32_t>> g_progress;
void RecordProgress(uint32_t index, uint32_t count) { g_progress.emplace_back(index, count); }

class Extract7zTest : public testing::Test {
 protected:
  void SetUp() override {
    GetServiceSettings().skipPermission = false;
    logDir_ = temp_.path().substr(0, temp_.path().size() - 1);
    SetLogFolderForTesting(logDir_);
    dest_ = temp_ / "out\\";
    g_progress.clear();
  }
  void TearDown() override {
    SetLogFolderForTesting("");
    SetExtractWriteFileForTesting(nullptr);
  }
  std::string LogText() { return ReadBytes(logDir_ + g_logFileName); }
  int CountInLog(const std::string& text) {
    const std::string log = LogText();
    int n = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  }

  TempDir temp_;
  std::string logDir_;
  std::string dest_;
};

TEST_F(Extract7zTest, EveryCoderGivesTheTree7zipGives) {
  for (const char* name : {"copy", "lzma", "lzma2", "nosolid", "bcj", "arm", "bcj2"}) {
    SCOPED_TRACE(name);
    const std::string dest = temp_ / (std::string(name) + "\\");
    std::string current;
    ASSERT_EQ(Extract7z(Archive(name), dest, &current, RecordProgress), 0u);
    const auto ours = Tree(dest);
    const auto reference = Tree(TestData(std::string("extract\\ref_") + name + "\\"));
    ASSERT_FALSE(reference.empty());
    ASSERT_EQ(ours.size(), reference.size());
    for (const auto& item : reference) {
      SCOPED_TRACE(item.first);
      auto it = ours.find(item.first);
      ASSERT_NE(it, ours.end());
      EXPECT_EQ(it->second.folder, item.second.folder);
      EXPECT_TRUE(it->second.content == item.second.content);
      if (!item.second.folder) {
        EXPECT_EQ(it->second.lastWrite, item.second.lastWrite);
      }
    }
    EXPECT_EQ(current.compare(0, dest.size(), dest), 0) << current;
  }
  // Stored attributes are not applied.
  const DWORD attributes = GetFileAttributesA((temp_ / "copy\\readonly.txt").c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(attributes & FILE_ATTRIBUTE_READONLY);
}

TEST_F(Extract7zTest, ProgressIsCalledBeforeEachEntry) {
  ASSERT_EQ(Extract7z(Archive("three"), dest_, nullptr, RecordProgress), 0u);
  const std::vector<std::pair<uint32_t, uint32_t>> expected = {{0, 3}, {1, 3}, {2, 3}};
  EXPECT_EQ(g_progress, expected);
  EXPECT_EQ(ReadBytes(dest_ + "c.txt"), "c");
}

TEST_F(Extract7zTest, EmptyArchiveWritesNothing) {
  ASSERT_EQ(Extract7z(Archive("empty"), dest_, nullptr, RecordProgress), 0u);
  EXPECT_TRUE(g_progress.empty());
  EXPECT_FALSE(Exists(dest_));
}

TEST_F(Extract7zTest, ResultCodes) {
  struct Case {
    const char* archive;
    DWORD result;
  } cases[] = {
      {"missing", ERROR_FILE_NOT_FOUND},
      {"text", 6},
      {"truncated", 6},
      {"h_nonames", 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    EXPECT_EQ(Extract7z(Archive(c.archive), dest_, nullptr, nullptr), c.result);
    EXPECT_TRUE(Tree(dest_).empty());
  }
}

TEST_F(Extract7zTest, DamagedSecondBlockKeepsTheFirst) {
  std::string current;
  EXPECT_EQ(Extract7z(Archive("twoblocks"), dest_, &current, RecordProgress), 6u);
  EXPECT_EQ(ReadBytes(dest_ + "1_first.txt"),
            ReadBytes(TestData("extract\\src\\two\\1_first.txt")));
  EXPECT_FALSE(Exists(dest_ + "2_second.txt"));
  EXPECT_EQ(g_progress.size(), 2u);
}

TEST_F(Extract7zTest, ModificationTimeAbsentLeavesTheWritingTime) {
  const ULONGLONG before = Now();
  ASSERT_EQ(Extract7z(Archive("notime"), dest_, nullptr, nullptr), 0u);
  const auto tree = Tree(dest_);
  ASSERT_EQ(tree.count("program.exe"), 1u);
  const ULONGLONG written = tree.at("program.exe").lastWrite;
  EXPECT_GE(written + 20000000ull, before);  // 2 s of clock granularity
  EXPECT_LE(written, Now() + 20000000ull);
}

TEST_F(Extract7zTest, NamesAreNarrowedToTheirLowBytes) {
  ASSERT_EQ(Extract7z(Archive("wide"), dest_, nullptr, nullptr), 0u);
  EXPECT_EQ(ReadBytes(dest_ + "\xA9\xAC.txt"), "omega");
  // U+015C narrows to "\": a folder inside the destination.
  ASSERT_EQ(Extract7z(Archive("narrowing"), dest_, nullptr, nullptr), 0u);
  EXPECT_EQ(ReadBytes(dest_ + "a\\b.txt"), "dentro");
}

TEST_F(Extract7zTest, ExistingFilesAreOverwritten) {
  ASSERT_TRUE(WriteBytes(dest_ + "b.txt", "a much longer old content"));
  ASSERT_EQ(Extract7z(Archive("three"), dest_, nullptr, nullptr), 0u);
  EXPECT_EQ(ReadBytes(dest_ + "b.txt"), "b");
}

TEST_F(Extract7zTest, EachFolderIsPreparedOncePerCall) {
  const std::string line = "[  INFO] Setting privileges and attributes on -> " + dest_ + "docs";
  ASSERT_EQ(Extract7z(Archive("lzma2"), dest_, nullptr, nullptr), 0u);
  EXPECT_EQ(CountInLog(line + "\r\n"), 1);
  EXPECT_GE(CountInLog("[  INFO] Privileges set successfully"), 5);
  ASSERT_EQ(Extract7z(Archive("lzma2"), dest_, nullptr, nullptr), 0u);
  EXPECT_EQ(CountInLog(line + "\r\n"), 2);
}

TEST_F(Extract7zTest, SkipPermissionLeavesFoldersAlone) {
  GetServiceSettings().skipPermission = true;
  ASSERT_EQ(Extract7z(Archive("three"), dest_, nullptr, nullptr), 0u);
  GetServiceSettings().skipPermission = false;
  EXPECT_EQ(CountInLog("[* WARN] Permission setting skipped due to switch for " +
                       dest_.substr(0, dest_.size() - 1)),
            1);
  EXPECT_EQ(CountInLog("Privileges set"), 0);
}

BOOL WINAPI ShortWrite(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED) {
  // Stores one byte less and reports success, as a full network disk may.
  SetLastError(0);
  return WriteFile(file, data, size > 0 ? size - 1 : 0, written, nullptr);
}

BOOL WINAPI FailedWrite(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED) {
  *written = 0;
  SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

TEST_F(Extract7zTest, FailedWritesStopWithAnErrorCode) {
  struct Case {
    ExtractWriteFileFunction write;
    DWORD result;
  } cases[] = {{ShortWrite, ERROR_WRITE_FAULT}, {FailedWrite, ERROR_DISK_FULL}};
  for (const Case& c : cases) {
    SetExtractWriteFileForTesting(c.write);
    std::string current;
    EXPECT_EQ(Extract7z(Archive("three"), dest_, &current, RecordProgress), c.result);
    EXPECT_EQ(current, dest_ + "a.txt");
  }
  EXPECT_EQ(g_progress.size(), 2u);  // stopped at the first entry both times
}

TEST_F(Extract7zTest, FileWhereAFolderMustBeFailsWithTheWindowsError) {
  ASSERT_TRUE(WriteBytes(dest_ + "docs", "a file, not a folder"));
  const DWORD result = Extract7z(Archive("lzma2"), dest_, nullptr, nullptr);
  EXPECT_NE(result, 0u);
  EXPECT_NE(result, 6u);
}

TEST_F(Extract7zTest, HostileNamesAreRefusedBeforeAnythingIsWritten) {
  const std::string sandbox = temp_ / "s1\\s2\\s3\\";
  const std::string dest = sandbox + "dest\\";
  const char* archives[] = {
      "h_dotdot",      "h_inner_dotdot",     "h_backslash",    "h_slash",
      "h_drive",       "h_stream",           "h_wide_backslash", "h_wide_dotdot",
      "h_wide_drive",  "h_empty_name",       "h_control",      "h_wide_nul",
      "h_wide_dot_dir", "h_dir_dotdot",      "h_dots_blanks",  "h_device",
      "h_after_good",
  };
  for (const char* archive : archives) {
    SCOPED_TRACE(archive);
    EXPECT_EQ(Extract7z(Archive(archive), dest, nullptr, nullptr), 6u);
  }
  // The only file written is the good entry that came before a bad one.
  const auto tree = Tree(sandbox);
  std::vector<std::string> files;
  for (const auto& item : tree) {
    if (!item.second.folder) files.push_back(item.first);
  }
  EXPECT_EQ(files, std::vector<std::string>{"dest\\good.txt"});
  EXPECT_EQ(CountInLog("[**  ERR] Refused archive entry outside the destination folder -> "),
            17);

  std::vector<std::string> escaped;
  FindMarked("C:\\", "zanpwn", 0, &escaped);
  EXPECT_TRUE(escaped.empty()) << escaped.front();
}

TEST(SafeEntryName, Table) {
  struct Case {
    const char* name;
    bool safe;
  } cases[] = {
      {"a.txt", true},         {"dir\\sub/file.bin", true}, {"a..b", true},
      {"..a", true},           {"cons.d\\x", true},   {"con.d\\x", false},          {"COM0", false},
      {"LPT10.txt", true},     {"dir\\", true},             {"", false},
      {"..", false},           {".", false},                {"...", false},
      {". .", false},          {"a\\..\\b", false},         {"a/../b", false},
      {"a\\.\\b", false},      {"a\\.. \\b", false},        {"\\a", false},
      {"/a", false},           {"\\\\host\\share\\a", false}, {"C:\\a", false},
      {"C:a", false},          {"a:b", false},              {"a\x01", false},
      {"a\tb", false},         {"CON", false},              {"sub\\nul.txt", false},
      {"Aux", false},          {"com1.log", false},         {"LPT9", false},
      {"prn .txt", false},     {"CONOUT$", false},          {"COM\xB9", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsSafeArchiveEntryName(c.name), c.safe) << c.name;
  EXPECT_FALSE(IsSafeArchiveEntryName(std::string("a\0b", 3)));
}

}  // namespace
