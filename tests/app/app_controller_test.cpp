#include "app/app_controller.h"

#include <gmock/gmock.h>
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

namespace PS = PlayerScript;
using test::AppHarness;
using test::kRanOutOfEvents;
using ::testing::ElementsAre;

std::vector<std::string> alertMessages(const test::FakeDesktop& d) {
  std::vector<std::string> out;
  for (const auto& a : d.alerts) out.push_back(toUtf8(a.message));
  return out;
}

class AppControllerTest : public ::testing::Test {
 protected:
  void SetUp() override { h.serveArtworkForAllTracks(); }
  // Starts, then forgets the start-up scripts so a test sees only its own.
  void startRunning() {
    ASSERT_EQ(h.start(), kRanOutOfEvents);
    h.player.takeReceived();
  }
  int run() { return h.resume(); }
  AppHarness h;
};

TEST_F(AppControllerTest, FirstRunWritesDefaultsBeforeTheProbeAndDecliningExitsZero) {
  h.http.probeStatus = "0";
  h.desktop.alertAnswers = {1};  // No
  EXPECT_EQ(h.start(), 0);
  EXPECT_THAT(alertMessages(h.desktop), ElementsAre("Error!"));
  EXPECT_EQ(h.desktop.alerts[0].buttons, (std::vector<Text>{u"Yes", u"No"}));
  EXPECT_EQ(h.desktop.alerts[0].icon, AlertIcon::Stop);
  // The defaults were already on disk when the user said No.
  EXPECT_NE(h.settingsXml().find("Val51"), std::string::npos);
  EXPECT_FALSE(h.desktop.statusItemShown);
  EXPECT_THAT(h.player.receivedUtf8(),
              ElementsAre(toUtf8(PS::ActivatePlayer), toUtf8(PS::PlayCurrentTrack),
                          toUtf8(PS::HidePlayer)));
}

TEST_F(AppControllerTest, NetworkRetriesAsOftenAsTheUserSaysYes) {
  h.http.probeAnswers = {"0", "0", "0"};
  h.desktop.alertAnswers = {0, 0, 0};  // Yes three times; then the network is back
  EXPECT_EQ(h.start(), kRanOutOfEvents);
  EXPECT_EQ(h.desktop.alerts.size(), 3u);
  EXPECT_GE(h.http.fetches.size(), 4u);
  EXPECT_TRUE(h.desktop.statusItemShown);
}

TEST_F(AppControllerTest, FailedHotkeyHandlerIsReportedBeforeTheVersionCheck) {
  h.desktop.handlerInstallFails = true;
  h.desktop.osMajor = 10;
  EXPECT_EQ(h.start(), 0);
  ASSERT_THAT(alertMessages(h.desktop), ElementsAre("globalHK"));
  EXPECT_EQ(h.desktop.alerts[0].informative, u"Failed to install Keyboard event handler.");
  EXPECT_TRUE(h.desktop.alerts[0].informationalStyle);
  EXPECT_TRUE(h.player.received.empty());
  EXPECT_FALSE(std::filesystem::exists(h.settingsPath()));
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
    EXPECT_FALSE(std::filesystem::exists(fresh.settingsPath()));
  }
}

TEST_F(AppControllerTest, RelaunchThresholdFollowsInstalledMemory) {
  constexpr std::uint64_t GiB = 1ull << 30;
  EXPECT_EQ(AppController::thresholdForMemory(8 * GiB), 100);
  EXPECT_EQ(AppController::thresholdForMemory(12 * GiB), 200);
  EXPECT_EQ(AppController::thresholdForMemory(16 * GiB + 5), 200);
  EXPECT_EQ(AppController::thresholdForMemory(24 * GiB), 300);
  EXPECT_EQ(AppController::thresholdForMemory(32 * GiB), 400);
  EXPECT_EQ(AppController::thresholdForMemory(64 * GiB), 800);
  EXPECT_EQ(AppController::thresholdForMemory(128 * GiB), 200);
}

TEST_F(AppControllerTest, PreviousFromTheMenuSendsTwiceFromTheHotkeyOnce) {
  h.writeSettings("<key>Val9</key><integer>1</integer><key>Val51</key><integer>1</integer>"
                  "<key>Val33</key><string>⌘P</string>");
  startRunning();
  h.desktop.chooseMenuItem(MenuItemPrevious);
  EXPECT_EQ(run(), kRanOutOfEvents);
  EXPECT_EQ(h.player.takeReceived(), (std::vector<Text>{Text(PS::PreviousTrack), Text(PS::PreviousTrack)}));
  EXPECT_EQ(h.app().commandCounter(), 1);
  h.desktop.pressHotkey(35, 256);  // ⌘P
  EXPECT_EQ(run(), kRanOutOfEvents);
  EXPECT_EQ(h.player.takeReceived(), (std::vector<Text>{Text(PS::PreviousTrack)}));
  EXPECT_EQ(h.app().commandCounter(), 2);
}

TEST_F(AppControllerTest, RepeatAboutAndTicksNeverCount) {
  startRunning();
  h.desktop.chooseMenuItem(MenuItemRepeat);
  h.desktop.chooseMenuItem(MenuItemAbout);
  for (int i = 0; i < 3; ++i) h.desktop.tick();
  h.desktop.then([this] { h.queue.post(EventRestartTrack, NotGiven, NotGiven, NotGiven, nullptr); });
  EXPECT_EQ(run(), kRanOutOfEvents);
  EXPECT_EQ(h.app().commandCounter(), 0);
  EXPECT_EQ(h.player.count(PS::RestartTrack), 2u);
}

TEST_F(AppControllerTest, PauseAndShuffleCountAndRebuildNextDoesNot) {
  startRunning();
  int builds = h.desktop.statusItemBuilds;
  h.desktop.chooseMenuItem(MenuItemPlayPause);
  h.desktop.chooseMenuItem(MenuItemShuffle);
  h.desktop.chooseMenuItem(MenuItemNext);
  EXPECT_EQ(run(), kRanOutOfEvents);
  EXPECT_EQ(h.app().commandCounter(), 3);
  EXPECT_EQ(h.desktop.statusItemBuilds, builds + 2);
  // The rebuilt menu shows the new player state.
  ASSERT_NE(h.desktop.entry(MenuItemPlayPause), nullptr);
  EXPECT_EQ(h.desktop.entry(MenuItemPlayPause)->text.rfind(u"Resume Spotify", 0), 0u);
  EXPECT_TRUE(h.player.shuffling);
}

TEST_F(AppControllerTest, UnknownMenuIdsTimerIdsAndCodesChangeNothing) {
  startRunning();
  auto logBefore = h.desktop.log.size();
  h.desktop.then([this] {
    h.queue.enqueue(EventMenu, 0, 0, 0);
    h.queue.enqueue(EventMenu, 15, 0, 0);
    h.queue.enqueue(EventTimer, 2, 0, 0);
    for (int code : {65540, 65541, 65542, 65546, 65547, 65549, 65550, 70000})
      h.queue.post(code, NotGiven, NotGiven, NotGiven, nullptr);
  });
  EXPECT_EQ(run(), kRanOutOfEvents);
  EXPECT_TRUE(h.player.takeReceived().empty());
  EXPECT_EQ(h.desktop.log.size(), logBefore);
  EXPECT_EQ(h.app().commandCounter(), 0);
}

TEST_F(AppControllerTest, WatchdogRelaunchesAtTheNextEventAndDropsIt) {
  h.desktop.memory = 8ull << 30;  // threshold 100
  startRunning();
  for (int i = 0; i < 100; ++i) h.desktop.chooseMenuItem(MenuItemNext);
  EXPECT_EQ(run(), kRanOutOfEvents);
  EXPECT_EQ(h.app().commandCounter(), 100);
  EXPECT_TRUE(h.desktop.shellCommands.empty());
  h.player.takeReceived();
  h.desktop.tick();
  EXPECT_EQ(run(), 0);
  ASSERT_EQ(h.desktop.shellCommands.size(), 1u);
  EXPECT_TRUE(h.player.takeReceived().empty());  // the waking tick was dropped
}

TEST_F(AppControllerTest, QuitWithoutClosePlayerSendsNothingAndCleansTheCache) {
  startRunning();
  ASSERT_TRUE(std::filesystem::exists(h.artworkPath("art1")));
  std::ofstream(h.cacheDir() + "keep.jpg") << "x";
  h.desktop.chooseMenuItem(MenuItemQuit);
  EXPECT_EQ(run(), 0);
  EXPECT_TRUE(h.player.takeReceived().empty());
  EXPECT_FALSE(std::filesystem::exists(h.artworkPath("art1")));
  EXPECT_TRUE(std::filesystem::exists(h.cacheDir() + "keep.jpg"));
  EXPECT_TRUE(std::filesystem::exists(h.settingsPath()));
}

TEST_F(AppControllerTest, QuitClosesThePlayerOnlyWhenItIsInTheForeground) {
  for (bool foreground : {true, false}) {
    AppHarness fresh;
    fresh.serveArtworkForAllTracks();
    fresh.writeSettings("<key>Val17</key><integer>1</integer><key>Val51</key><integer>1</integer>");
    if (!foreground) fresh.player.foreground = {"/usr/bin/xterm"};
    ASSERT_EQ(fresh.start(), kRanOutOfEvents);
    EXPECT_EQ(fresh.desktop.entry(MenuItemQuit)->text, u"Quit (also closes Spotify)");
    fresh.player.takeReceived();
    fresh.desktop.chooseMenuItem(MenuItemQuit);
    EXPECT_EQ(fresh.resume(), 0);
    std::vector<Text> expected{Text(PS::ForegroundProcessPaths)};
    if (foreground) expected.emplace_back(PS::QuitPlayer);
    EXPECT_EQ(fresh.player.takeReceived(), expected);
  }
}

TEST_F(AppControllerTest, TerminationRequestFromTheSessionIsQuit) {
  startRunning();
  h.desktop.requestTermination();
  EXPECT_EQ(run(), 0);
  EXPECT_FALSE(std::filesystem::exists(h.artworkPath("art1")));
  EXPECT_TRUE(h.desktop.shellCommands.empty());
}

TEST_F(AppControllerTest, TogglesWriteLabelAndValueAndRebuildOrRelaunch) {
  startRunning();
  h.desktop.chooseMenuItem(MenuItemHideArtist);
  EXPECT_EQ(run(), kRanOutOfEvents);
  EXPECT_EQ(h.app().preferences().hideArtist, 0);
  EXPECT_EQ(h.app().commandCounter(), 1);
  std::string xml = h.settingsXml();
  EXPECT_NE(xml.find("<key>Val8</key>"), std::string::npos);
  EXPECT_NE(xml.find("NoArtist"), std::string::npos);
  // The title now carries the artist.
  EXPECT_EQ(h.desktop.statusTitle, u"Tune • Band");
  h.desktop.chooseMenuItem(MenuItemHideArtwork);
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(h.desktop.shellCommands.size(), 1u);
  EXPECT_EQ(h.app().commandCounter(), 1);
  EXPECT_NE(h.settingsXml().find("HideArt"), std::string::npos);
}

TEST_F(AppControllerTest, MuteAdsShowsTheDisclaimerAndRestoresVolumeOncePerAdvert) {
  h.player.tracks.push_back({"Advert", "", "", "https://i.scdn.co/image/art1", "spotify:ad:0001"});
  startRunning();
  h.desktop.chooseMenuItem(MenuItemMuteAds);
  EXPECT_EQ(run(), kRanOutOfEvents);
  ASSERT_THAT(alertMessages(h.desktop), ElementsAre("Disclaimer"));
  EXPECT_EQ(h.desktop.alerts[0].icon, AlertIcon::Note);
  for (int i = 0; i < 3; ++i) h.desktop.tick();
  EXPECT_EQ(run(), kRanOutOfEvents);
  EXPECT_EQ(h.player.count(PS::FullVolume), 1u);  // not once a second
  h.player.current = 1;  // the advert starts
  h.desktop.tick();
  h.desktop.tick();
  EXPECT_EQ(run(), kRanOutOfEvents);
  EXPECT_EQ(h.player.count(PS::MuteVolume), 2u);
  EXPECT_FALSE(h.desktop.entry(MenuItemNext)->enabled);
  EXPECT_TRUE(h.desktop.entry(MenuItemQuit)->enabled);
  h.player.current = 0;
  h.desktop.tick();
  h.desktop.tick();
  EXPECT_EQ(run(), kRanOutOfEvents);
  EXPECT_EQ(h.player.count(PS::FullVolume), 2u);
  EXPECT_TRUE(h.desktop.entry(MenuItemNext)->enabled);
  // Switching it off shows nothing more.
  h.desktop.chooseMenuItem(MenuItemMuteAds);
  EXPECT_EQ(run(), kRanOutOfEvents);
  EXPECT_EQ(h.desktop.alerts.size(), 1u);
}

TEST_F(AppControllerTest, AboutDisablesTheMenuWhileShownAndOpensTheAppsPageOnRequest) {
  startRunning();
  bool allDisabled = false;
  h.desktop.alertAnswers = {1};  // "See My Other Apps"
  h.desktop.chooseMenuItem(MenuItemAbout);
  EXPECT_EQ(run(), kRanOutOfEvents);
  ASSERT_EQ(h.desktop.alerts.size(), 1u);
  EXPECT_EQ(h.desktop.alerts[0].message, u"Larkspur 1.25\n(Intel)");
  EXPECT_EQ(h.desktop.alerts[0].buttons, (std::vector<Text>{u"Ok", u"See My Other Apps"}));
  ASSERT_EQ(h.launcher.opened.size(), 1u);
  EXPECT_EQ(h.launcher.opened[0].program, "xdg-open");
  EXPECT_EQ(h.launcher.opened[0].parameters, "https://larkspur.example.org/apps");
  for (std::int64_t id = 1; id <= 14; ++id)
    if (auto* e = h.desktop.entry(id)) allDisabled = allDisabled || !e->enabled;
  EXPECT_FALSE(allDisabled);  // enabled again afterwards
  EXPECT_EQ(h.player.takeReceived().size(), 0u);
}

TEST(RelaunchCommand, NoPathCanInjectACommand) {
  test::TempDir dir;
  std::string weird = dir.path() + "/a\"b$(touch " + dir.path() + "/pwned)`touch " + dir.path() +
                      "/pwned2`c";
  std::filesystem::create_directories(weird);
  std::string exe = weird + "/prog";
  std::ofstream(exe) << "#!/bin/sh\ntouch '" << dir.path() << "/ran'\n";
  ::chmod(exe.c_str(), 0755);
  // A process id that is certainly gone: the command must not wait for it.
  pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  std::string command = AppController::relaunchCommand(exe, child);
  pid_t sh = ::fork();
  if (sh == 0) {
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(sh, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(std::filesystem::exists(dir.path() + "/ran"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/pwned"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/pwned2"));
}

TEST(RelaunchCommand, StartsOnceTheOldProcessIsAZombie) {
  test::TempDir dir;
  std::string exe = dir.path() + "/prog";
  std::ofstream(exe) << "#!/bin/sh\ntouch '" << dir.path() << "/ran'\n";
  ::chmod(exe.c_str(), 0755);
  pid_t old = ::fork();  // exits at once and stays unreaped while the command runs
  if (old == 0) ::_exit(0);
  std::string command = AppController::relaunchCommand(exe, old);
  pid_t sh = ::fork();
  if (sh == 0) {
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(sh, &status, 0);
  ::waitpid(old, nullptr, 0);
  EXPECT_TRUE(std::filesystem::exists(dir.path() + "/ran"));
}

}  // namespace
}  // namespace larkspur
