#pragma once
// A whole program in process: the real application core over the fake
// desktop, the fake player and the fake network, with a temporary home and
// cache directory. start() runs until the process would end (or until the
// scripted user runs out of actions) and answers the exit status.
#include <memory>
#include <optional>
#include <string>

#include "app/app_controller.h"
#include "support/fake_desktop.h"
#include "support/fake_http.h"
#include "support/fake_player.h"
#include "support/temp_dir.h"

namespace larkspur::test {

inline constexpr int kRanOutOfEvents = -1000;

// One settings entry as a previous run writes it.
inline std::string intEntry(const std::string& key, int value) {
  return "<key>" + key + "</key><integer>" + std::to_string(value) + "</integer>";
}
inline std::string textEntry(const std::string& key, const std::string& value) {
  return "<key>" + key + "</key><string>" + value + "</string>";
}

class AppHarness {
 public:
  AppHarness();

  // Runs AppController::start; answers the exit status, or kRanOutOfEvents
  // when the program was still running at the end of the script.
  int start();
  // Runs one more stretch of the main loop after start() ran out of events.
  int resume();
  AppController& app() { return *app_; }

  std::string settingsPath() const { return home.path() + "/Library/Preferences/Larkspur.plist"; }
  std::string cacheDir() const;
  std::string artworkPath(const std::string& id) const { return cacheDir() + id + ".jpeg"; }
  // Serves artwork bodies for every track of the fake player.
  void serveArtworkForAllTracks();
  // Writes settings as a previous run would have left them.
  void writeSettings(const std::string& xmlEntries);
  std::string settingsXml() const { return fileBytes(settingsPath()); }

  TempDir home;
  EventQueue queue;
  FakeDesktop desktop{queue};
  FakePlayer player;
  FakeHttp http;
  FakeLauncher launcher;
  Endpoints endpoints;

 private:
  template <typename F>
  int guarded(F&& body);
  std::unique_ptr<AppController> app_;
};

}  // namespace larkspur::test
