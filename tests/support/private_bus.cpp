#include "private_bus.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace larkspur::test {
namespace {

constexpr int StartTimeoutMs = 10000;

// Reads the address line the daemon prints, giving up at the deadline.
std::string readLine(int fd, int timeoutMs) {
  std::string line;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (line.find('\n') == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return {};
    char buf[256];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) return {};
    line.append(buf, static_cast<std::size_t>(n));
  }
  return line.substr(0, line.find('\n'));
}

}  // namespace

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

PrivateBus::PrivateBus() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  std::string printAddress = "--print-address=" + std::to_string(fds[1]);
  const char* argv[] = {"dbus-daemon", "--config-file=/usr/share/dbus-1/session.conf",
                        "--nofork", "--nopidfile", printAddress.c_str(), nullptr};
  pid_ = fork();
  if (pid_ == 0) {
    // The daemon must not outlive a test that crashes.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    fcntl(fds[1], F_SETFD, 0);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FILENO);
    execvp(argv[0], const_cast<char* const*>(argv));
    _exit(127);
  }
  close(fds[1]);
  if (pid_ > 0) address_ = readLine(fds[0], StartTimeoutMs);
  close(fds[0]);
  if (address_.empty()) return;
  if (const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS")) previous_ = old;
  setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
}

PrivateBus::~PrivateBus() {
  if (previous_) setenv("DBUS_SESSION_BUS_ADDRESS", previous_->c_str(), 1);
  else unsetenv("DBUS_SESSION_BUS_ADDRESS");
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

std::vector<std::string> busNames() {
  std::vector<std::string> names;
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (!address) return names;
  auto flags = static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
  GDBusConnection* c = g_dbus_connection_new_for_address_sync(address, flags, nullptr, nullptr, nullptr);
  if (!c) return names;
  GVariant* reply = g_dbus_connection_call_sync(
      c, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ListNames",
      nullptr, G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
  if (reply) {
    GVariantIter* iter = nullptr;
    const gchar* name = nullptr;
    g_variant_get(reply, "(as)", &iter);
    while (g_variant_iter_loop(iter, "&s", &name)) names.emplace_back(name);
    g_variant_iter_free(iter);
    g_variant_unref(reply);
  }
  g_dbus_connection_close_sync(c, nullptr, nullptr);
  g_object_unref(c);
  return names;
}

bool busHasNameWithPrefix(const std::string& prefix) {
  for (const auto& n : busNames())
    if (n.starts_with(prefix)) return true;
  return false;
}

}  // namespace larkspur::test
