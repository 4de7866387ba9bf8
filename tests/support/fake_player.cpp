#include "support/fake_player.h"

#include "player/player_script.h"

namespace larkspur::test {

namespace PS = PlayerScript;

ScriptResult FakePlayer::value(std::string text) {
  ScriptResult r;
  r.text = std::move(text);
  return r;
}

std::optional<ScriptResult> FakePlayer::execute(TextView script) {
  received.emplace_back(script);
  if (auto o = overrides.find(Text(script)); o != overrides.end()) return o->second;
  if (script == PS::ForegroundProcessPaths) {
    ScriptResult r;
    r.isList = true;
    r.items.assign(foreground.begin(), foreground.end());
    return r;
  }
  if (script == PS::ActivatePlayer) {
    running = true;
    return std::nullopt;
  }
  if (!running) return std::nullopt;
  const FakeTrack& t = track();
  auto tf = [](bool b) { return value(b ? "true" : "false"); };
  if (script == PS::PlayCurrentTrack) playing = true;
  else if (script == PS::TrackUri || script == PS::TrackId) return value(t.uri);
  else if (script == PS::MuteVolume) volume = 0;
  else if (script == PS::FullVolume) volume = 100;
  else if (script == PS::NextTrack) current = (current + 1) % tracks.size();
  else if (script == PS::PreviousTrack) current = current == 0 ? 0 : current - 1;
  else if (script == PS::PlayPause) playing = !playing;
  else if (script == PS::ToggleShuffle) shuffling = !shuffling;
  else if (script == PS::IsPlaying) return tf(playing);
  else if (script == PS::IsShuffling) return tf(shuffling);
  else if (script == PS::ArtworkUrl) return value(t.artworkUrl);
  else if (script == PS::PlayingTrackName || script == PS::PlayingTrackArtist)
    return playing ? std::optional(value(script == PS::PlayingTrackName ? t.name : t.artist))
                   : std::nullopt;
  else if (script == PS::TrackArtist) return value(t.artist);
  else if (script == PS::TrackAlbum) return value(t.album);
  else if (script == PS::DurationMinutes) return value(t.minutes);
  else if (script == PS::DurationSeconds) return value(t.seconds);
  else if (script == PS::TrackPopularity) return value(t.popularity);
  else if (script == PS::TrackNumber) return value(t.number);
  else if (script == PS::QuitPlayer) running = false;
  return std::nullopt;
}

std::size_t FakePlayer::count(TextView script) const {
  std::size_t n = 0;
  for (auto& r : received) n += r == script;
  return n;
}

std::vector<Text> FakePlayer::takeReceived() {
  std::vector<Text> out(received.begin() + static_cast<std::ptrdiff_t>(taken_), received.end());
  taken_ = received.size();
  return out;
}

}  // namespace larkspur::test
