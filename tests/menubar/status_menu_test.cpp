#include "menubar/status_menu.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "player/player_script.h"
#include "support/app_harness.h"

namespace larkspur {
namespace {

namespace PS = PlayerScript;
using test::AppHarness;
using test::kRanOutOfEvents;

std::string withBlanks(const std::string& text, std::size_t blanks, const std::string& tail = "") {
  return text + std::string(blanks, ' ') + tail;
}

std::string integer(const char* key, int value) {
  return std::string("<key>") + key + "</key><integer>" + std::to_string(value) + "</integer>";
}

std::string string(const char* key, const std::string& value) {
  return std::string("<key>") + key + "</key><string>" + value + "</string>";
}

// The settings a previous run leaves, with the given flags.
std::string flags(int hideArtist, int muteAds, int closePlayer, int hideArtwork, int iconShown) {
  return integer("Val9", hideArtist) + integer("Val11", muteAds) +
         integer("Val17", closePlayer) + integer("Val19", hideArtwork) +
         integer("Val51", iconShown);
}

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The on image has its left half filled, the off image its right half.
std::string state(const AppHarness& h, std::int64_t id) {
  const MenuEntry* e = h.desktop.entry(id);
  if (!e) return "-";
  if (!e->image || e->image->width < 16) return "?";
  const auto alphaAt = [&](int x) { return e->image->rgba[(8 * e->image->width + x) * 4 + 3]; };
  if (alphaAt(4) && !alphaAt(11)) return "on";
  if (!alphaAt(4) && alphaAt(11)) return "off";
  return "?";
}

std::string states(const AppHarness& h) {
  std::string out;
  for (std::int64_t id = MenuItemShuffle; id <= MenuItemMuteAds; ++id)
    out += (out.empty() ? "" : " ") + state(h, id);
  return out;
}

const std::string kSep = "---";
const std::string kNext = withBlanks("2 Next", 50, " [media-skip-forward]");
const std::string kPrevious = withBlanks("3 Previous", 43, " [media-skip-backward]");
const std::string kRepeat = withBlanks("4 Repeat", 46, " [media-playlist-repeat]");
const std::string kPause = withBlanks("5 Pause Spotify", 34, " [media-playback-pause]");
const std::string kResume = withBlanks("5 Resume Spotify", 32, " [media-playback-start]");
const std::string kShuffle = withBlanks("6 Shuffle Playback", 29, " [image]");
const std::string kInfo = withBlanks("1 Show Current Track Info", 17, " [dialog-information]");
const std::vector<std::string> kOptions = {
    "7 Hide Artist Name [image]", "8 Hide Album Artwork [image]", "9 Hide Icon [image]", kSep,
    "10 Close Spotify on Exit [image]", kSep, "11 Mute Ads (Free tier users only) [image]", kSep,
    "12 Set Keyboard Shortcuts...", kSep, "13 About", kSep};

std::vector<std::string> join(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

struct LayoutCase {
  const char* label;
  std::string settings;  // empty: first run
  bool serveArtwork;
  std::optional<bool> playing, shuffling;  // nullopt: the player does not answer
  std::vector<std::string> lines;
  std::string states;  // entries 6 to 11
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

const LayoutCase kLayouts[] = {
    {"FirstRunPlaying", "", true, true, false,
     join({{"1 ", kSep, kNext, kPrevious, kRepeat, kSep, kPause, kShuffle, kSep}, kOptions,
           {"14 Quit"}}),
     "off on off off off off"},
    {"PausedShufflingCloseAndMuteOn", flags(0, 1, 1, 0, 1), true, false, true,
     join({{"1 ", kSep, kNext, kPrevious, kRepeat, kSep, kResume, kShuffle, kSep}, kOptions,
           {"14 Quit (also closes Spotify)"}}),
     "on off off off on on"},
    {"PlayerNotAnswering", flags(1, 0, 0, 0, 1), true, std::nullopt, std::nullopt,
     join({{"1 ", kSep, kNext, kPrevious, kRepeat, kSep, kSep}, kOptions, {"14 Quit"}}),
     "- on off off off off"},
    {"ArtworkHiddenIconHidden", flags(1, 0, 0, 1, 0), false, true, false,
     join({{kInfo, kSep, kNext, kPrevious, kRepeat, kSep, kPause, kShuffle, kSep}, kOptions,
           {"14 Quit"}}),
     "off on on on off off"},
    {"DownloadFailing", flags(1, 0, 0, 0, 1), false, true, true,
     join({{kSep, kNext, kPrevious, kRepeat, kSep, kPause, kShuffle, kSep}, kOptions,
           {"14 Quit"}}),
     "on on off off off off"},
    {"FlagsOutsideZeroAndOne", flags(2, 3, 4, 5, 6), true, true, false,
     join({{kSep, kNext, kPrevious, kRepeat, kSep, kPause, kShuffle, kSep, kSep, kSep, kSep,
            "12 Set Keyboard Shortcuts...", kSep, "13 About", kSep}}),
     "off - - - - -"},
};

INSTANTIATE_TEST_SUITE_P(StatusMenu, MenuLayout, ::testing::ValuesIn(kLayouts),
                         [](const auto& p) { return std::string(p.param.label); });

TEST(StatusMenu, ShortcutTextsFollowTheirRunsOfBlanks) {
  AppHarness h;
  h.writeSettings(flags(1, 0, 0, 1, 1) + string("Val31", "⌘N") + string("Val33", "⌥⌘P") +
                  string("Val35", "⌃R") + string("Val37", "⇧⌘S") + string("Val39", "F5") +
                  string("Val41", "⌘I"));
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  const auto text = [&](std::int64_t id) { return toUtf8(h.desktop.entry(id)->text); };
  EXPECT_EQ(text(1), withBlanks("Show Current Track Info", 17, "⌘I"));
  EXPECT_EQ(text(2), withBlanks("Next", 50, "⌘N"));
  EXPECT_EQ(text(3), withBlanks("Previous", 43, "⌥⌘P"));
  EXPECT_EQ(text(4), withBlanks("Repeat", 46, "⌃R"));
  EXPECT_EQ(text(5), withBlanks("Pause Spotify", 34, "F5"));
  EXPECT_EQ(text(6), withBlanks("Shuffle Playback", 29, "⇧⌘S"));
}

struct IconCase {
  const char* label;
  bool dark;
  int iconShown;
  int slot;  // -1: no image
};

void PrintTo(const IconCase& c, std::ostream* os) { *os << c.label; }

class StatusIcon : public ::testing::TestWithParam<IconCase> {};

TEST_P(StatusIcon, FollowsAppearanceAndSetting) {
  const IconCase& c = GetParam();
  AppHarness h;
  h.writeSettings(flags(1, 0, 0, 0, c.iconShown));
  h.desktop.dark = c.dark;
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  if (c.slot < 0) {
    EXPECT_EQ(h.desktop.statusImage, nullptr);
    return;
  }
  ASSERT_NE(h.desktop.statusImage, nullptr) << "icon missing from the build's Resources/";
  EXPECT_EQ(h.desktop.statusImage, h.app().images().platformImage(c.slot));
  EXPECT_TRUE(h.desktop.statusImageTemplate);
  EXPECT_EQ(h.desktop.statusImage->pointWidth, 16);
  EXPECT_EQ(h.desktop.statusImage->pointHeight, 16);
}

const IconCase kIcons[] = {
    {"Light", false, 1, SlotLightIcon},
    {"Dark", true, 1, SlotDarkIcon},
    {"HiddenInLight", false, 0, -1},
    {"HiddenInDark", true, 0, -1},
};

INSTANTIATE_TEST_SUITE_P(StatusMenu, StatusIcon, ::testing::ValuesIn(kIcons),
                         [](const auto& p) { return std::string(p.param.label); });

TEST(StatusMenu, LightAndDarkIconsAreOppositeGlyphs) {
  AppHarness h;
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  const Image* light = h.app().images().platformImage(SlotLightIcon);
  const Image* dark = h.app().images().platformImage(SlotDarkIcon);
  ASSERT_TRUE(light && dark);
  ASSERT_EQ(light->rgba.size(), dark->rgba.size());
  int lightInk = 0, opaque = 0;
  for (std::size_t i = 0; i < light->rgba.size(); i += 4) {
    if (light->rgba[i + 3] < 200) continue;
    ++opaque;
    lightInk += light->rgba[i] < 60 && dark->rgba[i] > 195;
  }
  EXPECT_GT(opaque, 20);
  EXPECT_EQ(lightInk, opaque) << "black glyph for light panels, white for dark ones";
}

TEST(StatusMenu, ArtworkEntryShowsTheImageAndOpensTheDetails) {
  AppHarness h;
  h.http.bodies[h.player.track().artworkUrl] = fileBytes(LARKSPUR_TEST_DATA "artwork.jpeg");
  bool windowOpened = false;
  h.desktop.chooseMenuItem(MenuItemTrackDetails);
  h.desktop.then([&] { windowOpened = h.desktop.windows.count(TrackDetailsWindowNumber) == 1; });
  h.desktop.pressClose(TrackDetailsWindowNumber);
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  const MenuEntry* art = h.desktop.entry(MenuItemTrackDetails);
  ASSERT_NE(art, nullptr);
  EXPECT_TRUE(art->text.empty());
  ASSERT_NE(art->image, nullptr);
  EXPECT_EQ(art->image->width, 32);
  EXPECT_EQ(art->image->pointWidth, 268);
  EXPECT_EQ(art->image->pointHeight, 268);
  EXPECT_TRUE(windowOpened);
  EXPECT_EQ(h.app().commandCounter(), 1);
}

TEST(StatusMenu, ArtworkThatIsNotAnImageGivesAnEntryWithoutPicture) {
  AppHarness h;
  h.serveArtworkForAllTracks();  // bodies that are not images
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  const MenuEntry* art = h.desktop.entry(MenuItemTrackDetails);
  ASSERT_NE(art, nullptr);
  EXPECT_EQ(art->image, nullptr);
  EXPECT_TRUE(art->iconName.empty());
}

// A network that drops the first download: the second attempt of the same
// build succeeds, and its artwork must show at once, since no later tick
// finds the file missing.
class FirstDownloadFails : public test::FakeHttp {
 public:
  bool downloadToFile(const Text& url, const Text& path) override {
    if (failures-- > 0) {
      downloads.push_back(toUtf8(url));
      return false;
    }
    return FakeHttp::downloadToFile(url, path);
  }
  int failures = 1;
};

class NullCore : public AppCore {
 public:
  void probeNetwork() override { ++probes; }
  void countCommand() override {}
  void tearDownStatusItem() override {}
  [[noreturn]] void quit() override { throw test::ProcessExit{0}; }
  [[noreturn]] void relaunch() override { throw test::ProcessExit{0}; }
  const std::string& resourcesDirectory() const override { return resources; }
  int probes = 0;
  std::string resources = LARKSPUR_BINARY_DIR "Resources/";
};

TEST(StatusMenu, SecondDownloadOfABuildShowsItsArtwork) {
  test::TempDir tmp;
  EventQueue queue;
  test::FakeDesktop desktop{queue};
  test::FakePlayer player;
  FirstDownloadFails http;
  NullCore core;
  Endpoints endpoints;
  endpoints.tempDirectory = tmp.path() + "/";
  http.bodies[player.track().artworkUrl] = fileBytes(LARKSPUR_TEST_DATA "artwork.jpeg");
  PlayerBridge bridge{player};
  Preferences prefs{tmp.file("Larkspur.plist")};
  prefs.iconShown = 1;
  KeyNameTable names;
  HotkeyRegistry hotkeys{desktop, queue, names};
  NowPlayingTitle title{bridge, prefs};
  ArtworkCache artwork{bridge, title, http, core, endpoints};
  WindowTable windows{desktop, desktop, queue};
  MenuTable menus{desktop};
  ImageTable images;
  StatusMenu menu{StatusMenuParts{prefs, bridge, title, artwork, hotkeys, windows, menus, images,
                                  desktop, desktop, core}};
  menu.build();
  EXPECT_EQ(http.downloads.size(), 2u);
  EXPECT_EQ(core.probes, 2);
  const MenuEntry* art = desktop.entry(MenuItemTrackDetails);
  ASSERT_NE(art, nullptr);
  EXPECT_NE(art->image, nullptr);
}

}  // namespace
}  // namespace larkspur
