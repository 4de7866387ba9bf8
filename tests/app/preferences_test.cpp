#include "app/preferences.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <utility>
#include <vector>

namespace larkspur {
namespace {

namespace fs = std::filesystem;
using Entries = std::vector<std::pair<std::string, std::string>>;

std::string readBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeBytes(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

std::string plistWith(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + body +
         "</dict>\n</plist>\n";
}

// Reads a flat property list independently of the code under test: each
// entry as its key and "i:<integer>" or "s:<text>" (other types by tag).
Entries entriesOf(const fs::path& p) {
  static const std::regex entry(
      R"(<key>([^<]*)</key>\s*(?:<integer>(-?\d+)</integer>|<string>([^<]*)</string>|<string/>|<(\w+)))");
  std::string xml = readBytes(p);
  Entries out;
  for (std::sregex_iterator it(xml.begin(), xml.end(), entry), end; it != end; ++it) {
    const std::smatch& m = *it;
    if (m[2].matched) out.emplace_back(m[1], "i:" + m[2].str());
    else if (m[5].matched) out.emplace_back(m[1], "<" + m[5].str() + ">");
    else out.emplace_back(m[1], "s:" + m[3].str());
  }
  return out;
}

std::string valueOf(const Entries& entries, const std::string& key) {
  for (auto& [k, v] : entries)
    if (k == key) return v;
  return "(missing)";
}

const Entries kDefaults = {{"Val9", "i:1"},  {"Val11", "i:0"}, {"Val17", "i:0"}, {"Val19", "i:0"},
                           {"Val31", "s:"},  {"Val33", "s:"},  {"Val35", "s:"},  {"Val37", "s:"},
                           {"Val39", "s:"},  {"Val41", "s:"},  {"Val51", "i:1"}};

class PreferencesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "larkspur-prefs-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    root = tmpl;
    dir = root / "home" / "Library" / "Preferences";
    file = dir / "Larkspur.plist";
  }
  void TearDown() override { fs::remove_all(root); }

  std::vector<std::string> namesInDir() const {
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path root, dir, file;
};

TEST_F(PreferencesTest, FirstRunWritesExactlyTheDefaultsPrivately) {
  Preferences prefs(file.string());
  prefs.open();
  EXPECT_FALSE(fs::exists(dir)) << "open reads and writes nothing";
  prefs.writeDefaults();
  EXPECT_EQ(entriesOf(file), kDefaults);
  EXPECT_EQ(prefs.hideArtist, 1);
  EXPECT_EQ(prefs.iconShown, 1);
  EXPECT_EQ(prefs.muteAds + prefs.closePlayerOnExit + prefs.hideArtwork, 0);
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::status(dir).permissions(), fs::perms::owner_all);
  EXPECT_EQ(namesInDir(), std::vector<std::string>{"Larkspur.plist"});
}

TEST_F(PreferencesTest, FirstToggleOfHideArtistWritesLabelThenValue) {
  Preferences prefs(file.string());
  prefs.writeDefaults();
  prefs.storeFlag("Val8", T("NoArtist"), "Val9", static_cast<std::int8_t>(1 - prefs.hideArtist));
  EXPECT_EQ(prefs.hideArtist, 0);
  Entries expected = kDefaults;
  expected[0].second = "i:0";
  expected.emplace_back("Val8", "s:NoArtist");
  EXPECT_EQ(entriesOf(file), expected);

  Preferences next(file.string());
  next.load();
  EXPECT_EQ(next.hideArtist, 0);
  EXPECT_EQ(next.iconShown, 1);
}

struct FlagCase {
  const char* label;
  std::string stored;  // XML of the value under "Val9"; empty: no entry
  int expected;
};

class FlagRead : public PreferencesTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(FlagRead, KeepsLowByteSigned) {
  std::string body = GetParam().stored.empty() ? "" : "<key>Val9</key>" + GetParam().stored;
  writeBytes(file, plistWith(body + "<key>Val51</key><integer>1</integer>"));
  Preferences prefs(file.string());
  prefs.load();
  EXPECT_EQ(prefs.hideArtist, GetParam().expected);
  EXPECT_EQ(prefs.iconShown, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Preferences, FlagRead,
    ::testing::Values(FlagCase{"One", "<integer>1</integer>", 1},
                      FlagCase{"TwoFiftySix", "<integer>256</integer>", 0},
                      FlagCase{"MinusOne", "<integer>-1</integer>", -1},
                      FlagCase{"Five", "<integer>5</integer>", 5},
                      FlagCase{"LowByteHigh", "<integer>383</integer>", 127},
                      FlagCase{"OneTwentyEight", "<integer>128</integer>", -128},
                      FlagCase{"Missing", "", 0},
                      FlagCase{"TextIsWrongType", "<string>1</string>", 0},
                      FlagCase{"BooleanIsWrongType", "<true/>", 0},
                      FlagCase{"RealIsWrongType", "<real>1.0</real>", 0}),
    [](const auto& test) { return std::string(test.param.label); });

TEST_F(PreferencesTest, OddFlagTogglesToOneMinusValue) {
  writeBytes(file, plistWith("<key>Val17</key><integer>5</integer>"));
  Preferences prefs(file.string());
  prefs.load();
  prefs.storeFlag("Val16", T("CloseSpotify"), "Val17",
                  static_cast<std::int8_t>(1 - prefs.closePlayerOnExit));
  EXPECT_EQ(prefs.closePlayerOnExit, -4);
  EXPECT_EQ(valueOf(entriesOf(file), "Val17"), "i:-4");
  EXPECT_EQ(valueOf(entriesOf(file), "Val16"), "s:CloseSpotify");
}

TEST_F(PreferencesTest, MissingEmptyAndWrongTypeTextsReadEmpty) {
  writeBytes(file, plistWith("<key>Val33</key><string></string>"
                             "<key>Val35</key><integer>7</integer>"
                             "<key>Val37</key><string>\xE2\x8C\x83\xE2\x8C\xA5\xE2\x87\xA7\xE2\x8C\x98]</string>"));
  Preferences prefs(file.string());
  prefs.load();
  EXPECT_EQ(prefs.shortcutNext, u"");
  EXPECT_EQ(prefs.shortcutPrevious, u"");
  EXPECT_EQ(prefs.shortcutRepeat, u"");
  EXPECT_EQ(prefs.shortcutShuffle, u"\u2303\u2325\u21E7\u2318]");
  EXPECT_EQ(prefs.readString("Val31"), prefs.readString("Val33"));
}

TEST_F(PreferencesTest, StoreShortcutWritesLabelAndTextButLeavesMemory) {
  Preferences prefs(file.string());
  prefs.writeDefaults();
  prefs.storeShortcut("Val30", T("Key1"), "Val31", u"\u2318N");
  Entries entries = entriesOf(file);
  EXPECT_EQ(valueOf(entries, "Val30"), "s:Key1");
  EXPECT_EQ(valueOf(entries, "Val31"), "s:\xE2\x8C\x98N");
  EXPECT_EQ(prefs.shortcutNext, u"");
  prefs.load();
  EXPECT_EQ(prefs.shortcutNext, u"\u2318N");
}

TEST_F(PreferencesTest, DeletedFileGetsTheDefaultsAgain) {
  Preferences prefs(file.string());
  prefs.writeDefaults();
  prefs.storeFlag("Val50", T("NoIcon"), "Val51", 0);
  fs::remove(file);

  Preferences nextStart(file.string());
  nextStart.open();
  nextStart.writeDefaults();
  EXPECT_EQ(entriesOf(file), kDefaults);

  // The same process, too, writes the defaults' values over what it holds.
  fs::remove(file);
  prefs.writeDefaults();
  EXPECT_EQ(prefs.iconShown, 1);
  EXPECT_EQ(valueOf(entriesOf(file), "Val51"), "i:1");
}

TEST_F(PreferencesTest, UnknownEntriesAreKept) {
  std::string unknown =
      "<key>NSStatusItem Visible</key><true/>"
      "<key>Other</key><dict><key>inner</key><data>AAEC</data></dict>"
      "<key>Note</key><string>a &amp; b</string>";
  writeBytes(file, plistWith(unknown + "<key>Val9</key><integer>1</integer>"));
  Preferences prefs(file.string());
  prefs.load();
  prefs.storeFlag("Val8", T("NoArtist"), "Val9", 0);
  std::string xml = readBytes(file);
  EXPECT_NE(xml.find("<key>NSStatusItem Visible</key>\n\t<true/>"), std::string::npos) << xml;
  EXPECT_NE(xml.find("<key>inner</key>"), std::string::npos);
  EXPECT_NE(xml.find("AAEC"), std::string::npos);
  EXPECT_NE(xml.find("<string>a &amp; b</string>"), std::string::npos);
  EXPECT_EQ(valueOf(entriesOf(file), "Val9"), "i:0");
}

TEST_F(PreferencesTest, LoadLeavesTheFileAsItIs) {
  std::string bytes = plistWith("<!-- by hand -->\n<key>Val9</key> <integer>0</integer>");
  writeBytes(file, bytes);
  Preferences prefs(file.string());
  prefs.load();
  EXPECT_EQ(readBytes(file), bytes);
}

TEST_F(PreferencesTest, MemoryIsTheTruthAfterLoad) {
  writeBytes(file, plistWith("<key>Val11</key><integer>0</integer>"));
  Preferences prefs(file.string());
  prefs.load();
  writeBytes(file, plistWith("<key>Val11</key><integer>1</integer>"));
  prefs.storeFlag("Val8", T("NoArtist"), "Val9", 1);
  EXPECT_EQ(valueOf(entriesOf(file), "Val11"), "i:0");
}

class UnusableFile : public PreferencesTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(UnusableFile, ReadsAsMissingAndIsKeptAsideBeforeTheNextWrite) {
  writeBytes(file, GetParam());
  Preferences prefs(file.string());
  prefs.load();
  EXPECT_EQ(prefs.hideArtist, 0);
  EXPECT_EQ(prefs.iconShown, 0);
  EXPECT_EQ(readBytes(file), GetParam()) << "nothing written until a change";

  prefs.storeFlag("Val8", T("NoArtist"), "Val9", 1);
  EXPECT_EQ(readBytes(dir / "Larkspur.plist.corrupt"), GetParam());
  EXPECT_EQ(entriesOf(file), (Entries{{"Val8", "s:NoArtist"}, {"Val9", "i:1"}}));
}

INSTANTIATE_TEST_SUITE_P(Preferences, UnusableFile,
                         ::testing::Values("not a property list",
                                           "<?xml version=\"1.0\"?><plist><dict><key>Val9</key>",
                                           "<plist version=\"1.0\"><array/></plist>",
                                           "bplist00\x01\x02", ""));

TEST_F(PreferencesTest, NewestCorruptFileIsKept) {
  writeBytes(dir / "Larkspur.plist.corrupt", "older");
  writeBytes(file, "newer");
  Preferences prefs(file.string());
  prefs.load();
  prefs.storeFlag("Val8", T("NoArtist"), "Val9", 1);
  EXPECT_EQ(readBytes(dir / "Larkspur.plist.corrupt"), "newer");
}

// Makes every write past `bytes` fail with EFBIG, as a full disk would.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old_;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
};

TEST_F(PreferencesTest, FailedWriteLeavesOldFileWholeAndIsRetried) {
  Preferences prefs(file.string());
  prefs.writeDefaults();
  std::string before = readBytes(file);
  {
    FileSizeLimit limit(64);
    prefs.storeFlag("Val8", T("NoArtist"), "Val9", 0);
  }
  EXPECT_EQ(readBytes(file), before);
  EXPECT_EQ(namesInDir(), std::vector<std::string>{"Larkspur.plist"}) << "no temporary file left";
  prefs.load();
  EXPECT_EQ(prefs.hideArtist, 0) << "the unwritten change is not lost";

  prefs.synchronize();
  EXPECT_EQ(valueOf(entriesOf(file), "Val9"), "i:0");
}

TEST_F(PreferencesTest, StrayTemporaryFileDoesNotDisturbTheSettings) {
  Preferences first(file.string());
  first.writeDefaults();
  writeBytes(dir / "Larkspur.plist.tmp.Ab12Cd", "<?xml version=\"1.0\"?><plist><dict><key>Val9");
  Preferences prefs(file.string());
  prefs.load();
  EXPECT_EQ(prefs.hideArtist, 1);
  EXPECT_EQ(prefs.iconShown, 1);
}

TEST_F(PreferencesTest, RewrittenFileIsPrivate) {
  writeBytes(file, plistWith("<key>Val9</key><integer>1</integer>"));
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read);
  Preferences prefs(file.string());
  prefs.load();
  prefs.storeFlag("Val18", T("HideArt"), "Val19", 1);
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(prefs.hideArtwork, 1);
}

}  // namespace
}  // namespace larkspur
