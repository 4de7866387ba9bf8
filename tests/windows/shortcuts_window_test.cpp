#include "windows/shortcuts_window.h"

#include <gtest/gtest.h>

#include <sstream>

#include "player/player_script.h"
#include "support/app_harness.h"

namespace larkspur {
namespace {

namespace PS = PlayerScript;
using test::AppHarness;
using test::FakeWindow;
using test::kRanOutOfEvents;

constexpr std::int64_t kWindow = ShortcutsWindowNumber;
constexpr std::uint32_t kShift = 1u << 17, kCommand = 1u << 20;
const char* const kTextKeys[] = {"Val31", "Val33", "Val35", "Val37", "Val39", "Val41"};

std::string describe(const test::FakeControl& c) {
  const Rect& f = c.spec.frame;
  std::ostringstream out;
  out << (c.spec.kind == ControlKind::ShortcutField ? "field " : "label ") << f.x << "," << f.y
      << "," << f.width << "," << f.height << " " << c.spec.font.size << " " << toUtf8(c.text);
  return out.str();
}

std::string entry(const std::string& key, const std::string& value) {
  return "<key>" + key + "</key><string>" + value + "</string>";
}

// Entries as the settings file holds them after the run.
std::vector<std::string> stored(AppHarness& h, std::vector<std::string> keys) {
  Preferences prefs(h.settingsPath());
  prefs.load();
  std::vector<std::string> out;
  for (const auto& key : keys) out.push_back(toUtf8(prefs.readString(key)));
  return out;
}

std::vector<std::string> storedTexts(AppHarness& h) {
  return stored(h, {kTextKeys, kTextKeys + 6});
}

std::string enabledIds(const AppHarness& h) {
  std::string out;
  for (std::int64_t id = 1; id <= 14; ++id) {
    const MenuEntry* e = h.desktop.entry(id);
    if (e && e->enabled) out += std::to_string(id) + " ";
  }
  return out;
}

class ShortcutsWindowTest : public ::testing::Test {
 protected:
  void open() {
    h.desktop.chooseMenuItem(MenuItemSetShortcuts);
    h.desktop.then([this] {
      shown = h.desktop.windows.at(kWindow);
      enabledWhileOpen = enabledIds(h);
    });
  }
  // The capture field of a row (0 to 5), once the window is open.
  std::int64_t field(std::size_t row) const {
    std::size_t seen = 0;
    for (auto id : h.desktop.windows.at(kWindow).order)
      if (h.desktop.windows.at(kWindow).controls.at(id).spec.kind == ControlKind::ShortcutField &&
          seen++ == row)
        return id;
    return 0;
  }
  // Types into a row's field, then closes the window or chooses `thenChoose`.
  void typeInto(std::size_t row, KeyEvent key, std::int64_t thenChoose = 0) {
    h.desktop.then([this, row, key, thenChoose]() mutable {
      key.focusedWindow = kWindow;
      key.focusedControl = field(row);
      h.desktop.typeKey(key);
      if (thenChoose) h.desktop.chooseMenuItem(thenChoose);
      else h.desktop.pressClose(kWindow);
    });
  }

  AppHarness h;
  FakeWindow shown;
  std::string enabledWhileOpen;
};

TEST_F(ShortcutsWindowTest, FirstRunSavedAtOnce) {
  open();
  h.desktop.pressClose(kWindow);
  ASSERT_EQ(h.start(), 0);

  EXPECT_EQ(toUtf8(shown.title), "Set Keyboard Shortcuts");
  EXPECT_EQ(shown.content.width, 320);
  EXPECT_EQ(shown.content.height, 260);
  EXPECT_EQ(shown.options, 76u);
  EXPECT_TRUE(shown.stayOnTop);
  EXPECT_TRUE(shown.buttonsHidden);
  EXPECT_EQ(enabledWhileOpen, "2 3 4 14 ");
  std::vector<std::string> controls;
  for (auto id : shown.order) controls.push_back(describe(shown.controls.at(id)));
  EXPECT_EQ(controls, (std::vector<std::string>{
                          "label 20,20,380,25 12 Type a Shortcut into each box. Click 'Set' to apply",
                          "label 20,50,300,25 12 Next Track Shortcut", "field 200,50,100,25 12 ",
                          "label 20,80,300,25 12 Previous Track Shortcut", "field 200,80,100,25 12 ",
                          "label 20,110,300,25 12 Repeat Track Shortcut", "field 200,110,100,25 12 ",
                          "label 20,140,300,25 12 Shuffle Playlist Shortcut",
                          "field 200,140,100,25 12 ", "label 20,170,300,25 12 Pause Shortcut",
                          "field 200,170,100,25 12 ",
                          "label 20,200,300,25 12 Track Details Shortcut",
                          "field 200,200,100,25 12 "}));
  EXPECT_EQ(shown.controls.at(shown.order[0]).spec.textColour, 0x666666);
  for (auto id : shown.order) {
    const ControlSpec& spec = shown.controls.at(id).spec;
    if (spec.kind != ControlKind::ShortcutField) continue;
    EXPECT_EQ(toUtf8(spec.placeholder), "add shortcut");
    EXPECT_EQ(spec.align, Align::Center);
    EXPECT_EQ(spec.bezelStyle, 1);
  }

  EXPECT_EQ(stored(h, {"Val30", "Val32", "Val34", "Val36", "Val38", "Val40"}),
            (std::vector<std::string>{"Key1", "Key2", "Key3", "Key4", "Key5", "Key6"}));
  EXPECT_EQ(storedTexts(h), std::vector<std::string>(6, ""));
  EXPECT_EQ(h.desktop.shellCommands.size(), 1u) << "relaunched";
  EXPECT_FALSE(h.desktop.statusItemShown);
  EXPECT_EQ(h.desktop.runningTimers(), 0u);
  EXPECT_TRUE(h.desktop.windows.empty());
}

TEST_F(ShortcutsWindowTest, FieldsShowTheStoredTextsAndTypingReplacesOne) {
  h.writeSettings(entry("Val31", "⌘N") + entry("Val33", "⌘B") + entry("Val41", "⌥⌘I"));
  open();
  typeInto(0, KeyEvent{kShift | kCommand, 40, u'K'});
  ASSERT_EQ(h.start(), 0);
  EXPECT_EQ(toUtf8(shown.controls.at(shown.order[2]).text), "⌘N");
  EXPECT_EQ(toUtf8(shown.controls.at(shown.order[4]).text), "⌘B");
  EXPECT_EQ(toUtf8(shown.controls.at(shown.order[12]).text), "⌥⌘I");
  EXPECT_EQ(storedTexts(h), (std::vector<std::string>{"⇧⌘K", "⌘B", "", "", "", "⌥⌘I"}));
}

TEST_F(ShortcutsWindowTest, BackspaceClearsARowAndItsHotkey) {
  h.writeSettings(entry("Val31", "⌘N") + entry("Val33", "⌘B"));
  bool grabbedBefore = false;
  h.desktop.then([&] {
    for (auto& [ref, g] : h.desktop.grabs) grabbedBefore |= g.keyCode == 45 && g.modifiers == 256;
  });
  open();
  typeInto(0, KeyEvent{0, 51, 8});
  ASSERT_EQ(h.start(), 0);
  EXPECT_TRUE(grabbedBefore);
  for (auto& [ref, g] : h.desktop.grabs) EXPECT_FALSE(g.keyCode == 45 && g.modifiers == 256);
  for (auto& record : h.app().hotkeys().records()) EXPECT_NE(record.eventCode, EventNextTrack);
  EXPECT_EQ(storedTexts(h), (std::vector<std::string>{"", "⌘B", "", "", "", ""}));
}

TEST_F(ShortcutsWindowTest, HotkeysAreDiscardedWhileOpen) {
  h.writeSettings(entry("Val31", "⌘N") + entry("Val39", "⌘P"));
  open();
  h.desktop.pressHotkey(45, 256);
  h.desktop.pressHotkey(35, 256);
  h.desktop.pressClose(kWindow);
  ASSERT_EQ(h.start(), 0);
  EXPECT_EQ(h.player.count(PS::NextTrack), 0u);
  EXPECT_EQ(h.player.count(PS::PlayPause), 0u);
  EXPECT_EQ(storedTexts(h), (std::vector<std::string>{"⌘N", "", "", "", "⌘P", ""}));
}

TEST_F(ShortcutsWindowTest, TransportFromTheMenuAndClosingOnATrackChange) {
  h.player.tracks.push_back(test::FakeTrack{});
  h.player.tracks[1].uri = "spotify:track:second";
  open();
  h.desktop.tick();
  h.desktop.chooseMenuItem(MenuItemPrevious);
  h.desktop.chooseMenuItem(MenuItemRepeat);
  h.desktop.chooseMenuItem(MenuItemAbout);  // disabled while open
  bool openAfterNext = false;
  h.desktop.chooseMenuItem(MenuItemNext);
  h.desktop.then([&] { openAfterNext = h.desktop.windows.count(kWindow) == 1; });
  ASSERT_EQ(h.start(), 0);
  EXPECT_EQ(h.player.count(PS::PreviousTrack), 2u);
  EXPECT_EQ(h.player.count(PS::RestartTrack), 1u);
  EXPECT_EQ(h.player.count(PS::NextTrack), 1u);
  EXPECT_TRUE(h.desktop.alerts.empty());
  EXPECT_TRUE(openAfterNext);
  EXPECT_EQ(h.app().commandCounter(), 2);
  EXPECT_EQ(h.desktop.shellCommands.size(), 1u);
  EXPECT_EQ(stored(h, {"Val40"})[0], "Key6") << "saved before the relaunch";
}

TEST_F(ShortcutsWindowTest, QuitFromTheMenuSavesNothing) {
  h.writeSettings(entry("Val31", "⌘N"));
  open();
  typeInto(0, KeyEvent{kCommand, 40, u'K'}, MenuItemQuit);
  ASSERT_EQ(h.start(), 0);
  EXPECT_TRUE(h.desktop.shellCommands.empty());
  EXPECT_EQ(storedTexts(h)[0], "⌘N");
}

}  // namespace
}  // namespace larkspur
