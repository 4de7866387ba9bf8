#include "platform/mpris/mpris_script_service.h"

#include <chrono>

#include "mpris_fixture.h"
#include "player/player_script.h"

namespace larkspur {
namespace {

namespace S = PlayerScript;
using test::MprisFixture;

struct Exchange {
  const char* name;
  TextView script;
  std::string expected;  // the answer, or the line the player records
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const Exchange& c, std::ostream* os) { *os << c.name; }

std::string caseName(const testing::TestParamInfo<Exchange>& info) { return info.param.name; }

// ---------------------------------------------------------------- queries

class MprisQuery : public MprisFixture, public testing::WithParamInterface<Exchange> {};

TEST_P(MprisQuery, AnswersFromTheFirstItem) {
  startSim();
  EXPECT_EQ(ask(GetParam().script), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MprisQuery,
    testing::Values(Exchange{"TrackUri", S::TrackUri, "spotify:track:T1aaaaaaaaaaaaaaaaaaaa"},
                    Exchange{"TrackId", S::TrackId, "spotify:track:T1aaaaaaaaaaaaaaaaaaaa"},
                    Exchange{"ArtworkUrl", S::ArtworkUrl, "https://i.scdn.co/image/art1"},
                    Exchange{"PlayingTrackName", S::PlayingTrackName, "First Song"},
                    Exchange{"PlayingTrackArtist", S::PlayingTrackArtist, "Ann, Bob"},
                    Exchange{"TrackArtist", S::TrackArtist, "Ann, Bob"},
                    Exchange{"TrackAlbum", S::TrackAlbum, "Album One"},
                    Exchange{"DurationMinutes", S::DurationMinutes, "2"},
                    Exchange{"DurationSeconds", S::DurationSeconds, "5"},
                    Exchange{"TrackPopularity", S::TrackPopularity, "57"},
                    Exchange{"TrackNumber", S::TrackNumber, "4"},
                    Exchange{"IsPlaying", S::IsPlaying, "true"},
                    Exchange{"IsShuffling", S::IsShuffling, "false"},
                    Exchange{"ForegroundProcessPaths", S::ForegroundProcessPaths, "Spotify"},
                    Exchange{"HidePlayer", S::HidePlayer, ""},
                    Exchange{"UnknownText", u"tell application\"Spotify\"to beep", ""}),
    caseName);

// ---------------------------------------------------------------- commands

class MprisCommand : public MprisFixture, public testing::WithParamInterface<Exchange> {};

// The player records a call before answering it, and the service waits for
// the answer, so the record is complete when the bridge returns.
TEST_P(MprisCommand, SendsTheMatchingCall) {
  startSim();
  EXPECT_EQ(ask(GetParam().script), "");
  EXPECT_EQ(sim->record(), std::vector<std::string>{GetParam().expected});
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MprisCommand,
    testing::Values(Exchange{"ActivatePlayer", S::ActivatePlayer, "Raise"},
                    Exchange{"PlayCurrentTrack", S::PlayCurrentTrack, "Play"},
                    Exchange{"NextTrack", S::NextTrack, "Next"},
                    Exchange{"PreviousTrack", S::PreviousTrack, "Previous"},
                    Exchange{"PlayPause", S::PlayPause, "PlayPause"},
                    Exchange{"MuteVolume", S::MuteVolume, "Volume 0"},
                    Exchange{"FullVolume", S::FullVolume, "Volume 1"},
                    Exchange{"ToggleShuffle", S::ToggleShuffle, "Shuffle true"},
                    Exchange{"RestartTrack", S::RestartTrack,
                             "SetPosition /com/spotify/track/T1aaaaaaaaaaaaaaaaaaaa 0"},
                    Exchange{"QuitPlayer", S::QuitPlayer, "Quit"}),
    caseName);

using MprisService = MprisFixture;

TEST_F(MprisService, QueriesSeeWhatCommandsChanged) {
  startSim();
  ask(S::NextTrack);
  EXPECT_EQ(ask(S::PlayingTrackName), "Second Song");
  EXPECT_EQ(ask(S::TrackArtist), "Cy");
  ask(S::ToggleShuffle);
  EXPECT_EQ(ask(S::IsShuffling), "true");
  ask(S::ToggleShuffle);
  EXPECT_EQ(ask(S::IsShuffling), "false");
  ask(S::PlayPause);
  EXPECT_EQ(ask(S::IsPlaying), "false");
  ask(S::PreviousTrack);
  EXPECT_EQ(ask(S::TrackAlbum), "Album One");
}

TEST_F(MprisService, EpisodesAndAdvertsKeepTheirKindInTheUri) {
  startSim();
  ask(S::NextTrack);
  ask(S::NextTrack);
  EXPECT_EQ(ask(S::TrackUri), "spotify:episode:E1cccccccccccccccccccc");
  EXPECT_EQ(ask(S::TrackId), "spotify:episode:E1cccccccccccccccccccc");
  EXPECT_EQ(ask(S::DurationMinutes), "62");
  EXPECT_EQ(ask(S::DurationSeconds), "5");
  ask(S::NextTrack);
  EXPECT_EQ(ask(S::TrackUri), "spotify:ad:A1dddddddddddddddddddd");
  EXPECT_EQ(ask(S::TrackArtist), "");  // an advert names no artist
}

TEST_F(MprisService, PausedPlayerHasNoPlayingNameButStillATrack) {
  startSim({"--paused"});
  EXPECT_EQ(ask(S::PlayingTrackName), "");
  EXPECT_EQ(ask(S::PlayingTrackArtist), "");
  EXPECT_EQ(ask(S::IsPlaying), "false");
  EXPECT_EQ(ask(S::TrackArtist), "Ann, Bob");
}

TEST_F(MprisService, OldWebHostArtworkIsMovedToTheImageServer) {
  startSim({"--art-base", "https://open.spotify.com/image/"});
  Endpoints e = endpoints;
  e.imagePrefix = "http://127.0.0.1:9/image/";
  MprisScriptService local(e);
  PlayerBridge localBridge(local);
  EXPECT_EQ(toUtf8(localBridge.runScript(S::ArtworkUrl)), "http://127.0.0.1:9/image/art1");
}

TEST_F(MprisService, FindsAPlayerUnderAnInstanceName) {
  startSim({"--instance"});
  EXPECT_EQ(ask(S::TrackUri), "spotify:track:T1aaaaaaaaaaaaaaaaaaaa");
}

TEST_F(MprisService, QuitEndsThePlayer) {
  startSim();
  ask(S::QuitPlayer);
  EXPECT_TRUE(sim->waitForExit(5000));
  EXPECT_FALSE(test::busHasNameWithPrefix(test::SimBusName));
}

// ---------------------------------------------------------------- no answer

// Without a player every text has no answer, and none of them waits for a
// time-out to find that out: all of them together take less than one.
TEST_F(MprisService, NoPlayerAnswersEverythingEmptyAtOnce) {
  auto start = std::chrono::steady_clock::now();
  for (TextView script : S::All) {
    if (script == S::ActivatePlayer) continue;
    EXPECT_EQ(ask(script), "") << toUtf8(script);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
}

TEST_F(MprisService, UnresponsivePlayerGivesUpAtTheTimeOut) {
  startSim({"--unresponsive-after", "0"});
  MprisScriptService impatient(endpoints, 200);
  PlayerBridge impatientBridge(impatient);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(toUtf8(impatientBridge.runScript(S::IsPlaying)), "");
  EXPECT_EQ(toUtf8(impatientBridge.runScript(S::PlayingTrackName)), "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5000));
}

// ---------------------------------------------------------------- starting

TEST_F(MprisService, ActivatePlayerStartsTheClientOnPathAndWaitsForIt) {
  std::string started = dir.file("started.txt");
  test::SimOnPath onPath("--record " + started + " --items " + itemsPath);
  ask(S::ActivatePlayer);
  EXPECT_TRUE(test::busHasNameWithPrefix(test::SimBusName));
  EXPECT_EQ(test::readLines(started), std::vector<std::string>{"Raise"});
  EXPECT_EQ(ask(S::PlayingTrackName), "First Song");
  ask(S::QuitPlayer);
  EXPECT_TRUE(test::waitUntil([] { return !test::busHasNameWithPrefix(test::SimBusName); }, 5000));
}

TEST_F(MprisService, ActivatePlayerWithNothingToStartReturns) {
  const std::string oldPath = std::getenv("PATH");
  setenv("PATH", dir.path().c_str(), 1);
  EXPECT_EQ(ask(S::ActivatePlayer), "");
  setenv("PATH", oldPath.c_str(), 1);
  EXPECT_FALSE(test::busHasNameWithPrefix(test::SimBusName));
}

}  // namespace
}  // namespace larkspur
