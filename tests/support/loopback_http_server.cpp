#include "support/loopback_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <strings.h>

namespace larkspur::test {

namespace {

const char* reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

int bindLoopback(int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

std::string head(const LoopbackHttpServer::Response& response) {
  std::string text = "HTTP/1.1 " + std::to_string(response.status) + " " + reason(response.status) +
                     "\r\nConnection: close\r\n";
  if (!response.omitContentLength) {
    text += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
  }
  for (const auto& [name, value] : response.headers) text += name + ": " + value + "\r\n";
  return text + "\r\n";
}

std::string headerValue(const std::string& block, const char* name) {
  const std::size_t nameLength = std::strlen(name);
  for (std::size_t at = block.find("\r\n"); at != std::string::npos; at = block.find("\r\n", at + 2)) {
    const std::size_t line = at + 2;
    if (block.size() > line + nameLength && block[line + nameLength] == ':' &&
        ::strncasecmp(block.c_str() + line, name, nameLength) == 0) {
      std::size_t start = line + nameLength + 1;
      while (start < block.size() && block[start] == ' ') ++start;
      return block.substr(start, block.find("\r\n", start) - start);
    }
  }
  return {};
}

}  // namespace

LoopbackHttpServer::Response LoopbackHttpServer::text(int status, std::string body) {
  Response response;
  response.status = status;
  response.body = std::move(body);
  response.headers.push_back({"Content-Type", "text/plain"});
  return response;
}

LoopbackHttpServer::Response LoopbackHttpServer::redirect(const std::string& location, int status) {
  Response response;
  response.status = status;
  response.headers.push_back({"Location", location});
  return response;
}

LoopbackHttpServer::LoopbackHttpServer() {
  if (::pipe2(wake_, O_CLOEXEC) != 0) return;
  listener_ = bindLoopback(port_);
  if (listener_ >= 0 && ::listen(listener_, 16) != 0) {
    ::close(listener_);
    listener_ = -1;
  }
  if (listener_ >= 0) acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  stopping_ = true;
  if (wake_[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wake_[1], &byte, 1);
  }
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(mutex_);
    threads.swap(connections_);
  }
  for (auto& thread : threads) thread.join();
  if (listener_ >= 0) ::close(listener_);
  for (int fd : wake_) {
    if (fd >= 0) ::close(fd);
  }
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

void LoopbackHttpServer::acceptLoop() {
  while (!stopping_) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if (fds[1].revents) return;
    if (!(fds[0].revents & POLLIN)) continue;
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    std::lock_guard lock(mutex_);
    connections_.emplace_back([this, client] {
      serve(client);
      ::close(client);
    });
  }
}

bool LoopbackHttpServer::receiveRequest(int client, Request& request) {
  std::string block;
  char chunk[4096];
  while (block.find("\r\n\r\n") == std::string::npos && block.size() < 65536) {
    pollfd fds[2] = {{client, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) return false;
    if (fds[1].revents) return false;
    const ssize_t n = ::recv(client, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    block.append(chunk, static_cast<std::size_t>(n));
  }
  const std::size_t start = block.find(' ');
  const std::size_t end = block.find(' ', start + 1);
  if (start == std::string::npos || end == std::string::npos) return false;
  request.path = block.substr(start + 1, end - start - 1);
  request.userAgent = headerValue(block, "User-Agent");
  return true;
}

bool LoopbackHttpServer::sendAll(int client, const char* data, std::size_t size) {
  while (size > 0) {
    pollfd fds[2] = {{client, POLLOUT, 0}, {wake_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) return false;
    if (fds[1].revents) return false;
    const ssize_t n = ::send(client, data, size, MSG_NOSIGNAL);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void LoopbackHttpServer::waitForHangUpOrStop(int client) {
  char sink[256];
  for (;;) {
    pollfd fds[2] = {{client, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if (fds[1].revents) return;
    if (fds[0].revents && ::recv(client, sink, sizeof sink, 0) <= 0) return;
  }
}

void LoopbackHttpServer::serve(int client) {
  Request request;
  if (!receiveRequest(client, request)) return;
  Response response = text(404, "not found");
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    const auto it = routes_.find(request.path.substr(0, request.path.find('?')));
    if (it != routes_.end()) response = it->second;
  }
  const std::string top = head(response);
  if (!sendAll(client, top.data(), top.size())) return;
  if (response.stallAfterHeaders) return waitForHangUpOrStop(client);
  std::size_t length = response.body.size();
  if (response.cutAfter >= 0) length = std::min(length, static_cast<std::size_t>(response.cutAfter));
  sendAll(client, response.body.data(), length);
  ::shutdown(client, SHUT_WR);
}

}  // namespace larkspur::test
