#include "menubar/now_playing_title.h"

#include <array>

#include "platform/regex.h"
#include "player/player_script.h"

namespace larkspur {
namespace {

constexpr TextView kSeparator = u" \u2022 ";
constexpr TextView kEllipsis = u"...";

struct Removal {
  TextView text;
  Case mode;
};

// Release-version decorations, removed in this order. The order matters: an
// earlier removal can break up or create a match for a later one, which is
// why " - Extended Version" and " - Alternative Version" appear twice.
constexpr std::array<Removal, 45> kRemovals = {{
    {u" - Remastered", Case::Exact},
    {u" (Remastered)", Case::Exact},
    {u" [Remastered]", Case::Exact},
    {u" - Remaster", Case::Exact},
    {u" Original", Case::Any},
    {u" (Original Version)", Case::Any},
    {u" Extended Version", Case::Any},
    {u" - Extended Version", Case::Any},
    {u" Extended Dance Version", Case::Any},
    {u" (Extended Version)", Case::Exact},
    {u" Remastered", Case::Any},
    {u" Remaster", Case::Exact},
    {u" Re-master", Case::Exact},
    {u" Digital Remaster", Case::Exact},
    {u" Alternative Version", Case::Any},
    {u" - Special Mix", Case::Any},
    {u" - Remastered Version", Case::Any},
    {u" - Alternative Version", Case::Any},
    {u" - US Mix", Case::Any},
    {u" Alternative", Case::Exact},
    {u" Mix", Case::Any},
    {u" - (Remaster)", Case::Exact},
    {u" - (Remastered)", Case::Any},
    {u" (Re-Recorded / Remastered)", Case::Any},
    {u" (Deluxe)", Case::Exact},
    {u" Digital", Case::Exact},
    {u" - Expanded", Case::Exact},
    {u" - Extended", Case::Any},
    {u" - Extended Version", Case::Any},
    {u" - Vinyl", Case::Exact},
    {u" Vinyl", Case::Exact},
    {u" (Bonus Content)", Case::Exact},
    {u" (Collector's Edition)", Case::Exact},
    {u" Edition", Case::Exact},
    {u" Edit", Case::Any},
    {u" Remix", Case::Any},
    {u" - Re-recorded", Case::Any},
    {u" (Re-recorded)", Case::Any},
    {u" - Alternative Version", Case::Exact},
    {u" - Extended Remix", Case::Exact},
    {u" - EP Version", Case::Any},
    {u" - EP", Case::Any},
    {u" - Single Version", Case::Any},
    {u" (Single Version)", Case::Any},
    {u" Version", Case::Any},
}};

// Release years, with or without a dash before them.
constexpr std::string_view kYearPatterns[] = {" - \\d{4}", " \\d{4}"};

void removeDecorations(Text& clean) {
  for (const Removal& r : kRemovals) removeAllInPlace(clean, r.text, r.mode);
}

// The patterns are compiled afresh for every name cleaned and discarded
// after it. Compiling both costs well under a microsecond of CPU when warm
// (bench/now_playing_title_bench.cpp), not worth keeping them compiled.
void removeYears(Text& clean) {
  std::string utf8 = toUtf8(clean);
  for (std::string_view pattern : kYearPatterns) utf8 = Regex(pattern).replaceAll(utf8);
  clean = fromUtf8(utf8);
}

}  // namespace

Text NowPlayingTitle::cleanName(TextView rawName) {
  Text clean(rawName);
  removeDecorations(clean);
  removeYears(clean);
  return clean;
}

void NowPlayingTitle::refresh() {
  rawName_ = bridge_.runScript(PlayerScript::PlayingTrackName);
  rawArtist_ = bridge_.runScript(PlayerScript::PlayingTrackArtist);
  artworkUrl_ = bridge_.runScript(PlayerScript::ArtworkUrl);
  if (rawName_ != cleanedFrom_) {
    cleaned_ = cleanName(rawName_);
    cleanedFrom_ = rawName_;
  }
  composeStatusTitle(cleaned_, rawArtist_);
  toolTip_ = rawName_ + Text(kSeparator) + rawArtist_;
  if (statusTitle_.size() >= 40) statusTitle_ = leftUnits(statusTitle_, 35) + Text(kEllipsis);
}

// Cuts go through leftUnits, so a cut inside a surrogate pair drops the lone
// first half and the title may come out one unit shorter.
void NowPlayingTitle::composeStatusTitle(Text clean, Text shortArtist) {
  switch (prefs_.hideArtist) {
    case 0:
      if (clean.size() >= 40) clean = leftUnits(clean, 30);
      if (shortArtist.size() >= 25) shortArtist = leftUnits(shortArtist, 20);
      statusTitle_ = clean + Text(kSeparator) + shortArtist;
      break;
    case 1:
      statusTitle_ = std::move(clean);
      break;
    default:  // a stored value that is neither: keep what is shown
      break;
  }
}

}  // namespace larkspur
