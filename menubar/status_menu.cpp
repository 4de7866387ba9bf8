#include "menubar/status_menu.h"

#include "platform/event_queue.h"
#include "player/player_script.h"

namespace larkspur {
namespace {

// Freedesktop icon names of the same meaning as the symbols the menu shows.
constexpr const char* kForward = "media-skip-forward";
constexpr const char* kBackward = "media-skip-backward";
constexpr const char* kPlay = "media-playback-start";
constexpr const char* kPause = "media-playback-pause";
constexpr const char* kRepeat = "media-playlist-repeat";
constexpr const char* kInfo = "dialog-information";

Image halfFilledRectangle(bool leftHalf) {
  constexpr int n = 16;
  Image img;
  img.width = img.height = n;
  img.pointWidth = img.pointHeight = n;
  img.rgba.assign(n * n * 4, 0);
  for (int y = 2; y < n - 2; ++y) {
    for (int x = 1; x < n - 1; ++x) {
      bool border = y == 2 || y == n - 3 || x == 1 || x == n - 2;
      bool filled = leftHalf ? x < n / 2 : x >= n / 2;
      if (!border && !filled) continue;
      std::uint8_t* px = &img.rgba[(y * n + x) * 4];
      px[0] = px[1] = px[2] = 0x40;
      px[3] = 255;
    }
  }
  return img;
}

Text withBlanks(const char16_t* text, std::size_t blanks, const Text& shortcut) {
  Text out(text);
  out.append(blanks, u' ');
  out += shortcut;
  return out;
}

}  // namespace

StatusMenu::StatusMenu(StatusMenuParts parts)
    : p_(parts), on_(halfFilledRectangle(true)), off_(halfFilledRectangle(false)) {}

void StatusMenu::registerHotkeys() {
  const Preferences& prefs = p_.prefs;
  p_.hotkeys.add(prefs.shortcutNext, EventNextTrack);
  p_.hotkeys.add(prefs.shortcutPrevious, EventPreviousTrack);
  p_.hotkeys.add(prefs.shortcutPause, EventPlayPause);
  p_.hotkeys.add(prefs.shortcutShuffle, EventShuffle);
  p_.hotkeys.add(prefs.shortcutRepeat, EventRestartTrack);
  p_.hotkeys.add(prefs.shortcutDetails, EventTrackDetails);
}

void StatusMenu::loadIcons() {
  const std::string& dir = p_.core.resourcesDirectory();
  if (loadImageFile(p_.images, SlotLightIcon, dir + "ss_icon.png"))
    p_.images.setSize(SlotLightIcon, 16, 16);
  if (loadImageFile(p_.images, SlotDarkIcon, dir + "inv_ss_icon.png"))
    p_.images.setSize(SlotDarkIcon, 16, 16);
}

void StatusMenu::build() {
  registerHotkeys();
  p_.windows.open(TimerWindow, 0, 0, 0, 0, Text(), WindowInvisible);
  p_.windows.addTimer(TimerWindow, RefreshTimer, 1000);
  if (p_.prefs.iconShown == 1) loadIcons();
  on_.generation++;
  off_.generation++;
  p_.statusItem.setStatusIconFolder(p_.core.resourcesDirectory());
  // A middle click pauses or resumes; the wheel goes back (away from the
  // user) or on, as the menu's entries do.
  p_.statusItem.setStatusMouseActions({MenuItemPlayPause, MenuItemPrevious, MenuItemNext});
  p_.statusItem.createStatusItem();
  p_.menus.createPopupMenu(0);
  if (p_.prefs.iconShown == 1) {
    int slot = p_.system.darkAppearance() ? SlotDarkIcon : SlotLightIcon;
    p_.statusItem.setStatusImage(p_.images.platformImage(slot), true);
  } else {
    p_.statusItem.setStatusImage(nullptr, false);
  }
  p_.title.refresh();
  p_.artwork.fetch();
  addFirstEntry();
  addTransportEntries();
  addPlayerStateEntries();
  addOptionEntries();
  p_.statusItem.setStatusMenu(p_.menus.platformMenus(0));
  p_.statusItem.setStatusTitle(p_.title.statusTitle());
  p_.statusItem.setStatusToolTip(p_.title.toolTip());
}

void StatusMenu::addFirstEntry() {
  std::int8_t hide = p_.prefs.hideArtwork;
  if (hide == 1) {
    p_.menus.addItem(MenuItemTrackDetails,
                     withBlanks(u"Show Current Track Info", 17, p_.prefs.shortcutDetails), nullptr,
                     kInfo);
  } else if (hide == 0) {
    // A second attempt that succeeds must show its artwork now: the file
    // is there, so no later tick would rebuild for it.
    if (!p_.artwork.cached()) p_.artwork.fetch();
    if (p_.artwork.cached()) {
      const Image* art = loadImageFile(p_.images, SlotMenuArtwork, p_.artwork.artworkPath());
      if (art) p_.images.setSize(SlotMenuArtwork, 268, 268);
      p_.menus.addItem(MenuItemTrackDetails, Text(), art);
    }
  }
  p_.menus.addSeparator();
}

void StatusMenu::addTransportEntries() {
  const Preferences& prefs = p_.prefs;
  p_.menus.addItem(MenuItemNext, withBlanks(u"Next", 50, prefs.shortcutNext), nullptr, kForward);
  p_.menus.addItem(MenuItemPrevious, withBlanks(u"Previous", 43, prefs.shortcutPrevious), nullptr,
                   kBackward);
  p_.menus.addItem(MenuItemRepeat, withBlanks(u"Repeat", 46, prefs.shortcutRepeat), nullptr,
                   kRepeat);
  p_.menus.addSeparator();
}

void StatusMenu::addPlayerStateEntries() {
  const Text& pause = p_.prefs.shortcutPause;
  Text playing = p_.bridge.runScript(PlayerScript::IsPlaying);
  if (playing == u"true")
    p_.menus.addItem(MenuItemPlayPause, withBlanks(u"Pause Spotify", 34, pause), nullptr, kPause);
  else if (playing == u"false")
    p_.menus.addItem(MenuItemPlayPause, withBlanks(u"Resume Spotify", 32, pause), nullptr, kPlay);
  Text shuffling = p_.bridge.runScript(PlayerScript::IsShuffling);
  Text shuffleText = withBlanks(u"Shuffle Playback", 29, p_.prefs.shortcutShuffle);
  if (shuffling == u"false") p_.menus.addItem(MenuItemShuffle, shuffleText, &off_);
  else if (shuffling == u"true") p_.menus.addItem(MenuItemShuffle, shuffleText, &on_);
  p_.menus.addSeparator();
}

void StatusMenu::addFlagEntry(std::int64_t id, const char16_t* text, std::int8_t flag,
                              bool onWhenOne) {
  if (flag != 0 && flag != 1) return;
  bool on = (flag == 1) == onWhenOne;
  p_.menus.addItem(id, text, on ? &on_ : &off_);
}

void StatusMenu::addOptionEntries() {
  const Preferences& prefs = p_.prefs;
  addFlagEntry(MenuItemHideArtist, u"Hide Artist Name", prefs.hideArtist, true);
  addFlagEntry(MenuItemHideArtwork, u"Hide Album Artwork", prefs.hideArtwork, true);
  addFlagEntry(MenuItemHideIcon, u"Hide Icon", prefs.iconShown, false);
  p_.menus.addSeparator();
  addFlagEntry(MenuItemCloseSpotifyOnExit, u"Close Spotify on Exit", prefs.closePlayerOnExit, true);
  p_.menus.addSeparator();
  addFlagEntry(MenuItemMuteAds, u"Mute Ads (Free tier users only)", prefs.muteAds, true);
  p_.menus.addSeparator();
  p_.menus.addItem(MenuItemSetShortcuts, u"Set Keyboard Shortcuts...", nullptr);
  p_.menus.addSeparator();
  p_.menus.addItem(MenuItemAbout, u"About", nullptr);
  p_.menus.addSeparator();
  if (prefs.closePlayerOnExit == 0) p_.menus.addItem(MenuItemQuit, u"Quit", nullptr);
  else if (prefs.closePlayerOnExit == 1)
    p_.menus.addItem(MenuItemQuit, u"Quit (also closes Spotify)", nullptr);
}

void StatusMenu::releaseMenu() { p_.menus.free(0); }

void StatusMenu::setItemEnabled(std::int64_t id, bool enabled) {
  p_.menus.setItemDisabled(0, id, !enabled);
}

}  // namespace larkspur
