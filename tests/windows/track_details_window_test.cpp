#include "windows/track_details_window.h"

#include <gtest/gtest.h>

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
using Lines = std::vector<std::string>;

constexpr std::int64_t kWindow = TrackDetailsWindowNumber;
std::string n(std::size_t count, const std::string& tail = "") { return std::string(count, 'n') + tail; }

class TrackDetailsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { h.serveArtworkForAllTracks(); }
  // Opens the window from the menu and keeps what it looked like.
  void open() {
    h.desktop.chooseMenuItem(MenuItemTrackDetails);
    h.desktop.then([this] {
      shown = h.desktop.windows.at(kWindow);
      enabledWhileOpen = h.desktop.enabledIds();
    });
  }
  void click(const std::string& text) { h.desktop.clickButton(kWindow, text); }

  AppHarness h;
  test::FakeWindow shown;
  std::string enabledWhileOpen;
};

TEST_F(TrackDetailsWindowTest, TrackShowsItsDetailsCopiesSetsTheDesktopAndClosesWithOk) {
  h.player.tracks[0].seconds = "7";
  h.player.tracks[0].album = n(77);  // one short of being cut
  open();
  click("Copy URL");
  click("Set Artwork as Desktop");
  click("Set Artwork as Desktop");
  bool stillOpen = false;
  h.desktop.then([&] { stillOpen = h.desktop.windows.count(kWindow) == 1; });
  click("OK");
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  EXPECT_EQ(std::tuple(shown.title, shown.stayOnTop, shown.buttonsHidden), std::tuple(u"Current Track Details", true, true));
  EXPECT_EQ(shown.layout(), (Lines{"label 0,16,600,24 13 Tune (3:07)", "button 250,40,100,22 11 Copy URL",
                                   "image 232,64,136,136", "button 220,203,156,22 11 Set Artwork as Desktop",
                                   "label 0,230,600,24 16b Band", "label 0,252,600,24 13 " + n(77),
                                   "label 0,278,600,24 12 Track on Album: 4",
                                   "label 0,298,600,24 12 Spotify Popularity (0-100): 57",
                                   "button 480,324,100,25 13 OK"}));
  EXPECT_TRUE(shown.at(8).spec.isDefault);
  EXPECT_EQ(enabledWhileOpen, "2 3 4 14 ");
  EXPECT_EQ(h.desktop.clipboard, u"https://open.spotify.com/track/0123456789abcdefghijkl");
  // The picture is a copy in a private folder; a second press replaces it.
  const std::string folder = h.home.path() + "/.bkgd", target = folder + "/art1.jpeg";
  EXPECT_EQ(h.desktop.desktopPictures, (Lines{target, target}));
  EXPECT_EQ(test::fileBytes(target), test::fileBytes(LARKSPUR_TEST_DATA "artwork.jpeg"));
  EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);
  // Open until OK, then gone, and the menu whole again.
  EXPECT_EQ(std::tuple(stillOpen, h.desktop.windows.count(kWindow), h.desktop.enabledIds()),
            std::tuple(true, 0u, std::string("1 2 3 4 5 6 7 8 9 10 11 12 13 14 ")));
}

// Cut from 78 units to 76, from 64 to 64 and from 78 to 78.
TEST_F(TrackDetailsWindowTest, PodcastEpisodeHasNoTrackOnlyPartsLongTextsAreCutAndQuitEndsTheProgram) {
  h.player.tracks[0] = {n(78), n(64), n(78)};
  h.player.tracks[0].uri = "spotify:episode:5pod5pod5pod5pod5pod5p";
  open();
  click("Copy URL");
  Text firstCopy;
  h.desktop.then([&] { firstCopy = h.desktop.clipboard.value_or(u"none"); });
  click("Copy URL");
  h.desktop.chooseMenuItem(MenuItemQuit);
  ASSERT_EQ(h.start(), 0);
  EXPECT_EQ(shown.title, u"Current Podcast Details");
  EXPECT_EQ(shown.layout(), (Lines{"label 0,16,600,24 13 " + n(76, "... (3:42)"), "button 250,40,100,22 11 Copy URL",
                                   "image 232,64,136,136", "label 0,230,600,24 16b " + n(64, "..."),
                                   "label 0,252,600,24 16b " + n(78, "..."), "button 480,324,100,25 13 OK"}));
  EXPECT_EQ(firstCopy, u"https://open.spotify.com/episode/5pod5pod5pod5pod5pod5p");
  EXPECT_EQ(h.desktop.clipboard, firstCopy) << "a second press finds nothing left to remove";
  EXPECT_FALSE(fs::exists(h.artworkPath("art1")));
}

// Opened by its hotkey while the menu hides the artwork, the window shows the
// cached artwork; while it is open only the transport acts. A file where the
// picture's folder belongs: no picture is set.
TEST_F(TrackDetailsWindowTest, HotkeyOpensItWithTheCachedArtworkAndTheLoopActsOnTransportAndDropsTheRest) {
  h.player.tracks.push_back(test::FakeTrack{});
  h.player.tracks[1].uri = "spotify:track:second";
  h.writeSettings({{"Val9", "1"}, {"Val19", "1"}, {"Val51", "1"}, {"Val39", "⌘P"}, {"Val41", "⌘I"}, {"Val35", "⌘R"}});
  std::ofstream(h.home.path() + "/.bkgd") << "not a folder";
  h.desktop.pressHotkey(34, 256);
  h.desktop.then([this] { shown = h.desktop.windows.at(kWindow); });
  click("Set Artwork as Desktop");
  h.desktop.tick();
  h.desktop.chooseMenuItem(MenuItemPrevious);
  h.desktop.chooseMenuItem(MenuItemRepeat);
  h.desktop.pressHotkey(15, 256);               // ⌘R: restart
  h.desktop.pressHotkey(35, 256);               // ⌘P: play/pause, dropped here
  h.desktop.pressHotkey(34, 256);               // ⌘I: details again, dropped
  h.desktop.chooseMenuItem(MenuItemPlayPause);  // disabled while open
  bool openAfterNext = false;
  h.desktop.chooseMenuItem(MenuItemNext);
  h.desktop.then([&] { openAfterNext = h.desktop.windows.count(kWindow) == 1; });
  h.desktop.then([] {});
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  EXPECT_EQ(shown.title, u"Current Track Details");
  EXPECT_NE(shown.at(2).image, nullptr);
  EXPECT_TRUE(h.desktop.desktopPictures.empty());
  EXPECT_EQ(test::fileBytes(h.home.path() + "/.bkgd"), "not a folder");
  EXPECT_EQ(std::tuple(h.player.count(PS::PreviousTrack), h.player.count(PS::RestartTrack), h.player.count(PS::PlayPause)),
            std::tuple(2u, 2u, 0u));
  EXPECT_TRUE(openAfterNext) << "the change is seen at the event after Next";
  EXPECT_EQ(h.desktop.windows.count(kWindow), 0u);
  EXPECT_EQ(h.app().commandCounter(), 3) << "Previous, Next and the visit itself";
}

}  // namespace
}  // namespace larkspur
