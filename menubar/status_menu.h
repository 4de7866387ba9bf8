#pragma once
// The tray item and its menu, built whole and never edited in place: any
// change in what it shows is a teardown and a new build.
#include "app/app_core.h"
#include "app/preferences.h"
#include "menubar/artwork_cache.h"
#include "menubar/now_playing_title.h"
#include "platform/image.h"
#include "platform/image_table.h"
#include "platform/menu_table.h"
#include "platform/window_table.h"
#include "player/player_bridge.h"
#include "shortcuts/hotkey_registry.h"

namespace larkspur {

enum MenuItemId : std::int64_t {
  MenuItemTrackDetails = 1,
  MenuItemNext = 2,
  MenuItemPrevious = 3,
  MenuItemRepeat = 4,
  MenuItemPlayPause = 5,
  MenuItemShuffle = 6,
  MenuItemHideArtist = 7,
  MenuItemHideArtwork = 8,
  MenuItemHideIcon = 9,
  MenuItemCloseSpotifyOnExit = 10,
  MenuItemMuteAds = 11,
  MenuItemSetShortcuts = 12,
  MenuItemAbout = 13,
  MenuItemQuit = 14,
};

// Window and timer numbers, and image slots.
constexpr std::int64_t TimerWindow = 0;
constexpr std::int64_t RefreshTimer = 1;
constexpr std::int64_t TrackDetailsWindowNumber = 1;
constexpr std::int64_t ShortcutsWindowNumber = 5;
enum ImageSlot : int {
  SlotLightIcon = 0,
  SlotDarkIcon = 1,
  SlotAboutIcon = 2,
  SlotMenuArtwork = 3,
  SlotDetailsArtwork = 4,
};

struct StatusMenuParts {
  Preferences& prefs;
  PlayerBridge& bridge;
  NowPlayingTitle& title;
  ArtworkCache& artwork;
  HotkeyRegistry& hotkeys;
  WindowTable& windows;
  MenuTable& menus;
  ImageTable& images;
  StatusItemPort& statusItem;
  SystemPort& system;
  AppCore& core;
};

class StatusMenu {
 public:
  explicit StatusMenu(StatusMenuParts parts);

  void build();
  void releaseMenu();
  void setItemEnabled(std::int64_t id, bool enabled);

  // The on/off images of a setting: a rectangle with its left or right half
  // filled. Drawn by us, so every desktop shows the same thing.
  const Image& onImage() const { return on_; }
  const Image& offImage() const { return off_; }

 private:
  void registerHotkeys();
  void loadIcons();
  void addFirstEntry();
  void addTransportEntries();
  void addPlayerStateEntries();
  void addOptionEntries();
  void addFlagEntry(std::int64_t id, const char16_t* text, std::int8_t flag, bool onWhenOne);

  StatusMenuParts p_;
  Image on_, off_;
};

}  // namespace larkspur
