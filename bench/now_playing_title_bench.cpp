#include <benchmark/benchmark.h>

#include "menubar/now_playing_title.h"
#include "platform/regex.h"
#include "support/fake_player.h"

namespace larkspur {
namespace {

// One whole refresh: three player queries, 45 removals, both year patterns
// compiled and applied, the cuts and the tooltip.
void BM_TitleRefresh(benchmark::State& state) {
  setProgramLocale();
  test::FakePlayer player;
  player.tracks[0].name = "Song of the Long Afternoon - Remastered 2015 (Live at the Hall)";
  player.tracks[0].artist = "The Band With A Rather Long Name";
  PlayerBridge bridge(player);
  Preferences prefs("/nonexistent/Larkspur.plist");
  prefs.hideArtist = 0;
  NowPlayingTitle title(bridge, prefs);
  for (auto _ : state) {
    title.refresh();
    benchmark::DoNotOptimize(title.statusTitle().data());
    player.received.clear();
  }
}
BENCHMARK(BM_TitleRefresh);

// The share of a refresh spent compiling the two patterns.
void BM_CompileYearPatterns(benchmark::State& state) {
  for (auto _ : state) {
    Regex dashed(" - \\d{4}");
    Regex plain(" \\d{4}");
    benchmark::DoNotOptimize(dashed.valid() && plain.valid());
  }
}
BENCHMARK(BM_CompileYearPatterns);

}  // namespace
}  // namespace larkspur
