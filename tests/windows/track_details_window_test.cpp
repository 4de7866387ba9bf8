#include "windows/track_details_window.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "player/player_script.h"
#include "support/app_harness.h"

namespace larkspur {
namespace {

namespace fs = std::filesystem;
namespace PS = PlayerScript;
using test::AppHarness;
using test::FakeWindow;
using test::kRanOutOfEvents;

constexpr std::int64_t kWindow = TrackDetailsWindowNumber;

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// One control as a line: kind, frame, font, text, so whole windows compare
// as lists.
std::string describe(const test::FakeControl& c) {
  static const char* kinds[] = {"label", "button", "image", "field"};
  const Rect& f = c.spec.frame;
  std::ostringstream out;
  out << kinds[static_cast<int>(c.spec.kind)] << " " << f.x << "," << f.y << "," << f.width << ","
      << f.height;
  if (c.spec.kind != ControlKind::ImageView)
    out << " " << c.spec.font.size << (c.spec.font.bold ? "b" : "") << " " << toUtf8(c.text);
  return out.str();
}

std::vector<std::string> describe(const FakeWindow& w) {
  std::vector<std::string> out;
  for (auto id : w.order) out.push_back(describe(w.controls.at(id)));
  return out;
}

std::int64_t controlWithText(const FakeWindow& w, const std::string& text) {
  for (auto& [id, c] : w.controls)
    if (toUtf8(c.text) == text) return id;
  return 0;
}

// Presses a window's button found by its text when the script reaches it.
void click(AppHarness& h, const std::string& text) {
  h.desktop.then([&h, text] {
    auto w = h.desktop.windows.find(kWindow);
    if (w == h.desktop.windows.end()) return;
    h.queue.enqueue(EventControl, controlWithText(w->second, text), kWindow, 0);
  });
}

std::string enabledIds(const AppHarness& h) {
  std::string out;
  for (std::int64_t id = 1; id <= 14; ++id) {
    const MenuEntry* e = h.desktop.entry(id);
    if (e && e->enabled) out += std::to_string(id) + " ";
  }
  return out;
}

class TrackDetailsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    h.http.bodies[h.player.track().artworkUrl] = fileBytes(LARKSPUR_TEST_DATA "artwork.jpeg");
  }
  // Opens the window from the menu and keeps what it looked like.
  void open() {
    h.desktop.chooseMenuItem(MenuItemTrackDetails);
    h.desktop.then([this] {
      shown = h.desktop.windows.at(kWindow);
      enabledWhileOpen = enabledIds(h);
      scriptsAtOpening = h.player.takeReceived();
    });
  }

  AppHarness h;
  FakeWindow shown;
  std::string enabledWhileOpen;
  std::vector<Text> scriptsAtOpening;
  Text firstCopy;
  bool stillOpen = false;
};

TEST_F(TrackDetailsWindowTest, OpensWithTheTrackAndClosesWithOk) {
  h.player.tracks[0].seconds = "7";
  h.desktop.then([this] { h.player.takeReceived(); });
  open();
  click(h, "OK");
  ASSERT_EQ(h.start(), kRanOutOfEvents);

  EXPECT_EQ(toUtf8(shown.title), "Current Track Details");
  EXPECT_EQ(shown.content.width, 600);
  EXPECT_EQ(shown.content.height, 370);
  EXPECT_EQ(shown.options, 76u);
  EXPECT_TRUE(shown.stayOnTop);
  EXPECT_TRUE(shown.buttonsHidden);
  EXPECT_EQ(describe(shown), (std::vector<std::string>{
                                 "label 0,16,600,24 13 Tune (3:07)",
                                 "button 250,40,100,22 11 Copy URL",
                                 "image 232,64,136,136",
                                 "button 220,203,156,22 11 Set Artwork as Desktop",
                                 "label 0,230,600,24 16b Band",
                                 "label 0,252,600,24 13 Album",
                                 "label 0,278,600,24 12 Track on Album: 4",
                                 "label 0,298,600,24 12 Spotify Popularity (0-100): 57",
                                 "button 480,324,100,25 13 OK",
                             }));
  const test::FakeControl& art = shown.controls.at(shown.order[2]);
  ASSERT_NE(art.image, nullptr);
  EXPECT_EQ(art.image->pointWidth, 132);
  EXPECT_TRUE(art.spec.groovedFrame);
  EXPECT_TRUE(shown.controls.at(shown.order.back()).spec.isDefault);
  EXPECT_EQ(scriptsAtOpening,
            (std::vector<Text>{Text(PS::TrackUri), Text(PS::TrackArtist), Text(PS::TrackAlbum),
                               Text(PS::DurationMinutes), Text(PS::DurationSeconds),
                               Text(PS::TrackPopularity), Text(PS::TrackNumber),
                               Text(PS::TrackId)}));
  EXPECT_EQ(enabledWhileOpen, "2 3 4 14 ");
  EXPECT_EQ(enabledIds(h), "1 2 3 4 5 6 7 8 9 10 11 12 13 14 ");
  EXPECT_EQ(h.desktop.windows.count(kWindow), 0u);
  EXPECT_FALSE(h.app().images().exists(SlotDetailsArtwork));
  EXPECT_EQ(h.app().commandCounter(), 1);
}

TEST_F(TrackDetailsWindowTest, PodcastEpisodeHasNoTrackOnlyParts) {
  h.player.tracks[0].uri = "spotify:episode:5pod5pod5pod5pod5pod5p";
  h.player.tracks[0].album = "The Show";
  open();
  click(h, "Copy URL");
  h.desktop.then([this] { firstCopy = h.desktop.clipboard.value_or(u"none"); });
  click(h, "Copy URL");
  h.desktop.pressClose(kWindow);
  ASSERT_EQ(h.start(), kRanOutOfEvents);

  EXPECT_EQ(toUtf8(shown.title), "Current Podcast Details");
  EXPECT_EQ(describe(shown), (std::vector<std::string>{
                                 "label 0,16,600,24 13 Tune (3:42)",
                                 "button 250,40,100,22 11 Copy URL",
                                 "image 232,64,136,136",
                                 "label 0,230,600,24 16b Band",
                                 "label 0,252,600,24 16b The Show",
                                 "button 480,324,100,25 13 OK",
                             }));
  EXPECT_EQ(toUtf8(firstCopy), "https://open.spotify.com/episode/5pod5pod5pod5pod5pod5p");
  EXPECT_EQ(h.desktop.clipboard, firstCopy) << "a second press finds nothing left to remove";
  EXPECT_EQ(h.desktop.windows.count(kWindow), 0u);
}

TEST_F(TrackDetailsWindowTest, CopyUrlOfATrack) {
  open();
  click(h, "Copy URL");
  h.desktop.then([this] { stillOpen = h.desktop.windows.count(kWindow) == 1; });
  click(h, "OK");
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(toUtf8(h.desktop.clipboard.value_or(u"")),
            "https://open.spotify.com/track/0123456789abcdefghijkl");
}

struct ShorteningCase {
  const char* label;
  std::size_t name, artist, album;  // lengths in UTF-16 units
  std::string seconds;
  std::size_t shownName, shownArtist, shownAlbum;  // units kept before "..."; 0: whole
  std::string shownSeconds;
};

void PrintTo(const ShorteningCase& c, std::ostream* os) { *os << c.label; }

class Shortening : public TrackDetailsWindowTest,
                   public ::testing::WithParamInterface<ShorteningCase> {};

std::string cut(std::size_t length, std::size_t kept, char c) {
  return kept ? std::string(kept, c) + "..." : std::string(length, c);
}

TEST_P(Shortening, CutsAtTheBoundaries) {
  const ShorteningCase& c = GetParam();
  test::FakeTrack& t = h.player.tracks[0];
  t.name = std::string(c.name, 'n');
  t.artist = std::string(c.artist, 'a');
  t.album = std::string(c.album, 'b');
  t.seconds = c.seconds;
  open();
  h.desktop.pressClose(kWindow);
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  auto text = [&](std::size_t i) { return toUtf8(shown.controls.at(shown.order.at(i)).text); };
  EXPECT_EQ(text(0), cut(c.name, c.shownName, 'n') + " (3:" + c.shownSeconds + ")");
  EXPECT_EQ(text(4), cut(c.artist, c.shownArtist, 'a'));
  EXPECT_EQ(text(5), cut(c.album, c.shownAlbum, 'b'));
}

const ShorteningCase kShortenings[] = {
    {"JustBelowEachLimit", 77, 63, 77, "7", 0, 0, 0, "07"},
    {"AtEachLimit", 78, 64, 78, "42", 76, 64, 78, "42"},
    {"WellAbove", 80, 100, 200, "", 76, 64, 78, "0"},
};

INSTANTIATE_TEST_SUITE_P(TrackDetailsWindow, Shortening, ::testing::ValuesIn(kShortenings),
                         [](const auto& p) { return std::string(p.param.label); });

TEST_F(TrackDetailsWindowTest, NameCutInsideASurrogatePairStaysValid) {
  // 75 units, then a note of two units straddling the cut at 76.
  h.player.tracks[0].name = std::string(75, 'n') + "\xF0\x9F\x8E\xB5" + "tail";
  open();
  h.desktop.pressClose(kWindow);
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  Text heading = shown.controls.at(shown.order.at(0)).text;
  EXPECT_EQ(fromUtf8(toUtf8(heading)), heading) << "the heading must survive a UTF-8 round trip";
}

TEST_F(TrackDetailsWindowTest, LoopActsOnTransportAndDropsTheRest) {
  h.player.tracks.push_back(test::FakeTrack{});
  h.player.tracks[1].uri = "spotify:track:second";
  h.writeSettings("<key>Val9</key><integer>1</integer><key>Val19</key><integer>0</integer>"
                  "<key>Val51</key><integer>1</integer>"
                  "<key>Val39</key><string>⌘P</string><key>Val41</key><string>⌘I</string>"
                  "<key>Val35</key><string>⌘R</string>");
  open();
  h.desktop.tick();
  h.desktop.chooseMenuItem(MenuItemPrevious);
  h.desktop.chooseMenuItem(MenuItemRepeat);
  h.desktop.pressHotkey(15, 256);  // ⌘R: restart
  h.desktop.pressHotkey(35, 256);  // ⌘P: play/pause, dropped here
  h.desktop.pressHotkey(34, 256);  // ⌘I: details again, dropped
  h.desktop.chooseMenuItem(MenuItemPlayPause);  // disabled while open
  std::vector<Text> beforeNext;
  bool openBeforeNext = false, openAfterNext = false;
  h.desktop.then([&] {
    beforeNext = h.player.takeReceived();
    openBeforeNext = h.desktop.windows.count(kWindow) == 1;
  });
  h.desktop.chooseMenuItem(MenuItemNext);
  h.desktop.then([&] { openAfterNext = h.desktop.windows.count(kWindow) == 1; });
  h.desktop.idle();
  ASSERT_EQ(h.start(), kRanOutOfEvents);

  std::vector<Text> expected;
  const auto add = [&](std::initializer_list<TextView> scripts) {
    for (auto s : scripts) expected.emplace_back(s);
  };
  add({PS::TrackUri, PS::TrackUri});  // the look taken at opening, then the tick
  add({PS::TrackUri, PS::PreviousTrack, PS::PreviousTrack});
  add({PS::TrackUri, PS::RestartTrack});
  add({PS::TrackUri, PS::RestartTrack});
  add({PS::TrackUri, PS::TrackUri, PS::TrackUri});  // two dropped hotkeys, a disabled entry
  EXPECT_EQ(beforeNext, expected);
  EXPECT_TRUE(openBeforeNext);
  EXPECT_TRUE(openAfterNext) << "the change is seen at the event after Next";
  EXPECT_EQ(h.desktop.windows.count(kWindow), 0u);
  EXPECT_EQ(h.player.count(PS::PlayPause), 0u);
  EXPECT_EQ(h.app().commandCounter(), 3) << "Previous, Next and the visit itself";
}

TEST_F(TrackDetailsWindowTest, DetailsHotkeyOpensTheWindow) {
  h.writeSettings("<key>Val9</key><integer>1</integer><key>Val19</key><integer>1</integer>"
                  "<key>Val51</key><integer>1</integer><key>Val41</key><string>⌘I</string>");
  h.desktop.pressHotkey(34, 256);
  h.desktop.then([this] { shown = h.desktop.windows.at(kWindow); });
  h.desktop.pressClose(kWindow);
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  EXPECT_EQ(toUtf8(shown.title), "Current Track Details");
  // With artwork hidden from the menu the window loads the cached file itself.
  EXPECT_NE(shown.controls.at(shown.order.at(2)).image, nullptr);
  EXPECT_EQ(h.app().commandCounter(), 1);
}

TEST_F(TrackDetailsWindowTest, QuitFromTheMenuEndsTheProgram) {
  open();
  h.desktop.chooseMenuItem(MenuItemQuit);
  EXPECT_EQ(h.start(), 0);
  EXPECT_FALSE(fs::exists(h.artworkPath("art1")));
}

class SetArtworkAsDesktop : public TrackDetailsWindowTest {
 protected:
  std::string bkgd() const { return h.home.path() + "/.bkgd"; }
  void pressTwice() {
    open();
    click(h, "Set Artwork as Desktop");
    click(h, "Set Artwork as Desktop");
    click(h, "OK");
  }
};

TEST_F(SetArtworkAsDesktop, CopiesIntoTheHiddenFolderAndUsesTheCopy) {
  pressTwice();
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  const std::string target = bkgd() + "/art1.jpeg";
  EXPECT_EQ(h.desktop.desktopPictures, (std::vector<std::string>{target, target}));
  EXPECT_EQ(fileBytes(target), fileBytes(LARKSPUR_TEST_DATA "artwork.jpeg"));
  EXPECT_EQ(fs::status(bkgd()).permissions() & fs::perms::all, fs::perms::owner_all);
  std::size_t files = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(bkgd())) ++files;
  EXPECT_EQ(files, 1u) << "the second press replaces the same file";
}

TEST_F(SetArtworkAsDesktop, FolderThatIsAFileSetsNoPicture) {
  std::ofstream(bkgd()) << "not a folder";
  pressTwice();
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  EXPECT_TRUE(h.desktop.desktopPictures.empty());
  EXPECT_EQ(fileBytes(bkgd()), "not a folder");
}

TEST_F(SetArtworkAsDesktop, FailedCopySetsNoPicture) {
  // Something that is not a file holds the artwork's name: it counts as
  // cached, but cannot be copied.
  fs::create_directories(h.artworkPath("art1"));
  fs::permissions(h.cacheDir(), fs::perms::owner_all, fs::perm_options::replace);
  pressTwice();
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  EXPECT_TRUE(h.desktop.desktopPictures.empty());
  EXPECT_FALSE(fs::exists(bkgd() + "/art1.jpeg"));
}

}  // namespace
}  // namespace larkspur
