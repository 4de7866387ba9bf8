#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for tests: routes by path, one thread
// per connection, one response per connection (Connection: close).
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace larkspur::test {

class LoopbackHttpServer {
 public:
  struct Response {
    int status = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    // Send the headers, then nothing until the client leaves or the server stops.
    bool stallAfterHeaders = false;
    // >= 0: announce the whole body but close after this many body bytes.
    std::int64_t cutAfter = -1;
    // No Content-Length: the body ends when the connection closes.
    bool omitContentLength = false;
  };
  static Response text(int status, std::string body) {
    return Response{.status = status, .body = std::move(body), .headers = {{"Content-Type", "text/plain"}}};
  }
  static Response redirect(const std::string& location, int status = 302) {
    return Response{.status = status, .body = {}, .headers = {{"Location", location}}};
  }

  LoopbackHttpServer();
  ~LoopbackHttpServer();

  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  // Unrouted paths answer 404. The query is not part of the route.
  void route(const std::string& path, Response response) {
    std::lock_guard lock(mutex_);
    routes_[path] = std::move(response);
  }

  // A port on 127.0.0.1 that nobody listens on (bound and closed again).
  static int closedPort();

 private:
  void serve(int client);

  int listener_ = -1, port_ = 0;
  std::mutex mutex_;
  bool stopping_ = false;
  std::vector<int> clients_;  // open connections, shut down at stop
  std::map<std::string, Response> routes_;
  std::vector<std::thread> connections_;
  std::thread acceptor_;
};

}  // namespace larkspur::test
