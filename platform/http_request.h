#pragma once
// Synchronous HTTP on libcurl's easy interface: the connectivity probe and the
// artwork download. The libcurl headers stay in the .cpp.
#include <cstdint>
#include <memory>

#include "platform/ports.h"
#include "platform/text.h"

namespace larkspur {

struct HttpRequestState;

class HttpRequest {
 public:
  // nullptr when no url is given.
  static HttpRequest* fetch(const Text& url);
  // piece 0 status as decimal text ("0" without a response), 1 body, 2 error
  // text, 3 raw headers.
  static Text responseText(const HttpRequest* request, int piece);
  static void release(HttpRequest* request);
  static bool downloadToFile(const Text& url, const Text& path);
  // -1 means 30000; the total time-out goes back to 0 (none).
  static void setConnectTimeout(int ms);

  // Limits beyond the connect time-out: a transfer slower than 1 byte/s for
  // this many seconds is abandoned, and a body (fetched or downloaded) larger
  // than the cap fails.
  static void setStallLimitSeconds(int seconds);
  static void setDownloadCap(std::int64_t bytes);

  ~HttpRequest();
  int state() const;

 private:
  HttpRequest();
  std::unique_ptr<HttpRequestState> s_;
};

// The real HttpPort over HttpRequest.
class CurlHttp final : public HttpPort {
 public:
  std::optional<HttpResponse> fetch(const Text& url) override;
  bool downloadToFile(const Text& url, const Text& path) override;
  void setConnectTimeout(int ms) override;
};

}  // namespace larkspur
