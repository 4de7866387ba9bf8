#include "windows/shortcuts_window.h"

#include <gtest/gtest.h>

#include <set>

#include "player/player_script.h"
#include "support/app_harness.h"

namespace larkspur {
namespace {

namespace PS = PlayerScript;
using test::AppHarness;
using Lines = std::vector<std::string>;

constexpr std::int64_t kWindow = ShortcutsWindowNumber;

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
  // Types into a row's field (0 to 5).
  void typeInto(std::size_t row, KeyEvent key) {
    h.desktop.then([this, row, key]() mutable {
      key.focusedWindow = kWindow;
      key.focusedControl = h.desktop.windows.at(kWindow).order.at(2 + 2 * row);
      h.queue.offerToFilters(key);
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
  EXPECT_EQ(std::tuple(shown.title, enabledWhileOpen), std::tuple(u"Set Keyboard Shortcuts", "2 3 4 14 "));
  const Lines layout = shown.layout();  // the last row stands for the others
  EXPECT_EQ(Lines(layout.end() - 2, layout.end()),
            (Lines{"label 20,200,300,25 12 Track Details Shortcut", "field 200,200,100,25 12 "}));
  EXPECT_EQ(shown.at(12).spec.placeholder, u"add shortcut");
  EXPECT_EQ(stored(h), Lines(6, ""));
  EXPECT_EQ(std::tuple(h.desktop.shellCommands.size(), h.desktop.statusItemShown), std::tuple(1u, false)) << "relaunched";
}

// Hotkeys are discarded while it is open; backspace clears a row, and its
// hotkey is let go before the relaunch.
TEST_F(ShortcutsWindowTest, FieldsShowTheStoredTextsAndWhatIsTypedIsSavedForTheRelaunch) {
  h.writeSettings({{"Val31", "⌘N"}, {"Val33", "⌘B"}, {"Val39", "⌘P"}, {"Val41", "⌥⌘I"}});
  open();
  for (int key : {45, 35}) h.desktop.pressHotkey(key, 256);
  typeInto(0, KeyEvent{(1u << 17) | (1u << 20), 40, u'K'});  // ⇧⌘K
  typeInto(1, KeyEvent{0, 51, 8});
  h.desktop.pressClose(kWindow);
  ASSERT_EQ(h.start(), 0);
  EXPECT_EQ(shown.at(2).text + shown.at(4).text + shown.at(12).text, u"⌘N⌘B⌥⌘I");
  EXPECT_EQ(h.player.count(PS::NextTrack) + h.player.count(PS::PlayPause), 0u);
  std::set<int> grabbed;
  for (auto& [ref, g] : h.desktop.grabs)
    if (g.modifiers == 256) grabbed.insert(g.keyCode);
  EXPECT_EQ(grabbed, (std::set<int>{45, 35})) << "the cleared one (11) alone is let go";
  EXPECT_EQ(stored(h), (Lines{"⇧⌘K", "", "", "", "⌘P", "⌥⌘I"}));
  EXPECT_EQ(h.desktop.shellCommands.size(), 1u);
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
  // Next played, no alert, open until the change, one command, one relaunch.
  EXPECT_EQ(std::tuple(h.player.count(PS::NextTrack), h.desktop.alerts.size(), openAfterNext, h.app().commandCounter(),
                       h.desktop.shellCommands.size()), std::tuple(1u, 0u, true, 1, 1u));
  EXPECT_EQ(stored(h, {"Val40"})[0], "Key6") << "saved before the relaunch";
}

}  // namespace
}  // namespace larkspur
