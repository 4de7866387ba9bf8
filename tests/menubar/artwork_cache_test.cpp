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

const std::string kPrefix = "https://i.scdn.co/image/";

void writeFile(const std::string& path, const std::string& content = "x") {
  std::ofstream(path) << content;
}

unsigned modeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

std::string withoutSlash(std::string dir) {
  dir.pop_back();
  return dir;
}

// A track with new artwork rebuilds the menu; one sharing the last one's does not.
TEST(ArtworkCache, IdComesFromTheAddressAndOnlyNewArtworkRebuilds) {
  AppHarness h;
  h.player.tracks.resize(3);
  for (int i = 0; i < 3; ++i) {
    h.player.tracks[i].name = "Track " + std::to_string(i);
    h.player.tracks[i].uri += std::to_string(i);
    h.player.tracks[i].artworkUrl = kPrefix + (i < 2 ? "abc123" : "def456");
  }
  h.serveArtworkForAllTracks();
  h.desktop.chooseMenuItem(MenuItemNext);
  h.desktop.tick();
  h.desktop.then([&] {  // the title follows without a rebuild
    EXPECT_EQ(h.desktop.statusItemBuilds, 1);
    EXPECT_EQ(toUtf8(h.desktop.statusTitle).rfind("Track 1", 0), 0u);
  });
  h.desktop.chooseMenuItem(MenuItemNext);
  h.desktop.tick();
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  EXPECT_EQ(h.desktop.statusItemBuilds, 2);
  EXPECT_EQ(h.http.downloads.size(), 2u);
  EXPECT_TRUE(fs::exists(h.artworkPath("abc123")));
  EXPECT_EQ(modeOf(withoutSlash(h.cacheDir())), 0700u);
}

// Each build tries twice, after a probe each (the start-up build is checked
// with the status menu).
TEST(ArtworkCache, FailingDownloadRetriesTwicePerRebuildAfterAProbeEach) {
  AppHarness h;  // no bodies: every transfer fails
  h.desktop.tick();
  h.desktop.tick();
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  EXPECT_EQ(h.desktop.statusItemBuilds, 3);
  EXPECT_EQ(h.http.fetches.size(), 7u);
  EXPECT_EQ(h.http.downloads.size(), 6u);
  EXPECT_EQ(h.http.timeouts, std::vector<int>(6, 15000));
  EXPECT_EQ(h.desktop.entry(MenuItemTrackDetails), nullptr);
  EXPECT_FALSE(fs::exists(h.artworkPath("art1")));
}

// An error page sent with 200 is not kept for the track, and the next
// rebuild asks again.
TEST(ArtworkCache, BodyThatIsNoImageIsAFailedDownload) {
  AppHarness h;
  h.http.bodies[h.player.track().artworkUrl] = "<html>try again later</html>";
  h.desktop.tick();
  h.desktop.then([&] { h.serveArtworkForAllTracks(); });
  h.desktop.tick();
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  EXPECT_EQ(h.http.downloads.size(), 5u);
  EXPECT_NE(h.desktop.entry(MenuItemTrackDetails), nullptr);
}

TEST(ArtworkCache, EmptyFileCountsAsCached) {
  AppHarness h;
  h.serveArtworkForAllTracks();
  ::mkdir(withoutSlash(h.cacheDir()).c_str(), 0700);
  writeFile(h.artworkPath("art1"), "");
  h.desktop.tick();
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  EXPECT_TRUE(h.http.downloads.empty());
  EXPECT_EQ(h.desktop.statusItemBuilds, 1);
  EXPECT_EQ(fs::file_size(h.artworkPath("art1")), 0u);
}

struct DirectoryCase {
  const char* label;
  void (*plant)(const std::string& dir, const std::string& elsewhere);
};

void PrintTo(const DirectoryCase& c, std::ostream* os) { *os << c.label; }

// Someone else got to the cache directory's name first.
const DirectoryCase kForeignDirectories[] = {
    {"SymbolicLinkToOurDirectory",
     [](const std::string& dir, const std::string& elsewhere) {
       ::mkdir(elsewhere.c_str(), 0700);
       writeFile(elsewhere + "/art1.jpeg", "planted");
       ASSERT_EQ(::symlink(elsewhere.c_str(), dir.c_str()), 0);
     }},
    {"DanglingSymbolicLink",
     [](const std::string& dir, const std::string& elsewhere) {
       ASSERT_EQ(::symlink(elsewhere.c_str(), dir.c_str()), 0);
     }},
    {"DirectoryOpenToOthers",
     [](const std::string& dir, const std::string&) {
       ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
       ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);
       writeFile(dir + "/art1.jpeg", "planted");
     }},
    {"PlainFile", [](const std::string& dir, const std::string&) { writeFile(dir); }},
};

class ForeignCacheDirectory : public ::testing::TestWithParam<DirectoryCase> {};

TEST_P(ForeignCacheDirectory, IsNeverUsed) {
  AppHarness h;
  h.serveArtworkForAllTracks();
  std::string dir = withoutSlash(h.cacheDir());
  std::string elsewhere = h.home.file("elsewhere");
  GetParam().plant(dir, elsewhere);
  unsigned modeBefore = modeOf(dir);
  bool artworkEntry = true;
  h.desktop.tick();
  h.desktop.then([&] { artworkEntry = h.desktop.entry(MenuItemTrackDetails) != nullptr; });
  h.desktop.chooseMenuItem(MenuItemQuit);
  ASSERT_EQ(h.start(), 0);
  EXPECT_TRUE(h.http.downloads.empty());
  EXPECT_EQ(h.http.fetches.size(), 1u) << "no probe for a download that cannot happen";
  EXPECT_FALSE(artworkEntry);
  EXPECT_EQ(modeOf(dir), modeBefore);
  // Planted files are neither replaced nor swept at quit.
  for (const std::string& planted : {elsewhere + "/art1.jpeg", dir + "/art1.jpeg"})
    if (fs::is_regular_file(planted)) {
      EXPECT_EQ(fs::file_size(planted), 7u) << planted;
    }
}

INSTANTIATE_TEST_SUITE_P(ArtworkCache, ForeignCacheDirectory,
                         ::testing::ValuesIn(kForeignDirectories),
                         [](const auto& p) { return std::string(p.param.label); });

class UnsafeId : public ::testing::TestWithParam<const char*> {};

// Nor is a file its path would name taken for cached artwork.
TEST_P(UnsafeId, IsNeverDownloadedNorFound) {
  AppHarness h;
  h.player.tracks[0].artworkUrl = GetParam();
  h.serveArtworkForAllTracks();
  fs::create_directories(h.cacheDir() + "sub");
  fs::permissions(h.cacheDir(), fs::perms::owner_all, fs::perm_options::replace);
  writeFile(h.cacheDir() + "sub/x.jpeg");
  h.desktop.tick();
  ASSERT_EQ(h.start(), kRanOutOfEvents);
  EXPECT_TRUE(h.http.downloads.empty());
  EXPECT_EQ(h.desktop.entry(MenuItemTrackDetails), nullptr);
  EXPECT_EQ(h.desktop.statusItemBuilds, 2) << "still missing, so every tick rebuilds";
}

INSTANTIATE_TEST_SUITE_P(ArtworkCache, UnsafeId,
                         ::testing::Values("https://i.scdn.co/image/../../x",
                                           "https://i.scdn.co/image/sub/x",
                                           "https://i.scdn.co/image/.", "https://i.scdn.co/image/..",
                                           "https://elsewhere.test/image.jpg"));

TEST(ArtworkCache, QuitSweepsOnlyJpegFilesOfItsOwnDirectory) {
  AppHarness h;
  h.serveArtworkForAllTracks();
  h.desktop.then([&] {
    const std::string dir = h.cacheDir();
    writeFile(dir + "a.jpeg");
    writeFile(dir + "a.jpg");
    writeFile(dir + "a.JPEG");
    writeFile(dir + ".art2.jpeg.Xy12Zq");  // a download cut short
    writeFile(dir + ".art2.jpeg.bak");
    fs::create_directory(dir + "sub");
    writeFile(dir + "sub/b.jpeg");
    fs::create_directory(dir + "d.jpeg");
    writeFile(h.endpoints.tempDirectory + "other.jpeg");
  });
  h.desktop.chooseMenuItem(MenuItemQuit);
  ASSERT_EQ(h.start(), 0);
  const std::string dir = h.cacheDir();
  EXPECT_FALSE(fs::exists(h.artworkPath("art1")));
  EXPECT_FALSE(fs::exists(dir + "a.jpeg"));
  EXPECT_FALSE(fs::exists(dir + ".art2.jpeg.Xy12Zq"));
  for (const char* kept : {"a.jpg", "a.JPEG", "sub/b.jpeg", "d.jpeg", ".art2.jpeg.bak"})
    EXPECT_TRUE(fs::exists(dir + kept)) << kept;
  EXPECT_TRUE(fs::exists(h.endpoints.tempDirectory + "other.jpeg"));
}

}  // namespace
}  // namespace larkspur
