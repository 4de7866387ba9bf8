#include "menubar/now_playing_title.h"

#include <gtest/gtest.h>

#include "support/fake_player.h"

namespace larkspur {
namespace {

std::string units(std::size_t n, char c = 'a') { return std::string(n, c); }

const std::string kNote = "\xF0\x9F\x8E\xB5";  // U+1F3B5, two UTF-16 units
const std::string kDot = " \xE2\x80\xA2 ";

class NowPlayingTitleTest : public ::testing::Test {
 protected:
  void SetUp() override { setProgramLocale(); }

  void play(std::string name, std::string artist, std::int8_t hideArtist) {
    player.tracks[0].name = std::move(name);
    player.tracks[0].artist = std::move(artist);
    prefs.hideArtist = hideArtist;
    title.refresh();
  }

  test::FakePlayer player;
  PlayerBridge bridge{player};
  Preferences prefs{"/nonexistent/Larkspur.plist"};
  NowPlayingTitle title{bridge, prefs};
};

struct TitleCase {
  const char* label;
  std::string name, expected;
  std::string artist = "Band";
  int hideArtist = 1;
};

class TitleTable : public NowPlayingTitleTest, public ::testing::WithParamInterface<TitleCase> {};

TEST_P(TitleTable, ShowsCleanedTitle) {
  const TitleCase& c = GetParam();
  play(c.name, c.artist, static_cast<std::int8_t>(c.hideArtist));
  EXPECT_EQ(toUtf8(title.statusTitle()), c.expected);
  EXPECT_EQ(title.toolTip(), fromUtf8(c.name + kDot + c.artist)) << "raw and never cut";
}

const std::string kDigits = "\xD9\xA1\xD9\xA9\xD9\xA6\xD9\xA9 \xEF\xBC\x91\xEF\xBC\x99\xEF\xBC\x96\xEF\xBC\x99";

// {label, name, title, artist = "Band", hideArtist = 1}
const TitleCase kTitleCases[] = {
    {"RemasteredThenYear", "Tune - Remastered 2015", "Tune" + kDot + "Band", "Band", 0},
    {"RemasterThenDashYear", "Tune - 2011 Remaster", "Tune"},
    {"NoBlankNoRemoval", "Original Tune", "Original Tune"},
    {"RemovalInsideName", "The Original Tune", "The Tune"},
    {"AnyCaseRemix", "Tune REMIX", "Tune"},
    {"YearsDoNotOverlap", "1999 2000 Tune 19992000", "1999 Tune2000"},
    {"OnlyAsciiDigits", "Tune " + kDigits, "Tune " + kDigits},
    // Row 7 takes " Extended Version" first, leaving the dash.
    {"ExtendedVersionBeforeDashed", "Tune - Extended Version", "Tune -"},
    // Row 28 joins " - Ext" and "ended Version"; only row 29 then sees it.
    {"RowTwentyNineSeesJoin", "Tune - Ext - Extendedended Version", "Tune"},
    // Row 21 joins " - Alt" and "ernative Version"; only row 39 then sees it.
    {"RowThirtyNineSeesJoin", "Tune - Alt Mixernative Version", "Tune"},
    {"EditionBeforeEdit", "Tune (Special Edition)", "Tune (Special)"},
    {"EditAnyCaseEatsIntoEdition", "Tune EDITION", "TuneION"},
    {"RemasterExactOnly", "Tune REMASTER", "Tune REMASTER"},
    // Through the C library's mapping, U+0130 lowers to "i".
    {"LocaleLowerCase", "Tune M\xC4\xB0X", "Tune"},
    {"ThirtyNineShownWhole", units(39), units(39)},
    {"FortyCutTo35", units(40), units(35) + "..."},
    {"JoinTooLongHidesArtist", units(39), units(35) + "...", "Bd", 0},
    {"NameCutThenJoinCut", units(45), units(30) + kDot + "bb...", units(10, 'b'), 0},
    {"ArtistOf24Whole", "T", "T" + kDot + units(24, 'b'), units(24, 'b'), 0},
    {"ArtistOf25CutTo20", "T", "T" + kDot + units(20, 'b'), units(25, 'b'), 0},
    {"OutsideBmpKept", "Tune " + kNote + " Mix", "Tune " + kNote},
    // A cut between the halves of a pair drops the lone first half.
    {"CutThroughPairAt35", units(34) + kNote + units(5), units(34) + "..."},
    {"CutThroughPairAt30", units(29) + kNote + units(10), units(29) + kDot + "Bd", "Bd", 0},
    {"CutThroughPairAt20", "T", "T" + kDot + units(19, 'b'),
     units(19, 'b') + kNote + units(5, 'b'), 0},
    {"InvalidUtf8Replaced", "Tune \xFF 1999", "Tune \xEF\xBF\xBD"},
};

INSTANTIATE_TEST_SUITE_P(NowPlayingTitle, TitleTable, ::testing::ValuesIn(kTitleCases),
                         [](const auto& test) { return std::string(test.param.label); });

TEST_F(NowPlayingTitleTest, PausedPlayerGivesEmptyTextsAndOtherHideArtistValuesKeepTheTitle) {
  player.playing = false;
  play("Tune - Remastered", "Band", 0);
  EXPECT_EQ(title.statusTitle(), u" \u2022 ");
  EXPECT_EQ(title.toolTip(), u" \u2022 ");
  play("Tune", "Band", 1);
  EXPECT_EQ(title.statusTitle(), u"");
  player.playing = true;
  play("First Tune", "Band", 1);
  play("Second Tune", "Band", 5);
  EXPECT_EQ(title.statusTitle(), T("First Tune"));
  EXPECT_EQ(title.toolTip(), T("Second Tune \xE2\x80\xA2 Band"));
}

}  // namespace
}  // namespace larkspur
