#include "support/app_harness.h"

#include <sys/stat.h>
#include <unistd.h>

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
}

std::string AppHarness::cacheDir() const {
  return endpoints.tempDirectory + "larkspur-" + std::to_string(::getuid()) + "/";
}

void AppHarness::serveArtworkForAllTracks() {
  const std::string jpeg = fileBytes(LARKSPUR_TEST_DATA "artwork.jpeg");
  for (const auto& t : player.tracks) http.bodies[t.artworkUrl] = jpeg;
}

void AppHarness::writeSettings(const std::string& xmlEntries) {
  std::filesystem::create_directories(home.path() + "/Library/Preferences");
  std::ofstream(settingsPath()) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                << "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                   "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                                << "<plist version=\"1.0\"><dict>" << xmlEntries
                                << "</dict></plist>\n";
}

template <typename F>
int AppHarness::guarded(F&& body) {
  try {
    body();
  } catch (const ProcessExit& exit) {
    return exit.status;
  } catch (const OutOfEvents&) {
    return kRanOutOfEvents;
  }
  return kRanOutOfEvents;
}

int AppHarness::start() {
  app_ = std::make_unique<AppController>(
      AppPorts{queue, desktop, player, http, launcher, endpoints});
  return guarded([this] { app_->start(); });
}

int AppHarness::resume() {
  return guarded([this] { app_->run(); });
}

}  // namespace larkspur::test
