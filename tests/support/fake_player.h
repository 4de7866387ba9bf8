#pragma once
// A scripted player answering the fixed script texts from its state, and
// recording every text it received, in order.
#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/ports.h"
#include "player/player_script.h"

namespace larkspur::test {

struct FakeTrack {
  std::string name = "Tune", artist = "Band", album = "Album", artworkUrl = "https://i.scdn.co/image/art1",
              uri = "spotify:track:0123456789abcdefghijkl", minutes = "3", seconds = "42", popularity = "57",
              number = "4";
};

class FakePlayer : public ScriptService {
 public:
  std::optional<ScriptResult> execute(TextView script) override {
    namespace PS = PlayerScript;
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
  void watchChanges(std::function<void()> changed) override { changed_ = std::move(changed); }
  int trustedForMs() const override { return trustedMs; }
  void signalChange() { if (changed_) changed_(); }  // the player's change signal, heard at once

  bool running = true, playing = true, shuffling = false;
  std::vector<FakeTrack> tracks{FakeTrack{}};
  std::size_t current = 0;
  std::vector<std::string> foreground = {"/usr/bin/gnome-shell", "/usr/share/spotify/Spotify"};
  // Texts answered with a fixed result instead of the state (nullopt: none).
  std::map<Text, std::optional<ScriptResult>> overrides;
  int trustedMs = 0;  // 0: a player that sends no change signals

  std::vector<Text> received;
  std::size_t count(TextView script) const { return std::count(received.begin(), received.end(), script); }
  // The texts received since the last call, for step-by-step asserts.
  std::vector<Text> takeReceived() {
    std::vector<Text> out(received.begin() + static_cast<std::ptrdiff_t>(taken_), received.end());
    taken_ = received.size();
    return out;
  }
  const FakeTrack& track() const { return tracks.at(current); }
  static ScriptResult value(std::string text) { return ScriptResult{std::move(text), {}, false}; }

 private:
  std::size_t taken_ = 0;
  std::function<void()> changed_;
};

}  // namespace larkspur::test
