#include "windows/shortcuts_window.h"

#include <array>
#include <cstdlib>
#include <memory>

#include "player/player_script.h"
#include "shortcuts/shortcut_field.h"

namespace larkspur {

namespace PS = PlayerScript;

namespace {

constexpr std::int64_t kWindow = ShortcutsWindowNumber;
constexpr Font kFont{12, false};

struct Row {
  const char16_t* label;
  double y;
  const char* textKey;
  const char* labelKey;
  const char16_t* labelValue;
  std::int32_t eventCode;
};

constexpr std::array<Row, 6> kRows = {{
    {u"Next Track Shortcut", 50, "Val31", "Val30", u"Key1", EventNextTrack},
    {u"Previous Track Shortcut", 80, "Val33", "Val32", u"Key2", EventPreviousTrack},
    {u"Repeat Track Shortcut", 110, "Val35", "Val34", u"Key3", EventRestartTrack},
    {u"Shuffle Playlist Shortcut", 140, "Val37", "Val36", u"Key4", EventShuffle},
    {u"Pause Shortcut", 170, "Val39", "Val38", u"Key5", EventPlayPause},
    {u"Track Details Shortcut", 200, "Val41", "Val40", u"Key6", EventTrackDetails},
}};

using Fields = std::array<std::unique_ptr<ShortcutField>, kRows.size()>;

ControlSpec label(Rect frame, const char16_t* text) {
  ControlSpec spec;
  spec.kind = ControlKind::Label;
  spec.frame = frame;
  spec.text = text;
  spec.font = kFont;
  return spec;
}

Fields createControls(WindowParts& p) {
  ControlSpec hint = label({20, 20, 380, 25}, u"Type a Shortcut into each box. Click 'Set' to apply");
  hint.textColour = 0x666666;
  p.windows.addControl(hint);
  Fields fields;
  for (std::size_t i = 0; i < kRows.size(); ++i) {
    const Row& row = kRows[i];
    p.windows.addControl(label({20, row.y, 300, 25}, row.label));
    ControlSpec style;
    style.font = kFont;
    style.placeholder = u"add shortcut";
    style.align = Align::Center;
    style.bezelStyle = 1;
    fields[i] = std::make_unique<ShortcutField>(p.windows, p.queue);
    fields[i]->create(0, 200, row.y, 100, 25, 0, style);
  }
  for (std::size_t i = 0; i < kRows.size(); ++i)
    fields[i]->setText(p.prefs.readString(kRows[i].textKey));
  return fields;
}

// Answers false when the loop should end; Quit never comes back.
bool handle(WindowParts& p, std::int32_t code) {
  if (code == EventCloseRequest) return false;
  if (code != EventMenu) return true;
  std::int64_t id = p.queue.currentObject();
  if (id == MenuItemQuit) {
    p.statusMenu.releaseMenu();
    p.core.quit();
  }
  handleModalMenuChoice(p, id);
  return true;
}

}  // namespace

void ShortcutsWindow::run() {
  Text opening = p_.bridge.runScript(PS::TrackUri);
  p_.system.activateApp();
  p_.windows.open(kWindow, 0, 0, 320, 260, u"Set Keyboard Shortcuts",
                  WindowCloseButton | WindowCentred | 0x08);
  p_.windows.setStayOnTop(kWindow, true);
  p_.windows.hideMinimiseAndZoom(kWindow);
  setModalEntriesEnabled(p_.statusMenu, false);
  Fields fields = createControls(p_);
  for (;;) {
    std::int32_t code = p_.queue.wait(-1);
    Text current = p_.bridge.runScript(PS::TrackUri);
    if (!handle(p_, code)) break;
    if (current != opening) break;
  }
  for (std::size_t i = 0; i < kRows.size(); ++i) {
    const Row& row = kRows[i];
    Text text = fields[i]->text();
    if (text.empty()) p_.hotkeys.remove(Text(), row.eventCode);
    p_.prefs.storeShortcut(row.labelKey, row.labelValue, row.textKey, text);
  }
  p_.prefs.synchronize();
  p_.windows.close(kWindow);
  p_.core.tearDownStatusItem();
  p_.prefs.load();
  p_.core.relaunch();
  std::abort();  // relaunch does not come back
}

}  // namespace larkspur
