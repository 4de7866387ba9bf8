#include "support/fake_http.h"

#include <cstdio>

namespace larkspur::test {

std::optional<HttpResponse> FakeHttp::fetch(const Text& url) {
  fetches.push_back(toUtf8(url));
  HttpResponse r;
  std::string status = probeStatus;
  if (!probeAnswers.empty()) {
    status = probeAnswers.front();
    probeAnswers.pop_front();
  }
  r.status = fromUtf8(status);
  return r;
}

bool FakeHttp::downloadToFile(const Text& url, const Text& path) {
  std::string u = toUtf8(url);
  downloads.push_back(u);
  auto it = bodies.find(u);
  if (it == bodies.end()) return false;
  std::FILE* f = std::fopen(toUtf8(path).c_str(), "wb");
  if (!f) return false;
  std::fwrite(it->second.data(), 1, it->second.size(), f);
  std::fclose(f);
  return true;
}

}  // namespace larkspur::test
