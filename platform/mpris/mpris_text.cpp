#include "platform/mpris/mpris_text.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>

namespace larkspur::mpris {
namespace {

constexpr std::string_view ObjectPathPrefix = "/com/spotify/";
constexpr std::string_view UriPrefix = "spotify:";
constexpr std::string_view AdPath = "/ad/";

// The path segment that follows `at`, up to the next '/', '?' or '#'.
std::string segmentAfter(std::string_view text, std::size_t at) {
  std::string_view rest = text.substr(at);
  return std::string(rest.substr(0, rest.find_first_of("/?#")));
}

std::optional<std::string> uriFromObjectPath(std::string_view path) {
  std::string_view rest = path.substr(ObjectPathPrefix.size());
  std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos || slash == 0 || slash + 1 == rest.size()) return std::nullopt;
  std::string_view kind = rest.substr(0, slash), id = rest.substr(slash + 1);
  if (id.find('/') != std::string_view::npos) return std::nullopt;
  return std::string(UriPrefix) + std::string(kind) + ":" + std::string(id);
}

std::string lastSegment(std::string_view text) {
  std::size_t cut = text.find_last_of("/:");
  return std::string(cut == std::string_view::npos ? text : text.substr(cut + 1));
}

bool isExecutableFile(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string onPath(std::string_view name, std::string_view pathEnv) {
  std::size_t start = 0;
  while (start <= pathEnv.size()) {
    std::size_t end = pathEnv.find(':', start);
    if (end == std::string_view::npos) end = pathEnv.size();
    std::string_view dir = pathEnv.substr(start, end - start);
    // An empty entry would mean the current directory; never start a
    // player from wherever we happen to be.
    if (!dir.empty()) {
      std::string candidate = std::string(dir) + "/" + std::string(name);
      if (isExecutableFile(candidate)) return candidate;
    }
    start = end + 1;
  }
  return {};
}

}  // namespace

std::optional<std::string> trackUri(std::optional<std::string_view> trackId,
                                    std::optional<std::string_view> pageUrl) {
  if (pageUrl) {
    std::size_t ad = pageUrl->rfind(AdPath);
    if (ad != std::string_view::npos) {
      std::string id = segmentAfter(*pageUrl, ad + AdPath.size());
      if (id.empty() && trackId) id = lastSegment(*trackId);
      return "spotify:ad:" + id;
    }
  }
  if (!trackId) return std::nullopt;
  if (trackId->starts_with(ObjectPathPrefix)) return uriFromObjectPath(*trackId);
  if (trackId->starts_with(UriPrefix)) return std::string(*trackId);
  return std::nullopt;
}

std::string artworkUrl(std::string_view url, std::string_view webHost,
                       std::string_view imagePrefix) {
  for (std::string_view scheme : {"https://", "http://"}) {
    std::string old = std::string(scheme) + std::string(webHost) + "/image/";
    if (url.size() > old.size() && url.starts_with(old))
      return std::string(imagePrefix) + std::string(url.substr(old.size()));
  }
  return std::string(url);
}

std::string joinArtists(const std::vector<std::string>& artists) {
  std::string out;
  for (const auto& a : artists) {
    if (!out.empty()) out += ", ";
    out += a;
  }
  return out;
}

std::optional<std::string> durationMinutes(std::int64_t micros) {
  if (micros < 0) return std::nullopt;
  return std::to_string(micros / 60'000'000);
}

std::optional<std::string> durationSeconds(std::int64_t micros) {
  if (micros < 0) return std::nullopt;
  return std::to_string((micros / 1'000'000) % 60);
}

std::optional<std::string> popularity(double rating) {
  if (!std::isfinite(rating) || rating < 0.0 || rating > 1.0) return std::nullopt;
  return std::to_string(std::lround(rating * 100.0));
}

std::vector<std::string> playerCommand(const std::vector<std::string>& installPaths,
                                       std::string_view executableName,
                                       std::string_view pathEnv, std::string_view home) {
  for (const auto& p : installPaths) {
    std::string path = p;
    if (path.starts_with("~/")) {
      if (home.empty()) continue;
      path = std::string(home) + path.substr(1);
    }
    if (isExecutableFile(path)) return {path};
  }
  if (std::string found = onPath(executableName, pathEnv); !found.empty()) return {found};
  if (std::string flatpak = onPath("flatpak", pathEnv); !flatpak.empty())
    return {flatpak, "run", "com.spotify.Client"};
  return {};
}

}  // namespace larkspur::mpris
