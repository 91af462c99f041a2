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

// The three handles of a request, closed request first.
struct InternetHandles {
  HINTERNET internet = nullptr;
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
  void Close() {
    if (request) InternetCloseHandle(request);
    if (connection) InternetCloseHandle(connection);
    if (internet) InternetCloseHandle(internet);
    request = connection = internet = nullptr;
  }
};

std::string QueryText(HINTERNET request, DWORD info, size_t size) {
  std::string buffer(size, '\0');
  DWORD length = static_cast<DWORD>(size);
  HttpQueryInfoA(request, info, &buffer[0], &length, nullptr);
  return std::string(buffer.c_str());
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
  size_t colon = url.find(':');
  if (url.empty() || colon == std::string::npos || url.size() - colon - 1 < 2) {
    error = ERROR_BAD_ARGUMENTS;
    return;
  }
  secure = url.compare(0, colon, "https") == 0;
  std::string rest = url.substr(colon + 3);
  size_t slash = rest.find('/');
  if (slash != std::string::npos) {
    host = rest.substr(0, slash);
    path = rest.substr(slash);
  } else {
    host = rest;
    path = "/";
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
  }
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
  if (started) return;
  status = -1;
  response.clear();
  LogSafely("[**  ERR] Request thread could not be created");
  // As for any failed request, the creator hears of it on its own thread.
  if (error == 0) PostMessageA(window, WM_DOWNLOAD_COMPLETE, reinterpret_cast<WPARAM>(this), 0);
}

void WininetWrapper::Request() {
  status = -1;
  response.clear();
  if (error != 0) return;

  InternetHandles h;
  try {
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
    if (h.internet) {
      h.connection = InternetConnectA(h.internet, host.c_str(),
                                      secure ? INTERNET_DEFAULT_HTTPS_PORT
                                             : INTERNET_DEFAULT_HTTP_PORT,
                                      nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
      if (!h.connection) {
        Log("[**  ERR] Request InternetConnectA FAILED! " +
            IntToString(static_cast<int>(GetLastError())));
      }
    }
    if (h.connection) {
      h.request = HttpOpenRequestA(h.connection, verb, path.c_str(), "HTTP/1.1", nullptr,
                                   nullptr, kRequestFlags | (secure ? INTERNET_FLAG_SECURE : 0),
                                   0);
      if (!h.request) {
        Log("[**  ERR] Request HttpOpenRequestA FAILED! " +
            IntToString(static_cast<int>(GetLastError())));
      }
    }
    if (h.request) {
      for (int attempt = 1; attempt <= kSendAttempts; ++attempt) {
        if (!proxyUser.empty()) {
          InternetSetOptionA(h.request, INTERNET_OPTION_PROXY_USERNAME, &proxyUser[0],
                             static_cast<DWORD>(proxyUser.size()));
        }
        if (!proxyPassword.empty()) {
          InternetSetOptionA(h.request, INTERNET_OPTION_PROXY_PASSWORD, &proxyPassword[0],
                             static_cast<DWORD>(proxyPassword.size()));
        }
        DWORD timeout = kTimeoutMs;
        InternetSetOptionA(h.request, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
        InternetSetOptionA(h.request, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
        if (g_send(h.request, headers.c_str(), static_cast<DWORD>(headers.size()),
                   body.empty() ? nullptr : &body[0], static_cast<DWORD>(body.size()))) {
          break;
        }
        DWORD sendError = GetLastError();
        DWORD ignore = 0;
        if (sendError == ERROR_INTERNET_INVALID_CA) {
          ignore = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
        } else if (sendError == ERROR_INTERNET_SEC_CERT_REV_FAILED) {
          ignore = SECURITY_FLAG_IGNORE_REVOCATION;
        } else if (sendError != ERROR_INTERNET_CONNECTION_RESET) {
          break;
        }
        if (ignore) {
          DWORD flags = 0;
          DWORD size = sizeof flags;
          InternetQueryOptionA(h.request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &size);
          flags |= ignore;
          InternetSetOptionA(h.request, INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
        }
      }

      Log("[  INFO] Request Output1 " + QueryText(h.request, HTTP_QUERY_RAW_HEADERS, 2048));
      std::string statusText = QueryText(h.request, HTTP_QUERY_STATUS_CODE, 16);
      // Without a response Windows gives no status text; Wine gives "0".
      if (statusText == "0") statusText.clear();
      if (statusText == "200") {
        int announced = StringToInt(QueryText(h.request, HTTP_QUERY_CONTENT_LENGTH, 16));
        PostMessageA(window, WM_DOWNLOAD_STARTED, reinterpret_cast<WPARAM>(this),
                     static_cast<LPARAM>(announced));
        // Never past the announced length; without one, no more than kMaxBody.
        const DWORD limit = announced > 0 ? static_cast<DWORD>(announced) : kMaxBody;
        if (announced > 0 && limit <= kMaxBody) {
          try {
            response.reserve(limit);
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
          if (!InternetReadFile(h.request, buffer, want, &got) || got == 0) break;
          if (got > limit - total)  // only without an announced length
            throw std::length_error("body longer than " + std::to_string(limit) + " bytes");
          total += got;
          if (chunks == 10) {
            PostMessageA(window, WM_DOWNLOAD_PROGRESS, reinterpret_cast<WPARAM>(this),
                         static_cast<LPARAM>(total));
            chunks = 0;
          } else {
            ++chunks;
          }
          // Grown by doubling, but never beyond the limit.
          if (response.capacity() - response.size() < got)
            response.reserve(std::min<size_t>(
                limit, std::max<size_t>(response.size() + got, 2 * response.capacity())));
          response.append(buffer, got);
        }
        Log("[  INFO] Request Output2 " + statusText);
      } else {
        response = statusText;
        Log("[**  ERR] Request Output error code " + statusText);
      }
      status = StringToInt(statusText);
    }
  } catch (const std::exception& e) {
    // A body too large for memory (or any other failure) must not end the
    // setup from this thread: the request fails like one with no response.
    std::string().swap(response);
    status = 0;
    LogSafely("[**  ERR] Request FAILED! ", e.what());
  } catch (...) {
    std::string().swap(response);
    status = 0;
    LogSafely("[**  ERR] Request FAILED!");
  }
  h.Close();
  PostMessageA(window, WM_DOWNLOAD_COMPLETE, reinterpret_cast<WPARAM>(this), 0);
}

LRESULT CALLBACK WininetWrapper::WndProc(HWND hwnd, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
  if (message != WM_DOWNLOAD_STARTED && message != WM_DOWNLOAD_PROGRESS &&
      message != WM_DOWNLOAD_COMPLETE) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
  }
  WininetWrapper* request = reinterpret_cast<WininetWrapper*>(wParam);
  if (!request) return 0;
  const DWORD value = static_cast<DWORD>(lParam);
  if (message == WM_DOWNLOAD_STARTED) {
    request->contentLength = value;
    if (request->delegate) request->delegate->OnDownloadStarted(request, value);
  } else if (message == WM_DOWNLOAD_PROGRESS) {
    request->received = value;
    if (request->delegate) request->delegate->OnDownloadProgress(request, value);
  } else if (request->delegate) {
    request->delegate->OnDownloadComplete(request);
  }
  return 0;
}
