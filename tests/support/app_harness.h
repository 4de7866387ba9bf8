#pragma once
// A whole program in process: the real application core over the fake
// desktop, the fake player and the fake network, with a temporary home and
// cache directory. start() runs until the process would end (or until the
// scripted user runs out of actions) and answers the exit status.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/app_controller.h"
#include "support/fake_desktop.h"
#include "support/fake_http.h"
#include "support/fake_player.h"
#include "support/temp_dir.h"

namespace larkspur::test {

inline constexpr int kRanOutOfEvents = -1000;

// Settings entries as a previous run writes them: {"Val9", "1"} an integer,
// {"Val31", "⌘N"} a text.
using Entries = std::vector<std::pair<std::string, std::string>>;

class AppHarness {
 public:
  AppHarness() {
    desktop.home = home.path() + "/";
    // The build tree keeps the icons in share/larkspur/ beside bin/, as installed.
    desktop.exePath = LARKSPUR_BINARY_DIR "bin/larkspur";
    ::mkdir(endpoints.tempDirectory.c_str(), 0700);
    app_ = std::make_unique<AppController>(AppPorts{queue, desktop, player, http, launcher, endpoints});
  }

  // Runs AppController::start, or one more stretch of the main loop after it
  // ran out of events; answers the exit status, or kRanOutOfEvents.
  int start() { return guarded([this] { app_->start(); }); }
  int resume() { return guarded([this] { app_->run(); }); }
  AppController& app() { return *app_; }

  std::string settingsPath() const { return home.path() + "/Library/Preferences/Larkspur.plist"; }
  std::string cacheDir() const { return endpoints.tempDirectory + "larkspur-" + std::to_string(::getuid()) + "/"; }
  std::string artworkPath(const std::string& id) const { return cacheDir() + id + ".jpeg"; }
  void serveArtworkForAllTracks() {
    for (const auto& t : player.tracks) http.bodies[t.artworkUrl] = fileBytes(LARKSPUR_TEST_DATA "artwork.jpeg");
  }
  void writeSettings(const Entries& entries) {
    std::filesystem::create_directories(home.path() + "/Library/Preferences");
    std::ofstream out(settingsPath());
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>";
    for (auto& [key, value] : entries) {
      bool number = !value.empty() && (std::isdigit(value[0]) || value[0] == '-');
      out << "<key>" << key << "</key>" << (number ? "<integer>" + value + "</integer>" : "<string>" + value + "</string>");
    }
    out << "</dict></plist>\n";
  }
  std::string settingsXml() const { return fileBytes(settingsPath()); }

  TempDir home;
  EventQueue queue;
  FakeDesktop desktop{queue};
  FakePlayer player;
  FakeHttp http;
  FakeLauncher launcher;
  Endpoints endpoints{.probeUrl = "https://probe.test/", .tempDirectory = home.path() + "/tmp/"};

 private:
  static int guarded(const std::function<void()>& body) {
    try {
      body();
    } catch (const ProcessExit& exit) {
      return exit.status;
    } catch (const OutOfEvents&) {
    }
    return kRanOutOfEvents;
  }
  std::unique_ptr<AppController> app_;
};

}  // namespace larkspur::test
