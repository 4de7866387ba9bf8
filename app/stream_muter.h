#pragma once
// Mutes the player's own playback streams on the sound server while an
// advert plays, because many versions of the player ignore the volume the
// mute script sets. Afterwards it unmutes only the streams it muted: a
// stream the user muted by hand stays as the user left it.
#include <cstdint>
#include <set>
#include <string>

#include "platform/ports.h"

namespace larkspur {

class StreamMuter {
 public:
  // `sound` may be null: there is then no sound server to ask, and the
  // volume script alone does the muting. `playerName` is the player's
  // executable name, which its streams also carry.
  StreamMuter(SoundPort* sound, ScriptService& player, std::string playerName)
      : sound_(sound), player_(player), playerName_(std::move(playerName)) {}

  // Called on every tick of an advert, so a stream the player opens during
  // the advert is muted too.
  void mute();
  // Called on every tick without an advert; it also keeps the connection to
  // the sound server up, so the first tick of an advert finds the streams.
  void unmute();
  // The same without reaching for the server when nothing is ours, for
  // when the option is switched off.
  void unmuteOurs();
  // Unmutes what we muted and waits until the server has taken it.
  void unmuteBeforeExit();

 private:
  bool isPlayers(const SoundStream& stream, long playerPid) const;

  SoundPort* sound_;
  ScriptService& player_;
  std::string playerName_;
  std::set<std::uint32_t> ours_;
};

}  // namespace larkspur
