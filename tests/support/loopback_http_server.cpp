#include "support/loopback_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace larkspur::test {

namespace {

int bindLoopback(int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

LoopbackHttpServer::Response LoopbackHttpServer::text(int status, std::string body) {
  return Response{.status = status, .body = std::move(body), .headers = {{"Content-Type", "text/plain"}}};
}

LoopbackHttpServer::Response LoopbackHttpServer::redirect(const std::string& location, int status) {
  Response r;
  r.status = status;
  r.headers = {{"Location", location}};
  return r;
}

LoopbackHttpServer::LoopbackHttpServer() {
  listener_ = bindLoopback(port_);
  if (listener_ < 0 || ::listen(listener_, 16) != 0) return;
  acceptor_ = std::thread([this] {
    for (;;) {
      // Shutting the listener down at stop ends a blocked accept.
      const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0 && errno == EINTR) continue;
      if (client < 0) return;
      std::lock_guard lock(mutex_);
      if (stopping_) return (void)::close(client);
      clients_.push_back(client);
      connections_.emplace_back([this, client] { serve(client); });
    }
  });
}

LoopbackHttpServer::~LoopbackHttpServer() {
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

std::string LoopbackHttpServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LoopbackHttpServer::route(const std::string& path, Response response) {
  std::lock_guard lock(mutex_);
  routes_[path] = std::move(response);
}

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

int LoopbackHttpServer::closedPort() {
  int port = 0;
  const int fd = bindLoopback(port);
  if (fd >= 0) ::close(fd);
  return port;
}

void LoopbackHttpServer::serve(int client) {
  std::string block;
  char chunk[4096];
  ssize_t n = 1;
  while (block.find("\r\n\r\n") == std::string::npos && (n > 0 || errno == EINTR)) {
    n = ::recv(client, chunk, sizeof chunk, 0);
    if (n > 0) block.append(chunk, static_cast<std::size_t>(n));
  }
  Response response = text(404, "not found");
  if (n > 0) {
    Request request;
    const std::size_t start = block.find(' ') + 1;
    request.path = block.substr(start, block.find(' ', start) - start);
    if (std::size_t at = block.find("\r\nUser-Agent: "); at != std::string::npos)
      request.userAgent = block.substr(at + 14, block.find("\r\n", at + 14) - at - 14);
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    const auto it = routes_.find(request.path.substr(0, request.path.find('?')));
    if (it != routes_.end()) response = it->second;
  }
  std::string out = "HTTP/1.1 " + std::to_string(response.status) + " Status\r\nConnection: close\r\n";
  if (!response.omitContentLength) out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
  for (const auto& [name, value] : response.headers) out += name + ": " + value + "\r\n";
  out += "\r\n";
  if (!response.stallAfterHeaders)
    out += response.body.substr(0, response.cutAfter >= 0 ? response.cutAfter : std::string::npos);
  for (std::size_t sent = 0; n > 0 && sent < out.size();) {
    n = ::send(client, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
    if (n > 0) sent += static_cast<std::size_t>(n);
    else if (errno == EINTR) n = 1;
  }
  // A stalled response waits until the client leaves or the server stops.
  while (response.stallAfterHeaders && n > 0) n = ::recv(client, chunk, sizeof chunk, 0);
  std::lock_guard lock(mutex_);
  std::erase(clients_, client);
  ::close(client);
}

}  // namespace larkspur::test
