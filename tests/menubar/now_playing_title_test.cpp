#include "menubar/now_playing_title.h"

#include <gtest/gtest.h>

#include "player/player_script.h"
#include "support/fake_player.h"

namespace larkspur {
namespace {

namespace PS = PlayerScript;

std::string units(std::size_t n, char c = 'a') { return std::string(n, c); }

const std::string kNote = "\xF0\x9F\x8E\xB5";  // U+1F3B5, two UTF-16 units

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
  std::string name;
  std::string artist;
  int hideArtist;
  std::string expected;
};

class TitleTable : public NowPlayingTitleTest, public ::testing::WithParamInterface<TitleCase> {};

TEST_P(TitleTable, ShowsCleanedTitle) {
  const TitleCase& c = GetParam();
  play(c.name, c.artist, static_cast<std::int8_t>(c.hideArtist));
  EXPECT_EQ(toUtf8(title.statusTitle()), c.expected);
  EXPECT_EQ(title.toolTip(), fromUtf8(c.name + " \xE2\x80\xA2 " + c.artist));
}

const TitleCase kTitleCases[] = {
    {"RemasteredThenYear", "Tune - Remastered 2015", "Band", 0, "Tune \xE2\x80\xA2 Band"},
    {"RemasterThenDashYear", "Tune - 2011 Remaster", "Band", 1, "Tune"},
    {"NoBlankNoRemoval", "Original Tune", "Band", 1, "Original Tune"},
    {"RemovalInsideName", "The Original Tune", "Band", 1, "The Tune"},
    {"MixInsideBrackets", "Mixed Tune (Club Mix)", "Band", 1, "Mixed Tune (Club)"},
    {"VersionInsideBrackets", "Tune (Acoustic Version)", "Band", 1, "Tune (Acoustic)"},
    {"AnyCaseRemix", "Tune REMIX", "Band", 1, "Tune"},
    {"ExactCaseDeluxe", "Tune (DELUXE)", "Band", 1, "Tune (DELUXE)"},
    {"YearAnywhere", "Tune of 1969", "Band", 1, "Tune of"},
    {"OnlyFourDigits", "Tune 12345", "Band", 1, "Tune5"},
    {"YearsDoNotOverlap", "1999 2000 Tune 19992000", "Band", 1, "1999 Tune2000"},
    {"OnlyAsciiDigits", "Tune \xD9\xA1\xD9\xA9\xD9\xA6\xD9\xA9 \xEF\xBC\x91\xEF\xBC\x99\xEF\xBC\x96\xEF\xBC\x99",
     "Band", 1, "Tune \xD9\xA1\xD9\xA9\xD9\xA6\xD9\xA9 \xEF\xBC\x91\xEF\xBC\x99\xEF\xBC\x96\xEF\xBC\x99"},
    // Row 7 takes " Extended Version" first, leaving the dash.
    {"ExtendedVersionBeforeDashed", "Tune - Extended Version", "Band", 1, "Tune -"},
    // Row 28 joins " - Ext" and "ended Version"; only row 29 then sees it.
    {"RowTwentyNineSeesJoin", "Tune - Ext - Extendedended Version", "Band", 1, "Tune"},
    // Row 21 joins " - Alt" and "ernative Version"; only row 39 then sees it.
    {"RowThirtyNineSeesJoin", "Tune - Alt Mixernative Version", "Band", 1, "Tune"},
    {"RowThirtyNineIsExact", "Tune - Alt Mixernative VERSION", "Band", 1, "Tune - Alternative"},
    {"EditionBeforeEdit", "Tune (Special Edition)", "Band", 1, "Tune (Special)"},
    {"EditAnyCaseEatsIntoEdition", "Tune EDITION", "Band", 1, "TuneION"},
    {"RemasteredAnyCase", "Tune REMASTERED", "Band", 1, "Tune"},
    {"RemasterExactOnly", "Tune REMASTER", "Band", 1, "Tune REMASTER"},
    {"RemasteredNotLeftAsEd", "Tune Remastered", "Band", 1, "Tune"},
    // Through the C library's mapping, U+0130 lowers to "i".
    {"LocaleLowerCase", "Tune M\xC4\xB0X", "Band", 1, "Tune"},
    {"ThirtyNineShownWhole", units(39), "Band", 1, units(39)},
    {"FortyCutTo35", units(40), "Band", 1, units(35) + "..."},
    {"JoinTooLongHidesArtist", units(39), "Bd", 0, units(35) + "..."},
    {"NameCutThenJoinCut", units(45), units(10, 'b'), 0,
     units(30) + " \xE2\x80\xA2 " + "bb..."},
    {"ArtistOf24Whole", "T", units(24, 'b'), 0, "T \xE2\x80\xA2 " + units(24, 'b')},
    {"ArtistOf25CutTo20", "T", units(25, 'b'), 0, "T \xE2\x80\xA2 " + units(20, 'b')},
    {"EmptyShown", "", "", 0, " \xE2\x80\xA2 "},
    {"EmptyHidden", "", "", 1, ""},
    {"OutsideBmpKept", "Tune " + kNote + " Mix", "Band", 1, "Tune " + kNote},
    // A cut at 35 between the halves of a pair drops the lone first half.
    {"CutThroughPairAt35", units(34) + kNote + units(5), "Band", 1, units(34) + "..."},
    {"CutThroughPairAt30", units(29) + kNote + units(10), "Bd", 0,
     units(29) + " \xE2\x80\xA2 Bd"},
    {"CutThroughPairAt20", "T", units(19, 'b') + kNote + units(5, 'b'), 0,
     "T \xE2\x80\xA2 " + units(19, 'b')},
    {"InvalidUtf8Replaced", "Tune \xFF 1999", "Band", 1, "Tune \xEF\xBF\xBD"},
};

INSTANTIATE_TEST_SUITE_P(NowPlayingTitle, TitleTable, ::testing::ValuesIn(kTitleCases),
                         [](const auto& test) { return std::string(test.param.label); });

TEST_F(NowPlayingTitleTest, AsksThreeQueriesInOrderEveryRefresh) {
  play("Tune", "Band", 1);
  title.refresh();
  std::vector<Text> once = {Text(PS::PlayingTrackName), Text(PS::PlayingTrackArtist),
                            Text(PS::ArtworkUrl)};
  std::vector<Text> expected;
  for (int round = 0; round < 2; ++round)
    for (const Text& script : once) expected.push_back(script);
  EXPECT_EQ(player.received, expected);
  EXPECT_EQ(title.artworkUrl(), T("https://i.scdn.co/image/art1"));
  EXPECT_EQ(title.rawName(), T("Tune"));
  EXPECT_EQ(title.rawArtist(), T("Band"));
}

TEST_F(NowPlayingTitleTest, PausedPlayerGivesEmptyTexts) {
  player.playing = false;
  play("Tune - Remastered", "Band", 0);
  EXPECT_EQ(title.statusTitle(), u" \u2022 ");
  EXPECT_EQ(title.toolTip(), u" \u2022 ");
  play("Tune", "Band", 1);
  EXPECT_EQ(title.statusTitle(), u"");
}

TEST_F(NowPlayingTitleTest, TooltipIsRawAndNeverCut) {
  std::string longName = units(60) + " - Remastered 2015";
  play(longName, units(30, 'b'), 0);
  EXPECT_EQ(title.toolTip(), fromUtf8(longName + " \xE2\x80\xA2 " + units(30, 'b')));
}

TEST_F(NowPlayingTitleTest, OtherHideArtistValueKeepsPreviousTitle) {
  play("First Tune", "Band", 1);
  play("Second Tune", "Band", 5);
  EXPECT_EQ(title.statusTitle(), T("First Tune"));
  EXPECT_EQ(title.toolTip(), T("Second Tune \xE2\x80\xA2 Band"));
  title.setStatusTitle(Text());
  play("Third Tune", "Band", -1);
  EXPECT_EQ(title.statusTitle(), u"");
}

TEST_F(NowPlayingTitleTest, TitleIsAlwaysValidText) {
  // Whatever the player sends, the title survives a UTF-8 round trip intact.
  for (std::string name : {units(33) + kNote + kNote + kNote, "\xED\xA0\x80 1999" + units(40),
                           units(29) + kNote + " Remix" + units(20)}) {
    play(name, units(19) + kNote + kNote + kNote, 0);
    EXPECT_EQ(fromUtf8(toUtf8(title.statusTitle())), title.statusTitle()) << name;
    EXPECT_LE(title.statusTitle().size(), 39u);
  }
}

}  // namespace
}  // namespace larkspur
