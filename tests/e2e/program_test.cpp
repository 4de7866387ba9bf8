// Whole runs of the program as a user sees them: start, tray label and menu,
// track changes, options, advert muting and the ways out.
#include <signal.h>

#include "e2e_fixture.h"

namespace larkspur::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kNextHotkey = "\u2303\u2325N";  // Control-Option-N

std::vector<std::string> labelsOf(const std::vector<MenuLine>& entries) {
  std::vector<std::string> out;
  for (const MenuLine& e : entries) {
    std::string text = e.label;
    // The padding and shortcut after the name are checked elsewhere.
    auto end = text.find("  ");
    out.push_back(end == std::string::npos ? text : text.substr(0, end));
  }
  return out;
}

TEST_F(EndToEnd, FirstRunStartsThePlayerWritesTheDefaultsAndQuitKeepsOnlyTheSettings) {
  ASSERT_TRUE(program->start());
  EXPECT_TRUE(program->playerOnBus());
  EXPECT_TRUE(program->waitForRecord("Play"));
  EXPECT_EQ(program->settings(), defaultSettings());
  EXPECT_TRUE(program->waitForLabel(kFirstTitle)) << program->label();

  std::vector<MenuLine> entries = program->entries();
  ASSERT_EQ(entries.size(), 14u) << ::testing::PrintToString(labelsOf(entries));
  EXPECT_TRUE(entries[0].hasImage);
  EXPECT_EQ(entries[0].label, "");
  EXPECT_EQ(labelsOf(entries),
            (std::vector<std::string>{"", "Next", "Previous", "Repeat", "Pause Spotify",
                                      "Shuffle Playback", "Hide Artist Name", "Hide Album Artwork",
                                      "Hide Icon", "Close Spotify on Exit",
                                      "Mute Ads (Free tier users only)",
                                      "Set Keyboard Shortcuts...", "About", "Quit"}));
  EXPECT_EQ(program->menu().size(), 22u);  // with the eight separators
  EXPECT_THAT(program->cacheFiles(), ElementsAre("art1aaaa.jpeg"));
  EXPECT_EQ(program->imageRequests("art1aaaa"), 1);

  pid_t pid = program->pid();
  ASSERT_TRUE(program->clickLabel("Quit"));
  EXPECT_EQ(program->waitForExit(pid), 0);
  EXPECT_THAT(program->cacheFiles(), IsEmpty());
  EXPECT_EQ(program->settings(), defaultSettings());
  // Without "Close Spotify on Exit" the player is left playing.
  EXPECT_EQ(program->recordCount("Quit"), 0);
  EXPECT_TRUE(program->playerOnBus());
}

TEST_F(EndToEnd, TrackChangesFromMenuAndHotkeyFetchEachArtworkOnce) {
  program->presetSettings({{"Val31", kNextHotkey}});
  ASSERT_TRUE(program->start());
  ASSERT_TRUE(program->waitForLabel(kFirstTitle)) << program->label();
  EXPECT_EQ(program->entries().at(1).label, "Next" + std::string(50, ' ') + kNextHotkey);

  ASSERT_TRUE(program->clickLabel("Next"));
  EXPECT_TRUE(program->waitForLabel(kSecondTitle, 3000)) << program->label();
  EXPECT_EQ(program->recordCount("Next"), 1);

  ASSERT_TRUE(program->pressKeys("ctrl+alt+n"));
  EXPECT_TRUE(program->waitForLabel(kThirdTitle, 3000)) << program->label();
  EXPECT_EQ(program->recordCount("Next"), 2);
  EXPECT_TRUE(program->waitFor([&] {
    auto entries = program->entries();
    return !entries.empty() && entries[0].hasImage &&
           program->cacheFiles() == std::vector<std::string>{"art1aaaa.jpeg", "art2bbbb.jpeg"};
  }));
  // Later ticks find the files and download nothing more.
  EXPECT_FALSE(program->waitFor(
      [&] { return program->imageRequests("art1aaaa") + program->imageRequests("art2bbbb") > 2; },
      2500));
  EXPECT_EQ(program->imageRequests("art1aaaa"), 1);
  EXPECT_EQ(program->imageRequests("art2bbbb"), 1);
}

TEST_F(EndToEnd, HideArtistRebuildsTheMenuAndHideArtworkRelaunchesWithTheSameSettings) {
  ASSERT_TRUE(program->start());
  ASSERT_TRUE(program->waitForLabel(kFirstTitle)) << program->label();
  pid_t first = program->pid();

  ASSERT_TRUE(program->clickLabel("Hide Artist Name"));
  EXPECT_TRUE(program->waitForLabel("Morning Glass \u2022 Cedar Lane")) << program->label();
  auto settings = program->settings();
  ASSERT_TRUE(settings);
  EXPECT_EQ((*settings)["Val9"], SettingValue(std::int64_t{0}));
  EXPECT_EQ((*settings)["Val8"], SettingValue(std::string("NoArtist")));
  EXPECT_TRUE(program->running(first));

  ASSERT_TRUE(program->clickLabel("Hide Album Artwork"));
  EXPECT_EQ(program->waitForExit(first), 0);
  ASSERT_TRUE(program->waitForSuccessor(first));
  pid_t second = program->pid();
  EXPECT_NE(second, first);
  settings = program->settings();
  ASSERT_TRUE(settings);
  EXPECT_EQ((*settings)["Val19"], SettingValue(std::int64_t{1}));
  EXPECT_EQ((*settings)["Val9"], SettingValue(std::int64_t{0}));
  EXPECT_TRUE(program->waitForLabel("Morning Glass \u2022 Cedar Lane")) << program->label();
  std::vector<MenuLine> entries = program->entries();
  ASSERT_EQ(entries.size(), 14u);
  EXPECT_EQ(entries[0].label, "Show Current Track Info" + std::string(17, ' '));

  // The successor was started detached, not by us; a termination signal
  // still ends it the way Quit does.
  program->signal(second, SIGTERM);
  EXPECT_EQ(program->waitForExit(second), 0);
  EXPECT_THAT(program->cacheFiles(), IsEmpty());
  EXPECT_EQ((*program->settings())["Val19"], SettingValue(std::int64_t{1}));
}

TEST_F(EndToEnd, AdvertIsMutedWithTheMenuDisabledAndFullVolumeReturnsOnce) {
  program->presetSettings({{"Val11", std::int64_t{1}}, {"Val31", kNextHotkey}});
  ASSERT_TRUE(program->start());
  ASSERT_TRUE(program->waitForLabel(kFirstTitle)) << program->label();
  // Two Next presses reach the advert.
  ASSERT_TRUE(program->pressKeys("ctrl+alt+n"));
  ASSERT_TRUE(program->waitForLabel(kSecondTitle)) << program->label();
  ASSERT_TRUE(program->pressKeys("ctrl+alt+n"));
  ASSERT_TRUE(program->waitForLabel(kThirdTitle)) << program->label();
  int fullBefore = program->recordCount("Volume 1");
  ASSERT_TRUE(program->pressKeys("ctrl+alt+n"));
  EXPECT_TRUE(program->waitForRecord("Volume 0"));
  EXPECT_TRUE(program->waitFor([&] {
    auto entries = program->entries();
    if (entries.size() < 14) return false;
    for (std::size_t i = 0; i + 1 < entries.size(); ++i)
      if (entries[i].enabled) return false;
    return entries.back().enabled;  // Quit stays available
  })) << ::testing::PrintToString(labelsOf(program->entries()));
  // A click on a disabled entry does nothing.
  program->clickLabel("Next");
  EXPECT_EQ(program->recordCount("Next"), 3);

  ASSERT_TRUE(program->pressKeys("ctrl+alt+n"));
  EXPECT_TRUE(program->waitForLabel("Last Light")) << program->label();
  EXPECT_TRUE(program->waitFor([&] { return program->recordCount("Volume 1") == fullBefore + 1; }));
  EXPECT_TRUE(program->waitFor([&] {
    auto entries = program->entries();
    return !entries.empty() && entries[1].enabled;
  }));
  EXPECT_FALSE(program->waitFor([&] { return program->recordCount("Volume 1") > fullBefore + 1; },
                                2500));
  EXPECT_EQ(program->recordCount("Volume 0"), 1);
}

TEST_F(EndToEnd, QuitWithCloseSpotifyOnExitAlsoQuitsThePlayer) {
  ASSERT_TRUE(program->start());
  ASSERT_TRUE(program->clickLabel("Close Spotify on Exit"));
  ASSERT_TRUE(program->waitFor([&] {
    auto entries = program->entries();
    return !entries.empty() && entries.back().label == "Quit (also closes Spotify)";
  }));
  EXPECT_EQ((*program->settings())["Val17"], SettingValue(std::int64_t{1}));
  pid_t pid = program->pid();
  pid_t player = program->playerPid();
  ASSERT_TRUE(program->clickLabel("Quit (also closes Spotify)"));
  EXPECT_EQ(program->waitForExit(pid), 0);
  EXPECT_TRUE(program->waitForRecord("Quit"));
  EXPECT_EQ(program->waitForExit(player), 0);
  EXPECT_THAT(program->cacheFiles(), IsEmpty());
}

}  // namespace
}  // namespace larkspur::test
