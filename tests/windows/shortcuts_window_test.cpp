#include "windows/shortcuts_window.h"

#include <gtest/gtest.h>

#include "player/player_script.h"
#include "support/app_harness.h"

namespace larkspur {
namespace {

namespace PS = PlayerScript;
using test::AppHarness;
using Lines = std::vector<std::string>;

constexpr std::int64_t kWindow = ShortcutsWindowNumber;
constexpr std::uint32_t kShift = 1u << 17, kCommand = 1u << 20;

// Entries as the settings file holds them after the run.
Lines stored(AppHarness& h, Lines keys = {"Val31", "Val33", "Val35", "Val37", "Val39", "Val41"}) {
  Preferences prefs(h.settingsPath());
  prefs.load();
  for (auto& key : keys) key = toUtf8(prefs.readString(key));
  return keys;
}

class ShortcutsWindowTest : public ::testing::Test {
 protected:
  void open() {
    h.desktop.chooseMenuItem(MenuItemSetShortcuts);
    h.desktop.then([this] {
      shown = h.desktop.windows.at(kWindow);
      enabledWhileOpen = h.desktop.enabledIds();
    });
  }
  // Types into a row's field (0 to 5), then closes the window or chooses `thenChoose`.
  void typeInto(std::size_t row, KeyEvent key, std::int64_t thenChoose = 0) {
    h.desktop.then([this, row, key, thenChoose]() mutable {
      key.focusedWindow = kWindow;
      key.focusedControl = h.desktop.windows.at(kWindow).order.at(2 + 2 * row);
      h.desktop.typeKey(key);
      if (thenChoose) h.desktop.chooseMenuItem(thenChoose);
      else h.desktop.pressClose(kWindow);
    });
  }

  AppHarness h;
  test::FakeWindow shown;
  std::string enabledWhileOpen;
};

TEST_F(ShortcutsWindowTest, FirstRunSavedAtOnce) {
  open();
  h.desktop.pressClose(kWindow);
  ASSERT_EQ(h.start(), 0);

  EXPECT_EQ(shown.title, u"Set Keyboard Shortcuts");
  EXPECT_EQ((std::pair{shown.content.width, shown.content.height}), (std::pair{320.0, 260.0}));
  EXPECT_EQ(shown.options, 76u);
  EXPECT_TRUE(shown.stayOnTop && shown.buttonsHidden);
  EXPECT_EQ(enabledWhileOpen, "2 3 4 14 ");
  EXPECT_EQ(shown.layout(),
            (Lines{"label 20,20,380,25 12 Type a Shortcut into each box. Click 'Set' to apply",
                   "label 20,50,300,25 12 Next Track Shortcut", "field 200,50,100,25 12 ",
                   "label 20,80,300,25 12 Previous Track Shortcut", "field 200,80,100,25 12 ",
                   "label 20,110,300,25 12 Repeat Track Shortcut", "field 200,110,100,25 12 ",
                   "label 20,140,300,25 12 Shuffle Playlist Shortcut", "field 200,140,100,25 12 ",
                   "label 20,170,300,25 12 Pause Shortcut", "field 200,170,100,25 12 ",
                   "label 20,200,300,25 12 Track Details Shortcut", "field 200,200,100,25 12 "}));
  EXPECT_EQ(shown.at(12).spec.placeholder, u"add shortcut");
  EXPECT_EQ(stored(h, {"Val30", "Val32", "Val34", "Val36", "Val38", "Val40"}),
            (Lines{"Key1", "Key2", "Key3", "Key4", "Key5", "Key6"}));
  EXPECT_EQ(stored(h), Lines(6, ""));
  EXPECT_EQ(h.desktop.shellCommands.size(), 1u) << "relaunched";
  EXPECT_FALSE(h.desktop.statusItemShown);
  EXPECT_EQ(h.desktop.runningTimers(), 0u);
  EXPECT_TRUE(h.desktop.windows.empty());
}

TEST_F(ShortcutsWindowTest, FieldsShowTheStoredTextsAndATypedOneIsSavedForTheRelaunch) {
  h.writeSettings({{"Val31", "⌘N"}, {"Val33", "⌘B"}, {"Val39", "⌘P"}, {"Val41", "⌥⌘I"}});
  open();
  h.desktop.pressHotkey(45, 256);  // ⌘N and ⌘P are discarded while open
  h.desktop.pressHotkey(35, 256);
  typeInto(0, KeyEvent{kShift | kCommand, 40, u'K'});
  ASSERT_EQ(h.start(), 0);
  EXPECT_EQ(shown.at(2).text, u"⌘N");
  EXPECT_EQ(shown.at(4).text, u"⌘B");
  EXPECT_EQ(shown.at(12).text, u"⌥⌘I");
  EXPECT_EQ(h.player.count(PS::NextTrack) + h.player.count(PS::PlayPause), 0u);
  EXPECT_EQ(stored(h), (Lines{"⇧⌘K", "⌘B", "", "", "⌘P", "⌥⌘I"}));
  EXPECT_EQ(h.desktop.shellCommands.size(), 1u);
}

TEST_F(ShortcutsWindowTest, BackspaceClearsARowAndItsHotkey) {
  h.writeSettings({{"Val31", "⌘N"}, {"Val33", "⌘B"}});
  const auto grabbed = [this] {
    for (auto& [ref, g] : h.desktop.grabs)
      if (g.keyCode == 45 && g.modifiers == 256) return true;
    return false;
  };
  bool grabbedBefore = false;
  h.desktop.then([&] { grabbedBefore = grabbed(); });
  open();
  typeInto(0, KeyEvent{0, 51, 8});
  ASSERT_EQ(h.start(), 0);
  EXPECT_TRUE(grabbedBefore);
  EXPECT_FALSE(grabbed());
  EXPECT_EQ(stored(h), (Lines{"", "⌘B", "", "", "", ""}));
}

// The menu's transport entries are shared with the details window, which tests them.
TEST_F(ShortcutsWindowTest, NextFromTheMenuClosesTheWindowOnTheTrackChange) {
  h.player.tracks.push_back(test::FakeTrack{});
  h.player.tracks[1].uri = "spotify:track:second";
  open();
  bool openAfterNext = false;
  h.desktop.chooseMenuItem(MenuItemNext);
  h.desktop.then([&] { openAfterNext = h.desktop.windows.count(kWindow) == 1; });
  ASSERT_EQ(h.start(), 0);
  EXPECT_EQ(h.player.count(PS::NextTrack), 1u);
  EXPECT_TRUE(h.desktop.alerts.empty());
  EXPECT_TRUE(openAfterNext);
  EXPECT_EQ(h.app().commandCounter(), 1);
  EXPECT_EQ(h.desktop.shellCommands.size(), 1u);
  EXPECT_EQ(stored(h, {"Val40"})[0], "Key6") << "saved before the relaunch";
}

TEST_F(ShortcutsWindowTest, QuitFromTheMenuSavesNothing) {
  h.writeSettings({{"Val31", "⌘N"}});
  open();
  typeInto(0, KeyEvent{kCommand, 40, u'K'}, MenuItemQuit);
  ASSERT_EQ(h.start(), 0);
  EXPECT_TRUE(h.desktop.shellCommands.empty());
  EXPECT_EQ(stored(h)[0], "⌘N");
}

}  // namespace
}  // namespace larkspur
