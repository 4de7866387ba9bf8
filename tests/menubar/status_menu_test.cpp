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

std::string withBlanks(const std::string& text, std::size_t blanks, const std::string& tail) { return text + std::string(blanks, ' ') + tail; }

// The settings a previous run leaves: Hide Artist, Mute Ads, Close Spotify,
// Hide Artwork and Icon Shown.
Entries flags(const char* values, Entries more = {}) {
  for (int i = 0; const char* key : {"Val9", "Val11", "Val17", "Val19", "Val51"}) more.emplace_back(key, std::string(1, values[i++]));
  return more;
}

// Entries 6 to 11 by their images: the on image has its left half filled,
// the off image its right half; "-" no entry, "?" another image.
std::string states(const AppHarness& h) {
  std::string out;
  for (std::int64_t id = MenuItemShuffle; id <= MenuItemMuteAds; ++id) {
    const MenuEntry* e = h.desktop.entry(id);
    const Image* i = e ? e->image : nullptr;
    const bool left = i && i->width >= 16 && i->rgba[(8 * i->width + 4) * 4 + 3],
               right = i && i->width >= 16 && i->rgba[(8 * i->width + 11) * 4 + 3];
    out += !e ? "- " : left == right ? "? " : left ? "on " : "off ";
  }
  return out;
}

const std::string kSep = "---";
Lines menu(const std::string& first, const Lines& middle, const std::string& quit = "14 Quit",
           const std::string& next = "", const std::string& previous = "", const std::string& repeat = "") {
  Lines out = {first, kSep, withBlanks("2 Next", 50, next + " [media-skip-forward]"),
               withBlanks("3 Previous", 43, previous + " [media-skip-backward]"),
               withBlanks("4 Repeat", 46, repeat + " [media-playlist-repeat]"), kSep};
  out.insert(out.end(), middle.begin(), middle.end());
  for (const char* option : {"7 Hide Artist Name [image]", "8 Hide Album Artwork [image]", "9 Hide Icon [image]", "---",
                             "10 Close Spotify on Exit [image]", "---", "11 Mute Ads (Free tier users only) [image]",
                             "---", "12 Set Keyboard Shortcuts...", "---", "13 About", "---"})
    out.push_back(option);
  out.push_back(quit);
  return out;
}
const std::string kPause = withBlanks("5 Pause Spotify", 34, " [media-playback-pause]");
const std::string kShuffle = withBlanks("6 Shuffle Playback", 29, " [image]");

// The tray's middle click and wheel choose entries, whatever the settings.
// The first download of the build fails: the second attempt's artwork must
// show at once, since no later tick finds the file missing.
TEST(StatusMenu, ShowsExactlyTheEntriesOfTheSettingsAndThePlayersState) {
  const Entries keys = {{"Val31", "⌘N"}, {"Val33", "⌥⌘P"}, {"Val35", "⌃R"},
                        {"Val37", "⇧⌘S"}, {"Val39", "F5"},   {"Val41", "⌘I"}};
  const struct {
    Entries settings;     // empty: first run
    bool serveArtwork;    // else bodies that are no images
    std::optional<bool> playing, shuffling;  // nullopt: the player does not answer
    Lines lines;
    std::string states;
  } cases[] = {
      {{}, true, true, false, menu("1  [image]", {kPause, kShuffle, kSep}), "off on off off off off "},
      {flags("01101"), true, false, true,
       menu("1  [image]", {withBlanks("5 Resume Spotify", 32, " [media-playback-start]"), kShuffle, kSep},
            "14 Quit (also closes Spotify)"),
       "on off off off on on "},
      {flags("10001"), true, std::nullopt, std::nullopt, menu("1  [image]", {kSep}), "- on off off off off "},
      {flags("10010", keys), false, true, false,
       menu(withBlanks("1 Show Current Track Info", 17, "⌘I [dialog-information]"),
            {withBlanks("5 Pause Spotify", 34, "F5 [media-playback-pause]"),
             withBlanks("6 Shuffle Playback", 29, "⇧⌘S [image]"), kSep},
            "14 Quit", "⌘N", "⌥⌘P", "⌃R"),
       "off on on on off off "},
  };
  for (const auto& c : cases) {
    AppHarness h;
    if (!c.settings.empty()) h.writeSettings(c.settings);
    if (c.serveArtwork) h.serveArtworkForAllTracks();
    h.http.failDownloads = 1;
    h.player.playing = c.playing.value_or(false);
    h.player.shuffling = c.shuffling.value_or(false);
    // Asked only at start, before the menu: the player keeps its state.
    h.player.overrides[Text(PS::PlayCurrentTrack)] = std::nullopt;
    if (!c.playing) h.player.overrides[Text(PS::IsPlaying)] = std::nullopt;
    if (!c.shuffling) h.player.overrides[Text(PS::IsShuffling)] = test::FakePlayer::value("maybe");
    ASSERT_EQ(h.start(), kRanOutOfEvents);
    EXPECT_EQ(h.desktop.menuLines(), c.lines);
    EXPECT_EQ(states(h), c.states);
    if (const MenuEntry* art = h.desktop.entry(MenuItemTrackDetails); art && art->image) {
      EXPECT_EQ(std::pair(art->image->pointWidth, art->image->pointHeight), std::pair(268.0, 268.0));
    }
    const StatusMouseActions& m = h.desktop.mouseActions;
    EXPECT_EQ(std::tuple(m.middleClick, m.wheelAway, m.wheelTowards), std::tuple(MenuItemPlayPause, MenuItemPrevious, MenuItemNext));
  }
}

// Hidden, the icon does not depend on the appearance. Shown, both icons are
// loaded: the light one a black glyph, the dark one the same glyph in white.
TEST(StatusMenu, IconFollowsAppearanceAndSettingAndIsBlackOrWhite) {
  for (auto [iconShown, dark] : {std::pair{"10000", false}, {"10001", false}, {"10001", true}}) {
    AppHarness h;
    h.writeSettings(flags(iconShown));
    h.desktop.dark = dark;
    ASSERT_EQ(h.start(), kRanOutOfEvents);
    const Image *shown = h.desktop.statusImage, *light = h.app().images().platformImage(SlotLightIcon),
                *darkIcon = h.app().images().platformImage(SlotDarkIcon);
    if (iconShown[4] == '0') { EXPECT_EQ(shown, nullptr); continue; }
    ASSERT_TRUE(shown && light && darkIcon) << "icons missing from the build's share/larkspur/";
    EXPECT_EQ(shown, dark ? darkIcon : light);
    EXPECT_EQ(std::tuple(h.desktop.statusImageTemplate, shown->pointWidth, shown->pointHeight), std::tuple(true, 16.0, 16.0));
    ASSERT_EQ(light->rgba.size(), darkIcon->rgba.size());
    int ink = 0, opaque = 0;
    for (std::size_t i = 0; i < light->rgba.size(); i += 4)
      if (light->rgba[i + 3] >= 200) ++opaque, ink += light->rgba[i] < 60 && darkIcon->rgba[i] > 195;
    EXPECT_GT(opaque, 20);
    EXPECT_EQ(ink, opaque) << "black glyph for light panels, white for dark ones";
  }
}

}  // namespace
}  // namespace larkspur
