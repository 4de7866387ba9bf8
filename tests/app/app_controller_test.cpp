#include "app/app_controller.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

class AppControllerTest : public ::testing::Test {
 protected:
  void SetUp() override { h.serveArtworkForAllTracks(); }
  // Starts, then forgets the start-up scripts so a test sees only its own.
  void startRunning() {
    ASSERT_EQ(h.start(), kRanOutOfEvents);
    h.player.takeReceived();
  }
  AppHarness h;
};

TEST_F(AppControllerTest, FirstRunWritesDefaultsBeforeTheProbeWhichRetriesUntilDeclined) {
  h.http.probeAnswers = {"0", "0"};
  h.desktop.alertAnswers = {0, 1};  // Yes, then No
  EXPECT_EQ(h.start(), 0);
  ASSERT_EQ(h.desktop.alerts.size(), 2u);
  EXPECT_EQ(h.desktop.alerts[0].message, u"Error!");
  EXPECT_EQ(h.desktop.alerts[0].buttons, (Texts{u"Yes", u"No"}));
  EXPECT_EQ(h.desktop.alerts[0].icon, AlertIcon::Stop);
  EXPECT_NE(h.settingsXml().find("Val51"), std::string::npos) << "defaults on disk before No";
  EXPECT_FALSE(h.desktop.statusItemShown);
  EXPECT_EQ(h.player.received,
            (Texts{Text(PS::ActivatePlayer), Text(PS::PlayCurrentTrack), Text(PS::HidePlayer)}));
}

TEST_F(AppControllerTest, UnreadableSettingsAreSetAsideAndTheDefaultsTakeTheirPlace) {
  h.writeSettings("");
  std::ofstream(h.settingsPath()) << "<plist><dict><key>Val51</key><integer>0";  // cut short
  startRunning();
  EXPECT_TRUE(fs::exists(h.settingsPath() + ".corrupt"));
  EXPECT_NE(h.settingsXml().find("<key>Val51</key>\n\t<integer>1</integer>"), std::string::npos);
  EXPECT_TRUE(h.desktop.statusImage) << "the icon shows, as on a first run";
}

// A failed hotkey handler is reported before the system version is checked.
TEST_F(AppControllerTest, StartUpFailuresEndBeforeTouchingThePlayerOrSettings) {
  const struct {
    bool handlerFails;
    int osMajor;
    bool installed;
    Text message, informativeStart;
  } cases[] = {{true, 10, true, u"globalHK", u"Failed to install Keyboard event handler."},
               {false, 10, false, u"Error!", u"Sorry, this program is intended"},
               {false, 11, false, u"Error!", u"It seems that Spotify"}};
  for (const auto& c : cases) {
    AppHarness fresh;
    fresh.desktop.handlerInstallFails = c.handlerFails;
    fresh.desktop.osMajor = c.osMajor;
    fresh.desktop.installed = c.installed;
    EXPECT_EQ(fresh.start(), 0);
    ASSERT_EQ(fresh.desktop.alerts.size(), 1u) << toUtf8(c.informativeStart);
    const auto& alert = fresh.desktop.alerts[0];
    EXPECT_EQ(alert.message, c.message);
    EXPECT_EQ(alert.informative.rfind(c.informativeStart, 0), 0u);
    if (c.handlerFails) EXPECT_TRUE(alert.informationalStyle);
    else EXPECT_EQ(alert.icon, AlertIcon::Stop);
    EXPECT_TRUE(fresh.player.received.empty());
    EXPECT_FALSE(fs::exists(fresh.settingsPath()));
  }
}

// Each hotkey sends its command once (Previous too); the menu's Previous goes
// twice. Each but Repeat counts once, and Pause rebuilds the menu from the player's state.
TEST_F(AppControllerTest, HotkeysSendOnceAndThePreviousEntryTwice) {
  h.writeSettings(test::intEntry("Val51", 1) + test::textEntry("Val31", "⌘N") +
                  test::textEntry("Val33", "⌘B") + test::textEntry("Val35", "⌘R") +
                  test::textEntry("Val37", "⌘S") + test::textEntry("Val39", "⌥⌘P"));
  startRunning();
  for (auto [key, modifiers] : {std::pair{45, 256}, {11, 256}, {15, 256}, {1, 256}, {35, 2304}})
    h.desktop.pressHotkey(key, modifiers);
  h.desktop.chooseMenuItem(MenuItemPrevious);
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  for (TextView s : {PS::NextTrack, PS::RestartTrack, PS::ToggleShuffle, PS::PlayPause})
    EXPECT_EQ(h.player.count(s), 1u) << toUtf8(s);
  EXPECT_EQ(h.player.count(PS::PreviousTrack), 3u);
  EXPECT_EQ(h.app().commandCounter(), 5) << "Repeat does not count";
  EXPECT_TRUE(toUtf8(h.desktop.entry(MenuItemPlayPause)->text).starts_with("Resume Spotify"));
}

TEST_F(AppControllerTest, UnknownEventsChangeNothingAndRepeatAboutAndTicksNeverCount) {
  startRunning();
  int builds = h.desktop.statusItemBuilds;
  auto windows = h.desktop.windows.size();
  h.desktop.then([this] {
    h.queue.enqueue(EventMenu, 0, 0, 0);
    h.queue.enqueue(EventMenu, 15, 0, 0);
    h.queue.enqueue(EventTimer, 2, 0, 0);
    for (int code : {65540, 65541, 65542, 65546, 65547, 65549, 65550, 70000})
      h.queue.post(code, NotGiven, NotGiven, NotGiven, nullptr);
  });
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  EXPECT_TRUE(h.player.takeReceived().empty());
  EXPECT_EQ(h.desktop.statusItemBuilds, builds);
  EXPECT_EQ(h.desktop.windows.size(), windows);
  EXPECT_TRUE(h.desktop.alerts.empty());

  h.desktop.chooseMenuItem(MenuItemRepeat);
  h.desktop.chooseMenuItem(MenuItemAbout);
  for (int i = 0; i < 3; ++i) h.desktop.tick();
  h.desktop.then([this] { h.queue.post(EventRestartTrack, NotGiven, NotGiven, NotGiven, nullptr); });
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  EXPECT_EQ(h.player.count(PS::RestartTrack), 2u);
  EXPECT_EQ(h.app().commandCounter(), 0);
}

TEST_F(AppControllerTest, WatchdogRelaunchesAtTheNextEventAndDropsIt) {
  h.desktop.memory = 8ull << 30;  // threshold 100
  startRunning();
  for (int i = 0; i < 100; ++i) h.desktop.chooseMenuItem(MenuItemNext);
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  EXPECT_EQ(h.app().commandCounter(), 100);
  EXPECT_TRUE(h.desktop.shellCommands.empty());
  h.player.takeReceived();
  h.desktop.tick();
  EXPECT_EQ(h.resume(), 0);
  EXPECT_EQ(h.desktop.shellCommands.size(), 1u);
  EXPECT_TRUE(h.player.takeReceived().empty());  // the waking tick was dropped
}

// Even when the watchdog would relaunch at the next event.
TEST_F(AppControllerTest, TerminationRequestQuitsWithoutTouchingThePlayer) {
  h.desktop.memory = 8ull << 30;  // threshold 100
  startRunning();
  for (int i = 0; i < 100; ++i) h.desktop.chooseMenuItem(MenuItemNext);
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  h.player.takeReceived();
  ASSERT_TRUE(fs::exists(h.artworkPath("art1")));
  h.desktop.requestTermination();
  EXPECT_EQ(h.resume(), 0);
  EXPECT_TRUE(h.player.takeReceived().empty());
  EXPECT_FALSE(fs::exists(h.artworkPath("art1")));
  EXPECT_TRUE(fs::exists(h.settingsPath()));
  EXPECT_TRUE(h.desktop.shellCommands.empty());
}

TEST_F(AppControllerTest, QuitLeavesThePlayerOpenWhenItIsNotInTheForegroundAndNeverRelaunches) {
  h.writeSettings(test::intEntry("Val17", 1) + test::intEntry("Val51", 1));
  h.player.foreground = {"/usr/bin/xterm"};
  h.desktop.memory = 8ull << 30;  // threshold 100
  startRunning();
  for (int i = 0; i < 100; ++i) h.desktop.chooseMenuItem(MenuItemNext);
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  h.player.takeReceived();
  h.desktop.chooseMenuItem(MenuItemQuit);
  EXPECT_EQ(h.resume(), 0);
  EXPECT_EQ(h.player.takeReceived(), (Texts{Text(PS::ForegroundProcessPaths)}));
  EXPECT_TRUE(h.desktop.shellCommands.empty());
}

TEST_F(AppControllerTest, HideArtworkIsStoredAndRelaunchesWithoutCounting) {
  startRunning();
  h.desktop.chooseMenuItem(MenuItemHideArtwork);
  EXPECT_EQ(h.resume(), 0);
  EXPECT_EQ(h.desktop.shellCommands.size(), 1u);
  EXPECT_EQ(h.app().commandCounter(), 0);
  EXPECT_NE(h.settingsXml().find("HideArt"), std::string::npos);
}

// Each toggle writes its label beside its new value; Hide Icon relaunches.
TEST_F(AppControllerTest, TogglesStoreLabelAndValueAndHideIconRelaunches) {
  startRunning();
  h.desktop.chooseMenuItem(MenuItemMuteAds);
  h.desktop.chooseMenuItem(MenuItemCloseSpotifyOnExit);
  h.desktop.chooseMenuItem(MenuItemHideIcon);
  EXPECT_EQ(h.resume(), 0);
  EXPECT_EQ(h.desktop.shellCommands.size(), 1u);
  const std::string xml = h.settingsXml();
  for (const char* entry :
       {"Val11</key>\n\t<integer>1<", "Val10</key>\n\t<string>NoAds<", "Val17</key>\n\t<integer>1<",
        "Val16</key>\n\t<string>CloseSpotify<", "Val51</key>\n\t<integer>0<",
        "Val50</key>\n\t<string>NoIcon<"})
    EXPECT_NE(xml.find(entry), std::string::npos) << entry;
}

TEST_F(AppControllerTest, MuteAdsShowsTheDisclaimerAndRestoresVolumeOncePerAdvert) {
  h.player.tracks.push_back({"Advert", "", "", "https://i.scdn.co/image/art1", "spotify:ad:0001"});
  startRunning();
  h.desktop.chooseMenuItem(MenuItemMuteAds);
  for (int i = 0; i < 3; ++i) h.desktop.tick();
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  ASSERT_EQ(h.desktop.alerts.size(), 1u);
  EXPECT_EQ(h.desktop.alerts[0].message, u"Disclaimer");
  EXPECT_EQ(h.desktop.alerts[0].icon, AlertIcon::Note);
  EXPECT_EQ(h.player.count(PS::FullVolume), 1u);  // not once a second
  h.player.current = 1;  // the advert starts
  h.desktop.tick();
  h.desktop.tick();
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  EXPECT_EQ(h.player.count(PS::MuteVolume), 2u);
  EXPECT_EQ(h.desktop.enabledIds(), "14 ");
  h.player.current = 0;
  h.desktop.tick();
  h.desktop.tick();
  h.desktop.chooseMenuItem(MenuItemMuteAds);  // off again: no second disclaimer
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  EXPECT_EQ(h.player.count(PS::FullVolume), 2u);
  EXPECT_TRUE(h.desktop.entry(MenuItemNext)->enabled);
  EXPECT_EQ(h.desktop.alerts.size(), 1u);
}

TEST_F(AppControllerTest, HighDensityAboutIconKeepsItsPixelsAtHalfTheSize) {
  h.desktop.scale = 2.0;
  startRunning();
  const Image* icon = h.app().images().platformImage(SlotAboutIcon);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->width, 128);
  EXPECT_EQ(icon->pointWidth, 64);
}

// A player that reports its changes is followed from its signals alone;
// the timer runs only for what no signal announces.
TEST_F(AppControllerTest, RefreshesOnThePlayersSignalsAndArmsTheTimerOnlyWhenSomethingIsPending) {
  h.player.tracks.push_back({"Second", "Cy", "", "https://i.scdn.co/image/art2", "spotify:track:2"});
  h.player.tracks.push_back({"Advert", "", "", "https://i.scdn.co/image/art2", "spotify:ad:0001"});
  h.serveArtworkForAllTracks();
  h.player.trustedMs = -1;
  auto change = [this](std::size_t track) {
    h.desktop.then([this, track] { h.player.current = track, h.player.signalChange(); });
  };
  startRunning();
  h.desktop.tick();  // the build's timer, once
  h.http.failDownloads = 2;
  change(1);
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  EXPECT_NE(toUtf8(h.desktop.statusTitle).find("Second"), std::string::npos);
  EXPECT_EQ(h.desktop.runningTimers(), 1u);  // the artwork is fetched again each second
  h.desktop.tick();
  h.desktop.chooseMenuItem(MenuItemMuteAds);
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  EXPECT_EQ(h.desktop.runningTimers(), 1u);  // the volume is restored on the next tick
  h.desktop.tick();
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  EXPECT_EQ(h.desktop.runningTimers(), 0u);
  change(2);
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  EXPECT_EQ(h.player.count(PS::MuteVolume), 1u);
  h.desktop.tick();  // an advert is muted again each second
  change(0);
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  EXPECT_EQ(h.player.count(PS::MuteVolume), 2u);
  EXPECT_EQ(h.player.count(PS::FullVolume), 2u);
  EXPECT_EQ(h.desktop.runningTimers(), 0u);
  h.desktop.menuOpen = true;  // the change waits for the menu, on the timer
  h.player.trustedMs = 5000;
  change(1);
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  EXPECT_EQ(h.desktop.lastTimerMs, 1000);
  h.desktop.menuOpen = false;
  h.desktop.tick();
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  EXPECT_EQ(h.desktop.lastTimerMs, 5000);  // the age of what the player told
  h.player.trustedMs = 0;  // its signals stopped
  h.desktop.tick();
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  EXPECT_EQ(h.desktop.lastTimerMs, 1000);
  h.player.trustedMs = -1;  // a relaunch that is due still comes with the next second
  while (h.app().commandCounter() + 1 < h.app().relaunchThreshold()) h.app().countCommand();
  h.desktop.chooseMenuItem(MenuItemNext);
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  EXPECT_EQ(h.desktop.runningTimers(), 1u);
}

TEST_F(AppControllerTest, AboutOpensTheAppsPageOnRequest) {
  startRunning();
  h.desktop.alertAnswers = {1};  // "See My Other Apps"
  h.desktop.chooseMenuItem(MenuItemAbout);
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  ASSERT_EQ(h.desktop.alerts.size(), 1u);
  EXPECT_EQ(h.desktop.alerts[0].message, u"Larkspur 1.25\n(Intel)");
  EXPECT_EQ(h.desktop.alerts[0].buttons, (Texts{u"Ok", u"See My Other Apps"}));
  EXPECT_EQ(h.desktop.enabledDuringAlerts, std::vector<std::string>{""});
  ASSERT_EQ(h.launcher.opened.size(), 1u);
  EXPECT_EQ(h.launcher.opened[0].program, "xdg-open");
  EXPECT_EQ(h.launcher.opened[0].parameters, "https://larkspur.example.org/apps");
  EXPECT_EQ(h.desktop.enabledIds(), "1 2 3 4 5 6 7 8 9 10 11 12 13 14 ");
  EXPECT_TRUE(h.player.takeReceived().empty());
}

TEST(RelaunchThreshold, FollowsTheInstalledMemory) {
  constexpr std::uint64_t GiB = 1ull << 30;
  const std::pair<std::uint64_t, int> table[] = {
      {8 * GiB, 100},  {16 * GiB, 200}, {24 * GiB, 300},     {32 * GiB, 400}, {64 * GiB, 800},
      {12 * GiB, 200}, {128 * GiB, 200}, {8 * GiB - 1, 200}, {0, 200}};
  for (auto [bytes, threshold] : table)
    EXPECT_EQ(AppController::thresholdForMemory(bytes), threshold) << bytes;

  // 23.54 GiB seen by the kernel are 24 installed; online blocks count as a whole.
  test::TempDir sys;
  EXPECT_EQ(installedMemory(sys.file("none"), 25275957248ull), 24 * GiB);
  EXPECT_EQ(installedMemory(sys.file("none"), 8 * GiB), 8 * GiB);
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
  const std::string d = dir.path();
  std::string weird = d + "/a\"b$(touch " + d + "/pwned)`touch " + d + "/pwned2`c'd";
  fs::create_directories(weird);
  std::ofstream(weird + "/prog") << "#!/bin/sh\ntouch '" << d << "/ran'\n";
  ::chmod((weird + "/prog").c_str(), 0755);
  pid_t old = ::fork();  // exits at once and stays unreaped while the command runs
  if (old == 0) ::_exit(0);
  std::string command = AppController::relaunchCommand(weird + "/prog", old);
  pid_t sh = ::fork();
  if (sh == 0) {
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(sh, &status, 0);
  ::waitpid(old, nullptr, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(fs::exists(d + "/ran"));
  EXPECT_FALSE(fs::exists(d + "/pwned"));
  EXPECT_FALSE(fs::exists(d + "/pwned2"));
}

}  // namespace
}  // namespace larkspur
