#pragma once
// A scripted player answering the fixed script texts from its state, and
// recording every text it received, in order.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/ports.h"

namespace larkspur::test {

struct FakeTrack {
  std::string name = "Tune";
  std::string artist = "Band";
  std::string album = "Album";
  std::string artworkUrl = "https://i.scdn.co/image/art1";
  std::string uri = "spotify:track:0123456789abcdefghijkl";
  std::string minutes = "3";
  std::string seconds = "42";
  std::string popularity = "57";
  std::string number = "4";
};

class FakePlayer : public ScriptService {
 public:
  FakePlayer() { tracks.push_back(FakeTrack{}); }

  std::optional<ScriptResult> execute(TextView script) override;
  void watchChanges(std::function<void()> changed) override { changed_ = std::move(changed); }
  int trustedForMs() const override { return trustedMs; }
  // The player's change signal, heard at once.
  void signalChange() {
    if (changed_) changed_();
  }

  // State
  bool running = true;
  bool playing = true;
  bool shuffling = false;
  int volume = 100;
  std::vector<FakeTrack> tracks;
  std::size_t current = 0;
  std::vector<std::string> foreground = {"/usr/bin/gnome-shell", "/usr/share/spotify/Spotify"};
  // Texts answered with a fixed result instead of the state (nullopt: none).
  std::map<Text, std::optional<ScriptResult>> overrides;
  int trustedMs = 0;  // 0: a player that sends no change signals

  // Record
  std::vector<Text> received;
  std::size_t count(TextView script) const;
  // The texts received since the last call, for step-by-step asserts.
  std::vector<Text> takeReceived();

  const FakeTrack& track() const { return tracks.at(current); }
  static ScriptResult value(std::string text);

 private:
  std::size_t taken_ = 0;
  std::function<void()> changed_;
};

}  // namespace larkspur::test
