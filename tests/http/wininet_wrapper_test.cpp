// The HTTP client against the local update server (tools/update_server.py),
// reached through Wine's http_proxy setting; each download runs on a thread
// of its own that pumps messages, as the wizard's user-interface thread does.
// The paths' misbehaviour is configured in tests/cmake/http.cmake.
#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
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
using testing_support::WriteBytes;

namespace {

// Set once a request of Download has completed (made anew for each test).
HANDLE g_completed = nullptr;

// What the delegate saw: "S"tarted, "P"rogress, "C"omplete in order, the
// started and progress values, and calls off the user-interface thread.
struct Outcome final : WininetWrapperDelegate {
  WininetWrapper* request = nullptr;  // never freed, as in the setup
  std::string kinds;
  DWORD startedLength = 0, uiThread = 0, elapsedMs = 0;
  std::vector<DWORD> progress;
  int offThread = 0;
  void Saw(char kind) {
    kinds += kind;
    offThread += GetCurrentThreadId() != uiThread;
  }
  void OnDownloadStarted(WininetWrapper*, DWORD n) override { Saw('S'); startedLength = n; }
  void OnDownloadProgress(WininetWrapper*, DWORD n) override { Saw('P'); progress.push_back(n); }
  void OnDownloadComplete(WininetWrapper*) override {
    Saw('C');
    SetEvent(g_completed);
    PostQuitMessage(0);
  }
};

// Creates, starts and waits for one request on a fresh "user-interface"
// thread that pumps messages until the completion (or `limitMs`); checks
// that every call came on that thread and the completion last and once.
Outcome Download(const std::string& url,
                 const std::function<void(WininetWrapper&)>& prepare = nullptr,
                 DWORD limitMs = 120000) {
  Outcome out;
  std::thread ui([&] {
    out.uiThread = GetCurrentThreadId();
    const DWORD begin = GetTickCount();
    out.request = new WininetWrapper(url, false);
    if (prepare) prepare(*out.request);
    out.request->delegate = &out;
    out.request->Start();
    SetTimer(nullptr, 0, limitMs, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0 && !(msg.message == WM_TIMER && !msg.hwnd))
      DispatchMessageA(&msg);
    out.elapsedMs = GetTickCount() - begin;
  });
  ui.join();
  EXPECT_EQ(out.offThread, 0);
  EXPECT_EQ(out.kinds.find('C'), out.kinds.size() - 1) << out.kinds;
  return out;
}

// A path the server was started with, as this Wine process sees it.
std::string ServerFile(const char* variable) {
  std::string path = std::string("Z:") + std::getenv(variable);
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

// Puts a file where the server serves it ("dir/name").
bool Serve(const std::string& relative, const std::string& content) {
  return WriteBytes(ServerFile("UPDATE_SERVER_ROOT") + "\\" + relative, content);
}

// The statuses the server logged for one path, in order.
std::vector<int> LoggedStatuses(const std::string& path) {
  std::vector<int> statuses;
  std::istringstream log(ReadBytes(ServerFile("UPDATE_SERVER_LOG")));
  std::string method, logged;
  int status = 0;
  long long bytes = 0;
  while (log >> method >> logged >> status >> bytes)
    if (logged == path) statuses.push_back(status);
  return statuses;
}

std::string Url(const std::string& path) { return g_updateServerUrl + path; }

std::string RandomBytes(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
  return bytes;
}

// The send call, failing with the given errors before the real one runs;
// records each attempt's certificate flags.
struct SendScript {
  std::vector<DWORD> failures;
  std::vector<DWORD> flags;  // the two ignore flags, per attempt
} g_send;

BOOL WINAPI ScriptedSend(void* request, const char* headers, DWORD headersLength, void* body,
                         DWORD bodyLength) {
  DWORD flags = 0, size = sizeof flags;
  InternetQueryOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &size);
  g_send.flags.push_back(flags & (SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_REVOCATION));
  if (g_send.flags.size() <= g_send.failures.size()) {
    SetLastError(g_send.failures[g_send.flags.size() - 1]);
    return FALSE;
  }
  return HttpSendRequestA(request, headers, headersLength, body, bodyLength);
}

// Every failed send reads as a reset, which is sent again; attempts counted.
std::atomic<int> g_sendAttempts{0};
BOOL WINAPI SendFailingAsReset(void* request, const char* headers, DWORD headersLength, void* body,
                               DWORD bodyLength) {
  ++g_sendAttempts;
  if (HttpSendRequestA(request, headers, headersLength, body, bodyLength)) return TRUE;
  SetLastError(ERROR_INTERNET_CONNECTION_RESET);
  return FALSE;
}

// A query of what has arrived that outlasts the request's give-up, as a call
// pending under Wine does (closing its handle does not end it): it answers
// only once the request has completed. Reads made after that are counted.
std::atomic<int> g_readsAfterCompletion{0};
BOOL WINAPI QueryOutlastingTheGiveUp(void* request, DWORD* available, DWORD flags,
                                     DWORD_PTR context) {
  const BOOL answered = InternetQueryDataAvailable(request, available, flags, context);
  WaitForSingleObject(g_completed, 30000);
  return answered;
}
BOOL WINAPI CountedRead(void* request, void* buffer, DWORD size, DWORD* read) {
  if (WaitForSingleObject(g_completed, 0) == WAIT_OBJECT_0) ++g_readsAfterCompletion;
  return InternetReadFile(request, buffer, size, read);
}
// A close as long as Wine's can be when it first reads the rest of an answer
// that keeps coming.
BOOL WINAPI LongClose(void* handle) {
  Sleep(30000);
  return InternetCloseHandle(handle);
}

// Each close's handle type and thread, in order; the first close (a
// redirect's answer) lasts until the request has completed, as a close that
// reads the rest of a long answer can.
struct Closed {
  DWORD type, thread;
  bool operator==(const Closed& o) const { return type == o.type && thread == o.thread; }
};
std::ostream& operator<<(std::ostream& out, const Closed& c) {
  return out << "type " << c.type << " on thread " << c.thread;
}
std::mutex g_closedLock;
std::vector<Closed> g_closed;
// Records the close; true for the first one recorded.
bool RecordClose(void* handle) {
  DWORD type = 0, size = sizeof type;
  InternetQueryOptionA(handle, INTERNET_OPTION_HANDLE_TYPE, &type, &size);
  std::lock_guard<std::mutex> hold(g_closedLock);
  g_closed.push_back({type, GetCurrentThreadId()});
  return g_closed.size() == 1;
}
BOOL WINAPI CloseOutlastingTheGiveUp(void* handle) {
  if (RecordClose(handle)) WaitForSingleObject(g_completed, 30000);
  return InternetCloseHandle(handle);
}
BOOL WINAPI RecordedClose(void* handle) {
  RecordClose(handle);
  return InternetCloseHandle(handle);
}
std::vector<Closed> ClosesSoFar() {
  std::lock_guard<std::mutex> hold(g_closedLock);
  return g_closed;
}

// A close that waits until the test lets it go, then counts itself.
HANDLE g_closeMayGo = nullptr;
std::atomic<int> g_heldCloses{0};
BOOL WINAPI HeldClose(void* handle) {
  WaitForSingleObject(g_closeMayGo, 30000);
  ++g_heldCloses;
  return InternetCloseHandle(handle);
}

// As std::thread fails when the process is out of threads.
bool NoCloseThread(std::function<void()>) {
  throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

// The request thread, kept so that a test can wait for its end.
std::thread g_requestThread;
bool StartJoinableThread(WininetWrapper* request) {
  g_requestThread = std::thread(&WininetWrapper::Request, request);
  return true;
}

// What the log holds after the give-up's line of a 1000 ms time limit; the
// whole log, marked, when it holds no such line.
std::string LoggedAfterTheGiveUp(const std::string& log) {
  const std::string line = "[**  ERR] Request time limit reached -> 1000 ms\r\n";
  const size_t at = log.find(line);
  return at == std::string::npos ? "(no give-up line) " + log : log.substr(at + line.size());
}

class HttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_completed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(g_completed, nullptr);
  }
  void TearDown() override {
    SetHttpSendForTesting(nullptr);
    SetWaitingCallsForTesting(nullptr);
    SetRequestThreadStarterForTesting(nullptr);
    SetCloseThreadStarterForTesting(nullptr);
    CloseHandle(g_completed);
    SetCredentialPromptForTesting(nullptr);
  }
  void NeedServer() {
    if (!std::getenv("UPDATE_SERVER_ROOT")) GTEST_SKIP() << "run through tools/update_server.py";
  }
  testing_support::LogCapture log_;
};

}  // namespace

// Only control characters keep a URL from being sent; a blank in a file name
// goes as "%20".
TEST(UrlText, ControlCharactersRefusedBlanksEscaped) {
  const struct {
    const char* text;
    bool sendable;
    const char* sent;
  } rows[] = {
      {"/update/DesktopApp 2025.7z", true, "/update/DesktopApp%202025.7z"},
      {"/a%20b/\xE8.7z", true, "/a%20b/\xE8.7z"},
      {"/a.txt\r\nx-injected: 1", false, ""},
      {"/a\tb.txt", false, ""},
      {"/a\x7F.txt", false, ""},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(IsSendableUrlText(r.text), r.sendable) << r.text;
    if (r.sendable) {
      EXPECT_EQ(EscapeBlanks(r.text), r.sent);
    }
  }
}

// Lower-cased, secure by its scheme; without a scheme an error and no window.
// (A raw package URL keeps its case, end to end.)
TEST(UrlSplitting, Table) {
  const struct {
    const char* url; int error; bool secure; const char* host; const char* path;
  } rows[] = {
      {"HTTPS://Host.Example/Dir/File.TXT", 0, true, "host.example", "/dir/file.txt"},
      {"no colon at all", ERROR_BAD_ARGUMENTS, false, "", ""},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.url);
    WininetWrapper request(r.url, false);
    EXPECT_EQ(request.error, r.error);
    EXPECT_EQ(request.secure, r.secure);
    EXPECT_EQ(request.host + " " + request.path, std::string(r.host) + " " + r.path);
    EXPECT_EQ(request.window != nullptr, r.error == 0);
    DestroyWindow(request.window);  // on the stack here, unlike in the setup
  }
}

TEST_F(HttpTest, ThreadThatCannotBeCreatedCompletesWithMinusOne) {
  SetRequestThreadStarterForTesting([](WininetWrapper*) -> bool {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  });
  Outcome out =
      Download(Url("/update/setup_zan2025.txt"), [](WininetWrapper& r) { r.response = "stale"; });
  EXPECT_EQ(out.kinds, "C");
  EXPECT_EQ(out.request->status, -1);
  EXPECT_EQ(out.request->response, "");
  EXPECT_TRUE(log_.Has("[**  ERR] Request thread could not be created"));
}

// The wide box's answer, longer than the request keeps.
DWORD WINAPI LongAnswer(PCREDUI_INFOW, PCWSTR, PCtxtHandle, DWORD, PWSTR user, ULONG userSize,
                        PWSTR password, ULONG passwordSize, BOOL*, DWORD) {
  wcsncpy(user, std::wstring(300, L'u').c_str(), userSize - 1);
  wcsncpy(password, std::wstring(256, L'p').c_str(), passwordSize - 1);
  return NO_ERROR;
}

// Converted and cut to 255 bytes. (The box itself, its target and a cancel
// are the end-to-end proxy stories'.)
TEST_F(HttpTest, CredentialAnswerIsCut) {
  SetCredentialPromptForTesting(LongAnswer);
  char user[256], password[256];
  EXPECT_EQ(PromptProxyCredentials(user, password), DWORD(NO_ERROR));
  EXPECT_EQ(std::string(user), std::string(255, 'u'));
  EXPECT_EQ(std::string(password), std::string(255, 'p'));
}

TEST(ProxyUserNameTest, OnlyTheTargetPrefixIsDropped) {
  const std::string host = "aggiornamenti.zan.example";
  const struct {
    std::string returned, target, sent;
  } rows[] = {
      {host + "\\hcuser", host, "hcuser"},
      {"Aggiornamenti.ZAN.example\\mario", host, "mario"},
      {"UFFICIO\\mario", host, "UFFICIO\\mario"},
      {host + ".it\\mario", host, host + ".it\\mario"},
      {"\\mario", "", "\\mario"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(ProxyUserName(r.returned, r.target), r.sent) << r.returned << " / " << r.target;
}

// A reset is sent again, up to six attempts; an unknown authority and a failed
// revocation check are accepted from the next attempt on; anything else ends.
TEST_F(HttpTest, SendRetries) {
  NeedServer();
  ASSERT_TRUE(Serve("send\\ok.txt", "ok"));
  const DWORD reset = ERROR_INTERNET_CONNECTION_RESET, ca = ERROR_INTERNET_INVALID_CA,
              revoked = ERROR_INTERNET_SEC_CERT_REV_FAILED;
  const DWORD caFlag = SECURITY_FLAG_IGNORE_UNKNOWN_CA, revFlag = SECURITY_FLAG_IGNORE_REVOCATION;
  const struct {
    std::vector<DWORD> failures;
    int status;
    std::vector<DWORD> flags;
  } rows[] = {
      {{reset, reset, reset, reset, reset, reset}, 0, {0, 0, 0, 0, 0, 0}},
      {{reset}, 200, {0, 0}},
      {{ca, revoked}, 200, {0, caFlag, caFlag | revFlag}},
      {{ERROR_INTERNET_TIMEOUT}, 0, {0}},
  };
  SetHttpSendForTesting(ScriptedSend);
  for (const auto& r : rows) {
    SCOPED_TRACE(r.failures.size());
    g_send = SendScript{r.failures, {}};
    Outcome out = Download(Url("/send/ok.txt"));
    EXPECT_EQ(out.request->status, r.status);
    EXPECT_EQ(g_send.flags, r.flags);
  }
}

// A stall and an endless body end without a response. Only a connection
// reset reported as such is sent again; what Wine reports for a stall (an
// aborted connection) is not, so the server sees one attempt.
TEST_F(HttpTest, SlowFailuresGiveNoResponse) {
  NeedServer();
  const char* const kNoResponse = "[**  ERR] Request Output error code \r\n";
  const struct { const char* path; DWORD minMs, maxMs; const char* line; } rows[] = {
      {"/slow/stall.txt", 9000, 24000, kNoResponse},  // the 10 s time-out, before the server's 25 s
      // Given up at 512 MB, in seconds, before memory runs out.
      {"/huge/endless.bin", 0, 60000, "[**  ERR] Request FAILED! body longer than 536870912 bytes"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.path);
    Outcome out = Download(Url(r.path));
    EXPECT_EQ(out.request->status, 0);
    EXPECT_EQ(out.request->response, "");
    EXPECT_GE(out.elapsedMs, r.minMs);
    EXPECT_LT(out.elapsedMs, r.maxMs);
    EXPECT_TRUE(log_.Has(r.line)) << log_.Text();
    // The server logs the endless body only once it notices the client gone.
    if (r.line == kNoResponse) {
      EXPECT_EQ(LoggedStatuses(r.path).size(), 1u);
    }
  }
}

// Whole bodies with and without a length (the client lower-cases the URL, the
// server finds the file whatever its case), redirects followed up to the
// limit, a body kept up to the creator's bound; a URL that is not sendable
// reaches no server. (A redirect loop, the time limit and an announced length
// over the bound are the end-to-end update stories'.)
TEST_F(HttpTest, Bodies) {
  NeedServer();
  const std::string content = RandomBytes(300000, 7), fits(65536, 'f'), over(65537, 'o');
  for (const auto& file : std::vector<std::pair<std::string, std::string>>{
           {"hello\\Data.BIN", content}, {"hello\\nolength.bin", content},
           {"redirect\\ten.txt", "ten"}, {"bound\\fits.bin", fits}, {"bound\\nolength.bin", over}})
    ASSERT_TRUE(Serve(file.first, file.second));
  const struct {
    std::string path;
    DWORD maxBody;
    int status;
    std::string body;
    DWORD length;  // announced
    bool tooLong;
    size_t served;  // requests the server logged for the path
    std::string line;
  } rows[] = {
      {"/Hello/DATA.bin", 0, 200, content, 300000, false, 1, "[  INFO] Request Output1 HTTP/1.1 200"},
      {"/hello/nolength.bin", 0, 200, content, 0, false, 1, "[  INFO] Request Output2 200"},
      {"/redirect/ten.txt", 0, 200, "ten", 3, false, 11, "[* WARN] Request redirected -> "},
      {"/bound/fits.bin", 65536, 200, fits, 65536, false, 1, "[  INFO] Request Output2 200"},
      {"/bound/nolength.bin", 65536, 200, "", 0, true, 1,
       "[* WARN] Request body not kept, longer than 65536 bytes"},
      {"/refused/a.txt\r\nx-injected: 1", 0, -1, "", 0, false, 0,
       "[**  ERR] Request refused, the URL holds control characters -> "},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.path);
    log_.Clear();
    Outcome out = Download(Url(r.path), [&](WininetWrapper& w) { w.maxBody = r.maxBody; }, 60000);
    EXPECT_EQ(out.request->status, r.status);
    EXPECT_TRUE(out.request->response == r.body) << out.request->response.size();
    EXPECT_EQ(out.request->contentLength, r.length);
    EXPECT_EQ(out.request->bodyTooLong, r.tooLong);
    std::string logged = r.path.substr(0, r.path.find('\r'));
    for (char& c : logged) c = static_cast<char>(tolower(c));
    EXPECT_EQ(LoggedStatuses(logged).size(), r.served);
    EXPECT_TRUE(log_.Has(r.line)) << log_.Text();
    if (r.status == 200) {
      EXPECT_EQ(out.kinds[0], 'S');
      EXPECT_EQ(out.startedLength, r.length);
    }
  }
}

// A request given up while its send waits on a stalled server ends with
// nothing more: no log line after the give-up's and no further send attempt,
// whenever its pending call ends (closing its handles ends the call under
// Windows; under Wine the call runs on to its receive time-out).
TEST_F(HttpTest, GivenUpRequestEndsSilently) {
  NeedServer();
  SetHttpSendForTesting(SendFailingAsReset);
  SetRequestThreadStarterForTesting(StartJoinableThread);
  g_sendAttempts = 0;
  Outcome out =
      Download(Url("/slow/given_up.txt"), [](WininetWrapper& w) { w.timeLimitMs = 1000; });
  EXPECT_EQ(out.request->status, 0);
  g_requestThread.join();
  EXPECT_EQ(LoggedAfterTheGiveUp(log_.Text()), "");
  EXPECT_EQ(g_sendAttempts, 1);
}

// A slow but steady body outlasts its speed window many times over: its bytes
// count as they arrive, not a whole chunk at a time.
TEST_F(HttpTest, SlowSteadyBodyOutlastsItsSpeedWindow) {
  NeedServer();
  const std::string content = RandomBytes(24000, 3);
  ASSERT_TRUE(Serve("slow\\steady.bin", content));
  Outcome out =
      Download(Url("/slow/steady.bin"), [](WininetWrapper& w) { w.lowSpeedWindowMs = 1000; });
  EXPECT_EQ(out.request->status, 200);
  EXPECT_TRUE(out.request->response == content) << out.request->response.size();
  EXPECT_GT(out.elapsedMs, 2000u);
}

// Answers announced at 100 GB that keep coming as fast as they are taken
// (for 60 s): closing such a request first reads what keeps arriving, so
// nothing may wait for the close. Neither the result of a body not read nor
// the give-up of a request closing a redirect does.
TEST_F(HttpTest, ALongAnswerIsNotWaitedFor) {
  NeedServer();
  const struct {
    const char* path;
    DWORD maxBody, timeLimitMs;
    int status;
    const char* line;
  } rows[] = {
      {"/huge/info.bin", 65536, 0, 200,
       "[* WARN] Request body not read, announced longer than 65536 bytes -> 2147483647"},
      {"/huge/moved.txt", 0, 2000, 0, "[**  ERR] Request time limit reached -> 2000 ms"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.path);
    log_.Clear();
    Outcome out = Download(Url(r.path), [&](WininetWrapper& w) {
      w.maxBody = r.maxBody;
      w.timeLimitMs = r.timeLimitMs;
    }, 90000);
    EXPECT_EQ(out.request->status, r.status);
    EXPECT_LT(out.elapsedMs, 20000u);
    EXPECT_TRUE(log_.Has(r.line)) << log_.Text();
  }
  EXPECT_TRUE(log_.Has("[* WARN] Request redirected -> ")) << log_.Text();
}

// A request given up while its thread waits in a query of what has arrived:
// once the query answers, the thread reads nothing (the handle may be another
// request's by then) and logs nothing; the give-up's close, however long it
// takes, keeps neither the window nor the completion waiting.
TEST_F(HttpTest, GivenUpDuringAWaitReadsNoMore) {
  NeedServer();
  g_readsAfterCompletion = 0;
  ASSERT_TRUE(Serve("slow\\waited.bin", RandomBytes(100000, 5)));
  HttpWaitingCalls calls;
  calls.queryDataAvailable = QueryOutlastingTheGiveUp;
  calls.readFile = CountedRead;
  calls.closeHandle = LongClose;
  SetWaitingCallsForTesting(&calls);
  SetRequestThreadStarterForTesting(StartJoinableThread);
  Outcome out = Download(Url("/slow/waited.bin"), [](WininetWrapper& w) {
    w.timeLimitMs = 1000;
    w.lowSpeedWindowMs = 600000;
  }, 90000);
  EXPECT_EQ(out.request->status, 0);
  EXPECT_LT(out.elapsedMs, 20000u);
  g_requestThread.join();
  EXPECT_EQ(g_readsAfterCompletion, 0);
  EXPECT_EQ(LoggedAfterTheGiveUp(log_.Text()), "");
}

// A request given up while its thread closes a redirect's answer: that
// thread closes the Internet handle after the answer's own two, so no parent
// goes before its children and no handle is closed late, when its number
// may be a newer request's.
TEST_F(HttpTest, GivenUpWhileClosingARedirectItsParentClosesLast) {
  NeedServer();
  g_closed.clear();
  ASSERT_TRUE(Serve("redirect\\once.txt", "once"));
  HttpWaitingCalls calls;
  calls.closeHandle = CloseOutlastingTheGiveUp;
  SetWaitingCallsForTesting(&calls);
  SetRequestThreadStarterForTesting(StartJoinableThread);
  Outcome out =
      Download(Url("/redirect/once.txt"), [](WininetWrapper& w) { w.timeLimitMs = 1000; }, 90000);
  EXPECT_EQ(out.request->status, 0);
  g_requestThread.join();
  std::lock_guard<std::mutex> hold(g_closedLock);
  ASSERT_FALSE(g_closed.empty());
  const DWORD thread = g_closed[0].thread;
  EXPECT_NE(thread, out.uiThread);
  EXPECT_EQ(g_closed, (std::vector<Closed>{{INTERNET_HANDLE_TYPE_HTTP_REQUEST, thread},
                                           {INTERNET_HANDLE_TYPE_CONNECT_HTTP, thread},
                                           {INTERNET_HANDLE_TYPE_INTERNET, thread}}));
}

// A give-up that can have no thread to close on leaves the handles open: a
// close may first read the rest of a long answer, and the window's thread
// waits for nothing. The request thread, finding them taken, closes none.
TEST_F(HttpTest, GivenUpWithoutAClosingThreadLeavesTheHandlesOpen) {
  NeedServer();
  g_closed.clear();
  HttpWaitingCalls calls;
  calls.closeHandle = RecordedClose;
  SetWaitingCallsForTesting(&calls);
  SetCloseThreadStarterForTesting(NoCloseThread);
  SetRequestThreadStarterForTesting(StartJoinableThread);
  Outcome out =
      Download(Url("/slow/no_closer.txt"), [](WininetWrapper& w) { w.timeLimitMs = 1000; });
  EXPECT_EQ(out.request->status, 0);
  g_requestThread.join();
  EXPECT_EQ(ClosesSoFar(), std::vector<Closed>{});
  EXPECT_EQ(LoggedAfterTheGiveUp(log_.Text()), "");
}

// A request keeps the calls it was made with: its thread, still closing,
// makes no call through those a later test put in their place.
TEST_F(HttpTest, ASwapReachesOnlyLaterRequests) {
  NeedServer();
  ASSERT_TRUE(Serve("swap\\first.txt", "first"));
  g_closed.clear();
  g_heldCloses = 0;
  g_closeMayGo = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(g_closeMayGo, nullptr);
  HttpWaitingCalls held;
  held.closeHandle = HeldClose;
  SetWaitingCallsForTesting(&held);
  SetRequestThreadStarterForTesting(StartJoinableThread);
  Outcome first = Download(Url("/swap/first.txt"));
  EXPECT_EQ(first.request->status, 200);
  // The first request's thread now waits in its first close.
  HttpWaitingCalls recorded;
  recorded.closeHandle = RecordedClose;
  SetWaitingCallsForTesting(&recorded);
  SetEvent(g_closeMayGo);
  g_requestThread.join();
  CloseHandle(g_closeMayGo);
  EXPECT_EQ(g_heldCloses, 3);
  EXPECT_EQ(ClosesSoFar(), std::vector<Closed>{});
}
