#include "menubar/artwork_cache.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/app_harness.h"

namespace larkspur {
namespace {

namespace fs = std::filesystem;
using test::AppHarness;
using test::kRanOutOfEvents;

void writeFile(const std::string& path, const std::string& content = "x") { std::ofstream(path) << content; }

unsigned modeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// A track with new artwork rebuilds the menu; one sharing the last one's does
// not. Quit sweeps only the jpeg files of the cache's own directory.
TEST(ArtworkCache, IdComesFromTheAddressOnlyNewArtworkRebuildsAndQuitSweepsOnlyItsOwnFiles) {
  AppHarness h;
  h.player.tracks.resize(3);
  for (int i = 0; i < 3; ++i) {
    h.player.tracks[i].name = "Track " + std::to_string(i);
    h.player.tracks[i].uri += std::to_string(i);
    h.player.tracks[i].artworkUrl = h.endpoints.imagePrefix + (i < 2 ? "abc123" : "def456");
  }
  h.serveArtworkForAllTracks();
  const std::string dir = h.cacheDir();
  h.desktop.chooseMenuItem(MenuItemNext);
  h.desktop.tick();
  h.desktop.then([&] {  // the title follows without a rebuild
    EXPECT_EQ(std::pair(h.desktop.statusItemBuilds, toUtf8(h.desktop.statusTitle).substr(0, 7)), std::pair(1, std::string("Track 1")));
  });
  h.desktop.chooseMenuItem(MenuItemNext);
  h.desktop.tick();
  h.desktop.then([&] {
    EXPECT_EQ(std::pair(h.desktop.statusItemBuilds, h.http.downloads.size()), std::pair(2, std::size_t{2}));
    EXPECT_TRUE(fs::exists(h.artworkPath("abc123")));
    EXPECT_EQ(modeOf(fs::path(dir).parent_path()), 0700u);
    // ".def456.jpeg.Xy12Zq" is a download cut short.
    for (const char* name : {"a.jpg", ".def456.jpeg.Xy12Zq", ".def456.jpeg.bak"}) writeFile(dir + name);
    fs::create_directories(dir + "sub");
    writeFile(dir + "sub/b.jpeg");
    writeFile(h.endpoints.tempDirectory + "other.jpeg");
  });
  h.desktop.chooseMenuItem(MenuItemQuit);
  ASSERT_EQ(h.start(), 0);
  for (const char* gone : {"abc123.jpeg", "def456.jpeg", ".def456.jpeg.Xy12Zq"})
    EXPECT_FALSE(fs::exists(dir + gone)) << gone;
  for (const char* kept : {"a.jpg", "sub/b.jpeg", ".def456.jpeg.bak", "../other.jpeg"})
    EXPECT_TRUE(fs::exists(dir + kept)) << kept;
}

// Each build tries twice, after a probe each (the start-up build is checked
// with the status menu). An error page sent with 200 is no image: it is not
// kept, and the next rebuild asks again.
TEST(ArtworkCache, FailingDownloadOrABodyThatIsNoImageRetriesTwicePerRebuildAfterAProbeEach) {
  for (bool errorPage : {false, true}) {
    AppHarness h;  // no bodies: every transfer fails
    if (errorPage) h.http.bodies[h.player.track().artworkUrl] = "<html>try again later</html>";
    h.desktop.tick();
    h.desktop.tick();
    ASSERT_EQ(h.start(), kRanOutOfEvents);
    EXPECT_EQ(std::tuple(h.desktop.statusItemBuilds, h.http.fetches.size(), h.http.downloads.size()),
              std::tuple(3, std::size_t{7}, std::size_t{6}));
    EXPECT_EQ(h.desktop.entry(MenuItemTrackDetails), nullptr);
    EXPECT_FALSE(fs::exists(h.artworkPath("art1")));
  }
}

// Someone else got to the cache directory's name first: a link to a
// directory of ours, or a directory open to others.
TEST(ArtworkCache, ForeignCacheDirectoryIsNeverUsed) {
  for (bool link : {true, false}) {
    AppHarness h;
    h.serveArtworkForAllTracks();
    const std::string dir = fs::path(h.cacheDir()).parent_path(), elsewhere = h.home.file("elsewhere");
    if (link) ::mkdir(elsewhere.c_str(), 0700), writeFile(elsewhere + "/art1.jpeg", "planted"), ::symlink(elsewhere.c_str(), dir.c_str());
    else ::mkdir(dir.c_str(), 0755), ::chmod(dir.c_str(), 0755), writeFile(dir + "/art1.jpeg", "planted");
    const unsigned modeBefore = modeOf(dir);
    bool artworkEntry = true;
    h.desktop.tick();
    h.desktop.then([&] { artworkEntry = h.desktop.entry(MenuItemTrackDetails) != nullptr; });
    h.desktop.chooseMenuItem(MenuItemQuit);
    ASSERT_EQ(h.start(), 0);
    // Downloads, fetches (no probe for a download that cannot happen), the entry, the mode.
    EXPECT_EQ(std::tuple(h.http.downloads.size(), h.http.fetches.size(), artworkEntry, modeOf(dir)),
              std::tuple(std::size_t{0}, std::size_t{1}, false, modeBefore)) << link;
    // Planted files are neither replaced nor swept at quit.
    for (const std::string& planted : {elsewhere + "/art1.jpeg", dir + "/art1.jpeg"})
      EXPECT_TRUE(!fs::is_regular_file(planted) || fs::file_size(planted) == 7u) << planted;
  }
}

// Nor is a file its path would name taken for cached artwork.
TEST(ArtworkCache, UnsafeIdIsNeverDownloadedNorFound) {
  for (const char* url : {"https://i.scdn.co/image/../../x", "https://i.scdn.co/image/sub/x", "https://elsewhere.test/image.jpg"}) {
    AppHarness h;
    h.player.tracks[0].artworkUrl = url;
    h.serveArtworkForAllTracks();
    fs::create_directories(h.cacheDir() + "sub");
    fs::permissions(h.cacheDir(), fs::perms::owner_all, fs::perm_options::replace);
    writeFile(h.cacheDir() + "sub/x.jpeg");
    h.desktop.tick();
    ASSERT_EQ(h.start(), kRanOutOfEvents);
    // Still missing, so every tick rebuilds.
    EXPECT_EQ(std::tuple(h.http.downloads.size(), h.desktop.entry(MenuItemTrackDetails), h.desktop.statusItemBuilds),
              std::tuple(std::size_t{0}, nullptr, 2)) << url;
  }
}

}  // namespace
}  // namespace larkspur
