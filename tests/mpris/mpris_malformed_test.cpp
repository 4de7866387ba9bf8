// Players send metadata of every shape. Whatever arrives, a field answers
// its value or nothing, and no text crashes the program.
#include "mpris_fixture.h"
#include "player/player_script.h"

namespace larkspur {
namespace {

namespace S = PlayerScript;

// name, metadata (a{sv} in GVariant text form), text asked, answer
using Malformed = std::tuple<const char*, const char*, TextView, std::string>;

class MprisMalformed : public test::MprisFixture, public testing::WithParamInterface<Malformed> {};

TEST_P(MprisMalformed, FieldAnswersItsValueOrNothing) {
  startSim({"--metadata", std::get<1>(GetParam())});
  EXPECT_EQ(ask(std::get<2>(GetParam())), std::get<3>(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, MprisMalformed,
    testing::Values(
        Malformed{"EmptyMetadata", "@a{sv} {}", S::TrackUri, ""},
        Malformed{"TrackIdAsString", "{'mpris:trackid': <'/com/spotify/track/X1'>}", S::TrackUri, "spotify:track:X1"},
        Malformed{"OlderUriForm", "{'mpris:trackid': <'spotify:track:abc'>}", S::TrackUri, "spotify:track:abc"},
        Malformed{"NoTrackObjectPath", "{'mpris:trackid': <objectpath '/org/mpris/MediaPlayer2/TrackList/NoTrack'>}",
                  S::TrackId, ""},
        Malformed{"ArtistLoneString", "{'xesam:artist': <'Solo'>}", S::PlayingTrackArtist, "Solo"},
        Malformed{"LengthNegative", "{'mpris:length': <int64 -5>}", S::DurationSeconds, ""},
        Malformed{"AdvertByAddressOnly", "{'xesam:url': <'https://open.spotify.com/ad/Z9'>}", S::TrackUri,
                  "spotify:ad:Z9"}),
    [](const testing::TestParamInfo<Malformed>& c) { return std::string(std::get<0>(c.param)); });

using MprisMalformedPlayer = test::MprisFixture;

// Every field of the wrong type at once: every text from metadata is empty.
TEST_F(MprisMalformedPlayer, EveryTextSurvivesWrongTypesEverywhere) {
  startSim({"--metadata",
            "{'mpris:trackid': <['x']>, 'mpris:length': <'long'>, 'mpris:artUrl': <objectpath '/x'>,"
            " 'xesam:title': <@as []>, 'xesam:artist': <{'a': 'b'}>, 'xesam:album': <byte 1>,"
            " 'xesam:autoRating': <true>, 'xesam:trackNumber': <3.5>, 'xesam:url': <int16 1>}"});
  for (TextView script : S::All)
    EXPECT_EQ(script == S::IsPlaying || script == S::IsShuffling || script == S::ForegroundProcessPaths ? "" : ask(script), "")
        << toUtf8(script);
}

TEST_F(MprisMalformedPlayer, HugeTitleIsNoAnswerWhileOtherFieldsStand) {
  std::string items = "track|H1aaaaaaaaaaaaaaaaaaaa|" + std::string(100'000, 'x') + "|Ann|Album One|125000|art1|4|0.5\n";
  startSim({"--items", dir.write("huge.txt", items)});
  EXPECT_EQ(ask(S::PlayingTrackName), "");
  EXPECT_EQ(ask(S::TrackAlbum), "Album One");
}

}  // namespace
}  // namespace larkspur
