#include "support/fake_http.h"

#include <fstream>

namespace larkspur::test {

std::optional<HttpResponse> FakeHttp::fetch(const Text& url) {
  fetches.push_back(toUtf8(url));
  HttpResponse r;
  r.status = fromUtf8(probeAnswers.empty() ? probeStatus : probeAnswers.front());
  if (!probeAnswers.empty()) probeAnswers.pop_front();
  return r;
}

bool FakeHttp::downloadToFile(const Text& url, const Text& path) {
  downloads.push_back(toUtf8(url));
  auto it = bodies.find(downloads.back());
  if (failDownloads-- > 0 || it == bodies.end()) return false;
  std::ofstream out(toUtf8(path), std::ios::binary);
  return bool(out << it->second);
}

}  // namespace larkspur::test
