#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for tests: routes by path, one thread
// per connection, one response per connection (Connection: close).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
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

  LoopbackHttpServer() {
    listener_ = bindLoopback(port_);
    if (listener_ < 0 || ::listen(listener_, 16) != 0) return;
    acceptor_ = std::thread([this] {
      // Shutting the listener down at stop ends a blocked accept.
      for (int client; (client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0 || errno == EINTR;) {
        std::lock_guard lock(mutex_);
        if (stopping_) return (void)::close(client);
        if (client < 0) continue;
        clients_.push_back(client);
        connections_.emplace_back([this, client] { serve(client); });
      }
    });
  }
  ~LoopbackHttpServer() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      if (listener_ >= 0) ::shutdown(listener_, SHUT_RDWR);
      for (int client : clients_) ::shutdown(client, SHUT_RDWR);
    }
    if (acceptor_.joinable()) acceptor_.join();
    for (auto& thread : connections_) thread.join();  // none are added once the acceptor ends
    if (listener_ >= 0) ::close(listener_);
  }

  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  // Unrouted paths answer 404. The query is not part of the route.
  void route(const std::string& path, Response response) {
    std::lock_guard lock(mutex_);
    routes_[path] = std::move(response);
  }

  // A port on 127.0.0.1 that nobody listens on (bound and closed again).
  static int closedPort() {
    int port = 0;
    if (const int fd = bindLoopback(port); fd >= 0) ::close(fd);
    return port;
  }

 private:
  // A socket bound to a free port of 127.0.0.1; -1 on failure.
  static int bindLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    socklen_t length = sizeof address;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
      return port = ntohs(address.sin_port), fd;
    if (fd >= 0) ::close(fd);
    return -1;
  }
  void serve(int client) {
    std::string block;
    char chunk[4096];
    ssize_t n = 1;
    while (block.find("\r\n\r\n") == std::string::npos && (n > 0 || errno == EINTR))
      if ((n = ::recv(client, chunk, sizeof chunk, 0)) > 0) block.append(chunk, static_cast<std::size_t>(n));
    Response response = text(404, "not found");
    if (n > 0) {
      const std::size_t start = block.find(' ') + 1;  // the route: the path without its query
      std::lock_guard lock(mutex_);
      if (auto it = routes_.find(block.substr(start, block.find_first_of(" ?", start) - start)); it != routes_.end())
        response = it->second;
    }
    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " Status\r\nConnection: close\r\n";
    if (!response.omitContentLength) out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    for (const auto& [name, value] : response.headers) out += name + ": " + value + "\r\n";
    out += "\r\n";
    if (!response.stallAfterHeaders)
      out += response.body.substr(0, response.cutAfter >= 0 ? response.cutAfter : std::string::npos);
    for (std::size_t sent = 0; n > 0 && sent < out.size();)
      if ((n = ::send(client, out.data() + sent, out.size() - sent, MSG_NOSIGNAL)) > 0) sent += std::size_t(n);
      else if (errno == EINTR) n = 1;
    // A stalled response waits until the client leaves or the server stops.
    while (response.stallAfterHeaders && n > 0) n = ::recv(client, chunk, sizeof chunk, 0);
    std::lock_guard lock(mutex_);
    std::erase(clients_, client);
    ::close(client);
  }

  int listener_ = -1, port_ = 0;
  std::mutex mutex_;
  bool stopping_ = false;
  std::vector<int> clients_;  // open connections, shut down at stop
  std::map<std::string, Response> routes_;
  std::vector<std::thread> connections_;
  std::thread acceptor_;
};

}  // namespace larkspur::test
