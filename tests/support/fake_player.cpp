#include "support/fake_player.h"

#include "player/player_script.h"

namespace larkspur::test {

namespace PS = PlayerScript;

std::optional<ScriptResult> FakePlayer::execute(TextView script) {
  received.emplace_back(script);
  if (auto o = overrides.find(Text(script)); o != overrides.end()) return o->second;
  if (script == PS::ForegroundProcessPaths) return ScriptResult{{}, {foreground.begin(), foreground.end()}, true};
  if (script == PS::ActivatePlayer) running = true;
  if (!running) return std::nullopt;
  const FakeTrack& t = track();
  const std::pair<TextView, std::string> fields[] = {
      {PS::TrackUri, t.uri},           {PS::TrackId, t.uri},           {PS::ArtworkUrl, t.artworkUrl},
      {PS::TrackArtist, t.artist},     {PS::TrackAlbum, t.album},      {PS::DurationMinutes, t.minutes},
      {PS::DurationSeconds, t.seconds}, {PS::TrackPopularity, t.popularity}, {PS::TrackNumber, t.number},
      {PS::IsPlaying, playing ? "true" : "false"}, {PS::IsShuffling, shuffling ? "true" : "false"}};
  for (auto& [text, answer] : fields)
    if (script == text) return value(answer);
  if (script == PS::PlayingTrackName || script == PS::PlayingTrackArtist)
    return playing ? std::optional(value(script == PS::PlayingTrackName ? t.name : t.artist)) : std::nullopt;
  if (script == PS::PlayCurrentTrack) playing = true;
  else if (script == PS::NextTrack) current = (current + 1) % tracks.size();
  else if (script == PS::PreviousTrack) current = current == 0 ? 0 : current - 1;
  else if (script == PS::PlayPause) playing = !playing;
  else if (script == PS::ToggleShuffle) shuffling = !shuffling;
  else if (script == PS::QuitPlayer) running = false;
  return std::nullopt;
}

}  // namespace larkspur::test
