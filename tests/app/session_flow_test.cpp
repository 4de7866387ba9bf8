// A whole listening session through the real core, the fake desktop and the
// fake player: start, ticks, hotkeys, menu choices, toggles and quit. It is
// where dispatch, rebuilds, the command counter and quit are checked.
#include <gtest/gtest.h>

#include <filesystem>

#include "menubar/status_menu.h"
#include "player/player_script.h"
#include "support/app_harness.h"

namespace larkspur {
namespace {

namespace fs = std::filesystem;
namespace PS = PlayerScript;
using test::AppHarness;

constexpr std::uint32_t kCommand = 256, kOption = 2048;
constexpr int kKeyN = 45, kKeyP = 35, kKeyR = 15, kKeyB = 11;

// The commands the session sent, leaving out the questions every tick and
// build asks.
std::vector<std::string> commands(const test::FakePlayer& player) {
  static const TextView kQuestions[] = {PS::TrackUri, PS::IsPlaying, PS::IsShuffling,
                                        PS::ArtworkUrl, PS::PlayingTrackName,
                                        PS::PlayingTrackArtist};
  std::vector<std::string> out;
  for (const Text& r : player.received) {
    bool question = false;
    for (TextView q : kQuestions) question |= r == q;
    if (!question) out.push_back(toUtf8(r));
  }
  return out;
}

class SessionFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    h.player.tracks.clear();
    for (int i = 0; i < 10; ++i) {
      test::FakeTrack t;
      t.name = "Song " + std::to_string(i);
      t.artist = "Artist " + std::to_string(i);
      t.uri = "spotify:track:" + std::string(21, 'x') + std::to_string(i);
      t.artworkUrl = "https://i.scdn.co/image/cover" + std::to_string(i);
      h.player.tracks.push_back(t);
    }
    h.serveArtworkForAllTracks();
    using test::intEntry, test::textEntry;
    h.writeSettings(intEntry("Val9", 1) + intEntry("Val51", 1) + textEntry("Val31", "⌘N") +
                    textEntry("Val33", "⌘B") + textEntry("Val35", "⌘R") +
                    textEntry("Val39", "⌥⌘P"));
  }

  // Keeps the menu as it is when the script gets here.
  void look(std::vector<std::string>& lines) {
    h.desktop.then([this, &lines] { lines = h.desktop.menuLines(); });
  }

  AppHarness h;
};

TEST_F(SessionFlow, TenTracksThenTogglesThenQuit) {
  std::vector<std::string> pausedMenu, finalMenu;
  std::vector<std::string> titles(10);
  std::string titleWithArtist;
  int buildsAfterTracks = 0;

  // Through all ten tracks, alternating the hotkey and the menu.
  for (int i = 0; i < 10; ++i) {
    if (i % 2) h.desktop.pressHotkey(kKeyN, kCommand);
    else if (i) h.desktop.chooseMenuItem(MenuItemNext);
    h.desktop.tick();
    h.desktop.then([this, &titles, i] {
      titles[static_cast<std::size_t>(i)] = toUtf8(h.desktop.statusTitle);
    });
  }
  h.desktop.then([&] { buildsAfterTracks = h.desktop.statusItemBuilds; });
  // Back two tracks by hotkey (once each), whose artwork is cached.
  h.desktop.pressHotkey(kKeyB, kCommand);
  h.desktop.pressHotkey(kKeyB, kCommand);
  h.desktop.tick();
  h.desktop.chooseMenuItem(MenuItemHideArtist);
  h.desktop.then([&] { titleWithArtist = toUtf8(h.desktop.statusTitle); });
  h.desktop.pressHotkey(kKeyR, kCommand);
  h.desktop.pressHotkey(kKeyP, kOption | kCommand);
  look(pausedMenu);
  h.desktop.chooseMenuItem(MenuItemShuffle);
  h.desktop.chooseMenuItem(MenuItemCloseSpotifyOnExit);
  look(finalMenu);
  h.desktop.chooseMenuItem(MenuItemQuit);

  ASSERT_EQ(h.start(), 0);

  for (int i = 0; i < 10; ++i) EXPECT_EQ(titles[static_cast<std::size_t>(i)], "Song " + std::to_string(i));
  EXPECT_EQ(buildsAfterTracks, 10) << "one build at start, one per new artwork";
  EXPECT_EQ(h.desktop.statusItemBuilds, 14) << "then pause, shuffle and two toggles";
  std::vector<std::string> covers;
  for (const auto& t : h.player.tracks) covers.push_back(t.artworkUrl);
  EXPECT_EQ(h.http.downloads, covers);

  // The menu is rebuilt from the player's new state and the toggles.
  EXPECT_EQ(pausedMenu.at(6), std::string("5 Resume Spotify") + std::string(32, ' ') +
                                  "⌥⌘P [media-playback-start]");
  EXPECT_EQ(finalMenu.back(), "14 Quit (also closes Spotify)");
  EXPECT_EQ(titleWithArtist, "Song 7 \xE2\x80\xA2 Artist 7") << "Hide Artist is now off";

  std::vector<std::string> expected = {toUtf8(PS::ActivatePlayer), toUtf8(PS::PlayCurrentTrack),
                                        toUtf8(PS::HidePlayer)};
  for (int i = 1; i < 10; ++i) expected.push_back(toUtf8(PS::NextTrack));
  for (TextView s : {PS::PreviousTrack, PS::PreviousTrack, PS::RestartTrack, PS::PlayPause,
                     PS::ToggleShuffle, PS::ForegroundProcessPaths, PS::QuitPlayer})
    expected.push_back(toUtf8(s));
  EXPECT_EQ(commands(h.player), expected);
  EXPECT_EQ(h.app().commandCounter(), 9 + 2 + 1 + 1 + 1 + 1);

  // Files left behind: no artwork, the settings with the two toggles.
  for (auto& e : fs::directory_iterator(h.cacheDir()))
    EXPECT_NE(e.path().extension(), ".jpeg") << e.path();
  Preferences prefs(h.settingsPath());
  prefs.open();
  prefs.load();
  EXPECT_EQ(prefs.hideArtist, 0);
  EXPECT_EQ(prefs.closePlayerOnExit, 1);
  EXPECT_FALSE(h.player.running) << "Quit also closed the player";
}

}  // namespace
}  // namespace larkspur
