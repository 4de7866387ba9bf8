#include "menubar/now_playing_title.h"

#include <gtest/gtest.h>

#include "support/fake_player.h"

namespace larkspur {
namespace {

std::string units(std::size_t n, char c = 'a') { return std::string(n, c); }

const std::string kNote = "\xF0\x9F\x8E\xB5";  // U+1F3B5, two UTF-16 units
const std::string kDot = " \xE2\x80\xA2 ";
const std::string kDigits = "\xD9\xA1\xD9\xA9\xD9\xA6\xD9\xA9 \xEF\xBC\x91\xEF\xBC\x99\xEF\xBC\x96\xEF\xBC\x99";

class NowPlayingTitleTest : public ::testing::Test {
 protected:
  void SetUp() override { setProgramLocale(); }
  void play(std::string name, std::string artist, int hideArtist) {
    player.tracks[0].name = std::move(name), player.tracks[0].artist = std::move(artist);
    prefs.hideArtist = static_cast<std::int8_t>(hideArtist);
    title.refresh();
  }
  test::FakePlayer player;
  PlayerBridge bridge{player};
  Preferences prefs{"/nonexistent/Larkspur.plist"};
  NowPlayingTitle title{bridge, prefs};
};

// The tool tip is the raw name and artist, never cut.
TEST_F(NowPlayingTitleTest, ShowsTheCleanedTitleAndTheRawToolTip) {
  const struct {
    std::string name, expected, artist = "Band";
    int hideArtist = 1;
  } cases[] = {
      {"Tune - Remastered 2015", "Tune" + kDot + "Band", "Band", 0},
      {"Original Tune", "Original Tune"},  // no blank before it, no removal
      {"1999 2000 Tune 19992000", "1999 Tune2000"},  // years do not overlap
      {"Tune " + kDigits, "Tune " + kDigits},        // only ASCII digits make years
      {"Tune (Special Edition)", "Tune (Special)"},  // Edition before Edit
      {units(39), units(39)},
      {units(40), units(35) + "..."},
      {units(39), units(35) + "...", "Bd", 0},  // too long joined: the artist goes
      {units(45), units(30) + kDot + "bb...", units(10, 'b'), 0},
      {"T", "T" + kDot + units(20, 'b'), units(25, 'b'), 0},
      // A cut between the halves of a pair drops the lone first half.
      {units(34) + kNote + units(5), units(34) + "..."},
  };
  for (const auto& c : cases) {
    play(c.name, c.artist, c.hideArtist);
    EXPECT_EQ(toUtf8(title.statusTitle()), c.expected) << c.name;
    EXPECT_EQ(title.toolTip(), fromUtf8(c.name + kDot + c.artist));
  }
}

TEST_F(NowPlayingTitleTest, PausedPlayerGivesEmptyTexts) {
  player.playing = false;
  play("Tune - Remastered", "Band", 0);
  EXPECT_EQ(title.statusTitle() + title.toolTip(), u" \u2022  \u2022 ");
  play("Tune", "Band", 1);
  EXPECT_EQ(title.statusTitle(), u"");
}

}  // namespace
}  // namespace larkspur
