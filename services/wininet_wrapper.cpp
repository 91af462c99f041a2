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

RequestThreadStarter g_threadStarter = StartRealThread;
HttpSendFunction g_send = HttpSendRequestA;

// The three handles of a request, closed request first (at the latest when
// the holder goes).
struct InternetHandles {
  HINTERNET internet = nullptr;
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
  ~InternetHandles() { Close(); }
  // The request and its connection, before another target is asked.
  void CloseConnection() {
    if (request) InternetCloseHandle(request);
    if (connection) InternetCloseHandle(connection);
    request = connection = nullptr;
  }
  void Close() {
    CloseConnection();
    if (internet) InternetCloseHandle(internet);
    internet = nullptr;
  }
};

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

// The target a Location names, relative to the URL that answered with it;
// false when it names none that can be sent.
bool ResolveRedirect(bool secure, const std::string& host, const std::string& path,
                     const std::string& location, bool* toSecure, std::string* toHost,
                     std::string* toPath) {
  if (location.empty()) return false;
  const std::string base = std::string(secure ? "https://" : "http://") + host + path;
  char combined[4096] = {};
  DWORD length = sizeof combined;
  if (!InternetCombineUrlA(base.c_str(), location.c_str(), combined, &length, ICU_NO_ENCODE))
    return false;
  const std::string url = combined;
  const size_t colon = url.find(':');
  if (colon == std::string::npos) return false;
  const std::string scheme = ToLower(url.substr(0, colon));
  if (scheme != "http" && scheme != "https") return false;
  bool isSecure = false;
  std::string newHost, newPath;
  if (!SplitUrl(scheme + url.substr(colon), &isSecure, &newHost, &newPath) || newHost.empty() ||
      !IsSendableUrlText(newHost) || !IsSendableUrlText(newPath))
    return false;
  *toSecure = isSecure;
  *toHost = newHost;
  *toPath = newPath;
  return true;
}

// The send attempts on a request handle: a reset is tried again, an unknown
// authority or a failed revocation check is accepted from the next attempt
// on; any other failure ends them.
void Send(HINTERNET request, std::string& proxyUser, std::string& proxyPassword,
          std::string& headers, std::string& body) {
  for (int attempt = 1; attempt <= kSendAttempts; ++attempt) {
    if (!proxyUser.empty()) {
      InternetSetOptionA(request, INTERNET_OPTION_PROXY_USERNAME, &proxyUser[0],
                         static_cast<DWORD>(proxyUser.size()));
    }
    if (!proxyPassword.empty()) {
      InternetSetOptionA(request, INTERNET_OPTION_PROXY_PASSWORD, &proxyPassword[0],
                         static_cast<DWORD>(proxyPassword.size()));
    }
    DWORD timeout = kTimeoutMs;
    InternetSetOptionA(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionA(request, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
    if (g_send(request, headers.c_str(), static_cast<DWORD>(headers.size()),
               body.empty() ? nullptr : &body[0], static_cast<DWORD>(body.size()))) {
      return;
    }
    const DWORD sendError = GetLastError();
    DWORD ignore = 0;
    if (sendError == ERROR_INTERNET_INVALID_CA) {
      ignore = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
    } else if (sendError == ERROR_INTERNET_SEC_CERT_REV_FAILED) {
      ignore = SECURITY_FLAG_IGNORE_REVOCATION;
    } else if (sendError != ERROR_INTERNET_CONNECTION_RESET) {
      return;
    }
    if (ignore) {
      DWORD flags = 0;
      DWORD size = sizeof flags;
      InternetQueryOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &size);
      flags |= ignore;
      InternetSetOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
    }
  }
}

// Logging where memory may have run out: a line that cannot be made is dropped.
void LogSafely(const char* message, const char* detail = "") {
  try {
    Log(std::string(message) + detail);
  } catch (...) {
  }
}

}  // namespace

void SetRequestThreadStarterForTesting(RequestThreadStarter starter) {
  g_threadStarter = starter ? starter : StartRealThread;
}

void SetHttpSendForTesting(HttpSendFunction send) { g_send = send ? send : HttpSendRequestA; }

WininetWrapper::WininetWrapper(const std::string& url, bool raw) {
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
  // The time limit's timer finds its request here.
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void WininetWrapper::SetProxyCredentials(const std::string& user, const std::string& password) {
  if (error != 0) return;
  proxyUser = user;
  proxyPassword = password;
}

void WininetWrapper::Start() {
  bool started = false;
  try {
    started = g_threadStarter(this);
  } catch (...) {
  }
  if (started) {
    if (timeLimitMs != 0) SetTimer(window, kTimeLimitTimer, timeLimitMs, nullptr);
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
    Log("[**  ERR] Request refused, the URL holds control characters or blanks -> " +
        QuoteForLog(host + path));
    return;
  }
  InternetHandles h;

  char agent[512] = {};
  DWORD agentLength = sizeof agent;
  if (ObtainUserAgentString(0, agent, &agentLength) != S_OK) agent[0] = '\0';
  const char* verb = method == 0 ? "GET" : "POST";

  if (proxyHost.empty()) {
    h.internet = InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  } else {
    std::string proxy = proxyHost + ":" + IntToString(proxyPort);
    h.internet = InternetOpenA(agent, INTERNET_OPEN_TYPE_PROXY, proxy.c_str(), nullptr, 0);
  }
  if (!h.internet) return;

  bool toSecure = secure;
  std::string toHost = host, toPath = path;
  for (int redirects = 0; !Abandoned(); ++redirects) {
    h.connection = InternetConnectA(h.internet, toHost.c_str(),
                                    toSecure ? INTERNET_DEFAULT_HTTPS_PORT
                                             : INTERNET_DEFAULT_HTTP_PORT,
                                    nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (!h.connection) {
      Log("[**  ERR] Request InternetConnectA FAILED! " +
          LastErrorText());
      return;
    }
    h.request = HttpOpenRequestA(h.connection, verb, toPath.c_str(), "HTTP/1.1", nullptr, nullptr,
                                 kRequestFlags | kOwnRedirects |
                                     (toSecure ? INTERNET_FLAG_SECURE : 0),
                                 0);
    if (!h.request) {
      Log("[**  ERR] Request HttpOpenRequestA FAILED! " +
          LastErrorText());
      return;
    }
    Send(h.request, proxyUser, proxyPassword, headers, body);

    Log("[  INFO] Request Output1 " +
        QuoteForLog(QueryText(h.request, HTTP_QUERY_RAW_HEADERS, 2048)));
    std::string statusText = QueryText(h.request, HTTP_QUERY_STATUS_CODE, 16);
    // Without a response Windows gives no status text; Wine gives "0".
    if (statusText == "0") statusText.clear();

    if (IsRedirect(statusText)) {
      const std::string location = QueryText(h.request, HTTP_QUERY_LOCATION, 4096);
      if (redirects == kMaxRedirects) {
        Log("[**  ERR] Request redirected more than " + IntToString(kMaxRedirects) +
            " times -> " + QuoteForLog(location));
      } else if (ResolveRedirect(toSecure, toHost, toPath, location, &toSecure, &toHost,
                                 &toPath)) {
        Log("[* WARN] Request redirected -> " + QuoteForLog(location));
        h.CloseConnection();
        continue;
      } else {
        Log("[**  ERR] Request redirect not followed -> " + QuoteForLog(location));
      }
    }

    if (statusText == "200") {
      if (!ReadBody(h.request, statusText, result)) return;
    } else {
      result->body = statusText;
      Log("[**  ERR] Request Output error code " + QuoteForLog(statusText));
    }
    result->status = StringToInt(statusText);
    return;
  }
}

// Reads a "200" answer's body into the result; false when the creator gave
// up meanwhile.
bool WininetWrapper::ReadBody(void* handle, const std::string& statusText, Result* result) {
  HINTERNET request = static_cast<HINTERNET>(handle);
  const int announced = StringToInt(QueryText(request, HTTP_QUERY_CONTENT_LENGTH, 16));
  PostMessageA(window, WM_DOWNLOAD_STARTED, reinterpret_cast<WPARAM>(this),
               static_cast<LPARAM>(announced));
  std::string& text = result->body;
  if (maxBody != 0 && announced > 0 && static_cast<DWORD>(announced) > maxBody) {
    result->tooLong = true;
    Log("[* WARN] Request body not read, announced longer than " +
        std::to_string(maxBody) + " bytes -> " + std::to_string(static_cast<DWORD>(announced)));
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
      if (Abandoned()) return false;
      DWORD want = kChunkSize;
      if (announced > 0) {
        if (total == limit) break;
        want = std::min(want, limit - total);
      }
      if (!InternetReadFile(request, buffer, want, &got) || got == 0) break;
      if (got > limit - total)  // only without an announced length
        throw std::length_error("body longer than " + std::to_string(limit) + " bytes");
      total += got;
      if (maxBody != 0 && total > maxBody) {  // only without an announced length
        result->tooLong = true;
        std::string().swap(text);
        Log("[* WARN] Request body not kept, longer than " + std::to_string(maxBody) +
            " bytes");
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
  Log("[  INFO] Request Output2 " + QuoteForLog(statusText));
  return true;
}

void WininetWrapper::Finish(Result* result) {
  int running = kRunning;
  if (!state_.compare_exchange_strong(running, kFinished)) return;  // given up already
  status = result->status;
  response.swap(result->body);
  bodyTooLong = result->tooLong;
  PostMessageA(window, WM_DOWNLOAD_COMPLETE, reinterpret_cast<WPARAM>(this), 0);
}

bool WininetWrapper::Abandoned() const { return state_.load() == kAbandoned; }

void WininetWrapper::GiveUp() {
  int running = kRunning;
  if (!state_.compare_exchange_strong(running, kAbandoned)) return;  // its result is on its way
  Log("[**  ERR] Request time limit reached -> " + std::to_string(timeLimitMs) + " ms");
  status = 0;
  response.clear();
  bodyTooLong = false;
  if (delegate) delegate->OnDownloadComplete(this);
}

LRESULT CALLBACK WininetWrapper::WndProc(HWND hwnd, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
  if (message == WM_TIMER && wParam == kTimeLimitTimer) {
    KillTimer(hwnd, kTimeLimitTimer);
    if (auto* request = reinterpret_cast<WininetWrapper*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)))
      request->GiveUp();
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
    if (request->delegate) request->delegate->OnDownloadComplete(request);
  }
  return 0;
}

bool IsSendableUrlText(const std::string& text) {
  for (char c : text) {
    const unsigned char code = static_cast<unsigned char>(c);
    if (code <= 0x20 || code == 0x7F) return false;
  }
  return true;
}
