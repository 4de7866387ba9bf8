#include "platform/mpris/mpris_script_service.h"

#include <glib.h>

#include <chrono>

#include "mpris_fixture.h"
#include "player/player_script.h"

// After our own headers: Xlib defines macros such as None and Status.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace larkspur {
namespace {

namespace S = PlayerScript;
using Lines = std::vector<std::string>;

using MprisService = test::MprisFixture;

// Questions answer from the first item and change nothing; each command
// sends its call. The player records a call before answering it, and the
// service waits for the answer, so the record is complete when the bridge
// returns.
TEST_F(MprisService, AnswersFromTheFirstItemOrSendsItsCall) {
  startSim();
  const std::pair<TextView, std::string> answers[] = {
      {S::TrackUri, "spotify:track:T1aaaaaaaaaaaaaaaaaaaa"}, {S::TrackId, "spotify:track:T1aaaaaaaaaaaaaaaaaaaa"},
      {S::ArtworkUrl, "https://i.scdn.co/image/art1"}, {S::PlayingTrackName, "First Song"},
      {S::PlayingTrackArtist, "Ann, Bob"}, {S::TrackArtist, "Ann, Bob"}, {S::TrackAlbum, "Album One"},
      {S::DurationMinutes, "2"}, {S::DurationSeconds, "5"}, {S::TrackPopularity, "57"},
      {S::TrackNumber, "4"}, {S::IsPlaying, "true"}, {S::IsShuffling, "false"},
      {S::ForegroundProcessPaths, "Spotify"}, {S::HidePlayer, ""},
      {u"tell application\"Spotify\"to beep", ""}, {S::ActivatePlayer, ""}};  // running: not raised
  for (const auto& [script, answer] : answers) EXPECT_EQ(ask(script), answer) << toUtf8(script);
  EXPECT_EQ(sim->record(), Lines{});
  const std::pair<TextView, std::string> calls[] = {
      {S::RestartTrack, "SetPosition /com/spotify/track/T1aaaaaaaaaaaaaaaaaaaa 0"},
      {S::PlayCurrentTrack, "Play"}, {S::NextTrack, "Next"}, {S::PreviousTrack, "Previous"},
      {S::PlayPause, "PlayPause"}, {S::MuteVolume, "Volume 0"}, {S::FullVolume, "Volume 1"},
      {S::ToggleShuffle, "Shuffle true"}, {S::QuitPlayer, "Quit"}};
  Lines sent;
  for (const auto& [script, call] : calls) {
    sent.push_back(call + ask(script));  // a command answers nothing
    EXPECT_EQ(sim->record(), sent) << toUtf8(script);
  }
}

// A paused player under an instance name: no playing name, but still a track,
// and artwork on the old web host moves to the image server. Episodes and
// adverts keep their kind; an hour is not folded into minutes.
TEST_F(MprisService, PausedInstanceHasATrackButNoPlayingNameAndEpisodesAndAdvertsKeepTheirKind) {
  startSim({"--paused", "--instance", "--art-base", "https://open.spotify.com/image/"});
  EXPECT_EQ(ask(S::PlayingTrackName) + ask(S::PlayingTrackArtist), "");
  EXPECT_EQ(ask(S::TrackArtist), "Ann, Bob");
  EXPECT_EQ(ask(S::ArtworkUrl), "http://127.0.0.1:9/image/art1");
  ask(S::NextTrack), ask(S::NextTrack);
  EXPECT_EQ(ask(S::TrackUri) + " " + ask(S::DurationMinutes), "spotify:episode:E1cccccccccccccccccccc 62");
  ask(S::NextTrack);
  EXPECT_EQ(ask(S::TrackUri) + " " + ask(S::TrackArtist), "spotify:ad:A1dddddddddddddddddddd ");
}

// Once read, the player's item and status are not asked for again: a
// player that answers only one call still answers every later query. A
// service that has not read them yet gives up at its time-out.
TEST_F(MprisService, AnswersRepeatedQueriesWithoutAskingAgainAndGivesUpOnASilentPlayer) {
  startSim({"--unresponsive-after", "1"});
  for (int tick = 0; tick < 3; ++tick) EXPECT_EQ(ask(S::PlayingTrackName) + ask(S::IsPlaying), "First Songtrue");
  MprisScriptService impatient(endpoints, 200);
  PlayerBridge impatientBridge(impatient);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(toUtf8(impatientBridge.runScript(S::IsPlaying) + impatientBridge.runScript(S::PlayingTrackName)), "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5000));
}

// Changes made by someone else reach us through the player's signals, long
// before the state would be read again; a player that sends none is read
// again once the state is older than the limit; one that appears later is
// found through the bus's name signals. Watched, the bus is read while the
// main loop waits: a change is heard without a query. Only a player that has
// reported a change is trusted beyond the next poll.
TEST_F(MprisService, FollowsAndHearsChangesMadeElsewhere) {
  MprisScriptService other(endpoints, 1000), watched(endpoints, 1000);
  PlayerBridge otherBridge(other), watchedBridge(watched);
  int changes = 0;
  watched.watchChanges([&] { ++changes; });
  auto followed = [this](const char* title) {
    return test::iterateUntil([&] { return ask(S::PlayingTrackName) == title; }, 3000);
  };
  auto heard = [&] { return test::iterateUntil([&] { return changes > 0; }, 3000); };
  auto title = [](PlayerBridge& b) { return toUtf8(b.runScript(S::PlayingTrackName)); };

  EXPECT_EQ(ask(S::PlayingTrackName), "");
  startSim();
  EXPECT_TRUE(followed("First Song"));
  EXPECT_EQ(title(watchedBridge), "First Song");
  EXPECT_EQ(watched.trustedForMs(), 0);
  changes = 0;
  otherBridge.runScript(S::NextTrack);
  EXPECT_TRUE(heard());
  EXPECT_GT(watched.trustedForMs(), 10000);  // a player that signals is read less often
  EXPECT_EQ(title(watchedBridge), "Second Song");
  EXPECT_TRUE(followed("Second Song"));
  otherBridge.runScript(S::PlayPause);
  EXPECT_TRUE(followed(""));
  sim->stop();

  changes = 0;
  startSim({"--silent"});
  EXPECT_TRUE(heard());  // its name's new owner
  EXPECT_EQ(title(watchedBridge), "First Song");
  EXPECT_EQ(watched.trustedForMs(), 0);
  MprisScriptService forgetful(endpoints, 1000, 10000, 300);
  PlayerBridge forgetfulBridge(forgetful);
  EXPECT_EQ(title(forgetfulBridge), "First Song");
  otherBridge.runScript(S::NextTrack);
  EXPECT_TRUE(test::iterateUntil([&] { return title(forgetfulBridge) == "Second Song"; }, 3000));
}

// Without a player no text waits for a time-out to find that out, and with
// nothing to start, ActivatePlayer returns; with the client on PATH it
// starts it and waits for it.
TEST_F(MprisService, WithoutAPlayerTextsAreEmptyAtOnceAndActivatePlayerStartsIt) {
  auto start = std::chrono::steady_clock::now();
  for (TextView script : S::All) EXPECT_EQ(script == S::ActivatePlayer ? "" : ask(script), "") << toUtf8(script);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  const std::string oldPath = std::getenv("PATH");
  setenv("PATH", dir.path().c_str(), 1);
  EXPECT_EQ(ask(S::ActivatePlayer), "");
  setenv("PATH", oldPath.c_str(), 1);
  EXPECT_FALSE(test::busHasName(test::SimBusName));

  test::SimOnPath onPath("--record " + dir.file("started.txt") + " --items " + itemsPath);
  ask(S::ActivatePlayer);
  EXPECT_TRUE(test::busHasName(test::SimBusName));
  EXPECT_EQ(test::readLines(dir.file("started.txt")), Lines{"Raise"});
}

// The window manager is asked, through the root window as it expects, to
// minimise the player's window and no other. Our request comes back to us
// before our own round trip does, so no waiting is needed.
TEST_F(MprisService, HidePlayerAsksToMinimiseThePlayersWindowOnly) {
  std::string error;
  ASSERT_TRUE(test::startGtkSession(&error)) << error;
  Display* d = XOpenDisplay(nullptr);
  ASSERT_TRUE(d);
  XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
  Window notThePlayers = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 9, 9, 0, 0, 0);
  unsigned long ourPid = static_cast<unsigned long>(getpid());
  XChangeProperty(d, notThePlayers, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<unsigned char*>(&ourPid), 1);
  startSim({"--x11-window"});
  ask(S::HidePlayer);
  XSync(d, False);
  Lines minimised;
  for (XEvent e; XCheckTypedEvent(d, ClientMessage, &e);) {
    if (e.xclient.message_type != XInternAtom(d, "WM_CHANGE_STATE", False) || e.xclient.data.l[0] != IconicState)
      continue;
    char* name = nullptr;
    XFetchName(d, e.xclient.window, &name);
    minimised.emplace_back(name ? name : "?");
    if (name) XFree(name);
  }
  XCloseDisplay(d);
  EXPECT_EQ(minimised, Lines{"Spotify Premium"});
}

}  // namespace
}  // namespace larkspur
