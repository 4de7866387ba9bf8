#pragma once
// A scripted network: probe statuses and artwork bodies by address, and a
// launcher that records what it was asked to open.
#include <deque>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/ports.h"

namespace larkspur::test {

class FakeHttp : public HttpPort {
 public:
  std::optional<HttpResponse> fetch(const Text& url) override {
    fetches.push_back(toUtf8(url));
    HttpResponse r;
    r.status = fromUtf8(probeAnswers.empty() ? "200" : probeAnswers.front());
    if (!probeAnswers.empty()) probeAnswers.pop_front();
    return r;
  }
  bool downloadToFile(const Text& url, const Text& path) override {
    downloads.push_back(toUtf8(url));
    auto it = bodies.find(downloads.back());
    return failDownloads-- <= 0 && it != bodies.end() &&
           bool(std::ofstream(toUtf8(path), std::ios::binary) << it->second);
  }
  void setConnectTimeout(int) override {}

  std::deque<std::string> probeAnswers;  // one status per fetch; then "200"
  std::map<std::string, std::string> bodies;  // url -> body; absent: transfer fails
  int failDownloads = 0;                      // so many transfers fail first, as a drop would
  std::vector<std::string> fetches, downloads;
};

class FakeLauncher : public LauncherPort {
 public:
  int open(const Text& program, const Text& parameters, const Text&) override {
    opened.push_back(toUtf8(program) + " " + toUtf8(parameters));
    return 1;
  }
  std::vector<std::string> opened;  // "program parameters"
};

}  // namespace larkspur::test
