#include "support/app_harness.h"

#include <sys/stat.h>

#include <cctype>
#include <filesystem>
#include <fstream>

namespace larkspur::test {

AppHarness::AppHarness() {
  desktop.home = home.path() + "/";
  // The build tree keeps the icons in share/larkspur/ beside bin/, as installed.
  desktop.exePath = LARKSPUR_BINARY_DIR "bin/larkspur";
  endpoints.tempDirectory = home.path() + "/tmp/";
  ::mkdir(endpoints.tempDirectory.c_str(), 0700);
  endpoints.probeUrl = "https://probe.test/";
  endpoints.imagePrefix = "https://i.scdn.co/image/";
  endpoints.webHost = "open.spotify.com";
  endpoints.otherAppsUrl = "https://larkspur.example.org/apps";
  app_ = std::make_unique<AppController>(AppPorts{queue, desktop, player, http, launcher, endpoints});
}

void AppHarness::serveArtworkForAllTracks() {
  for (const auto& t : player.tracks) http.bodies[t.artworkUrl] = fileBytes(LARKSPUR_TEST_DATA "artwork.jpeg");
}

void AppHarness::writeSettings(const Entries& entries) {
  std::filesystem::create_directories(home.path() + "/Library/Preferences");
  std::ofstream out(settingsPath());
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>";
  for (auto& [key, value] : entries) {
    bool number = !value.empty() && (std::isdigit(value[0]) || value[0] == '-');
    out << "<key>" << key << "</key>" << (number ? "<integer>" + value + "</integer>" : "<string>" + value + "</string>");
  }
  out << "</dict></plist>\n";
}

static int guarded(const std::function<void()>& body) {
  try {
    body();
  } catch (const ProcessExit& exit) {
    return exit.status;
  } catch (const OutOfEvents&) {
  }
  return kRanOutOfEvents;
}

int AppHarness::start() { return guarded([this] { app_->start(); }); }
int AppHarness::resume() { return guarded([this] { app_->run(); }); }

}  // namespace larkspur::test
