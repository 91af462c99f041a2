#include "wininet_wrapper.h"

#include <wininet.h>
#include <urlmon.h>

#include <algorithm>
#include <exception>
#include <new>
#include <stdexcept>

#include "log.h"
#include "text_utils.h"

namespace {

const DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                            INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP |
                            INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS |
                            INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
                            INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_HYPERLINK |
                            INTERNET_FLAG_PRAGMA_NOCACHE;
static_assert(kRequestFlags == 0x8400F500, "request flags");
// WinINet follows a redirect to the same URL without end: redirects are
// followed here, counted.
const DWORD kOwnRedirects = INTERNET_FLAG_NO_AUTO_REDIRECT;
const UINT_PTR kTimeLimitTimer = 1;
const UINT_PTR kSpeedTimer = 2;
enum RequestState { kRunning, kFinished, kAbandoned };

const int kSendAttempts = 6;
const DWORD kTimeoutMs = 10000;
const DWORD kChunkSize = 16383;
// The largest plausible body: above this an announced length is not reserved
// up front (in a 32-bit process such a block would rarely be found), and a
// body without an announced length fails rather than eat the process's memory.
const DWORD kMaxBody = 512u * 1024 * 1024;

bool StartRealThread(WininetWrapper* request) {
  request->thread = std::thread(&WininetWrapper::Request, request);
  request->thread.detach();
  return true;
}

bool StartRealCloseThread(std::function<void()> close) {
  std::thread(std::move(close)).detach();
  return true;
}

RequestThreadStarter g_threadStarter = StartRealThread;
CloseThreadStarter g_closeThreadStarter = StartRealCloseThread;
HttpSendFunction g_send = HttpSendRequestA;
const HttpWaitingCalls kRealWaitingCalls = {InternetQueryDataAvailable, InternetReadFile,
                                             InternetCloseHandle};
HttpWaitingCalls g_calls = kRealWaitingCalls;

std::string QueryText(HINTERNET request, DWORD info, size_t size) {
  std::string buffer(size, '\0');
  DWORD length = static_cast<DWORD>(size);
  HttpQueryInfoA(request, info, &buffer[0], &length, nullptr);
  return std::string(buffer.c_str());
}

// Splits "scheme://host/path" (the two characters after the ":" skipped
// whatever they are): no ":", or fewer than two characters after it, fails;
// no "/" after the host gives the path "/".
bool SplitUrl(const std::string& url, bool* secure, std::string* host, std::string* path) {
  const size_t colon = url.find(':');
  if (url.empty() || colon == std::string::npos || url.size() - colon - 1 < 2) return false;
  *secure = url.compare(0, colon, "https") == 0;
  const std::string rest = url.substr(colon + 3);
  const size_t slash = rest.find('/');
  *host = slash == std::string::npos ? rest : rest.substr(0, slash);
  *path = slash == std::string::npos ? std::string("/") : rest.substr(slash);
  return true;
}

bool IsRedirect(const std::string& statusText) {
  return statusText == "301" || statusText == "302" || statusText == "303" ||
         statusText == "307" || statusText == "308";
}

// Where one hop of a request goes.
struct Hop {
  bool secure = false;
  std::string host;
  INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
  std::string path;
};

// The hop a Location names, relative to the URL that answered with it: host,
// port and path as the system's URL cracker takes them apart (a redirect to
// "http://host:8080/path" goes to port 8080). False when it names none that
// can be sent.
bool ResolveRedirect(const Hop& from, const std::string& location, Hop* to) {
  if (location.empty()) return false;
  const INTERNET_PORT usual =
      from.secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  const std::string base = std::string(from.secure ? "https://" : "http://") + from.host +
                           (from.port == usual ? "" : ":" + std::to_string(from.port)) + from.path;
  char combined[4096] = {};
  DWORD length = sizeof combined;
  if (!InternetCombineUrlA(base.c_str(), location.c_str(), combined, &length, ICU_NO_ENCODE))
    return false;
  char host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
  char path[4096] = {};
  char extra[4096] = {};
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = sizeof host;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = sizeof path;
  parts.lpszExtraInfo = extra;
  parts.dwExtraInfoLength = sizeof extra;
  if (!InternetCrackUrlA(combined, 0, 0, &parts)) return false;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
  Hop next;
  next.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  next.host = host;
  next.port = parts.nPort;
  next.path = std::string(path) + extra;
  if (next.path.empty() || next.path[0] != '/') next.path.insert(0, "/");
  if (next.host.empty() || !IsSendableUrlText(next.host) || !IsSendableUrlText(next.path))
    return false;
  *to = next;
  return true;
}

// How often the speed of a request bounded by speed is looked at.
UINT SpeedCheckPeriod(DWORD windowMs) {
  return std::min<UINT>(1000, std::max<UINT>(windowMs / 4, USER_TIMER_MINIMUM));
}

}  // namespace

void SetRequestThreadStarterForTesting(RequestThreadStarter starter) {
  g_threadStarter = starter ? starter : StartRealThread;
}

void SetCloseThreadStarterForTesting(CloseThreadStarter starter) {
  g_closeThreadStarter = starter ? starter : StartRealCloseThread;
}

void SetHttpSendForTesting(HttpSendFunction send) { g_send = send ? send : HttpSendRequestA; }

void SetWaitingCallsForTesting(const HttpWaitingCalls* calls) {
  const HttpWaitingCalls& given = calls ? *calls : kRealWaitingCalls;
  g_calls.queryDataAvailable =
      given.queryDataAvailable ? given.queryDataAvailable : InternetQueryDataAvailable;
  g_calls.readFile = given.readFile ? given.readFile : InternetReadFile;
  g_calls.closeHandle = given.closeHandle ? given.closeHandle : InternetCloseHandle;
}

WininetWrapper::WininetWrapper(const std::string& url, bool raw) : send_(g_send), calls_(g_calls) {
  Init(raw ? url : ToLower(url));
}

void WininetWrapper::Init(const std::string& url) {
  if (!SplitUrl(url, &secure, &host, &path)) {
    error = ERROR_BAD_ARGUMENTS;
    return;
  }

  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &WininetWrapper::WndProc;
  wc.hInstance = instance;
  wc.lpszClassName = "DUMMY_CLASS";
  RegisterClassExA(&wc);  // fails harmlessly once the class exists
  window = CreateWindowExA(0, "DUMMY_CLASS", "dummy_name", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           instance, nullptr);
  if (!window) {
    // Without its window the request could never report back: refuse it like
    // a URL that cannot be split, so the creator sees a non-zero error at once.
    const DWORD code = GetLastError();
    error = code != 0 ? static_cast<int>(code) : static_cast<int>(ERROR_INVALID_WINDOW_HANDLE);
    Log("[**  ERR] Request window could not be created -> " + IntToString(error));
    return;
  }
  // The bounds' timers find their request here.
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void WininetWrapper::SetProxyCredentials(const std::string& user, const std::string& password) {
  if (error != 0) return;
  proxyUser = user;
  proxyPassword = password;
}

void WininetWrapper::Start() {
  // The speed bound counts from here, before any byte can arrive.
  if (lowSpeedWindowMs != 0) samples_.assign(1, Sample{GetTickCount(), 0});
  bool started = false;
  try {
    started = g_threadStarter(this);
  } catch (...) {
  }
  if (started) {
    if (timeLimitMs != 0) SetTimer(window, kTimeLimitTimer, timeLimitMs, nullptr);
    if (lowSpeedWindowMs != 0)
      SetTimer(window, kSpeedTimer, SpeedCheckPeriod(lowSpeedWindowMs), nullptr);
    return;
  }
  status = -1;
  response.clear();
  LogSafely("[**  ERR] Request thread could not be created");
  // As for any failed request, the creator hears of it on its own thread.
  if (error == 0) PostMessageA(window, WM_DOWNLOAD_COMPLETE, reinterpret_cast<WPARAM>(this), 0);
}

// What the request thread found; handed over to the fields only at its end.
struct WininetWrapper::Result {
  int status = -1;
  std::string body;
  bool tooLong = false;
};

template <typename Use>
bool WininetWrapper::Locked(Use use) {
  std::lock_guard<std::mutex> hold(lock_);
  if (state_.load() == kAbandoned) return false;
  use();
  return true;
}

void* WininetWrapper::RequestHandle() {
  void* handle = nullptr;
  Locked([&] { handle = request_; });
  return handle;
}

bool WininetWrapper::LogUnlessGivenUp(const std::string& line) {
  return Locked([&] { Log(line); });
}

void WininetWrapper::LogSafely(const char* message, const char* detail) {
  try {
    LogUnlessGivenUp(std::string(message) + detail);
  } catch (...) {
  }
}

WininetWrapper::Handles WininetWrapper::TakeHandles(bool all) {
  Handles taken{request_, connection_, all ? internet_ : nullptr};
  request_ = connection_ = nullptr;
  if (all) internet_ = nullptr;
  return taken;
}

void WininetWrapper::CloseTaken(const Handles& handles, BOOL(WINAPI* close)(void* handle)) {
  for (void* handle : {handles.request, handles.connection, handles.internet})
    if (handle) close(handle);
}

void WininetWrapper::Request() {
  if (error != 0) {
    status = -1;
    response.clear();
    return;
  }
  Result result;
  try {
    Fetch(&result);
  } catch (const std::exception& e) {
    // A body too large for memory (or any other failure) must not end the
    // setup from this thread: the request fails like one with no response.
    std::string().swap(result.body);
    result.status = 0;
    LogSafely("[**  ERR] Request FAILED! ", e.what());
  } catch (...) {
    std::string().swap(result.body);
    result.status = 0;
    LogSafely("[**  ERR] Request FAILED!");
  }
  Finish(&result);
}

void WininetWrapper::Fetch(Result* result) {
  if (!IsSendableUrlText(host) || !IsSendableUrlText(path)) {
    LogUnlessGivenUp("[**  ERR] Request refused, the URL holds control characters -> " +
                     QuoteForLog(host + path));
    return;
  }
  char agent[512] = {};
  DWORD agentLength = sizeof agent;
  if (ObtainUserAgentString(0, agent, &agentLength) != S_OK) agent[0] = '\0';
  const char* verb = method == 0 ? "GET" : "POST";

  // Quick calls (WinINet connects only when sending) run under the lock, so a
  // give-up finds every handle that is open.
  bool opened = false;
  if (!Locked([&] {
        if (proxyHost.empty()) {
          internet_ = InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
        } else {
          const std::string proxy = proxyHost + ":" + IntToString(proxyPort);
          internet_ = InternetOpenA(agent, INTERNET_OPEN_TYPE_PROXY, proxy.c_str(), nullptr, 0);
        }
        opened = internet_ != nullptr;
      }) ||
      !opened)
    return;

  Hop hop;
  hop.secure = secure;
  hop.host = host;
  hop.port = secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  hop.path = path;
  for (int redirects = 0;; ++redirects) {
    if (!Locked([&] {
          connection_ = InternetConnectA(internet_, hop.host.c_str(), hop.port, nullptr, nullptr,
                                         INTERNET_SERVICE_HTTP, 0, 0);
          if (!connection_) {
            Log("[**  ERR] Request InternetConnectA FAILED! " + LastErrorText());
            opened = false;
            return;
          }
          const std::string target = EscapeBlanks(hop.path);
          request_ = HttpOpenRequestA(connection_, verb, target.c_str(), "HTTP/1.1", nullptr,
                                      nullptr,
                                      kRequestFlags | kOwnRedirects |
                                          (hop.secure ? INTERNET_FLAG_SECURE : 0),
                                      0);
          if (!request_) {
            Log("[**  ERR] Request HttpOpenRequestA FAILED! " + LastErrorText());
            opened = false;
          }
        }) ||
        !opened || !Send())
      return;

    std::string statusText, location;
    if (!Locked([&] {
          const std::string answer = QueryText(request_, HTTP_QUERY_RAW_HEADERS, 2048);
          arrived_ += static_cast<uint32_t>(answer.size());
          Log("[  INFO] Request Output1 " + QuoteForLog(answer));
          statusText = QueryText(request_, HTTP_QUERY_STATUS_CODE, 16);
          // Without a response Windows gives no status text; Wine gives "0".
          if (statusText == "0") statusText.clear();
          if (IsRedirect(statusText)) location = QueryText(request_, HTTP_QUERY_LOCATION, 4096);
        }))
      return;

    if (IsRedirect(statusText)) {
      if (redirects == kMaxRedirects) {
        LogUnlessGivenUp("[**  ERR] Request redirected more than " + IntToString(kMaxRedirects) +
                         " times -> " + QuoteForLog(location));
      } else if (ResolveRedirect(hop, location, &hop)) {
        Handles answered;
        if (!Locked([&] {
              Log("[* WARN] Request redirected -> " + QuoteForLog(location));
              answered = TakeHandles(false);
            }))
          return;
        // Outside the lock: the close may first read the rest of a long answer.
        CloseTaken(answered, calls_.closeHandle);
        continue;
      } else {
        LogUnlessGivenUp("[**  ERR] Request redirect not followed -> " + QuoteForLog(location));
      }
    }

    if (statusText == "200") {
      if (!ReadBody(statusText, result)) return;
    } else {
      result->body = statusText;
      LogUnlessGivenUp("[**  ERR] Request Output error code " + QuoteForLog(statusText));
    }
    result->status = StringToInt(statusText);
    return;
  }
}

// The send attempts on the request handle: a reset is tried again, an unknown
// authority or a failed revocation check is accepted from the next attempt
// on; any other failure ends them. False when the request was given up
// meanwhile: no attempt follows a give-up.
bool WininetWrapper::Send() {
  for (int attempt = 1; attempt <= kSendAttempts; ++attempt) {
    void* handle = nullptr;
    if (!Locked([&] {
          handle = request_;
          if (!proxyUser.empty()) {
            InternetSetOptionA(handle, INTERNET_OPTION_PROXY_USERNAME, &proxyUser[0],
                               static_cast<DWORD>(proxyUser.size()));
          }
          if (!proxyPassword.empty()) {
            InternetSetOptionA(handle, INTERNET_OPTION_PROXY_PASSWORD, &proxyPassword[0],
                               static_cast<DWORD>(proxyPassword.size()));
          }
          DWORD timeout = kTimeoutMs;
          InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
          InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
        }))
      return false;
    // Outside the lock: a give-up closes the handle under it, which ends this
    // call (under Wine the call runs on to its own time-out or answer).
    if (send_(handle, headers.c_str(), static_cast<DWORD>(headers.size()),
               body.empty() ? nullptr : &body[0], static_cast<DWORD>(body.size()))) {
      return true;
    }
    const DWORD sendError = GetLastError();
    DWORD ignore = 0;
    if (sendError == ERROR_INTERNET_INVALID_CA) {
      ignore = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
    } else if (sendError == ERROR_INTERNET_SEC_CERT_REV_FAILED) {
      ignore = SECURITY_FLAG_IGNORE_REVOCATION;
    } else if (sendError != ERROR_INTERNET_CONNECTION_RESET) {
      return true;
    }
    if (ignore && !Locked([&] {
          DWORD flags = 0;
          DWORD size = sizeof flags;
          InternetQueryOptionA(request_, INTERNET_OPTION_SECURITY_FLAGS, &flags, &size);
          flags |= ignore;
          InternetSetOptionA(request_, INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
        }))
      return false;
  }
  return true;
}

// Reads a "200" answer's body into the result; false when the creator gave
// up meanwhile.
bool WininetWrapper::ReadBody(const std::string& statusText, Result* result) {
  int announced = 0;
  if (!Locked([&] { announced = StringToInt(QueryText(request_, HTTP_QUERY_CONTENT_LENGTH, 16)); }))
    return false;
  PostMessageA(window, WM_DOWNLOAD_STARTED, reinterpret_cast<WPARAM>(this),
               static_cast<LPARAM>(announced));
  std::string& text = result->body;
  if (maxBody != 0 && announced > 0 && static_cast<DWORD>(announced) > maxBody) {
    result->tooLong = true;
    if (!LogUnlessGivenUp("[* WARN] Request body not read, announced longer than " +
                          std::to_string(maxBody) + " bytes -> " +
                          std::to_string(static_cast<DWORD>(announced))))
      return false;
  } else {
    // Never past the announced length; without one, no more than kMaxBody.
    const DWORD limit = announced > 0 ? static_cast<DWORD>(announced) : kMaxBody;
    if (announced > 0 && limit <= kMaxBody) {
      try {
        text.reserve(limit);
      } catch (const std::bad_alloc&) {
        // Not fatal by itself: the body may still fit as it grows.
      }
    }
    char buffer[16384];
    DWORD total = 0;
    int chunks = 0;
    DWORD got = 0;
    for (;;) {
      DWORD want = kChunkSize;
      if (announced > 0) {
        if (total == limit) break;
        want = std::min(want, limit - total);
      }
      void* handle = RequestHandle();
      if (!handle) return false;
      // A request bounded by speed reads only what has arrived: a read of a
      // whole chunk waits until the chunk is full, and a slow line's bytes
      // would be counted late. The others read whole chunks, the cheaper way
      // under Wine.
      if (lowSpeedWindowMs != 0) {
        DWORD available = 0;
        if (!calls_.queryDataAvailable(handle, &available, 0, 0) || available == 0) break;
        want = std::min(want, available);
        // The query may have waited: given up meanwhile, the request's handle
        // may be closed and its number another request's already.
        handle = RequestHandle();
        if (!handle) return false;
      }
      if (!calls_.readFile(handle, buffer, want, &got) || got == 0) break;
      arrived_ += got;
      if (got > limit - total)  // only without an announced length
        throw std::length_error("body longer than " + std::to_string(limit) + " bytes");
      total += got;
      if (maxBody != 0 && total > maxBody) {  // only without an announced length
        result->tooLong = true;
        std::string().swap(text);
        if (!LogUnlessGivenUp("[* WARN] Request body not kept, longer than " +
                              std::to_string(maxBody) + " bytes"))
          return false;
        break;
      }
      if (chunks == 10) {
        PostMessageA(window, WM_DOWNLOAD_PROGRESS, reinterpret_cast<WPARAM>(this),
                     static_cast<LPARAM>(total));
        chunks = 0;
      } else {
        ++chunks;
      }
      // Grown by doubling, but never beyond the limit.
      if (text.capacity() - text.size() < got)
        text.reserve(std::min<size_t>(
            limit, std::max<size_t>(text.size() + got, 2 * text.capacity())));
      text.append(buffer, got);
    }
  }
  return LogUnlessGivenUp("[  INFO] Request Output2 " + QuoteForLog(statusText));
}

void WininetWrapper::Finish(Result* result) {
  const HWND owner = window;
  Handles open;
  bool finished = false;
  {
    std::lock_guard<std::mutex> hold(lock_);
    // Given up, these are what the give-up left to this thread.
    open = TakeHandles(true);
    if (state_.load() == kRunning) {
      state_ = kFinished;
      status = result->status;
      response.swap(result->body);
      bodyTooLong = result->tooLong;
      finished = true;
    }
  }
  // The result goes first: closing may read the rest of a long answer, and
  // nobody waits for that. From here on nothing of this object is touched,
  // so its owner may start the next request or end.
  if (finished) PostMessageA(owner, WM_DOWNLOAD_COMPLETE, reinterpret_cast<WPARAM>(this), 0);
  CloseTaken(open, calls_.closeHandle);
}

bool WininetWrapper::Abandoned() const { return state_.load() == kAbandoned; }

void WininetWrapper::GiveUp(const std::string& why) {
  Handles open;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (state_.load() != kRunning) return;  // its result is on its way
    state_ = kAbandoned;
    Log(why);
    // The handles are taken to end a call pending on the request handle.
    // Without one no call is pending (the thread may be closing a redirect's
    // answer, whose parent must not go first: a late close could hit the
    // number of a newer handle), and the thread closes what is open at its end.
    if (request_) open = TakeHandles(true);
  }
  // Closing ends a call pending on the handles. Under Wine the call runs on
  // to its own end (an answer, a byte, the time-out); the thread then finds
  // the request given up and neither logs nor sends again. A close may first
  // read the rest of a long answer, so it runs on a thread of its own. When
  // none can be had (the process is out of threads), the handles stay open:
  // the window's thread never waits for a close.
  if (open.request) {
    const auto close = calls_.closeHandle;
    try {
      g_closeThreadStarter([open, close] { CloseTaken(open, close); });
    } catch (...) {
    }
  }
  KillTimer(window, kTimeLimitTimer);
  KillTimer(window, kSpeedTimer);
  status = 0;
  response.clear();
  bodyTooLong = false;
  if (delegate) delegate->OnDownloadComplete(this);
}

// The bytes that arrived over the last window, from the samples taken each
// period (user-interface thread).
void WininetWrapper::CheckSpeed() {
  const DWORD now = GetTickCount();
  const uint32_t arrived = arrived_.load();
  samples_.push_back(Sample{now, arrived});
  // The newest sample a whole window old is the one to compare with.
  while (samples_.size() > 1 && now - samples_[1].tick >= lowSpeedWindowMs) samples_.pop_front();
  const Sample& oldest = samples_.front();
  const DWORD span = now - oldest.tick;
  if (span < lowSpeedWindowMs) return;
  const uint32_t bytes = arrived - oldest.arrived;
  if (static_cast<uint64_t>(bytes) * 1000 >= static_cast<uint64_t>(kLowSpeedBytesPerSecond) * span)
    return;
  GiveUp("[**  ERR] Request too slow, fewer than " + std::to_string(kLowSpeedBytesPerSecond) +
         " bytes a second over " + std::to_string(lowSpeedWindowMs) + " ms -> " +
         std::to_string(bytes) + " bytes");
}

LRESULT CALLBACK WininetWrapper::WndProc(HWND hwnd, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
  if (message == WM_TIMER && (wParam == kTimeLimitTimer || wParam == kSpeedTimer)) {
    auto* request = reinterpret_cast<WininetWrapper*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (wParam == kTimeLimitTimer) {
      KillTimer(hwnd, kTimeLimitTimer);
      if (request)
        request->GiveUp("[**  ERR] Request time limit reached -> " +
                        std::to_string(request->timeLimitMs) + " ms");
    } else if (request) {
      request->CheckSpeed();
    }
    return 0;
  }
  if (message != WM_DOWNLOAD_STARTED && message != WM_DOWNLOAD_PROGRESS &&
      message != WM_DOWNLOAD_COMPLETE) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
  }
  WininetWrapper* request = reinterpret_cast<WininetWrapper*>(wParam);
  // A request given up has completed already: what its thread still posts is dropped.
  if (!request || request->Abandoned()) return 0;
  const DWORD value = static_cast<DWORD>(lParam);
  if (message == WM_DOWNLOAD_STARTED) {
    request->contentLength = value;
    if (request->delegate) request->delegate->OnDownloadStarted(request, value);
  } else if (message == WM_DOWNLOAD_PROGRESS) {
    request->received = value;
    if (request->delegate) request->delegate->OnDownloadProgress(request, value);
  } else {
    KillTimer(hwnd, kTimeLimitTimer);
    KillTimer(hwnd, kSpeedTimer);
    if (request->delegate) request->delegate->OnDownloadComplete(request);
  }
  return 0;
}

bool IsSendableUrlText(const std::string& text) {
  for (char c : text) {
    const unsigned char code = static_cast<unsigned char>(c);
    if (code < 0x20 || code == 0x7F) return false;
  }
  return true;
}

std::string EscapeBlanks(const std::string& path) {
  std::string escaped;
  escaped.reserve(path.size());
  for (char c : path) {
    if (c == ' ')
      escaped += "%20";
    else
      escaped += c;
  }
  return escaped;
}
