#include "app/app_controller.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include "platform/installed_memory.h"
#include "player/player_script.h"
#include "support/app_harness.h"

namespace larkspur {
namespace {

namespace fs = std::filesystem;
namespace PS = PlayerScript;
using test::AppHarness;
using test::kRanOutOfEvents;
using Texts = std::vector<Text>;
using Ids = std::initializer_list<std::int64_t>;

class AppControllerTest : public ::testing::Test {
 protected:
  void SetUp() override { h.serveArtworkForAllTracks(); }
  // Starts, then forgets the start-up scripts so a test sees only its own.
  void startRunning() {
    ASSERT_EQ(h.start(), kRanOutOfEvents);
    h.player.takeReceived();
  }
  // The next event would relaunch; short of it by `spare` commands.
  static void countToTheThreshold(AppHarness& a, int spare = 0) {
    while (a.app().commandCounter() + spare < a.app().relaunchThreshold()) a.app().countCommand();
  }
  AppHarness h;
};

TEST_F(AppControllerTest, FirstRunWritesDefaultsBeforeTheProbeWhichRetriesUntilDeclined) {
  h.http.probeAnswers = {"0", "0"};
  h.desktop.alertAnswers = {0, 1};  // Yes, then No
  EXPECT_EQ(h.start(), 0);
  EXPECT_EQ(h.desktop.alerts.size(), 2u);
  EXPECT_NE(h.settingsXml().find("Val51"), std::string::npos) << "defaults on disk before No";
  EXPECT_FALSE(h.desktop.statusItemShown);
  EXPECT_EQ(h.player.received, (Texts{Text(PS::ActivatePlayer), Text(PS::PlayCurrentTrack), Text(PS::HidePlayer)}));
}

// A failed hotkey handler is reported before the system version is checked.
TEST_F(AppControllerTest, StartUpFailuresEndBeforeTouchingThePlayerOrSettings) {
  const struct { bool handlerFails; int osMajor; bool installed; Text message, informativeStart; } cases[] = {{true, 10, true, u"globalHK", u"Failed to install Keyboard event handler."},
               {false, 10, false, u"Error!", u"Sorry, this program is intended"},
               {false, 11, false, u"Error!", u"It seems that Spotify"}};
  for (const auto& c : cases) {
    AppHarness fresh;
    fresh.desktop.handlerInstallFails = c.handlerFails, fresh.desktop.osMajor = c.osMajor,
    fresh.desktop.installed = c.installed;
    EXPECT_EQ(fresh.start(), 0);
    ASSERT_EQ(fresh.desktop.alerts.size(), 1u) << toUtf8(c.informativeStart);
    const auto& alert = fresh.desktop.alerts[0];
    EXPECT_EQ(alert.message, c.message);
    EXPECT_TRUE(alert.informative.starts_with(c.informativeStart));
    EXPECT_TRUE(c.handlerFails ? alert.informationalStyle : alert.icon == AlertIcon::Stop);
    EXPECT_TRUE(fresh.player.received.empty() && !fs::exists(fresh.settingsPath()));
  }
}

// Even when the watchdog would relaunch at the next event; a quit leaves the
// player open when it is not in the foreground.
TEST_F(AppControllerTest, TerminationAndQuitNeverRelaunchAndTouchThePlayerOnlyToCloseIt) {
  startRunning();
  countToTheThreshold(h);
  ASSERT_TRUE(fs::exists(h.artworkPath("art1")));
  h.desktop.requestTermination();
  EXPECT_EQ(h.resume(), 0);
  EXPECT_TRUE(h.player.takeReceived().empty() && h.desktop.shellCommands.empty());
  EXPECT_TRUE(!fs::exists(h.artworkPath("art1")) && fs::exists(h.settingsPath()));

  AppHarness quit;
  quit.writeSettings({{"Val17", "1"}, {"Val51", "1"}});
  quit.player.foreground = {"/usr/bin/xterm"};
  ASSERT_EQ(quit.start(), kRanOutOfEvents);
  countToTheThreshold(quit);
  quit.player.takeReceived();
  quit.desktop.chooseMenuItem(MenuItemQuit);
  EXPECT_EQ(quit.resume(), 0);
  EXPECT_EQ(quit.player.takeReceived(), (Texts{Text(PS::ForegroundProcessPaths)}));
  EXPECT_TRUE(quit.desktop.shellCommands.empty());
}

// Unreadable settings give way to the defaults; each toggle stores its new
// value from there, and Hide Icon relaunches without counting itself, as
// does Hide Album Artwork.
TEST_F(AppControllerTest, TogglesStoreTheirValuesOverTheDefaultsOfUnreadableSettingsAndHideIconRelaunches) {
  h.writeSettings({});
  std::ofstream(h.settingsPath()) << "<plist><dict><key>Val51</key><integer>0";  // cut short
  startRunning();
  for (std::int64_t id : Ids{MenuItemHideArtist, MenuItemMuteAds, MenuItemCloseSpotifyOnExit, MenuItemHideIcon})
    h.desktop.chooseMenuItem(id);
  EXPECT_EQ(h.resume(), 0);
  EXPECT_EQ((std::pair<std::size_t, int>(h.desktop.shellCommands.size(), h.app().commandCounter())), std::pair(1ul, 3))
      << "the relaunching one does not count";
  for (const char* entry : {"Val9</key>\n\t<integer>0<", "Val11</key>\n\t<integer>1<", "Val17</key>\n\t<integer>1<",
                            "Val51</key>\n\t<integer>0<"})
    EXPECT_NE(h.settingsXml().find(entry), std::string::npos) << entry;

  AppHarness art;
  ASSERT_EQ(art.start(), kRanOutOfEvents);
  art.desktop.chooseMenuItem(MenuItemHideArtwork);
  EXPECT_EQ(art.resume(), 0);
  EXPECT_EQ(art.desktop.shellCommands.size(), 1u);
  EXPECT_NE(art.settingsXml().find("Val19</key>\n\t<integer>1<"), std::string::npos);
}

// A player that reports its changes is followed from its signals alone;
// the timer runs only for what no signal announces. Muting adverts starts
// with a disclaimer; an advert disables the menu but for Quit, and the
// volume is restored once after it. The watchdog relaunches at the event
// after the threshold, which it drops.
TEST_F(AppControllerTest, RefreshesOnSignalsAndArmsTheTimerOnlyForWhatIsPendingAdvertsAndTheWatchdog) {
  h.player.tracks.push_back({"Second", "Cy", "", "https://i.scdn.co/image/art2", "spotify:track:2"});
  h.player.tracks.push_back({"Advert", "", "", "https://i.scdn.co/image/art2", "spotify:ad:0001"});
  h.serveArtworkForAllTracks();
  h.player.trustedMs = -1;
  auto change = [this](std::size_t track) {
    h.desktop.then([this, track] { h.player.current = track, h.player.signalChange(); });
  };
  // Runs the script so far; answers how many timers then run.
  auto run = [this] { return h.resume() == kRanOutOfEvents ? h.desktop.runningTimers() : 99u; };
  auto timerMs = [&] { return run(), h.desktop.lastTimerMs; };
  startRunning();
  h.desktop.tick();  // the build's timer, once
  h.http.failDownloads = 2;
  change(1);
  EXPECT_EQ(run(), 1u);  // the artwork is fetched again each second
  h.desktop.tick();
  h.desktop.chooseMenuItem(MenuItemMuteAds);
  EXPECT_EQ(run(), 1u);  // the volume is restored on the next tick
  ASSERT_EQ(h.desktop.alerts.size(), 1u);
  h.desktop.tick();
  EXPECT_EQ(run(), 0u);
  change(2);
  EXPECT_EQ(run(), 1u);
  EXPECT_EQ(h.desktop.enabledIds() + std::to_string(h.player.count(PS::MuteVolume)), "14 1");
  h.desktop.tick();  // an advert is muted again each second
  change(0);
  EXPECT_EQ(run(), 0u);
  EXPECT_EQ(h.desktop.enabledIds() + std::to_string(h.player.count(PS::MuteVolume)), "1 2 3 4 5 6 7 8 9 10 11 12 13 14 2");
  h.desktop.menuOpen = true;  // the change waits for the menu, on the timer
  h.player.trustedMs = 5000;
  change(1);
  EXPECT_EQ(timerMs(), 1000);
  h.desktop.menuOpen = false;
  h.desktop.tick();
  EXPECT_EQ(timerMs(), 5000);  // the age of what the player told
  h.player.trustedMs = 0;  // its signals stopped
  h.desktop.tick();
  EXPECT_EQ(timerMs(), 1000);
  EXPECT_EQ(h.player.count(PS::FullVolume), 2u) << "not once a second";
  h.desktop.chooseMenuItem(MenuItemMuteAds);  // off again: no second disclaimer
  run();
  EXPECT_EQ(h.desktop.alerts.size(), 1u);
  // A relaunch that is due still comes with the next second, which it drops.
  h.player.trustedMs = -1;
  countToTheThreshold(h, 1);
  h.desktop.chooseMenuItem(MenuItemNext);
  EXPECT_EQ(run(), 1u);
  EXPECT_TRUE(h.desktop.shellCommands.empty());
  h.player.takeReceived();
  h.desktop.tick();
  EXPECT_EQ(h.resume(), 0);
  EXPECT_EQ(h.desktop.shellCommands.size(), 1u);
  EXPECT_TRUE(h.player.takeReceived().empty());
}

// Repeat, About and ticks never count; About opens the apps page on request
// and gives the menu back, and its icon keeps its pixels at high density.
// Each hotkey sends its command once (Previous too); the menu's Previous goes
// twice, and Pause rebuilds the menu from the player's state.
TEST_F(AppControllerTest, RepeatAboutAndTicksNeverCountAboutOpensTheAppsPageAndHotkeysSendOnce) {
  h.desktop.scale = 2.0;
  h.writeSettings({{"Val31", "⌘N"}, {"Val33", "⌘B"}, {"Val35", "⌘R"}, {"Val37", "⌘S"}, {"Val39", "⌥⌘P"}});
  startRunning();
  h.desktop.alertAnswers = {1};  // "See My Other Apps"
  h.desktop.chooseMenuItem(MenuItemAbout);
  h.desktop.chooseMenuItem(MenuItemRepeat);
  for (int i = 0; i < 3; ++i) h.desktop.tick();
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  ASSERT_EQ(h.desktop.alerts.size(), 1u);
  EXPECT_EQ(h.launcher.opened, std::vector<std::string>{"xdg-open https://larkspur.example.org/apps"});
  EXPECT_EQ(h.desktop.enabledIds(), "1 2 3 4 5 6 7 8 9 10 11 12 13 14 ");
  const Image* icon = h.app().images().platformImage(SlotAboutIcon);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(std::pair(icon->width, icon->pointWidth), std::pair(128, 64.0));

  for (auto [key, modifiers] : {std::pair{45, 256}, {11, 256}, {15, 256}, {1, 256}, {35, 2304}})
    h.desktop.pressHotkey(key, modifiers);
  h.desktop.chooseMenuItem(MenuItemPrevious);
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  for (TextView s : {PS::NextTrack, PS::ToggleShuffle, PS::PlayPause}) EXPECT_EQ(h.player.count(s), 1u) << toUtf8(s);
  EXPECT_EQ(h.player.count(PS::PreviousTrack), 3u);
  EXPECT_EQ((std::pair<std::size_t, int>(h.player.count(PS::RestartTrack), h.app().commandCounter())), std::pair(2ul, 5));
  EXPECT_TRUE(toUtf8(h.desktop.entry(MenuItemPlayPause)->text).starts_with("Resume Spotify"));
}

// The relaunch comes sooner on a small machine: 100 commands per 8 GiB
// installed, 200 for sizes outside the table; the kernel's total (23.54 GiB
// of 24) is rounded up, and online memory blocks count whole.
TEST(RelaunchThreshold, FollowsTheInstalledMemory) {
  constexpr std::uint64_t GiB = 1ull << 30;
  for (auto [bytes, threshold] : {std::pair{8 * GiB, 100}, {64 * GiB, 800}, {12 * GiB, 200}, {8 * GiB - 1, 200}})
    EXPECT_EQ(AppController::thresholdForMemory(bytes), threshold) << bytes;
  test::TempDir sys;
  EXPECT_EQ(installedMemory(sys.file("none"), 25275957248ull), 24 * GiB);
  sys.write("block_size_bytes", "8000000\n");
  for (auto [block, online] : {std::pair{"memory0", "1"}, {"memory1", "1"}, {"memory32", "0"}}) {
    fs::create_directory(sys.file(block));
    sys.write(std::string(block) + "/online", std::string(online) + "\n");
  }
  EXPECT_EQ(installedMemory(sys.path(), 25275957248ull), 256u << 20);
}

// The command waits for the old process, here one left a zombie, and no
// character of the path can break out of its quoting.
TEST(RelaunchCommand, StartsOnceTheOldProcessIsAZombieAndNoPathCanInjectACommand) {
  test::TempDir dir;
  const std::string d = dir.path(), weird = d + "/a\"b$(touch " + d + "/pwned)`touch " + d + "/pwned2`c'd";
  fs::create_directories(weird);
  std::ofstream(weird + "/prog") << "#!/bin/sh\ntouch '" << d << "/ran'\n";
  ::chmod((weird + "/prog").c_str(), 0755);
  pid_t old = ::fork();  // exits at once and stays unreaped while the command runs
  if (old == 0) ::_exit(0);
  EXPECT_EQ(std::system(AppController::relaunchCommand(weird + "/prog", old).c_str()), 0);
  ::waitpid(old, nullptr, 0);
  EXPECT_TRUE(fs::exists(d + "/ran"));
  EXPECT_FALSE(fs::exists(d + "/pwned") || fs::exists(d + "/pwned2"));
}

}  // namespace
}  // namespace larkspur
