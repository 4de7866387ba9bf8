// The program against an outside world that misbehaves: a player that goes
// away and comes back, an artwork server that is down, no network at start.
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "e2e_fixture.h"
#include "support/player_sim.h"

namespace larkspur::test {
namespace {

// A probe address whose connections are refused (the port is bound but not
// listening) until the network "comes back": then every request answers 200.
class NetworkSwitch {
 public:
  NetworkSwitch() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
      port_ = ntohs(address.sin_port);
  }
  ~NetworkSwitch() {
    stop_ = true;
    shutdown(fd_, SHUT_RDWR);
    if (server_.joinable()) server_.join();
    close(fd_);
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
  void comeBack() {
    listen(fd_, 8);
    server_ = std::thread([this] {
      while (!stop_) {
        int client = accept(fd_, nullptr, nullptr);
        if (client < 0) return;
        char request[2048];
        [[maybe_unused]] ssize_t got = recv(client, request, sizeof request, 0);
        const char reply[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
        [[maybe_unused]] ssize_t sent = send(client, reply, sizeof reply - 1, MSG_NOSIGNAL);
        close(client);
      }
    });
  }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread server_;
};

TEST_F(EndToEnd, PlayerQuittingAndComingBackEmptiesTheLabelThenFollowsAgain) {
  ASSERT_TRUE(program->start());
  ASSERT_TRUE(program->waitForLabel(kFirstTitle)) << program->label();
  pid_t player = program->playerPid();
  ASSERT_GT(player, 0);
  kill(player, SIGTERM);
  EXPECT_TRUE(program->waitForExit(player).has_value());
  EXPECT_TRUE(program->waitForLabel("")) << program->label();
  EXPECT_TRUE(program->running(program->pid()));

  // The user starts the player again by hand.
  PlayerSim again({"--items", program->itemsPath(), "--art-base",
                   program->server().url("/image/")});
  ASSERT_TRUE(again.start());
  EXPECT_TRUE(program->waitForLabel(kFirstTitle)) << program->label();
  ASSERT_TRUE(program->clickLabel("Next"));
  EXPECT_TRUE(again.waitForRecord("Next"));
  EXPECT_TRUE(program->waitForLabel(kSecondTitle)) << program->label();
  EXPECT_TRUE(program->running(program->pid()));
}

TEST_F(EndToEnd, ArtworkServerDownLeavesTheArtworkOutAndKeepsTrying) {
  program->setImagePrefix("http://127.0.0.1:" + std::to_string(LoopbackHttpServer::closedPort()) +
                          "/image/");
  ASSERT_TRUE(program->start());
  ASSERT_TRUE(program->waitForLabel(kFirstTitle)) << program->label();
  std::vector<MenuLine> entries = program->entries();
  ASSERT_FALSE(entries.empty());
  EXPECT_TRUE(entries[0].label.starts_with("Next")) << entries[0].label;
  EXPECT_EQ(entries.size(), 13u);
  // Each tick finds the file missing and tries again, probing first.
  int probes = program->probeRequests();
  EXPECT_TRUE(program->waitFor([&] { return program->probeRequests() >= probes + 2; }, 6000));
  // The menu still answers.
  ASSERT_TRUE(program->clickLabel("Next"));
  EXPECT_TRUE(program->waitForLabel(kSecondTitle)) << program->label();
  EXPECT_TRUE(program->cacheFiles().empty());
}

// The dialog of the retry alert: the program's only visible window then.
std::string waitForAlert(E2eProgram& program, pid_t pid, const std::string& notThis = "") {
  std::string found;
  program.waitFor([&] {
    for (const std::string& w : program.windowsOf(pid))
      if (w != notThis) found = w;
    return !found.empty();
  }, 15000);
  return found;
}

TEST_F(EndToEnd, FailedNetworkProbeAsksToRetryAndGoesOnOnceTheNetworkIsBack) {
  NetworkSwitch network;
  program->setProbeUrl(network.url());
  ASSERT_TRUE(program->spawn());
  pid_t pid = program->pid();
  std::string alert = waitForAlert(*program, pid);
  ASSERT_FALSE(alert.empty());
  // Yes while the network is still down: asked again.
  ASSERT_TRUE(program->focusWindow(alert));
  ASSERT_TRUE(program->pressKeys("Return"));
  std::string again = waitForAlert(*program, pid, alert);
  ASSERT_FALSE(again.empty());
  network.comeBack();
  ASSERT_TRUE(program->focusWindow(again));
  ASSERT_TRUE(program->pressKeys("Return"));
  ASSERT_TRUE(program->waitForSuccessor(-1));
  EXPECT_EQ(program->pid(), pid);
  EXPECT_TRUE(program->waitForLabel(kFirstTitle)) << program->label();
}

TEST_F(EndToEnd, FailedNetworkProbeEndsOnNoAndOnATerminationSignal) {
  NetworkSwitch network;
  program->setProbeUrl(network.url());
  ASSERT_TRUE(program->spawn());
  pid_t first = program->pid();
  std::string alert = waitForAlert(*program, first);
  ASSERT_FALSE(alert.empty());
  // Escape dismisses the alert without a choice, which counts as No.
  ASSERT_TRUE(program->focusWindow(alert));
  ASSERT_TRUE(program->pressKeys("Escape"));
  EXPECT_EQ(program->waitForExit(first), 0);

  ASSERT_TRUE(program->spawn());
  pid_t second = program->pid();
  ASSERT_FALSE(waitForAlert(*program, second).empty());
  program->signal(second, SIGTERM);
  EXPECT_EQ(program->waitForExit(second), 0);
}

}  // namespace
}  // namespace larkspur::test
