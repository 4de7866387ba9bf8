#pragma once
// A scripted network: probe statuses and artwork bodies by address.
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/ports.h"

namespace larkspur::test {

class FakeHttp : public HttpPort {
 public:
  std::optional<HttpResponse> fetch(const Text& url) override;
  bool downloadToFile(const Text& url, const Text& path) override;
  void setConnectTimeout(int ms) override { timeouts.push_back(ms); }

  std::string probeStatus = "200";      // answered when probeAnswers is empty
  std::deque<std::string> probeAnswers;  // one per fetch, first
  std::map<std::string, std::string> bodies;  // url -> body; absent: transfer fails
  int failDownloads = 0;                      // so many transfers fail first, as a drop would
  std::vector<std::string> fetches, downloads;
  std::vector<int> timeouts;
};

class FakeLauncher : public LauncherPort {
 public:
  int open(const Text& program, const Text& parameters, const Text& directory) override {
    opened.push_back({toUtf8(program), toUtf8(parameters), toUtf8(directory)});
    return 1;
  }
  struct Call {
    std::string program, parameters, directory;
  };
  std::vector<Call> opened;
};

}  // namespace larkspur::test
