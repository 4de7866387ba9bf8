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

namespace larkspur::test {

struct FakeTrack {
  std::string name = "Tune", artist = "Band", album = "Album", artworkUrl = "https://i.scdn.co/image/art1",
              uri = "spotify:track:0123456789abcdefghijkl", minutes = "3", seconds = "42", popularity = "57",
              number = "4";
};

class FakePlayer : public ScriptService {
 public:
  std::optional<ScriptResult> execute(TextView script) override;
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
