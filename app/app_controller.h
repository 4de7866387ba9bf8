#pragma once
// The application core: start-up, the main loop and its dispatch, the status
// item rebuild, and the three ways out (quit, relaunch, terminate), each
// ending the process with status 0.
#include <cstdint>
#include <memory>
#include <string>

#include "app/app_core.h"
#include "app/preferences.h"
#include "app/stream_muter.h"
#include "menubar/artwork_cache.h"
#include "menubar/now_playing_title.h"
#include "menubar/status_menu.h"
#include "platform/alert_box.h"
#include "platform/endpoints.h"
#include "platform/event_queue.h"
#include "platform/image_table.h"
#include "platform/menu_table.h"
#include "platform/pasteboard.h"
#include "platform/ports.h"
#include "platform/window_table.h"
#include "player/player_bridge.h"
#include "shortcuts/hotkey_registry.h"
#include "windows/shortcuts_window.h"
#include "windows/track_details_window.h"

namespace larkspur {

struct AppPorts {
  EventQueue& queue;
  Desktop& desktop;
  ScriptService& player;
  HttpPort& http;
  LauncherPort& launcher;
  Endpoints endpoints;
  // Null: no sound server; adverts are muted by the volume script alone.
  SoundPort* sound = nullptr;
};

class AppController final : public AppCore {
 public:
  explicit AppController(AppPorts ports);
  ~AppController() override;

  [[noreturn]] void start();
  // start() is startUp() then run(). startUp() alone lets in-process
  // measurements drive refreshTick() and rebuildStatusItem() themselves.
  void startUp();
  [[noreturn]] void run();
  void probeNetwork() override;
  [[noreturn]] void relaunch() override;
  [[noreturn]] void quit() override;
  [[noreturn]] void terminate();
  void rebuildStatusItem();
  void tearDownStatusItem() override;
  void countCommand() override { ++commandCounter_; }
  const std::string& resourcesDirectory() const override { return resourcesDirectory_; }

  // One pass of the loop's dispatch, for the loop and for tests.
  void dispatch(std::int32_t code);
  void refreshTick();
  // After each event: the refresh timer runs only while something the tick
  // follows can change unannounced.
  void scheduleRefresh();

  std::int16_t commandCounter() const { return commandCounter_; }
  std::int16_t relaunchThreshold() const { return relaunchThreshold_; }
  static std::int16_t thresholdForMemory(std::uint64_t bytes);
  // The shell command that starts the executable again once process `pid`
  // has gone; the path is quoted so that no path can inject a command.
  static std::string relaunchCommand(const std::string& executablePath, long pid);

  Preferences& preferences() { return prefs_; }
  ImageTable& images() { return images_; }
  HotkeyRegistry& hotkeys() { return hotkeys_; }
  ArtworkCache& artwork() { return artwork_; }
  NowPlayingTitle& title() { return title_; }
  WindowTable& windows() { return windows_; }

 private:
  void checkPrerequisites();
  void startPlayer();
  void loadAboutIcon();
  void dispatchMenu(std::int64_t id);
  void toggleFlag(std::int8_t& flag, const char* labelKey, const char16_t* label,
                  const char* valueKey);
  void toggleMuteAds();
  void muteAdsTick();
  void playerChanged();
  void requestTick();
  void showAbout();
  void setItemsEnabled(std::int64_t first, std::int64_t last, bool enabled);
  void send(TextView script) { bridge_.runScript(script); }
  // Both windows get the same parts; called while constructing them, when
  // every part named here already exists.
  WindowParts windowParts();

  AppPorts ports_;
  Desktop& desktop_;
  PlayerBridge bridge_;
  StreamMuter streamMuter_;
  Preferences prefs_;
  WindowTable windows_;
  MenuTable menus_;
  ImageTable images_;
  AlertBox alerts_;
  Pasteboard pasteboard_;
  KeyNameTable keyNames_;
  HotkeyRegistry hotkeys_;
  NowPlayingTitle title_;
  ArtworkCache artwork_;
  StatusMenu statusMenu_;
  TrackDetailsWindow detailsWindow_;
  ShortcutsWindow shortcutsWindow_;

  std::string resourcesDirectory_;
  std::int16_t commandCounter_ = 0;
  std::int16_t relaunchThreshold_ = 200;
  // The last volume command the mute-ads tick sent, so full volume is sent
  // once after an advert rather than over the user's own volume every second.
  enum class Volume { Unknown, Muted, Full } lastVolume_ = Volume::Unknown;
  // The player reported a change that no tick has seen yet.
  bool refreshDue_ = false;
  // The refresh timer runs at the one-second pace (not the player's own).
  bool polling_ = true;
};

}  // namespace larkspur
