#include "app/app_controller.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

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

TEST_F(AppControllerTest, FirstRunWritesDefaultsBeforeTheProbeAndDecliningExitsZero) {
  h.http.probeStatus = "0";
  h.desktop.alertAnswers = {1};  // No
  EXPECT_EQ(h.start(), 0);
  ASSERT_EQ(h.desktop.alerts.size(), 1u);
  EXPECT_EQ(h.desktop.alerts[0].message, u"Error!");
  EXPECT_EQ(h.desktop.alerts[0].buttons, (Texts{u"Yes", u"No"}));
  EXPECT_EQ(h.desktop.alerts[0].icon, AlertIcon::Stop);
  EXPECT_NE(h.settingsXml().find("Val51"), std::string::npos) << "defaults on disk before No";
  EXPECT_FALSE(h.desktop.statusItemShown);
  EXPECT_EQ(h.player.received,
            (Texts{Text(PS::ActivatePlayer), Text(PS::PlayCurrentTrack), Text(PS::HidePlayer)}));
}

TEST_F(AppControllerTest, NetworkRetriesAsOftenAsTheUserSaysYes) {
  h.http.probeAnswers = {"0", "0", "0"};
  h.desktop.alertAnswers = {0, 0, 0};  // Yes three times; then the network is back
  EXPECT_EQ(h.start(), kRanOutOfEvents);
  EXPECT_EQ(h.desktop.alerts.size(), 3u);
  EXPECT_TRUE(h.desktop.statusItemShown);
}

TEST_F(AppControllerTest, FailedHotkeyHandlerIsReportedBeforeTheVersionCheck) {
  h.desktop.handlerInstallFails = true;
  h.desktop.osMajor = 10;
  EXPECT_EQ(h.start(), 0);
  ASSERT_EQ(h.desktop.alerts.size(), 1u);
  EXPECT_EQ(h.desktop.alerts[0].message, u"globalHK");
  EXPECT_EQ(h.desktop.alerts[0].informative, u"Failed to install Keyboard event handler.");
  EXPECT_TRUE(h.desktop.alerts[0].informationalStyle);
  EXPECT_TRUE(h.player.received.empty());
  EXPECT_FALSE(fs::exists(h.settingsPath()));
}

TEST_F(AppControllerTest, OldSystemAndMissingPlayerEndBeforeTouchingSettings) {
  for (bool oldSystem : {true, false}) {
    AppHarness fresh;
    fresh.desktop.osMajor = oldSystem ? 10 : 11;
    fresh.desktop.installed = false;
    EXPECT_EQ(fresh.start(), 0);
    ASSERT_EQ(fresh.desktop.alerts.size(), 1u);
    EXPECT_EQ(fresh.desktop.alerts[0].icon, AlertIcon::Stop);
    Text expected = oldSystem ? u"Sorry, this program is intended" : u"It seems that Spotify";
    EXPECT_EQ(fresh.desktop.alerts[0].informative.rfind(expected, 0), 0u);
    EXPECT_FALSE(fs::exists(fresh.settingsPath()));
  }
}

TEST_F(AppControllerTest, RelaunchThresholdFollowsInstalledMemory) {
  constexpr std::uint64_t GiB = 1ull << 30;
  const std::pair<std::uint64_t, int> table[] = {{8 * GiB, 100},      {12 * GiB, 200},
                                                 {16 * GiB + 5, 200}, {24 * GiB, 300},
                                                 {32 * GiB, 400},     {64 * GiB, 800},
                                                 {128 * GiB, 200}};
  for (auto [bytes, threshold] : table)
    EXPECT_EQ(AppController::thresholdForMemory(bytes), threshold) << bytes / GiB << " GiB";
}

TEST_F(AppControllerTest, PreviousFromTheMenuSendsTwiceFromTheHotkeyOnce) {
  h.writeSettings(test::intEntry("Val9", 1) + test::intEntry("Val51", 1) +
                  test::textEntry("Val33", "⌘P"));
  startRunning();
  h.desktop.chooseMenuItem(MenuItemPrevious);
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  EXPECT_EQ(h.player.takeReceived(), (Texts{Text(PS::PreviousTrack), Text(PS::PreviousTrack)}));
  h.desktop.pressHotkey(35, 256);  // ⌘P
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  EXPECT_EQ(h.player.takeReceived(), (Texts{Text(PS::PreviousTrack)}));
  EXPECT_EQ(h.app().commandCounter(), 2);
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

TEST_F(AppControllerTest, TerminationRequestQuitsWithoutTouchingThePlayer) {
  startRunning();
  ASSERT_TRUE(fs::exists(h.artworkPath("art1")));
  h.desktop.requestTermination();
  EXPECT_EQ(h.resume(), 0);
  EXPECT_TRUE(h.player.takeReceived().empty());
  EXPECT_FALSE(fs::exists(h.artworkPath("art1")));
  EXPECT_TRUE(fs::exists(h.settingsPath()));
  EXPECT_TRUE(h.desktop.shellCommands.empty());
}

TEST_F(AppControllerTest, QuitLeavesThePlayerOpenWhenItIsNotInTheForeground) {
  h.writeSettings(test::intEntry("Val17", 1) + test::intEntry("Val51", 1));
  h.player.foreground = {"/usr/bin/xterm"};
  startRunning();
  h.desktop.chooseMenuItem(MenuItemQuit);
  EXPECT_EQ(h.resume(), 0);
  EXPECT_EQ(h.player.takeReceived(), (Texts{Text(PS::ForegroundProcessPaths)}));
}

TEST_F(AppControllerTest, HideArtworkIsStoredAndRelaunchesWithoutCounting) {
  startRunning();
  h.desktop.chooseMenuItem(MenuItemHideArtwork);
  EXPECT_EQ(h.resume(), 0);
  EXPECT_EQ(h.desktop.shellCommands.size(), 1u);
  EXPECT_EQ(h.app().commandCounter(), 0);
  EXPECT_NE(h.settingsXml().find("HideArt"), std::string::npos);
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

TEST_F(AppControllerTest, AboutOpensTheAppsPageOnRequest) {
  startRunning();
  h.desktop.alertAnswers = {1};  // "See My Other Apps"
  h.desktop.chooseMenuItem(MenuItemAbout);
  EXPECT_EQ(h.resume(), kRanOutOfEvents);
  ASSERT_EQ(h.desktop.alerts.size(), 1u);
  EXPECT_EQ(h.desktop.alerts[0].message, u"Larkspur 1.25\n(Intel)");
  EXPECT_EQ(h.desktop.alerts[0].buttons, (Texts{u"Ok", u"See My Other Apps"}));
  ASSERT_EQ(h.launcher.opened.size(), 1u);
  EXPECT_EQ(h.launcher.opened[0].program, "xdg-open");
  EXPECT_EQ(h.launcher.opened[0].parameters, "https://larkspur.example.org/apps");
  EXPECT_EQ(h.desktop.enabledIds(), "1 2 3 4 5 6 7 8 9 10 11 12 13 14 ");
  EXPECT_TRUE(h.player.takeReceived().empty());
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
