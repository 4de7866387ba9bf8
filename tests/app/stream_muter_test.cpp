// Which streams are the player's, and that only what was muted for an
// advert is unmuted after it.
#include "app/stream_muter.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "support/fake_player.h"

namespace larkspur::test {
namespace {

struct FakeSound : SoundPort {
  std::vector<SoundStream> playbackStreams() override { return streams; }
  void setStreamMuted(std::uint32_t index, bool muted) override {
    calls += std::to_string(index) + (muted ? "+" : "-");
    for (SoundStream& s : streams)
      if (s.index == index) s.muted = muted;
  }
  void flush() override { calls += "flush"; }
  long parentProcess(long pid) override { return parents.count(pid) ? parents[pid] : 1; }
  std::vector<SoundStream> streams;
  std::map<long, long> parents = {{300, 200}, {200, 100}, {400, 5}};
  std::string calls;
};

struct PlayerWithPid : FakePlayer {
  long playerProcessId() override { return pid; }
  long pid = 100;
};

TEST(StreamMuter, MutesThePlayersStreamsAndUnmutesOnlyThoseItMuted) {
  FakeSound sound;
  PlayerWithPid player;
  StreamMuter muter(&sound, player, "spotify");
  sound.streams = {{1, 100, "Player", "player", false},    // the player's own process
                   {2, 300, "Helper", "helper", false},    // a grandchild of it
                   {3, 9999, "Spotify", "x", false},       // sandboxed: its name
                   {4, 400, "Browser", "firefox", false},  // another program
                   {5, 100, "Player", "player", true},     // muted by hand
                   {6, 0, "y", "spotify", false}};         // no pid: its binary
  muter.unmute();
  muter.mute();
  muter.mute();
  EXPECT_EQ(std::exchange(sound.calls, ""), "1+2+3+6+");
  sound.streams.erase(sound.streams.begin());  // ended during the advert
  muter.unmuteBeforeExit();
  muter.unmute();
  EXPECT_EQ(std::exchange(sound.calls, ""), "2-3-6-flush");
  EXPECT_TRUE(sound.streams[3].muted);
  player.pid = 0;  // without the player's process id only the names count
  muter.mute();
  EXPECT_EQ(sound.calls, "3+6+");
}

}  // namespace
}  // namespace larkspur::test
