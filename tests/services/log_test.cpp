// The setup log's lines byte for byte, concurrent writers in threads and
// processes, and the single-instance guard.
#include <gtest/gtest.h>

#include <windows.h>
#include <process.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "constants.h"
#include "log.h"
#include "test_support.h"

using testing_support::LogCapture;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

namespace {

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

TEST(Log, LinesByteForByte) {
  LogCapture log;
  const std::vector<std::string> messages = {
      "[  INFO] Start application", "",
      "[  INFO] %s%n%d%%%x -> %08X",    // never taken as a format
      "[  INFO] Citt\xE0 -> \xF9\xFF",  // ANSI bytes above 0x7F pass unchanged
  };
  for (const std::string& m : messages) Log(m);
  const std::vector<std::string> lines = Lines(log.Text());
  ASSERT_EQ(lines.size(), messages.size());
  const std::regex prefix(R"(\[\d{8}@\d{2}:\d{2}:\d{2}:\d{3}\] )");
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(std::regex_match(lines[i].substr(0, 24), prefix)) << lines[i];
    EXPECT_EQ(lines[i].substr(24), messages[i]);
  }
  log.Clear();  // every "\n" of a message is stored as CR LF
  Log("first\nsecond\n");
  EXPECT_EQ(log.Text().substr(23), " first\r\nsecond\r\n\r\n");
}

TEST(Log, OutsideTextIsQuotedOnOneShortLine) {
  const struct {
    std::string text;
    size_t limit;
    std::string quoted;
  } rows[] = {
      {"/a\r\nX: 1\t\x7f\x01", 200, "/a\\x0D\\x0AX: 1\\x09\\x7F\\x01"},
      {"Citt\xE0", 200, "Citt\xE0"},  // ANSI letters stay
      {"abcdef", 4, "abcd... (6 bytes)"},
      {"abcd", 4, "abcd"},
  };
  for (const auto& r : rows) EXPECT_EQ(QuoteForLog(r.text, r.limit), r.quoted) << r.text;
}

namespace {

const int kLinesPerWriter = 600;

// Lengths vary so writes of different sizes overlap.
std::string Message(int writer, int line) {
  return "[  INFO] writer " + std::to_string(writer) + " line " + std::to_string(line) + " -> " +
         std::string((line * 37 + writer * 101) % 700, static_cast<char>('a' + writer));
}

void WriteLines(int writer) {
  for (int i = 0; i < kLinesPerWriter; ++i) Log(Message(writer, i));
}

}  // namespace

// The writer's number comes last on its command line.
TEST(Log, DISABLED_WriterProcess) {
  const char* folder = std::getenv("ZAN_LOG_FOLDER");
  const char* writer = std::strstr(GetCommandLineA(), "--writer=");
  ASSERT_TRUE(folder && writer);
  SetLogFolderForTesting(folder);
  WriteLines(std::atoi(writer + 9));
}

TEST(Log, ConcurrentWritersLoseAndTearNothing) {
  LogCapture log;
  const int kThreads = 6, kProcesses = 2;
  SetEnvironmentVariableA("ZAN_LOG_FOLDER", log.folder().c_str());
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  intptr_t codes[kProcesses];
  std::vector<std::thread> threads;
  // This test program again, running only DISABLED_WriterProcess.
  for (int p = 0; p < kProcesses; ++p)
    threads.emplace_back([&, p] {
      const std::string self = "\"" + std::string(exe) + "\"";
      const std::string writer = "--writer=" + std::to_string(kThreads + p);
      codes[p] = _spawnl(_P_WAIT, exe, self.c_str(), "--gtest_also_run_disabled_tests",
                         "--gtest_filter=Log.DISABLED_WriterProcess", writer.c_str(), nullptr);
    });
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(WriteLines, t);
  for (std::thread& th : threads) th.join();
  for (intptr_t code : codes) EXPECT_EQ(code, 0);
  // Every message exactly once, whole, after a timestamp of its own.
  std::vector<std::string> got, want;
  for (const std::string& l : Lines(log.Text())) got.push_back(l.size() > 24 ? l.substr(24) : l);
  for (int w = 0; w < kThreads + kProcesses; ++w)
    for (int i = 0; i < kLinesPerWriter; ++i) want.push_back(Message(w, i));
  std::sort(got.begin(), got.end());
  std::sort(want.begin(), want.end());
  EXPECT_TRUE(got == want) << got.size() << " lines of " << want.size();
}

// A second copy is refused (seen end to end); a mutex that an elevated copy
// holds, access to it denied, counts the same.
TEST(SingleInstance, MutexDeniedCountsAsRunning) {
  const std::string name = "ZanTest_" + std::to_string(GetCurrentProcessId());
  SECURITY_DESCRIPTOR sd;  // nobody may open it
  ACL acl;
  ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(InitializeAcl(&acl, sizeof acl, ACL_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, &acl, FALSE));
  SECURITY_ATTRIBUTES sa = {sizeof sa, &sd, FALSE};
  HANDLE locked = CreateMutexA(&sa, FALSE, name.c_str());
  ASSERT_EQ(CreateMutexA(nullptr, FALSE, name.c_str()), nullptr);
  ASSERT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(CheckSingleInstance(name));
  ReleaseSingleInstance();
  CloseHandle(locked);
}
