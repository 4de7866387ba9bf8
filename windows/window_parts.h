#pragma once
// What the two modal windows work with.
#include "app/app_core.h"
#include "app/preferences.h"
#include "menubar/artwork_cache.h"
#include "menubar/now_playing_title.h"
#include "menubar/status_menu.h"
#include "platform/endpoints.h"
#include "platform/event_queue.h"
#include "platform/image_table.h"
#include "platform/pasteboard.h"
#include "platform/window_table.h"
#include "player/player_bridge.h"
#include "shortcuts/hotkey_registry.h"

namespace larkspur {

struct WindowParts {
  Preferences& prefs;
  PlayerBridge& bridge;
  NowPlayingTitle& title;
  ArtworkCache& artwork;
  StatusMenu& statusMenu;
  EventQueue& queue;
  WindowTable& windows;
  ImageTable& images;
  SystemPort& system;
  Pasteboard& pasteboard;
  HotkeyRegistry& hotkeys;
  AppCore& core;
  const Endpoints& endpoints;
};

}  // namespace larkspur

namespace larkspur {

// While a modal window is open only Next, Previous, Repeat and Quit stay
// enabled: entries 1 and 5 to 13 are switched off and on again here.
void setModalEntriesEnabled(StatusMenu& menu, bool enabled);

// The menu choices both modal windows act on in the same way: Next,
// Previous (sent twice, counted once), Repeat, and the session's termination
// request, which is Quit. Quit from the menu itself is the window's own.
void handleModalMenuChoice(WindowParts& p, std::int64_t id);

}  // namespace larkspur
