#pragma once
// The status title (cleaned, cut to fit) and the tooltip (raw), recomputed
// from the player's answers on every refresh tick.
#include "app/preferences.h"
#include "platform/text.h"
#include "player/player_bridge.h"

namespace larkspur {

class NowPlayingTitle {
 public:
  NowPlayingTitle(PlayerBridge& bridge, const Preferences& prefs) : bridge_(bridge), prefs_(prefs) {}

  void refresh();

  // The track name without release-version decorations and release years,
  // before any cut to fit.
  static Text cleanName(TextView rawName);

  const Text& rawName() const { return rawName_; }
  const Text& rawArtist() const { return rawArtist_; }
  const Text& artworkUrl() const { return artworkUrl_; }
  const Text& statusTitle() const { return statusTitle_; }
  const Text& toolTip() const { return toolTip_; }

  void setStatusTitle(Text title) { statusTitle_ = std::move(title); }
  // The artwork cache asks again and overwrites the address.
  void setArtworkUrl(Text url) { artworkUrl_ = std::move(url); }

 private:
  void composeStatusTitle(Text clean, Text shortArtist);

  PlayerBridge& bridge_;
  const Preferences& prefs_;
  Text rawName_, rawArtist_, artworkUrl_, statusTitle_, toolTip_;
  // The last name cleaned and its result: the cleaning is a function of the
  // name alone (an empty one stays empty), and the name stays the same for
  // minutes at a time.
  Text cleanedFrom_, cleaned_;
};

}  // namespace larkspur
