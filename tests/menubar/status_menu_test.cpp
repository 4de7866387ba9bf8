#include "menubar/status_menu.h"

#include <gtest/gtest.h>

#include "player/player_script.h"
#include "support/app_harness.h"

namespace larkspur {
namespace {

namespace PS = PlayerScript;
using test::AppHarness;
using test::Entries;
using test::kRanOutOfEvents;
using Lines = std::vector<std::string>;

std::string withBlanks(const std::string& text, std::size_t blanks, const std::string& tail) {
  return text + std::string(blanks, ' ') + tail;
}

// The settings a previous run leaves, with the given flags.
Entries flags(int hideArtist, int muteAds, int closePlayer, int hideArtwork, int iconShown, Entries more = {}) {
  const int values[] = {hideArtist, muteAds, closePlayer, hideArtwork, iconShown};
  const char* keys[] = {"Val9", "Val11", "Val17", "Val19", "Val51"};
  for (int i = 0; i < 5; ++i) more.emplace_back(keys[i], std::to_string(values[i]));
  return more;
}

// An on/off entry by its image: the on image has its left half filled, the
// off image its right half; "-" no entry, "?" another image.
std::string state(const MenuEntry* e) {
  if (!e) return "-";
  const Image* i = e->image;
  if (!i || i->width < 16) return "?";
  bool left = i->rgba[(8 * i->width + 4) * 4 + 3], right = i->rgba[(8 * i->width + 11) * 4 + 3];
  return left == right ? "?" : left ? "on" : "off";
}

std::string states(const AppHarness& h) {  // entries 6 to 11
  std::string out;
  for (std::int64_t id = MenuItemShuffle; id <= MenuItemMuteAds; ++id) out += state(h.desktop.entry(id)) + " ";
  return out;
}

const std::string kSep = "---";
Lines transport(const std::string& next = "", const std::string& previous = "",
                const std::string& repeat = "") {
  return {withBlanks("2 Next", 50, next + " [media-skip-forward]"),
          withBlanks("3 Previous", 43, previous + " [media-skip-backward]"),
          withBlanks("4 Repeat", 46, repeat + " [media-playlist-repeat]")};
}
const std::string kPause = withBlanks("5 Pause Spotify", 34, " [media-playback-pause]");
const std::string kResume = withBlanks("5 Resume Spotify", 32, " [media-playback-start]");
const std::string kShuffle = withBlanks("6 Shuffle Playback", 29, " [image]");
const Lines kOptions = {"7 Hide Artist Name [image]", "8 Hide Album Artwork [image]",
                        "9 Hide Icon [image]", kSep, "10 Close Spotify on Exit [image]", kSep,
                        "11 Mute Ads (Free tier users only) [image]", kSep,
                        "12 Set Keyboard Shortcuts...", kSep, "13 About", kSep};

Lines join(std::vector<Lines> parts) {
  Lines out;
  for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

struct LayoutCase {
  const char* label;
  Entries settings;  // empty: first run
  bool serveArtwork;     // bodies that are not images
  std::optional<bool> playing, shuffling;  // nullopt: the player does not answer
  Lines lines;
  std::string states;
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.label; }

class MenuLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(MenuLayout, ShowsExactlyTheseEntries) {
  const LayoutCase& c = GetParam();
  AppHarness h;
  if (!c.settings.empty()) h.writeSettings(c.settings);
  if (c.serveArtwork) h.serveArtworkForAllTracks();
  h.player.playing = c.playing.value_or(false);
  h.player.shuffling = c.shuffling.value_or(false);
  // Asked only at start, before the menu: the player keeps its state.
  h.player.overrides[Text(PS::PlayCurrentTrack)] = std::nullopt;
  if (!c.playing) h.player.overrides[Text(PS::IsPlaying)] = std::nullopt;
  if (!c.shuffling) h.player.overrides[Text(PS::IsShuffling)] = test::FakePlayer::value("maybe");
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  EXPECT_EQ(h.desktop.menuLines(), c.lines);
  EXPECT_EQ(states(h), c.states);
}

const Entries kKeys = {{"Val31", "⌘N"}, {"Val33", "⌥⌘P"}, {"Val35", "⌃R"},
                       {"Val37", "⇧⌘S"}, {"Val39", "F5"},   {"Val41", "⌘I"}};

const LayoutCase kLayouts[] = {
    {"FirstRunPlaying", {}, true, true, false,
     join({{"1  [image]", kSep}, transport(), {kSep, kPause, kShuffle, kSep}, kOptions, {"14 Quit"}}),
     "off on off off off off "},
    {"PausedShufflingCloseAndMuteOn", flags(0, 1, 1, 0, 1), true, false, true,
     join({{"1  [image]", kSep}, transport(), {kSep, kResume, kShuffle, kSep}, kOptions,
           {"14 Quit (also closes Spotify)"}}),
     "on off off off on on "},
    {"PlayerNotAnswering", flags(1, 0, 0, 0, 1), true, std::nullopt, std::nullopt,
     join({{"1  [image]", kSep}, transport(), {kSep, kSep}, kOptions, {"14 Quit"}}),
     "- on off off off off "},
    {"ArtworkAndIconHiddenWithShortcuts", flags(1, 0, 0, 1, 0, kKeys), false, true, false,
     join({{withBlanks("1 Show Current Track Info", 17, "⌘I [dialog-information]"), kSep},
           transport("⌘N", "⌥⌘P", "⌃R"),
           {kSep, withBlanks("5 Pause Spotify", 34, "F5 [media-playback-pause]"),
            withBlanks("6 Shuffle Playback", 29, "⇧⌘S [image]"), kSep},
           kOptions, {"14 Quit"}}),
     "off on on on off off "},
    {"FlagsOutsideZeroAndOne", flags(2, 3, 4, 5, 6), true, true, false,
     join({{kSep}, transport(),
           {kSep, kPause, kShuffle, kSep, kSep, kSep, kSep, "12 Set Keyboard Shortcuts...", kSep,
            "13 About", kSep}}),
     "off - - - - - "},
};

INSTANTIATE_TEST_SUITE_P(StatusMenu, MenuLayout, ::testing::ValuesIn(kLayouts),
                         [](const auto& p) { return std::string(p.param.label); });

// Hidden, the icon does not depend on the appearance. Shown, both icons are
// loaded: the light one a black glyph, the dark one the same glyph in white.
TEST(StatusMenu, IconFollowsAppearanceAndSettingAndIsBlackOrWhite) {
  for (auto [iconShown, dark] : {std::pair{0, false}, {1, false}, {1, true}}) {
    AppHarness h;
    h.writeSettings(flags(1, 0, 0, 0, iconShown));
    h.desktop.dark = dark;
    ASSERT_EQ(h.start(), kRanOutOfEvents);
    const Image* shown = h.desktop.statusImage;
    if (!iconShown) {
      EXPECT_EQ(shown, nullptr);
      continue;
    }
    const Image* light = h.app().images().platformImage(SlotLightIcon);
    const Image* darkIcon = h.app().images().platformImage(SlotDarkIcon);
    ASSERT_NE(shown, nullptr) << "icon missing from the build's share/larkspur/";
    EXPECT_EQ(shown, dark ? darkIcon : light);
    EXPECT_TRUE(h.desktop.statusImageTemplate);
    EXPECT_EQ(shown->pointWidth, 16);
    EXPECT_EQ(shown->pointHeight, 16);
    ASSERT_TRUE(light && darkIcon);
    ASSERT_EQ(light->rgba.size(), darkIcon->rgba.size());
    int ink = 0, opaque = 0;
    for (std::size_t i = 0; i < light->rgba.size(); i += 4) {
      if (light->rgba[i + 3] < 200) continue;
      ++opaque;
      ink += light->rgba[i] < 60 && darkIcon->rgba[i] > 195;
    }
    EXPECT_GT(opaque, 20);
    EXPECT_EQ(ink, opaque) << "black glyph for light panels, white for dark ones";
  }
}

// The first download of a build fails: the second attempt of the same build
// succeeds, and its artwork must show at once, since no later tick finds the
// file missing.
TEST(StatusMenu, ArtworkFromTheSecondDownloadOfABuildShowsAtOnce) {
  AppHarness h;
  h.http.bodies[h.player.track().artworkUrl] = test::fileBytes(LARKSPUR_TEST_DATA "artwork.jpeg");
  h.http.failDownloads = 1;
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  EXPECT_EQ(h.http.downloads.size(), 2u);
  EXPECT_EQ(h.http.fetches.size(), 3u) << "the start-up probe, then one before each attempt";
  EXPECT_EQ(h.desktop.statusItemBuilds, 1);
  const MenuEntry* art = h.desktop.entry(MenuItemTrackDetails);
  ASSERT_NE(art, nullptr);
  EXPECT_TRUE(art->text.empty());
  ASSERT_NE(art->image, nullptr);
  EXPECT_EQ(art->image->width, 32);
  EXPECT_EQ(art->image->pointWidth, 268);
  EXPECT_EQ(art->image->pointHeight, 268);
}

}  // namespace
}  // namespace larkspur
