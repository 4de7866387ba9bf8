#pragma once
// A whole program in process: the real application core over the fake
// desktop, the fake player and the fake network, with a temporary home and
// cache directory. start() runs until the process would end (or until the
// scripted user runs out of actions) and answers the exit status.
#include <unistd.h>

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
  AppHarness();

  // Runs AppController::start, or one more stretch of the main loop after it
  // ran out of events; answers the exit status, or kRanOutOfEvents.
  int start();
  int resume();
  AppController& app() { return *app_; }

  std::string settingsPath() const { return home.path() + "/Library/Preferences/Larkspur.plist"; }
  std::string cacheDir() const { return endpoints.tempDirectory + "larkspur-" + std::to_string(::getuid()) + "/"; }
  std::string artworkPath(const std::string& id) const { return cacheDir() + id + ".jpeg"; }
  void serveArtworkForAllTracks();
  void writeSettings(const Entries& entries);
  std::string settingsXml() const { return fileBytes(settingsPath()); }

  TempDir home;
  EventQueue queue;
  FakeDesktop desktop{queue};
  FakePlayer player;
  FakeHttp http;
  FakeLauncher launcher;
  Endpoints endpoints;

 private:
  std::unique_ptr<AppController> app_;
};

}  // namespace larkspur::test
