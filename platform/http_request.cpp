#include "platform/http_request.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "platform/files.h"

namespace larkspur {

namespace {

constexpr std::size_t BufferStep = 524288;
constexpr const char* UserAgent = "Mozilla/5.0 Gecko/41.0 Firefox/41.0";

struct ThreadSettings {
  int connectTimeoutMs = 30000;
  int totalTimeoutMs = 0;
  int stallSeconds = 30;
  std::int64_t downloadCap = 20LL * 1024 * 1024;
};

ThreadSettings& settings() {
  thread_local ThreadSettings perThread;
  return perThread;
}

void initialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// A malloc'd buffer, so growing it can fail as a value inside a libcurl
// callback instead of throwing through C frames.
struct Buffer {
  char* data = nullptr;
  std::size_t capacity = 0;
  std::size_t length = 0;
  std::size_t limit = 0;

  ~Buffer() { std::free(data); }
  bool reserveInitial() {
    data = static_cast<char*>(std::malloc(BufferStep));
    capacity = data ? BufferStep : 0;
    return data != nullptr;
  }
  // Past the limit the transfer is refused, as a download past the cap is:
  // a server that sends no Content-Length must not fill memory.
  bool append(const char* bytes, std::size_t n) {
    if (n > limit - length) return false;
    if (length + n > capacity) {
      auto* grown = static_cast<char*>(std::realloc(data, capacity + n + BufferStep));
      if (!grown) return false;
      data = grown;
      capacity += n + BufferStep;
    }
    std::memcpy(data + length, bytes, n);
    length += n;
    return true;
  }
  void shrinkToLength() {
    if (length == 0) return;
    if (auto* shrunk = static_cast<char*>(std::realloc(data, length))) {
      data = shrunk;
      capacity = length;
    }
  }
  // Up to the length or the first NUL.
  Text text() const { return data ? fromUtf8(std::string_view(data, strnlen(data, length))) : Text(); }
};

struct CurlCleanup {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlPtr = std::unique_ptr<CURL, CurlCleanup>;

std::size_t collect(char* bytes, std::size_t size, std::size_t count, void* buffer) noexcept {
  const std::size_t n = size * count;
  return static_cast<Buffer*>(buffer)->append(bytes, n) ? n : 0;
}

}  // namespace

struct HttpRequestState {
  int state = -1;
  Text userAgent = T(UserAgent);
  int connectTimeoutMs = 0;
  int totalTimeoutMs = 0;
  int stallSeconds = 0;
  std::int64_t downloadCap = 0;
  Buffer body;
  Buffer headers;
  long status = 0;
  Text error;
  int fd = -1;
  std::int64_t written = 0;
  char errorBuffer[CURL_ERROR_SIZE] = {};
};

namespace {

std::size_t writeFile(char* bytes, std::size_t size, std::size_t count, void* data) noexcept {
  auto* s = static_cast<HttpRequestState*>(data);
  const std::size_t n = size * count;
  // Servers that send no Content-Length are held to the cap here.
  if (s->written + static_cast<std::int64_t>(n) > s->downloadCap) return 0;
  if (!files::writeAll(s->fd, bytes, n)) return 0;
  s->written += static_cast<std::int64_t>(n);
  return n;
}

void copySettings(HttpRequestState& s) {
  const ThreadSettings& t = settings();
  s.connectTimeoutMs = t.connectTimeoutMs;
  s.totalTimeoutMs = t.totalTimeoutMs;
  s.stallSeconds = t.stallSeconds;
  s.downloadCap = t.downloadCap;
}

// Options both kinds share. Only http and https: the artwork address comes
// from the player, and a file:// address must not copy local files around.
void setCommonOptions(CURL* curl, const std::string& url, const std::string& agent) {
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
}

// Without a floor on the transfer rate a server that accepts and then goes
// quiet would hold the main thread for ever.
void setLimits(CURL* curl, HttpRequestState& s) {
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, s.errorBuffer);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(s.connectTimeoutMs));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(s.totalTimeoutMs));
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(s.stallSeconds));
}

// Runs the transfer and keeps libcurl's own words when it fails.
bool perform(CURL* curl, HttpRequestState& s) {
  const CURLcode code = curl_easy_perform(curl);
  if (code == CURLE_OK) return true;
  s.error = fromUtf8(s.errorBuffer[0] ? s.errorBuffer : curl_easy_strerror(code));
  return false;
}

std::string temporaryBeside(const std::string& target) {
  const auto slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  return dir + "/." + name + ".XXXXXX";
}

// Into a temporary file beside the target, renamed into place only once
// complete and answered with a 2xx status: a program killed mid-transfer
// must not leave a partial file that later passes for a finished download.
bool downloadInto(CURL* curl, HttpRequestState& s, const std::string& target) {
  std::string temporary = temporaryBeside(target);
  s.fd = ::mkstemp(temporary.data());
  if (s.fd < 0) return false;
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeFile);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &s);
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(s.downloadCap));
  setLimits(curl, s);
  bool ok = perform(curl, s);
  // An error page is a whole body too, but not the file that was asked for.
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &s.status);
  ok = ok && s.status >= 200 && s.status <= 299;
  ok = (::close(s.fd) == 0) && ok;
  s.fd = -1;
  if (ok && ::rename(temporary.c_str(), target.c_str()) == 0) return true;
  ::unlink(temporary.c_str());
  ::unlink(target.c_str());
  return false;
}

}  // namespace

HttpRequest::HttpRequest() : s_(std::make_unique<HttpRequestState>()) {}
HttpRequest::~HttpRequest() = default;

int HttpRequest::state() const { return s_->state; }

HttpRequest* HttpRequest::fetch(const Text& url) {
  if (url.empty()) return nullptr;
  initialiseCurlOnce();
  auto* request = new HttpRequest();
  HttpRequestState& s = *request->s_;
  copySettings(s);
  const std::string url8 = toUtf8(url), agent8 = toUtf8(s.userAgent);
  s.body.limit = s.headers.limit = static_cast<std::size_t>(s.downloadCap);
  CurlPtr curl(curl_easy_init());
  if (!curl || !s.body.reserveInitial() || !s.headers.reserveInitial()) {
    s.error = T("could not set up the request");
    s.state = -3;
    return request;
  }
  setCommonOptions(curl.get(), url8, agent8);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &s.body);
  curl_easy_setopt(curl.get(), CURLOPT_CUSTOMREQUEST, "GET");
  curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, collect);
  curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &s.headers);
  curl_easy_setopt(curl.get(), CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(s.downloadCap));
  setLimits(curl.get(), s);
  if (perform(curl.get(), s)) {
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &s.status);
    s.body.shrinkToLength();
    s.state = -2;
  } else {
    s.state = -3;
  }
  return request;
}

Text HttpRequest::responseText(const HttpRequest* request, int piece) {
  if (!request) return {};
  const HttpRequestState& s = *request->s_;
  switch (piece) {
    case 0: return decimal(s.status);
    case 1: return s.body.text();
    case 2: return s.error;
    case 3: return s.headers.text();
    default: return {};
  }
}

void HttpRequest::release(HttpRequest* request) { delete request; }

bool HttpRequest::downloadToFile(const Text& url, const Text& path) {
  if (url.empty() || path.empty()) return false;
  initialiseCurlOnce();
  HttpRequest request;
  HttpRequestState& s = *request.s_;
  copySettings(s);
  const std::string url8 = toUtf8(url), agent8 = toUtf8(s.userAgent), path8 = toUtf8(path);
  CurlPtr curl(curl_easy_init());
  if (!curl) {
    s.state = -3;
    return false;
  }
  setCommonOptions(curl.get(), url8, agent8);
  s.state = downloadInto(curl.get(), s, path8) ? -2 : -3;
  return s.state == -2;
}

void HttpRequest::setConnectTimeout(int ms) {
  settings().connectTimeoutMs = ms == -1 ? 30000 : ms;
  settings().totalTimeoutMs = 0;
}

void HttpRequest::setStallLimitSeconds(int seconds) { settings().stallSeconds = seconds; }

void HttpRequest::setDownloadCap(std::int64_t bytes) { settings().downloadCap = bytes; }

// ---------------------------------------------------------------- port

std::optional<HttpResponse> CurlHttp::fetch(const Text& url) {
  HttpRequest* request = HttpRequest::fetch(url);
  if (!request) return std::nullopt;
  HttpResponse response{HttpRequest::responseText(request, 0), HttpRequest::responseText(request, 1),
                        HttpRequest::responseText(request, 2), HttpRequest::responseText(request, 3)};
  HttpRequest::release(request);
  return response;
}

bool CurlHttp::downloadToFile(const Text& url, const Text& path) {
  return HttpRequest::downloadToFile(url, path);
}

void CurlHttp::setConnectTimeout(int ms) { HttpRequest::setConnectTimeout(ms); }

}  // namespace larkspur
