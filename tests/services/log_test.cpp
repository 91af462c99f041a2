// The setup log's lines byte for byte, concurrent writers, and the
// single-instance guard (also seen from a second process).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "constants.h"
#include "log.h"
#include "test_support.h"

using testing_support::Exists;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

const char kTimestamp[] = R"(\[\d{8}@\d{2}:\d{2}:\d{2}:\d{3}\])";

// Points the log at a scratch folder for the life of the object.
class ScratchLog {
 public:
  explicit ScratchLog(const std::string& sub = "DesktopApp") : folder_(dir_ / sub) {
    SetLogFolderForTesting(folder_);
  }
  ~ScratchLog() { SetLogFolderForTesting(""); }
  const std::string& folder() const { return folder_; }
  std::string file() const { return folder_ + g_logFileName; }
  std::string Read() const { return ReadBytes(file()); }

 private:
  TempDir dir_;
  std::string folder_;
};

// The lines of the file, split at CR LF; a stray CR or LF makes the test fail.
std::vector<std::string> Lines(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(bytes.substr(start, end - start));
  EXPECT_EQ(start, bytes.size()) << "bytes after the last line end";
  return lines;
}

}  // namespace

TEST(Log, TimestampPattern) {
  SYSTEMTIME before;
  GetLocalTime(&before);
  const std::string stamp = GetLogTimestamp();
  ASSERT_EQ(stamp.size(), 23u) << stamp;
  EXPECT_TRUE(std::regex_match(stamp, std::regex(kTimestamp))) << stamp;
  // The date is today's local date, the year in full.
  char date[16];
  snprintf(date, sizeof date, "[%04d%02d%02d@", before.wYear, before.wMonth, before.wDay);
  SYSTEMTIME after;
  GetLocalTime(&after);
  if (after.wDay == before.wDay) {
    EXPECT_EQ(stamp.substr(0, 10), date);
  }
}

TEST(Log, LinesByteForByte) {
  ScratchLog log;
  const std::vector<std::string> messages = {
      "[  INFO] Start application",
      "[* WARN] Exception on CSetting::LoadInf -> disk full",
      "[**  ERR] Extract result -> 6",
      "[INFO] Setup path -> C:\\ZAN\\",
      "",
      // Never taken as a format.
      "[  INFO] %s%n%d%%%x -> %08X",
      // ANSI bytes above 0x7F pass unchanged.
      "[  INFO] Citt\xE0 -> \xF9\xFF",
  };
  for (const std::string& m : messages) Log(m);

  const std::vector<std::string> lines = Lines(log.Read());
  ASSERT_EQ(lines.size(), messages.size());
  const std::regex prefix(std::string(kTimestamp) + " ");
  for (size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(messages[i]);
    ASSERT_GE(lines[i].size(), 24u);
    EXPECT_TRUE(std::regex_match(lines[i].substr(0, 24), prefix)) << lines[i];
    EXPECT_EQ(lines[i].substr(24), messages[i]);
  }
  // The empty message: timestamp, one blank, CR LF and nothing else.
  EXPECT_EQ(lines[4].size(), 24u);
}

TEST(Log, NewlinesInAMessageAreStoredAsCrLf) {
  ScratchLog log;
  Log("first\nsecond\n");
  Log("\n");
  const std::string bytes = log.Read();
  ASSERT_EQ(bytes.size(), 24 + std::string("first\r\nsecond\r\n\r\n").size() + 24 + 4);
  EXPECT_EQ(bytes.substr(24, 17), "first\r\nsecond\r\n\r\n");
  EXPECT_EQ(bytes.substr(24 + 17 + 24), "\r\n\r\n");
  EXPECT_EQ(bytes.find('\n'), bytes.find("\r\n") + 1);
}

TEST(Log, CreatesMissingFoldersAndAppends) {
  ScratchLog log("deep\\er\\DesktopApp");
  ASSERT_FALSE(Exists(log.file()));
  Log("one");
  ASSERT_TRUE(Exists(log.file()));
  Log("two");
  std::vector<std::string> lines = Lines(log.Read());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(24), "one");
  EXPECT_EQ(lines[1].substr(24), "two");

  // An existing file of an earlier run is appended to, not replaced.
  ASSERT_TRUE(WriteBytes(log.file(), "earlier run\r\n"));
  Log("three");
  lines = Lines(log.Read());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "earlier run");
  EXPECT_EQ(lines[1].substr(24), "three");

  // The folder removed while the setup runs is made again by the next line.
  ASSERT_TRUE(testing_support::RemoveTree(log.folder()));
  ASSERT_FALSE(Exists(log.folder()));
  Log("four");
  lines = Lines(log.Read());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(24), "four");
}

TEST(Log, DeleteLogFile) {
  ScratchLog log;
  Log("line");
  ASSERT_TRUE(Exists(log.file()));
  DeleteLogFile();
  EXPECT_FALSE(Exists(log.file()));
  DeleteLogFile();  // nothing to delete: no harm
  Log("after");
  EXPECT_EQ(Lines(log.Read()).size(), 1u);
}

TEST(Log, AnUnwritableLogDropsTheLine) {
  TempDir dir;
  // The "folder" is a file: neither the folder nor the log can be made.
  ASSERT_TRUE(WriteBytes(dir / "blocked", "x"));
  SetLogFolderForTesting(dir / "blocked");
  Log("dropped");
  SetLogFolderForTesting("");
  EXPECT_EQ(ReadBytes(dir / "blocked"), "x");
}

TEST(Log, DefaultFolder) {
  const std::string folder = GetLogFolder();
  ASSERT_GT(folder.size(), std::string("\\DesktopApp").size());
  EXPECT_EQ(folder.substr(folder.size() - 11), "\\DesktopApp");
  EXPECT_NE(folder[folder.size() - 12], '\\');
}

namespace {

// Starts this test program in a second process running only the given
// (disabled) test, with the variables set in its environment; null on failure.
HANDLE StartChild(const std::string& test,
                  const std::vector<std::pair<std::string, std::string>>& env) {
  char exe[MAX_PATH];
  if (!GetModuleFileNameA(nullptr, exe, MAX_PATH)) return nullptr;
  for (const auto& v : env) SetEnvironmentVariableA(v.first.c_str(), v.second.c_str());
  std::string command = std::string("\"") + exe + "\" --gtest_also_run_disabled_tests" +
                        " --gtest_filter=" + test;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;  // keep the child's report out of ours
  PROCESS_INFORMATION pi = {};
  const BOOL started =
      CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  for (const auto& v : env) SetEnvironmentVariableA(v.first.c_str(), nullptr);
  if (!started) return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

// Waits for a child; true when its test passed.
bool ChildPassed(HANDLE process) {
  if (!process) return false;
  WaitForSingleObject(process, 120000);
  DWORD code = 99;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return code == 0;
}

const int kLinesPerWriter = 600;

std::string Payload(int writer, int line) {
  // Lengths vary so writes of different sizes overlap.
  return std::string((line * 37 + writer * 101) % 700, static_cast<char>('a' + writer));
}

void WriteLines(int writer) {
  for (int i = 0; i < kLinesPerWriter; ++i)
    Log("[  INFO] writer " + std::to_string(writer) + " line " + std::to_string(i) + " -> " +
        Payload(writer, i));
}

}  // namespace

// Run only by ConcurrentWritersLoseAndTearNothing, in a child process.
TEST(Log, DISABLED_WriterProcess) {
  const char* folder = std::getenv("ZAN_LOG_FOLDER");
  const char* writer = std::getenv("ZAN_LOG_WRITER");
  ASSERT_TRUE(folder && writer);
  SetLogFolderForTesting(folder);
  WriteLines(std::atoi(writer));
  SetLogFolderForTesting("");
}

TEST(Log, ConcurrentWritersLoseAndTearNothing) {
  ScratchLog log;
  const int kThreads = 6, kProcesses = 2, kWriters = kThreads + kProcesses;
  std::vector<HANDLE> children;
  for (int p = 0; p < kProcesses; ++p) {
    children.push_back(StartChild("Log.DISABLED_WriterProcess",
                                  {{"ZAN_LOG_FOLDER", log.folder()},
                                   {"ZAN_LOG_WRITER", std::to_string(kThreads + p)}}));
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(WriteLines, t);
  for (std::thread& th : threads) th.join();
  for (HANDLE child : children) EXPECT_TRUE(ChildPassed(child));

  const std::vector<std::string> lines = Lines(log.Read());
  EXPECT_EQ(lines.size(), static_cast<size_t>(kWriters * kLinesPerWriter));
  const std::regex line(std::string(kTimestamp) +
                        R"( \[  INFO\] writer (\d) line (\d+) -> ([a-h]*))");
  std::vector<int> next(kWriters, 0);
  int torn = 0;
  for (const std::string& l : lines) {
    std::smatch m;
    const int w = std::regex_match(l, m, line) ? std::stoi(m[1]) : kWriters;
    if (w >= kWriters || m[3].str() != Payload(w, std::stoi(m[2]))) {
      if (++torn <= 3) ADD_FAILURE() << "torn line: " << l.substr(0, 120);
      continue;
    }
    // Each writer's lines are in its own order, each exactly once.
    EXPECT_EQ(std::stoi(m[2]), next[w]) << "writer " << w;
    next[w] = std::stoi(m[2]) + 1;
  }
  EXPECT_EQ(torn, 0);
  for (int w = 0; w < kWriters; ++w) EXPECT_EQ(next[w], kLinesPerWriter) << "writer " << w;
}

namespace {

std::string UniqueMutexName(const char* tag) {
  return "ZanTest_" + std::string(tag) + "_" + std::to_string(GetCurrentProcessId());
}

bool MutexExists(const std::string& name) {
  HANDLE h = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
  if (!h) return false;
  CloseHandle(h);
  return true;
}

// True when a second process found what `expect` says ("refused" or "granted").
bool ProbeFromAnotherProcess(const std::string& name, const std::string& expect) {
  return ChildPassed(StartChild("SingleInstance.DISABLED_ProbeFromSecondProcess",
                                {{"ZAN_PROBE_MUTEX", name}, {"ZAN_PROBE_EXPECT", expect}}));
}

}  // namespace

// Run only by ProbeFromAnotherProcess, in a child process.
TEST(SingleInstance, DISABLED_ProbeFromSecondProcess) {
  const char* name = std::getenv("ZAN_PROBE_MUTEX");
  const char* expect = std::getenv("ZAN_PROBE_EXPECT");
  ASSERT_TRUE(name && expect);
  EXPECT_EQ(CheckSingleInstance(name), std::string(expect) == "granted");
  ReleaseSingleInstance();
}

TEST(SingleInstance, SecondCopyIsRefusedUntilReleased) {
  const std::string name = UniqueMutexName("second");
  ASSERT_TRUE(CheckSingleInstance(name));
  ASSERT_NE(g_singleInstanceMutex, nullptr);
  EXPECT_TRUE(MutexExists(name));
  EXPECT_TRUE(ProbeFromAnotherProcess(name, "refused"));

  EXPECT_NE(ReleaseSingleInstance(), FALSE);
  EXPECT_EQ(g_singleInstanceMutex, nullptr);
  EXPECT_FALSE(MutexExists(name));
  EXPECT_TRUE(ProbeFromAnotherProcess(name, "granted"));
  // Released, the mutex is made anew.
  EXPECT_TRUE(CheckSingleInstance(name));
  EXPECT_NE(g_singleInstanceMutex, nullptr);
  EXPECT_NE(ReleaseSingleInstance(), FALSE);
}

TEST(SingleInstance, RefusedWhenTheMutexExistsInThisProcessToo) {
  const std::string name = UniqueMutexName("same");
  HANDLE other = CreateMutexA(nullptr, FALSE, name.c_str());
  ASSERT_NE(other, nullptr);
  EXPECT_FALSE(CheckSingleInstance(name));
  // The handle is kept even when refused, so it can be released.
  EXPECT_NE(g_singleInstanceMutex, nullptr);
  EXPECT_NE(ReleaseSingleInstance(), FALSE);
  CloseHandle(other);
}

TEST(SingleInstance, NamedAndDefaultNames) {
  const std::string kDefault = "ServiziZAN_Setup";
  const std::string name = UniqueMutexName("named");
  ASSERT_TRUE(CheckSingleInstance(name));
  EXPECT_TRUE(MutexExists(name));
  // Taking a named mutex does not take the default one.
  const bool defaultHeldElsewhere = MutexExists(kDefault);
  ReleaseSingleInstance();

  // A setup started by another test may hold the default name right now.
  if (defaultHeldElsewhere) GTEST_SKIP() << "the default mutex is held by another process";
  ASSERT_TRUE(CheckSingleInstance(""));
  EXPECT_TRUE(MutexExists(kDefault));
  ReleaseSingleInstance();
  EXPECT_FALSE(MutexExists(kDefault));
}

TEST(SingleInstance, AccessDeniedCountsAsAnotherCopy) {
  // A mutex whose security lets nobody open it stands for one made by an
  // elevated copy: the create fails with access denied.
  const std::string name = UniqueMutexName("denied");
  SECURITY_DESCRIPTOR sd;
  ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
  ACL acl;
  ASSERT_TRUE(InitializeAcl(&acl, sizeof acl, ACL_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, &acl, FALSE));
  SECURITY_ATTRIBUTES sa = {sizeof sa, &sd, FALSE};
  HANDLE locked = CreateMutexA(&sa, FALSE, name.c_str());
  ASSERT_NE(locked, nullptr);
  HANDLE probe = CreateMutexA(nullptr, FALSE, name.c_str());
  const DWORD error = GetLastError();
  if (probe) CloseHandle(probe);
  if (error != ERROR_ACCESS_DENIED) {
    CloseHandle(locked);
    GTEST_SKIP() << "this system does not enforce the mutex's security (error " << error << ")";
  }
  EXPECT_FALSE(CheckSingleInstance(name));
  ReleaseSingleInstance();
  CloseHandle(locked);
}
