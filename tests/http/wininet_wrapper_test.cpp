// The HTTP client against the local update server (tools/update_server.py),
// reached through Wine's http_proxy setting; each download runs on a thread
// of its own that pumps messages, as the wizard's user-interface thread does.
// The paths' misbehaviour is configured in tests/cmake/http.cmake.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "constants.h"
#include "log.h"
#include "proxy_credentials.h"
#include "test_support.h"
#include "wininet_wrapper.h"

using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

struct Event {
  char kind;  // 'S'tarted, 'P'rogress, 'C'omplete
  DWORD thread;
  DWORD value;
};

class Recorder : public WininetWrapperDelegate {
 public:
  std::vector<Event> events;
  void OnDownloadStarted(WininetWrapper*, DWORD length) override {
    events.push_back({'S', GetCurrentThreadId(), length});
  }
  void OnDownloadProgress(WininetWrapper*, DWORD received) override {
    events.push_back({'P', GetCurrentThreadId(), received});
  }
  void OnDownloadComplete(WininetWrapper*) override {
    events.push_back({'C', GetCurrentThreadId(), 0});
    PostQuitMessage(0);
  }
};

struct Outcome {
  WininetWrapper* request = nullptr;  // never freed, as in the setup
  std::vector<Event> events;
  DWORD uiThread = 0;
  DWORD elapsedMs = 0;
  std::string Kinds() const {
    std::string kinds;
    for (const Event& e : events) kinds += e.kind;
    return kinds;
  }
};

// Creates, starts and waits for one request on a fresh "user-interface"
// thread that pumps messages until the completion (or `limitMs`).
Outcome Download(const std::string& url, bool raw = false,
                 void (*prepare)(WininetWrapper&) = nullptr, DWORD limitMs = 120000) {
  Outcome out;
  Recorder recorder;
  std::thread ui([&] {
    out.uiThread = GetCurrentThreadId();
    DWORD begin = GetTickCount();
    out.request = new WininetWrapper(url, raw);
    if (prepare) prepare(*out.request);
    out.request->delegate = &recorder;
    out.request->Start();
    SetTimer(nullptr, 0, limitMs, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      if (msg.message == WM_TIMER && msg.hwnd == nullptr) break;
      DispatchMessageA(&msg);
    }
    out.elapsedMs = GetTickCount() - begin;
  });
  ui.join();
  out.events = recorder.events;
  return out;
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// A Unix path as this Wine process sees it.
std::string WinePath(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string ServerRoot() { return WinePath(Env("UPDATE_SERVER_ROOT")) + "\\"; }

// Requests of the server's log for one path: their statuses in order.
std::vector<int> LoggedStatuses(const std::string& path) {
  std::vector<int> statuses;
  std::istringstream log(ReadBytes(WinePath(Env("UPDATE_SERVER_LOG"))));
  std::string method, loggedPath;
  int status = 0;
  long long bytes = 0;
  while (log >> method >> loggedPath >> status >> bytes) {
    if (loggedPath == path) statuses.push_back(status);
  }
  return statuses;
}

std::string Url(const std::string& path) { return g_updateServerUrl + path; }

std::string RandomBytes(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 16);
  }
  return bytes;
}

// Every delegate call on the user-interface thread, the completion last and once.
void ExpectOrderlyEvents(const Outcome& out) {
  ASSERT_FALSE(out.events.empty());
  EXPECT_EQ(out.events.back().kind, 'C');
  size_t completions = 0;
  for (const Event& e : out.events) {
    EXPECT_EQ(e.thread, out.uiThread) << e.kind;
    completions += e.kind == 'C';
  }
  EXPECT_EQ(completions, 1u);
}

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Env("UPDATE_SERVER_ROOT").empty()) GTEST_SKIP() << "run through tools/update_server.py";
    SetLogFolderForTesting(logDir.path());
  }
  void TearDown() override { SetLogFolderForTesting(""); }
  std::string SetupLog() const { return ReadBytes(logDir / "DesktopApp_setup_log.txt"); }

  TempDir logDir;
};

class NoServerTest : public ::testing::Test {
 protected:
  void SetUp() override { SetLogFolderForTesting(logDir.path()); }
  void TearDown() override {
    SetLogFolderForTesting("");
    SetRequestThreadStarterForTesting(nullptr);
    SetCredentialPromptForTesting(nullptr);
  }
  std::string SetupLog() const { return ReadBytes(logDir / "DesktopApp_setup_log.txt"); }

  TempDir logDir;
};

}  // namespace

TEST(UrlSplitting, Table) {
  struct Row {
    const char* url;
    bool raw;
    int error;
    bool secure;
    const char* host;
    const char* path;
  } rows[] = {
      {"HTTPS://Host.Example/Dir/File.TXT", false, 0, true, "host.example", "/dir/file.txt"},
      {"HTTPS://Host.Example/Dir/File.TXT", true, 0, false, "Host.Example", "/Dir/File.TXT"},
      {"http://host.example", false, 0, false, "host.example", "/"},
      {"https://host.example", false, 0, true, "host.example", "/"},
      {"http://host.example:8080/a/b?c=1", false, 0, false, "host.example:8080", "/a/b?c=1"},
      {"ftp://host/x", false, 0, false, "host", "/x"},
      {"x://", false, 0, false, "", "/"},
      {"no colon at all", false, ERROR_BAD_ARGUMENTS, false, "", ""},
      {"", false, ERROR_BAD_ARGUMENTS, false, "", ""},
      {"http:", false, ERROR_BAD_ARGUMENTS, false, "", ""},
      {"http:/", false, ERROR_BAD_ARGUMENTS, false, "", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.url) + (r.raw ? " raw" : ""));
    WininetWrapper request(r.url, r.raw);
    EXPECT_EQ(request.error, r.error);
    EXPECT_EQ(request.secure, r.secure);
    EXPECT_EQ(request.host, r.host);
    EXPECT_EQ(request.path, r.path);
    EXPECT_EQ(request.window != nullptr, r.error == 0);
    EXPECT_EQ(request.status, -1);
    EXPECT_EQ(request.method, 0);
    DestroyWindow(request.window);  // on the stack here, unlike in the setup
  }
}

TEST_F(NoServerTest, RejectedUrlNeverReports) {
  Outcome out = Download("no colon", false, nullptr, 1500);
  EXPECT_EQ(out.request->error, ERROR_BAD_ARGUMENTS);
  EXPECT_TRUE(out.events.empty());
  out.request->SetProxyCredentials("user", "password");
  EXPECT_EQ(out.request->proxyUser, "");
}

TEST_F(NoServerTest, ThreadThatCannotBeCreatedCompletesWithMinusOne) {
  SetRequestThreadStarterForTesting([](WininetWrapper*) -> bool {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  });
  Outcome out = Download(Url("/update/setup_zan2025.txt"), false, [](WininetWrapper& r) {
    r.response = "stale";
  });
  ASSERT_EQ(out.Kinds(), "C");
  ExpectOrderlyEvents(out);
  EXPECT_EQ(out.request->status, -1);
  EXPECT_EQ(out.request->response, "");
  EXPECT_NE(SetupLog().find("[**  ERR] Request thread could not be created"), std::string::npos);
}

// What the credential box was given, and what it answers, for the next call.
struct PromptCall {
  std::wstring target, message, caption;
  DWORD flags = 0, cbSize = 0;
  ULONG userSize = 0, passwordSize = 0;
  std::wstring giveUser, givePassword;
  DWORD giveResult = 0;
};
PromptCall g_promptCall;

DWORD WINAPI FakePrompt(PCREDUI_INFOW info, PCWSTR target, PCtxtHandle, DWORD, PWSTR user,
                        ULONG userSize, PWSTR password, ULONG passwordSize, BOOL*, DWORD flags) {
  PromptCall& c = g_promptCall;
  c.target = target;
  c.message = info->pszMessageText;
  c.caption = info->pszCaptionText;
  c.flags = flags;
  c.cbSize = info->cbSize;
  c.userSize = userSize;
  c.passwordSize = passwordSize;
  wcsncpy(user, c.giveUser.c_str(), userSize - 1);
  wcsncpy(password, c.givePassword.c_str(), passwordSize - 1);
  return c.giveResult;
}

TEST_F(NoServerTest, CredentialPromptConvertsAndCuts) {
  SetCredentialPromptForTesting(FakePrompt);
  struct Row {
    std::wstring user, password;
    DWORD result;
    std::string expectUser, expectPassword;
  } rows[] = {
      {L"mario", L"pass word", 0, "mario", "pass word"},
      {std::wstring(300, L'u'), std::wstring(256, L'p'), 0, std::string(255, 'u'),
       std::string(255, 'p')},
      {L"ignored", L"ignored", ERROR_CANCELLED, "keep", "keep"},
      {L"ignored", L"ignored", ERROR_INVALID_PARAMETER, "keep", "keep"},
  };
  for (const Row& r : rows) {
    g_promptCall.giveUser = r.user;
    g_promptCall.givePassword = r.password;
    g_promptCall.giveResult = r.result;
    char user[256], password[256];
    std::memset(user, 'x', sizeof user);
    std::memset(password, 'x', sizeof password);
    std::strcpy(user, "keep");
    std::strcpy(password, "keep");
    EXPECT_EQ(PromptProxyCredentials(user, password), r.result);
    EXPECT_EQ(std::string(user), r.expectUser);
    EXPECT_EQ(std::string(password), r.expectPassword);
  }
  const PromptCall& seen = g_promptCall;
  EXPECT_EQ(seen.target, std::wstring(g_updateHost.begin(), g_updateHost.end()));
  EXPECT_EQ(seen.message, L"Inserisci le credenziali proxy");
  EXPECT_EQ(seen.caption, L"Accesso alla rete");
  EXPECT_EQ(seen.flags, 0x4008Au);
  EXPECT_EQ(seen.userSize, 514u);
  EXPECT_EQ(seen.passwordSize, 257u);
  EXPECT_EQ(seen.cbSize, 20u);
}

TEST_F(ServerTest, WholeBodyWithAndWithoutContentLength) {
  const std::string content = RandomBytes(300000, 7);
  ASSERT_TRUE(WriteBytes(ServerRoot() + "hello\\Data.BIN", content));
  ASSERT_TRUE(WriteBytes(ServerRoot() + "hello\\nolength.bin", content));

  // Upper-case letters in the URL: the client lower-cases it, the server
  // finds the file whatever its case.
  Outcome out = Download(Url("/Hello/DATA.bin"));
  ExpectOrderlyEvents(out);
  ASSERT_EQ(out.request->status, 200);
  EXPECT_TRUE(out.request->response == content);
  EXPECT_EQ(out.request->contentLength, content.size());
  ASSERT_EQ(out.events.front().kind, 'S');
  EXPECT_EQ(out.events.front().value, content.size());
  DWORD last = 0;
  for (const Event& e : out.events) {
    if (e.kind != 'P') continue;
    EXPECT_GT(e.value, last);
    last = e.value;
  }
  EXPECT_GT(last, 0u) << "300,000 bytes are more than 11 chunks";
  EXPECT_EQ(out.request->received, last);
  EXPECT_EQ(LoggedStatuses("/hello/data.bin"), std::vector<int>{200});

  out = Download(Url("/hello/nolength.bin"));
  ExpectOrderlyEvents(out);
  EXPECT_EQ(out.request->status, 200);
  EXPECT_TRUE(out.request->response == content);
  EXPECT_EQ(out.request->contentLength, 0u);
  EXPECT_EQ(out.events.front().kind, 'S');
  EXPECT_EQ(out.events.front().value, 0u);

  std::string log = SetupLog();
  EXPECT_NE(log.find("[  INFO] Request Output1 HTTP/1.1 200"), std::string::npos) << log;
  EXPECT_NE(log.find("[  INFO] Request Output2 200"), std::string::npos) << log;
}

TEST_F(ServerTest, ErrorStatusesGiveTheirDigits) {
  ASSERT_TRUE(WriteBytes(ServerRoot() + "errors\\present.txt", "not served"));
  struct Row {
    const char* path;
    int status;
  } rows[] = {{"/errors/404.txt", 404}, {"/errors/500.txt", 500}, {"/errors/missing.txt", 404}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.path);
    Outcome out = Download(Url(r.path));
    ExpectOrderlyEvents(out);
    EXPECT_EQ(out.Kinds(), "C");
    EXPECT_EQ(out.request->status, r.status);
    EXPECT_EQ(out.request->response, std::to_string(r.status));
    EXPECT_EQ(out.request->contentLength, 0u);
    EXPECT_NE(SetupLog().find("[**  ERR] Request Output error code " + std::to_string(r.status)),
              std::string::npos);
  }
}

TEST_F(ServerTest, ShortBodyKeepsWhatArrived) {
  const std::string content = RandomBytes(100000, 11);
  ASSERT_TRUE(WriteBytes(ServerRoot() + "hello\\short.bin", content));
  Outcome out = Download(Url("/hello/short.bin"));
  ExpectOrderlyEvents(out);
  EXPECT_EQ(out.request->status, 200);
  EXPECT_EQ(out.request->contentLength, 100000u);
  EXPECT_EQ(out.request->response.size(), 30000u);
  EXPECT_TRUE(out.request->response == content.substr(0, 30000));
}

TEST_F(ServerTest, ProgressAfterEveryEleventhChunk) {
  // A read fills the client's 16,383-byte buffer unless the body ends first;
  // the server also sends such pieces apart.
  const DWORD chunk = 16383;
  struct Row {
    const char* path;
    size_t size;
    std::vector<DWORD> progress;
  } rows[] = {
      {"/progress/ten.bin", 10 * chunk, {}},
      {"/progress/eleven.bin", 11 * chunk, {11 * chunk}},
      {"/progress/many.bin", 33 * chunk + 5, {11 * chunk, 22 * chunk, 33 * chunk}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.path);
    std::string file = r.path + 1;
    file.replace(file.find('/'), 1, "\\");
    const std::string content = RandomBytes(r.size, 3);
    ASSERT_TRUE(WriteBytes(ServerRoot() + file, content));
    Outcome out = Download(Url(r.path));
    ExpectOrderlyEvents(out);
    EXPECT_TRUE(out.request->response == content);
    std::vector<DWORD> progress;
    for (const Event& e : out.events) {
      if (e.kind == 'P') progress.push_back(e.value);
    }
    EXPECT_EQ(progress, r.progress);
  }
}

TEST_F(ServerTest, ProxyAuthenticationThenCredentials) {
  const std::string content = "2025.79.0.0\r\n";
  ASSERT_TRUE(WriteBytes(ServerRoot() + "auth\\file.txt", content));

  Outcome out = Download(Url("/auth/file.txt"));
  ExpectOrderlyEvents(out);
  EXPECT_EQ(out.request->status, 407);
  EXPECT_EQ(out.request->response, "407");

  out = Download(Url("/auth/file.txt"), false, [](WininetWrapper& r) {
    r.SetProxyCredentials("zanuser", "sbagliata");
  });
  EXPECT_EQ(out.request->status, 407);

  out = Download(Url("/auth/file.txt"), false, [](WininetWrapper& r) {
    r.SetProxyCredentials("zanuser", "segreto");
  });
  ExpectOrderlyEvents(out);
  EXPECT_EQ(out.request->status, 200);
  EXPECT_EQ(out.request->response, content);
  std::vector<int> statuses = LoggedStatuses("/auth/file.txt");
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.front(), 407);
  EXPECT_EQ(statuses.back(), 200);
}

// A dropped connection and a stall both end without a response. Only a
// connection reset reported as such is sent again; what Wine reports for these
// two (an aborted connection) is not, so the server sees one attempt.
TEST_F(ServerTest, DroppedConnectionGivesNoResponse) {
  Outcome out = Download(Url("/slow/reset.txt"));
  ExpectOrderlyEvents(out);
  EXPECT_EQ(out.Kinds(), "C");
  EXPECT_EQ(out.request->status, 0);
  EXPECT_EQ(out.request->response, "");
  EXPECT_EQ(LoggedStatuses("/slow/reset.txt").size(), 1u);
  EXPECT_NE(SetupLog().find("[**  ERR] Request Output error code \r\n"), std::string::npos);
}

TEST_F(ServerTest, SlowStalledServerTimesOut) {
  Outcome out = Download(Url("/slow/stall.txt"));
  ExpectOrderlyEvents(out);
  EXPECT_EQ(out.Kinds(), "C");
  EXPECT_EQ(out.request->status, 0);
  EXPECT_EQ(out.request->response, "");
  EXPECT_GE(out.elapsedMs, 9000u);
  EXPECT_LT(out.elapsedMs, 24000u) << "the 10 s time-out ends it before the server does";
  EXPECT_EQ(LoggedStatuses("/slow/stall.txt").size(), 1u);
}

TEST_F(ServerTest, SlowEndlessBodyFailsWithoutEndingTheProcess) {
  Outcome out = Download(Url("/huge/endless.bin"));
  ExpectOrderlyEvents(out);
  EXPECT_EQ(out.request->status, 0);
  EXPECT_EQ(out.request->response, "");
  EXPECT_EQ(out.request->response.capacity() < 1024u, true);
  EXPECT_NE(SetupLog().find("[**  ERR] Request FAILED!"), std::string::npos);
}
