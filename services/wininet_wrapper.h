// One HTTP GET over WinINet on a request thread of its own, reported back as
// three window messages that a hidden message-only window of the creating
// (user-interface) thread turns into calls of a WininetWrapperDelegate.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class WininetWrapper;

// Posted by the request thread to the request's window; wParam is the request.
constexpr UINT WM_DOWNLOAD_STARTED = WM_USER + 2;   // lParam: announced content length
constexpr UINT WM_DOWNLOAD_PROGRESS = WM_USER + 3;  // lParam: bytes received so far
constexpr UINT WM_DOWNLOAD_COMPLETE = WM_USER + 4;  // lParam: 0

// Redirects a request follows itself, at most; the answer that would be the
// next redirect is the request's answer (a failed download).
constexpr int kMaxRedirects = 10;

// A request bounded by speed is given up when fewer bytes than this a second
// arrived, on average, over its window.
constexpr DWORD kLowSpeedBytesPerSecond = 1024;

// True when the text may go into a request: no control character (below 0x20,
// or 0x7F). A URL whose host or path fails is never sent.
bool IsSendableUrlText(const std::string& text);
// The path as the request line carries it: each blank as "%20".
std::string EscapeBlanks(const std::string& path);

// The calls of a request that tests may replace (see the seams at the end).
// The send call of every attempt (HttpSendRequestA by default).
using HttpSendFunction = BOOL(WINAPI*)(void* request, const char* headers, DWORD headersLength,
                                       void* body, DWORD bodyLength);
// The calls on a request's handles that may wait besides the send: the query
// of what has arrived (asked only for a request bounded by speed), the read,
// and the close (which may first read the rest of a long answer). A null
// member given to the seam keeps the real call.
struct HttpWaitingCalls {
  BOOL(WINAPI* queryDataAvailable)(void* request, DWORD* available, DWORD flags,
                                   DWORD_PTR context) = nullptr;
  BOOL(WINAPI* readFile)(void* request, void* buffer, DWORD size, DWORD* read) = nullptr;
  BOOL(WINAPI* closeHandle)(void* handle) = nullptr;
};

// Receives a request's notifications, always on the thread that created the
// request, and only while that thread pumps messages.
class WininetWrapperDelegate {
 public:
  virtual void OnDownloadStarted(WininetWrapper* request, DWORD contentLength) = 0;
  virtual void OnDownloadProgress(WininetWrapper* request, DWORD received) = 0;
  virtual void OnDownloadComplete(WininetWrapper* request) = 0;

 protected:
  ~WininetWrapperDelegate() = default;
};

// A request. Created with new and never freed: its window and detached thread
// live until the process ends. The creator sets `delegate` (and credentials)
// before Start and reads `status` and `response` after OnDownloadComplete.
class WininetWrapper {
 public:
  // Splits the URL (lower-cased as a whole unless `raw`) and creates the
  // window; an unusable URL sets `error` to ERROR_BAD_ARGUMENTS and nothing
  // will ever be reported for this request.
  WininetWrapper(const std::string& url, bool raw);

  // Proxy credentials sent on every send attempt; ignored after a bad URL.
  void SetProxyCredentials(const std::string& user, const std::string& password);
  // Starts the request thread. When no thread can be had, the request
  // completes at once with status -1 and an empty response.
  void Start();
  // The request thread's body; posts WM_DOWNLOAD_COMPLETE once at its end
  // (nothing after a bad URL), then closes its handles without touching the
  // request again. A host or path that is not sendable completes with status
  // -1 and nothing sent.
  void Request();
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  int method = 0;  // 0 sends GET, anything else POST
  bool secure = false;
  std::string host;
  std::string path;
  std::string proxyHost;  // empty: the system's proxy settings
  int proxyPort = 0;
  std::string proxyUser;
  std::string proxyPassword;
  std::string headers;
  std::string body;
  int status = -1;       // HTTP status; 0 when no response came, -1 when nothing was sent
  std::string response;  // the body for a 200, else the status code's digits
  DWORD contentLength = 0;
  DWORD received = 0;
  int error = 0;
  HWND window = nullptr;
  std::thread thread;
  WininetWrapperDelegate* delegate = nullptr;
  // Bounds the creator may set before Start. maxBody (0: none): a body
  // announced longer is not read, one without an announced length is read no
  // further; either sets bodyTooLong and keeps nothing of it (the status stays
  // the server's). timeLimitMs (0: none): the whole request (redirects, sends,
  // body) must end by then. lowSpeedWindowMs (0: none): over every such
  // window from the start on, at least kLowSpeedBytesPerSecond bytes a second
  // must arrive (status lines and body), so a slow but steady line finishes.
  // A request that misses its bound is given up: it completes at once with
  // status 0, its handles are closed, and its thread logs and sends nothing
  // more.
  DWORD maxBody = 0;
  DWORD timeLimitMs = 0;
  DWORD lowSpeedWindowMs = 0;
  bool bodyTooLong = false;

 private:
  struct Result;
  struct Sample {
    DWORD tick;
    uint32_t arrived;
  };
  void Init(const std::string& url);
  void Fetch(Result* result);
  bool Send();
  bool ReadBody(const std::string& statusText, Result* result);
  // The thread hands its result over, unless the creator gave up first, then
  // closes what is open.
  void Finish(Result* result);
  // Runs `use` (quick calls on the handles, log lines) under the lock, unless
  // the request was given up: false then, and `use` does not run.
  template <typename Use>
  bool Locked(Use use);
  // The request's handles taken out of it (under the lock), to be closed
  // outside the lock: a close may read the rest of a long answer first.
  struct Handles {
    void* request = nullptr;
    void* connection = nullptr;
    void* internet = nullptr;
  };
  // The request handle and the connection, with `all` the Internet handle too.
  Handles TakeHandles(bool all);
  static void CloseTaken(const Handles& handles, BOOL(WINAPI* close)(void* handle));
  // The request handle for a call that may block, taken under the lock; null
  // once given up. The call runs outside the lock: a give-up's close ends it.
  // Taken again after every such call, which may have outlasted a give-up.
  void* RequestHandle();
  // The line, unless the request was given up: false then.
  bool LogUnlessGivenUp(const std::string& line);
  // Where memory may have run out: a line that cannot be made is dropped.
  void LogSafely(const char* message, const char* detail = "");
  // The bound missed (user-interface thread).
  void GiveUp(const std::string& why);
  void CheckSpeed();
  bool Abandoned() const;

  // Guards the handles, the state's changes and the thread's log lines: a
  // give-up takes the handles between two of the thread's uses, and no line
  // of the request follows the give-up's own. The window's thread takes it,
  // so it is never held across a call that can wait (a send, a read, a close).
  std::mutex lock_;
  std::atomic<int> state_{0};
  void* internet_ = nullptr;  // the three WinINet handles
  void* connection_ = nullptr;
  void* request_ = nullptr;
  std::atomic<uint32_t> arrived_{0};  // bytes received, status lines and body
  std::deque<Sample> samples_;        // of arrived_, by the speed timer
  // The replaceable calls as they were when the request was made.
  HttpSendFunction send_;
  HttpWaitingCalls calls_;
};

// Test seam: replaces how Start obtains its thread (null restores the real
// one). The starter returns false, or throws, when no thread could be made.
using RequestThreadStarter = bool (*)(WininetWrapper* request);
void SetRequestThreadStarterForTesting(RequestThreadStarter starter);

// Test seam: replaces how a give-up obtains the thread that closes the
// request's handles (null restores the real one). The starter runs `close`
// on a new thread and returns true, or returns false or throws when no
// thread could be made.
using CloseThreadStarter = bool (*)(std::function<void()> close);
void SetCloseThreadStarterForTesting(CloseThreadStarter starter);

// Test seams: the send call (null restores it) and the waiting calls (a null
// member keeps the real call; a null pointer restores them all). Each request
// reads them once, when it is made: threads of earlier requests, still
// sending, reading or closing, keep the calls they were made with, so a test
// may swap them meanwhile.
void SetHttpSendForTesting(HttpSendFunction send);
void SetWaitingCallsForTesting(const HttpWaitingCalls* calls);
