#include "app/app_controller.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/files.h"
#include "player/player_script.h"

namespace larkspur {

namespace PS = PlayerScript;

namespace {

constexpr char16_t kNetworkError[] =
    u"There is a problem with the network -- most likely your Wireless or Ethernet is down or "
    u"disconnected.\n\nShould we retry?\n\r";
constexpr char16_t kDisclaimer[] =
    u"\nAds in Spotify's Free tier help pay artist royalties and assorted service costs.\n\n"
    u"Using this option is a moral choice. If you don't like Ads then please consider paying for "
    u"the Spotify service like I do.\n";
constexpr char16_t kCredits[] =
    u"A tray remote for the Spotify desktop player.\n"
    u"Written by the Larkspur developers, 2026.\n"
    u"larkspur@example.org";

std::string settingsPathFor(std::string home) {
  if (home.empty() || home.back() != '/') home.push_back('/');
  return home + "Library/Preferences/Larkspur.plist";
}

}  // namespace

AppController::AppController(AppPorts ports)
    : ports_(std::move(ports)),
      desktop_(ports_.desktop),
      bridge_(ports_.player),
      streamMuter_(ports_.sound, ports_.player, ports_.endpoints.playerExecutableName),
      prefs_(settingsPathFor(desktop_.homeDirectory())),
      windows_(desktop_, desktop_, ports_.queue),
      menus_(desktop_),
      alerts_(desktop_),
      pasteboard_(desktop_),
      hotkeys_(desktop_, ports_.queue, keyNames_),
      title_(bridge_, prefs_),
      artwork_(bridge_, title_, ports_.http, *this, ports_.endpoints),
      statusMenu_(StatusMenuParts{prefs_, bridge_, title_, artwork_, hotkeys_, windows_, menus_,
                                  images_, desktop_, desktop_, *this}),
      detailsWindow_(windowParts()),
      shortcutsWindow_(windowParts()) {}

AppController::~AppController() = default;

WindowParts AppController::windowParts() {
  return WindowParts{prefs_,       bridge_,  title_,  artwork_,    statusMenu_,
                     ports_.queue, windows_, images_, desktop_,    pasteboard_,
                     hotkeys_,     *this,    ports_.endpoints};
}

void AppController::start() {
  startUp();
  run();
}

void AppController::startUp() {
  keyNames_.fill();
  hotkeys_.reset();
  if (!hotkeys_.installHandler()) {
    alerts_.show(u"globalHK", u"Failed to install Keyboard event handler.", 0);
    terminate();
  }
  hotkeys_.add(u"⌥⌘1", EventRelaunch);
  hotkeys_.add(u"⇧⌘]", EventBracketRight);
  hotkeys_.add(u"⇧⌘[", EventBracketLeft);
  resourcesDirectory_ = files::directoryOf(desktop_.executablePath()) + "../share/larkspur/";
  prefs_.open();
  checkPrerequisites();
  desktop_.sleepMs(10);
  startPlayer();
  // A file that cannot be read as settings would leave every flag 0 (the
  // icon hidden among them) for good: it goes aside and this is a first run.
  if (!files::exists(prefs_.settingsFilePath()) || !prefs_.load()) prefs_.writeDefaults();
  commandCounter_ = 0;
  relaunchThreshold_ = thresholdForMemory(desktop_.physicalMemory());
  probeNetwork();
  statusMenu_.build();
  loadAboutIcon();
  ports_.player.watchChanges([this] { playerChanged(); });
}

void AppController::checkPrerequisites() {
  if (desktop_.osMajorVersion() < 11) {
    alerts_.show(u"Error!",
                 u"Sorry, this program is intended for use on a Mac running macOS Big Sur or "
                 u"later.\n\nThis app will now quit.",
                 AlertStopIcon);
    terminate();
  }
  desktop_.setAccessoryPolicy();
  if (!desktop_.playerInstalled()) {
    alerts_.show(u"Error!",
                 u"It seems that Spotify is not installed on your machine!\n\nThis app will now "
                 u"quit.",
                 AlertStopIcon);
    terminate();
  }
}

void AppController::startPlayer() {
  send(PS::ActivatePlayer);
  send(PS::PlayCurrentTrack);
  send(PS::HidePlayer);
}

std::int16_t AppController::thresholdForMemory(std::uint64_t bytes) {
  switch (bytes / 1073741824ull) {
    case 8: return 100;
    case 16: return 200;
    case 24: return 300;
    case 32: return 400;
    case 64: return 800;
    default: return 200;
  }
}

void AppController::probeNetwork() {
  for (;;) {
    Text status;
    if (auto response = ports_.http.fetch(fromUtf8(ports_.endpoints.probeUrl)))
      status = response->status;
    if (status != u"0") return;
    if (alerts_.show(u"Error!", kNetworkError, AlertStopIcon | AlertYesNo) != AlertYes)
      terminate();
  }
}

void AppController::loadAboutIcon() {
  double scale = desktop_.screenScale();
  if (scale == 1.0) {
    if (loadImageFile(images_, SlotAboutIcon, resourcesDirectory_ + "fancy_app_icon.png"))
      images_.resize(SlotAboutIcon, 128, 128, 0);
  } else if (scale > 1.0) {
    if (loadImageFile(images_, SlotAboutIcon, resourcesDirectory_ + "fancy_app_iconx2.png")) {
      images_.resize(SlotAboutIcon, 128, 128, 0);
      images_.setSize(SlotAboutIcon, 64, 64);
    }
  }
}

void AppController::run() {
  for (;;) {
    std::int32_t code = ports_.queue.wait(-1);
    // A quit, chosen or a termination request, must end the process:
    // relaunching instead would leave a new instance running after the user
    // or the session asked us to go.
    bool quitting = code == EventMenu && (ports_.queue.currentObject() == MenuObjectQuit ||
                                          ports_.queue.currentObject() == MenuItemQuit);
    if (!quitting && commandCounter_ >= relaunchThreshold_ &&
        !windows_.exists(TrackDetailsWindowNumber) &&
        !windows_.exists(ShortcutsWindowNumber))
      relaunch();
    dispatch(code);
    if (code > 0) scheduleRefresh();
  }
}

void AppController::dispatch(std::int32_t code) {
  switch (code) {
    case EventMenu: dispatchMenu(ports_.queue.currentObject()); break;
    case EventTimer:
      if (ports_.queue.currentObject() == RefreshTimer) refreshTick();
      break;
    case EventNextTrack: send(PS::NextTrack); countCommand(); break;
    case EventPreviousTrack: send(PS::PreviousTrack); countCommand(); break;
    case EventPlayPause: send(PS::PlayPause); countCommand(); rebuildStatusItem(); break;
    case EventShuffle: send(PS::ToggleShuffle); countCommand(); rebuildStatusItem(); break;
    case EventRestartTrack: send(PS::RestartTrack); break;
    case EventTrackDetails: detailsWindow_.run(); countCommand(); break;
    case EventRelaunch: relaunch();
    default: break;
  }
}

void AppController::dispatchMenu(std::int64_t id) {
  // A termination request from the session (logout, shutdown, SIGTERM) is
  // the user's Quit: ignoring it would block logout until a forced kill.
  if (id == MenuObjectQuit && ports_.queue.currentWindow() == WindowApplication) quit();
  switch (id) {
    case MenuItemTrackDetails: detailsWindow_.run(); countCommand(); break;
    case MenuItemNext: send(PS::NextTrack); countCommand(); break;
    case MenuItemPrevious:
      send(PS::PreviousTrack);
      send(PS::PreviousTrack);
      countCommand();
      break;
    case MenuItemRepeat: send(PS::RestartTrack); break;
    case MenuItemPlayPause: send(PS::PlayPause); countCommand(); rebuildStatusItem(); break;
    case MenuItemShuffle: send(PS::ToggleShuffle); countCommand(); rebuildStatusItem(); break;
    case MenuItemHideArtist:
      toggleFlag(prefs_.hideArtist, "Val8", u"NoArtist", "Val9");
      countCommand();
      rebuildStatusItem();
      break;
    case MenuItemHideArtwork:
      toggleFlag(prefs_.hideArtwork, "Val18", u"HideArt", "Val19");
      relaunch();
    case MenuItemHideIcon:
      toggleFlag(prefs_.iconShown, "Val50", u"NoIcon", "Val51");
      relaunch();
    case MenuItemCloseSpotifyOnExit:
      toggleFlag(prefs_.closePlayerOnExit, "Val16", u"CloseSpotify", "Val17");
      countCommand();
      rebuildStatusItem();
      break;
    case MenuItemMuteAds: toggleMuteAds(); break;
    case MenuItemSetShortcuts: shortcutsWindow_.run();
    case MenuItemAbout: showAbout(); break;
    case MenuItemQuit: quit();
    default: break;
  }
}

void AppController::toggleFlag(std::int8_t& flag, const char* labelKey, const char16_t* label,
                               const char* valueKey) {
  prefs_.storeFlag(labelKey, label, valueKey, static_cast<std::int8_t>(1 - flag));
}

void AppController::toggleMuteAds() {
  toggleFlag(prefs_.muteAds, "Val10", u"NoAds", "Val11");
  if (prefs_.muteAds == 1) {
    lastVolume_ = Volume::Unknown;
    desktop_.activateApp();
    alerts_.show(u"Disclaimer", kDisclaimer, AlertNoteIcon);
  } else {
    // Switched off during an advert: the player would otherwise stay silent.
    streamMuter_.unmuteOurs();
  }
  countCommand();
  rebuildStatusItem();
}

// A change is taken up at once, through the same event as the timer's tick.
// A tick consumed by a window's own loop, or held while a host shows the
// menu, leaves the change due for the next scheduling.
void AppController::playerChanged() {
  refreshDue_ = true;
  requestTick();
}

void AppController::requestTick() {
  if (!windows_.exists(TimerWindow)) return;
  // A rebuild would replace the menu under the pointer; the desktop holds
  // timer ticks while it is open and fires one after it closes.
  if (desktop_.statusMenuOpen()) {
    if (!windows_.hasTimer(TimerWindow, RefreshTimer))
      windows_.addTimer(TimerWindow, RefreshTimer, 1000);
    return;
  }
  ports_.queue.enqueue(EventTimer, RefreshTimer, TimerWindow, 0);
}

void AppController::scheduleRefresh() {
  if (!windows_.exists(TimerWindow)) return;
  if (refreshDue_) return requestTick();
  const int trusted = ports_.player.trustedForMs();
  // An advert is muted again every second, as is a missing artwork fetched;
  // the restored volume goes out on the tick after one. A relaunch that is
  // due waits for the next event, which the tick keeps within a second.
  const bool adMutePending = prefs_.muteAds == 1 && lastVolume_ != Volume::Full;
  const bool relaunchDue = commandCounter_ >= relaunchThreshold_;
  if (trusted == 0 || !artwork_.cached() || adMutePending || relaunchDue) {
    if (!polling_ || !windows_.hasTimer(TimerWindow, RefreshTimer))
      windows_.addTimer(TimerWindow, RefreshTimer, 1000);
    polling_ = true;
    return;
  }
  polling_ = false;
  // What the player told us ages: it is read again then, which is how a
  // player whose signals stopped is found out.
  if (trusted < 0) windows_.removeTimer(TimerWindow, RefreshTimer);
  else windows_.addTimer(TimerWindow, RefreshTimer, trusted);
}

void AppController::refreshTick() {
  refreshDue_ = false;
  title_.refresh();
  artwork_.derive(title_.artworkUrl());
  if (!artwork_.cached()) rebuildStatusItem();
  if (prefs_.muteAds == 1) muteAdsTick();
  desktop_.setStatusTitle(title_.statusTitle());
  desktop_.setStatusToolTip(title_.toolTip());
}

void AppController::muteAdsTick() {
  Text uri = bridge_.runScript(PS::TrackUri);
  if (contains(uri, u"spotify:ad")) {
    send(PS::MuteVolume);
    streamMuter_.mute();
    lastVolume_ = Volume::Muted;
    setItemsEnabled(1, 13, false);
  } else {
    if (lastVolume_ != Volume::Full) send(PS::FullVolume);
    streamMuter_.unmute();
    lastVolume_ = Volume::Full;
    setItemsEnabled(1, 13, true);
  }
}

void AppController::setItemsEnabled(std::int64_t first, std::int64_t last, bool enabled) {
  for (std::int64_t id = first; id <= last; ++id) statusMenu_.setItemEnabled(id, enabled);
}

void AppController::showAbout() {
  setItemsEnabled(1, 14, false);
  desktop_.activateApp();
  AlertSpec spec;
  spec.message = u"Larkspur 1.25\n(Intel)";
  spec.informative = kCredits;
  if (const Image* icon = images_.platformImage(SlotAboutIcon)) {
    spec.icon = AlertIcon::Custom;
    spec.customIcon = icon;
  }
  spec.buttons = {u"Ok", u"See My Other Apps"};
  spec.defaultButton = 0;
  if (desktop_.runAlert(spec) == 1)
    ports_.launcher.open(u"xdg-open", fromUtf8(ports_.endpoints.otherAppsUrl), Text());
  setItemsEnabled(1, 14, true);
}

void AppController::tearDownStatusItem() {
  title_.setStatusTitle(Text());
  statusMenu_.releaseMenu();
  images_.free(SlotMenuArtwork);
  desktop_.removeStatusItem();
  if (windows_.exists(TimerWindow)) {
    windows_.removeTimer(TimerWindow, RefreshTimer);
    windows_.close(TimerWindow);
  }
  images_.free(-1);
}

void AppController::rebuildStatusItem() {
  tearDownStatusItem();
  statusMenu_.build();
}

std::string AppController::relaunchCommand(const std::string& executablePath, long pid) {
  // X11 key grabs and the command interface's bus name belong to one client
  // at a time, so the new instance may only start once this process is gone.
  // A process whose parent has not reaped it yet still answers kill -0, so a
  // zombie counts as gone.
  std::string p = std::to_string(pid);
  return "sleep 0; while kill -0 " + p + " 2>/dev/null && ! grep -qs '^State:[[:space:]]*Z' /proc/" +
         p + "/status; do sleep 0.05; done; exec " + shellQuote(executablePath);
}

void AppController::relaunch() {
  desktop_.launchShell(relaunchCommand(desktop_.executablePath(), static_cast<long>(::getpid())));
  terminate();
}

void AppController::quit() {
  images_.free(-1);
  artwork_.deleteCachedFiles();
  if (prefs_.closePlayerOnExit == 1) {
    Text paths = bridge_.runScript(PS::ForegroundProcessPaths);
    if (contains(paths, u"Spotify")) send(PS::QuitPlayer);
  }
  statusMenu_.releaseMenu();
  terminate();
}

void AppController::terminate() {
  // Every way out passes here; a player left muted would stay silent.
  streamMuter_.unmuteBeforeExit();
  windows_.close(-1);
  menus_.free(-1);
  images_.free(-1);
  desktop_.exitProcess(0);
  std::abort();  // exitProcess does not come back
}

}  // namespace larkspur
