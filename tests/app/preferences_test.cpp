#include "app/preferences.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "support/temp_dir.h"

namespace larkspur {
namespace {

namespace fs = std::filesystem;
using test::fileBytes;
constexpr fs::perms kPrivate = fs::perms::owner_read | fs::perms::owner_write;

class PreferencesTest : public ::testing::Test {
 protected:
  void write(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }
  void writeEntries(const std::string& body) {
    write(file, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + body + "</dict>\n</plist>\n");
  }
  // The value's opening tag and text, as "<integer>0".
  std::string valueOf(const std::string& key) {
    const std::string xml = fileBytes(file);
    const std::size_t at = xml.find("<key>" + key + "</key>");
    if (at == std::string::npos) return "(missing)";
    const std::size_t open = xml.find('<', at + key.size() + 11);
    return xml.substr(open, xml.find('<', open + 1) - open);
  }
  std::size_t filesInDir() const { return std::distance(fs::directory_iterator(dir), {}); }

  test::TempDir root;
  fs::path dir = fs::path(root.path()) / "home/Library/Preferences", file = dir / "Larkspur.plist";
  Preferences prefs{file.string()};
};

TEST_F(PreferencesTest, FirstRunWritesTheDefaultsPrivatelyAndAgainWhenDeleted) {
  prefs.open();
  EXPECT_FALSE(fs::exists(dir)) << "open reads and writes nothing";
  prefs.writeDefaults();
  Preferences again{file.string()};  // the next run reads what memory holds
  again.load();
  for (const Preferences* p : {&again, &prefs})
    EXPECT_EQ(std::tuple(p->hideArtist, p->muteAds, p->closePlayerOnExit, p->hideArtwork, p->iconShown),
              std::tuple(1, 0, 0, 0, 1));
  EXPECT_EQ(std::pair(fs::status(file).permissions(), fs::status(dir).permissions()), std::pair(kPrivate, fs::perms::owner_all));
  EXPECT_EQ(filesInDir(), 1u);
  prefs.storeFlag("Val8", T("NoArtist"), "Val9", 0);
  // A deleted file gets the defaults again, over what memory holds.
  fs::remove(file);
  prefs.writeDefaults();
  EXPECT_EQ(std::tuple(prefs.hideArtist, valueOf("Val9")), std::tuple(1, "<integer>1"));
}

// Flags keep their low byte, signed; storing a text leaves memory alone until
// the next load.
TEST_F(PreferencesTest, FlagsKeepTheLowByteSignedStoredTextsAreReadAtTheNextLoadAndUnknownEntriesStay) {
  for (auto [stored, expected] : {std::pair{"<integer>256</integer>", 0}, {"<integer>128</integer>", -128}, {"", 0},
                                  {"<true/>", 1}, {"<real>-1.5</real>", -1}, {"<string> -1x</string>", -1},
                                  {"<data>AQ==</data>", 0}}) {
    writeEntries((*stored ? "<key>Val9</key>" + std::string(stored) : "") + "<key>Val51</key><integer>1</integer>");
    prefs.load();
    EXPECT_EQ(std::tuple(prefs.hideArtist, prefs.iconShown), std::tuple(expected, 1)) << stored;
  }
  prefs.storeShortcut("Val30", T("Key1"), "Val31", u"\u2318N");
  EXPECT_EQ(valueOf("Val31"), "<string>\xE2\x8C\x98N");
  EXPECT_EQ(prefs.shortcutNext, u"") << "memory changes only at the next load";
  prefs.load();
  EXPECT_EQ(prefs.shortcutNext, u"\u2318N");
  // Load writes nothing; afterwards memory is the truth, and the rewritten
  // file keeps unknown entries and is private.
  writeEntries("<!-- by hand -->\n<key>NSStatusItem Visible</key><true/><key>Val11</key> <integer>0</integer>"
               "<key>Other</key><dict><key>inner</key><data>AAEC</data></dict>"
               "<key>Note</key><string>a &amp; b</string><key>Val9</key><integer>1</integer>");
  fs::permissions(file, kPrivate | fs::perms::group_read | fs::perms::others_read);
  const std::string before = fileBytes(file);
  prefs.load();
  EXPECT_EQ(fileBytes(file), before);
  writeEntries("<key>Val11</key><integer>1</integer>");  // changed behind our back
  prefs.storeFlag("Val8", T("NoArtist"), "Val9", 0);
  const std::string xml = fileBytes(file);
  for (const char* kept : {"<key>NSStatusItem Visible</key>\n\t<true/>", "<key>inner</key>", "AAEC",
                           "<string>a &amp; b</string>"})
    EXPECT_NE(xml.find(kept), std::string::npos) << kept;
  EXPECT_EQ(valueOf("Val9") + valueOf("Val11"), "<integer>0<integer>0");
  EXPECT_EQ(fs::status(file).permissions(), kPrivate);
}

TEST_F(PreferencesTest, UnusableFileIsMovedAsideAtOnceAndTheNewestIsKept) {
  for (std::string bytes : {"not a property list", "<plist version=\"1.0\"><array/></plist>", ""}) {
    write(dir / "Larkspur.plist.corrupt", "older");
    write(file, bytes);
    EXPECT_FALSE(prefs.load());
    EXPECT_EQ(fileBytes(dir / "Larkspur.plist.corrupt"), bytes);
    EXPECT_FALSE(fs::exists(file));
  }
}

TEST_F(PreferencesTest, FailedWriteLeavesOldFileWholeAndIsRetried) {
  prefs.writeDefaults();
  const std::string before = fileBytes(file);
  // Every write past 64 bytes fails with EFBIG, as on a full disk.
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limited{64, old.rlim_max};
  ::setrlimit(RLIMIT_FSIZE, &limited);
  prefs.storeFlag("Val8", T("NoArtist"), "Val9", 0);
  ::setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(fileBytes(file), before);
  EXPECT_EQ(filesInDir(), 1u) << "no temporary file left";
  prefs.load();
  EXPECT_EQ(prefs.hideArtist, 0) << "the unwritten change is not lost";
  prefs.synchronize();
  EXPECT_EQ(valueOf("Val9"), "<integer>0");
}

}  // namespace
}  // namespace larkspur
