#include "platform/mpris/mpris_text.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <limits>

#include "support/player_sim.h"

namespace larkspur {
namespace {

using mpris::trackUri;

struct UriCase {
  const char* name;
  std::optional<std::string_view> trackId;
  std::optional<std::string_view> url;
  std::optional<std::string> expected;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const UriCase& c, std::ostream* os) { *os << c.name; }

class MprisTrackUri : public testing::TestWithParam<UriCase> {};

TEST_P(MprisTrackUri, BecomesTheClientUri) {
  EXPECT_EQ(trackUri(GetParam().trackId, GetParam().url), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, MprisTrackUri,
    testing::Values(
        UriCase{"ObjectPathTrack", "/com/spotify/track/4uLU6hMCjMI75M1A2tKUQC", std::nullopt,
                "spotify:track:4uLU6hMCjMI75M1A2tKUQC"},
        UriCase{"ObjectPathEpisode", "/com/spotify/episode/E1", "https://open.spotify.com/episode/E1",
                "spotify:episode:E1"},
        UriCase{"OlderUriForm", "spotify:track:abc", std::nullopt, "spotify:track:abc"},
        UriCase{"AdByPageAddress", "/com/spotify/track/notreally", "https://open.spotify.com/ad/AD9?si=1",
                "spotify:ad:AD9"},
        UriCase{"AdWithoutIdInAddress", "/com/spotify/ad/AD7", "https://open.spotify.com/ad/",
                "spotify:ad:AD7"},
        UriCase{"NoTrackPath", "/org/mpris/MediaPlayer2/TrackList/NoTrack", std::nullopt, std::nullopt},
        UriCase{"KindWithoutId", "/com/spotify/track/", std::nullopt, std::nullopt},
        UriCase{"TooDeep", "/com/spotify/track/a/b", std::nullopt, std::nullopt},
        UriCase{"Nothing", std::nullopt, std::nullopt, std::nullopt}),
    [](const testing::TestParamInfo<UriCase>& c) { return std::string(c.param.name); });

TEST(MprisText, OldWebHostArtworkMovesToTheImageServer) {
  const std::string prefix = "http://127.0.0.1:8080/image/";
  EXPECT_EQ(mpris::artworkUrl("https://open.spotify.com/image/ab67", "open.spotify.com", prefix),
            prefix + "ab67");
  EXPECT_EQ(mpris::artworkUrl("https://i.scdn.co/image/ab67", "open.spotify.com", prefix),
            "https://i.scdn.co/image/ab67");
  EXPECT_EQ(mpris::artworkUrl("https://open.spotify.com/image/", "open.spotify.com", prefix),
            "https://open.spotify.com/image/");
}

TEST(MprisText, DurationSplitsIntoWholeMinutesAndSeconds) {
  EXPECT_EQ(mpris::durationMinutes(215'999'999), "3");
  EXPECT_EQ(mpris::durationSeconds(215'999'999), "35");
  EXPECT_EQ(mpris::durationSeconds(3'605'000'000), "5");
  EXPECT_EQ(mpris::durationMinutes(0), "0");
  EXPECT_EQ(mpris::durationMinutes(-1), std::nullopt);
}

TEST(MprisText, PopularityIsARoundedPercentageOfAFraction) {
  EXPECT_EQ(mpris::popularity(0.57), "57");
  EXPECT_EQ(mpris::popularity(0.996), "100");
  EXPECT_EQ(mpris::popularity(1.5), std::nullopt);
  EXPECT_EQ(mpris::popularity(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
}

TEST(MprisText, PlayerCommandPrefersInstallPathsThenPathThenFlatpak) {
  test::TempDir dir;
  auto executable = [&](const std::string& name) {
    std::string p = dir.write(name, "#!/bin/sh\n");
    chmod(p.c_str(), 0755);
    return p;
  };
  std::string installed = executable("installed");
  dir.write("not-executable", "x");
  std::string bin = dir.path() + "/bin";
  mkdir(bin.c_str(), 0755);
  std::string onPath = executable("bin/spotify");
  executable("bin/flatpak");

  EXPECT_EQ(mpris::playerCommand({dir.file("not-executable"), installed}, "spotify", bin, ""),
            std::vector<std::string>{installed});
  EXPECT_EQ(mpris::playerCommand({"~/installed"}, "spotify", "", dir.path()),
            std::vector<std::string>{installed});
  EXPECT_EQ(mpris::playerCommand({dir.file("absent")}, "spotify", "/nowhere::" + bin, ""),
            std::vector<std::string>{onPath});
  EXPECT_EQ(mpris::playerCommand({}, "other", bin, ""),
            (std::vector<std::string>{bin + "/flatpak", "run", "com.spotify.Client"}));
  EXPECT_TRUE(mpris::playerCommand({}, "other", dir.file("absent"), "").empty());
}

}  // namespace
}  // namespace larkspur
