#include "app/preferences.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>

#include "support/temp_dir.h"

namespace larkspur {
namespace {

namespace fs = std::filesystem;
using Entries = std::vector<std::pair<std::string, std::string>>;
using test::fileBytes;
constexpr fs::perms kPrivate = fs::perms::owner_read | fs::perms::owner_write;

std::string plistWith(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + body +
         "</dict>\n</plist>\n";
}

// Reads a flat property list independently of the code under test: each
// entry as its key and "i:<integer>" or "s:<text>" (other types by tag).
Entries entriesOf(const fs::path& p) {
  static const std::regex entry(
      R"(<key>([^<]*)</key>\s*(?:<integer>(-?\d+)</integer>|<string>([^<]*)</string>|<string/>|<(\w+)))");
  std::string xml = fileBytes(p);
  Entries out;
  for (std::sregex_iterator it(xml.begin(), xml.end(), entry), end; it != end; ++it) {
    const std::smatch& m = *it;
    if (m[2].matched) out.emplace_back(m[1], "i:" + m[2].str());
    else if (m[5].matched) out.emplace_back(m[1], "<" + m[5].str() + ">");
    else out.emplace_back(m[1], "s:" + m[3].str());
  }
  return out;
}

std::string valueOf(const fs::path& p, const std::string& key) {
  for (auto& [k, v] : entriesOf(p))
    if (k == key) return v;
  return "(missing)";
}

const Entries kDefaults = {{"Val9", "i:1"},  {"Val11", "i:0"}, {"Val17", "i:0"}, {"Val19", "i:0"},
                           {"Val31", "s:"},  {"Val33", "s:"},  {"Val35", "s:"},  {"Val37", "s:"},
                           {"Val39", "s:"},  {"Val41", "s:"},  {"Val51", "i:1"}};

class PreferencesTest : public ::testing::Test {
 protected:
  void write(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }
  std::vector<std::string> namesInDir() const {
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  test::TempDir root;
  fs::path dir = fs::path(root.path()) / "home/Library/Preferences";
  fs::path file = dir / "Larkspur.plist";
  Preferences prefs{file.string()};
};

TEST_F(PreferencesTest, FirstRunWritesExactlyTheDefaultsPrivatelyAndAgainWhenDeleted) {
  prefs.open();
  EXPECT_FALSE(fs::exists(dir)) << "open reads and writes nothing";
  prefs.writeDefaults();
  EXPECT_EQ(entriesOf(file), kDefaults);
  EXPECT_EQ(prefs.hideArtist + prefs.iconShown, 2);
  EXPECT_EQ(prefs.muteAds + prefs.closePlayerOnExit + prefs.hideArtwork, 0);
  EXPECT_EQ(fs::status(file).permissions(), kPrivate);
  EXPECT_EQ(fs::status(dir).permissions(), fs::perms::owner_all);
  EXPECT_EQ(namesInDir(), std::vector<std::string>{"Larkspur.plist"});

  // A first toggle adds its label after the value it changes.
  prefs.storeFlag("Val8", T("NoArtist"), "Val9", 0);
  Entries expected = kDefaults;
  expected[0].second = "i:0";
  expected.emplace_back("Val8", "s:NoArtist");
  EXPECT_EQ(entriesOf(file), expected);

  // A deleted file gets the defaults again, over what memory holds.
  fs::remove(file);
  prefs.writeDefaults();
  EXPECT_EQ(prefs.hideArtist, 1);
  EXPECT_EQ(valueOf(file, "Val9"), "i:1");
}

struct FlagCase {
  std::string stored;  // XML of the value under "Val9"; empty: no entry
  int expected;
};

class FlagRead : public PreferencesTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(FlagRead, KeepsLowByteSigned) {
  std::string body = GetParam().stored.empty() ? "" : "<key>Val9</key>" + GetParam().stored;
  write(file, plistWith(body + "<key>Val51</key><integer>1</integer>"));
  prefs.load();
  EXPECT_EQ(prefs.hideArtist, GetParam().expected) << GetParam().stored;
  EXPECT_EQ(prefs.iconShown, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Preferences, FlagRead,
    ::testing::Values(FlagCase{"<integer>1</integer>", 1}, FlagCase{"<integer>256</integer>", 0},
                      FlagCase{"<integer>-1</integer>", -1}, FlagCase{"<integer>383</integer>", 127},
                      FlagCase{"<integer>128</integer>", -128}, FlagCase{"", 0},
                      FlagCase{"<string>1</string>", 1}, FlagCase{"<true/>", 1},
                      FlagCase{"<false/>", 0}, FlagCase{"<real>1.9</real>", 1},
                      FlagCase{"<real>-1.5</real>", -1}, FlagCase{"<string> -1x</string>", -1},
                      FlagCase{"<string>yes</string>", 0}, FlagCase{"<data>AQ==</data>", 0}));

TEST_F(PreferencesTest, TextsReadEmptyOrAsNumbersReadAndStoringLeavesMemory) {
  write(file, plistWith("<key>Val33</key><string></string><key>Val35</key><integer>7</integer>"
                        "<key>Val37</key><string>\xE2\x8C\x83\xE2\x8C\xA5\xE2\x87\xA7\xE2\x8C\x98]"
                        "</string><key>Val39</key><real>2.5</real><key>Val41</key><true/>"));
  prefs.load();
  EXPECT_EQ(prefs.shortcutNext + prefs.shortcutPrevious, u"");
  EXPECT_EQ(prefs.shortcutRepeat + u"," + prefs.shortcutPause + u"," + prefs.shortcutDetails, u"7,2.5,1");
  EXPECT_EQ(prefs.shortcutShuffle, u"\u2303\u2325\u21E7\u2318]");

  prefs.storeShortcut("Val30", T("Key1"), "Val31", u"\u2318N");
  EXPECT_EQ(valueOf(file, "Val30"), "s:Key1");
  EXPECT_EQ(valueOf(file, "Val31"), "s:\xE2\x8C\x98N");
  EXPECT_EQ(prefs.shortcutNext, u"") << "memory changes only at the next load";
  prefs.load();
  EXPECT_EQ(prefs.shortcutNext, u"\u2318N");
}

TEST_F(PreferencesTest, UnknownEntriesAreKeptAndTheRewrittenFileIsPrivate) {
  write(file, plistWith("<key>NSStatusItem Visible</key><true/>"
                        "<key>Other</key><dict><key>inner</key><data>AAEC</data></dict>"
                        "<key>Note</key><string>a &amp; b</string><key>Val9</key><integer>1</integer>"));
  fs::permissions(file, kPrivate | fs::perms::group_read | fs::perms::others_read);
  prefs.load();
  prefs.storeFlag("Val8", T("NoArtist"), "Val9", 0);
  std::string xml = fileBytes(file);
  EXPECT_NE(xml.find("<key>NSStatusItem Visible</key>\n\t<true/>"), std::string::npos) << xml;
  EXPECT_NE(xml.find("<key>inner</key>"), std::string::npos);
  EXPECT_NE(xml.find("AAEC"), std::string::npos);
  EXPECT_NE(xml.find("<string>a &amp; b</string>"), std::string::npos);
  EXPECT_EQ(valueOf(file, "Val9"), "i:0");
  EXPECT_EQ(fs::status(file).permissions(), kPrivate);
}

TEST_F(PreferencesTest, LoadWritesNothingAndMemoryIsTheTruthAfterwards) {
  std::string bytes = plistWith("<!-- by hand -->\n<key>Val11</key> <integer>0</integer>");
  write(file, bytes);
  prefs.load();
  EXPECT_EQ(fileBytes(file), bytes);
  write(file, plistWith("<key>Val11</key><integer>1</integer>"));  // changed behind our back
  prefs.storeFlag("Val8", T("NoArtist"), "Val9", 1);
  EXPECT_EQ(valueOf(file, "Val11"), "i:0");
}

class UnusableFile : public PreferencesTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(UnusableFile, IsMovedAsideAtOnce) {
  write(dir / "Larkspur.plist.corrupt", "older");
  write(file, GetParam());
  EXPECT_FALSE(prefs.load());
  EXPECT_EQ(fileBytes(dir / "Larkspur.plist.corrupt"), GetParam()) << "the newest one is kept";
  EXPECT_FALSE(fs::exists(file));
}

INSTANTIATE_TEST_SUITE_P(Preferences, UnusableFile,
                         ::testing::Values("not a property list",
                                           "<?xml version=\"1.0\"?><plist><dict><key>Val9</key>",
                                           "<plist version=\"1.0\"><array/></plist>",
                                           "bplist00\x01\x02", ""));

TEST_F(PreferencesTest, FailedWriteLeavesOldFileWholeAndIsRetried) {
  prefs.writeDefaults();
  std::string before = fileBytes(file);
  {
    // Every write past 64 bytes fails with EFBIG, as on a full disk.
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = 64;
    ::setrlimit(RLIMIT_FSIZE, &limited);
    prefs.storeFlag("Val8", T("NoArtist"), "Val9", 0);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
  }
  EXPECT_EQ(fileBytes(file), before);
  EXPECT_EQ(namesInDir(), std::vector<std::string>{"Larkspur.plist"}) << "no temporary file left";
  prefs.load();
  EXPECT_EQ(prefs.hideArtist, 0) << "the unwritten change is not lost";
  prefs.synchronize();
  EXPECT_EQ(valueOf(file, "Val9"), "i:0");
}

}  // namespace
}  // namespace larkspur
