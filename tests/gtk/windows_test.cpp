#include <gtk/gtk.h>

#include <array>

#include "platform/window_table.h"
#include "shortcuts/shortcut_field.h"
#include "support/gtk_fixture.h"

namespace larkspur::test {
namespace {

using GtkWindows = GtkDesktopTest;

GtkWindow* toplevelTitled(const char* title) {
  GtkWindow* found = nullptr;
  GList* all = gtk_window_list_toplevels();
  for (GList* l = all; l; l = l->next)
    if (g_strcmp0(gtk_window_get_title(GTK_WINDOW(l->data)), title) == 0) found = GTK_WINDOW(l->data);
  g_list_free(all);
  return found;
}

ControlSpec spec(ControlKind kind, Rect frame, const char* text, bool isDefault = false) {
  ControlSpec s;
  s.kind = kind, s.frame = frame, s.text = T(text), s.isDefault = isDefault;
  return s;
}

// No window manager here: focus is given once the window is mapped.
GtkWindow* present(const char* title) {
  GtkWindow* window = toplevelTitled(title);
  if (!window || !iterateUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(window)); })) return nullptr;
  gtk_window_present(window);
  return iterateUntil([&] { return gtk_window_is_active(window); }) ? window : nullptr;
}

// Keys by X keycode (xdotool takes a number as one), so that each layout
// decides what the same physical key types.
TEST_F(GtkWindows, CaptureFieldNamesPhysicalKeysWhateverTheLayoutAndLocks) {
  WindowTable windows(*desktop, *desktop, queue);
  ASSERT_TRUE(windows.open(6, 0, 0, 300, 100, u"Keys", 0x4C));
  ShortcutField field(windows, queue);
  field.create(0, 20, 20, 200, 24, 0);
  ASSERT_TRUE(present("Keys"));
  int presses = 0, key = -1;
  queue.addFilter([&](const KeyEvent& k) { return ++presses, key = k.virtualKeyCode, false; });
  struct Row { const char* layout; std::vector<const char*> keys; int key; const char16_t* text; };
  const Row rows[] = {
      {"fr", {"super+10"}, 18, u"⌘1"}, {"de", {"super+shift+10"}, 18, u"⇧⌘1"},
      {"fr", {"ctrl+24"}, 12, u"⌃A"},  // the letter the layout types
      {"fr", {"shift", "ctrl", "alt", "super", "Caps_Lock", "Caps_Lock", "71"}, 96, u"F5"},
      {"us", {"Caps_Lock", "super+33", "Caps_Lock"}, 35, u"⌘P"},
      {"us", {"super+87"}, 83, u""},  // keypad 1 without Num Lock is End: no character
      {"us", {"Num_Lock", "super+87", "Num_Lock"}, 83, u"⌘1"},
      {"us", {"super+104"}, 76, u"⌘"},  // keypad Enter
  };
  for (const Row& row : rows) {
    runProgram({"setxkbmap", row.layout});
    field.setText(u"?");
    int before = presses;
    for (const char* k : row.keys) runProgram({"xdotool", "key", k});
    ASSERT_TRUE(iterateUntil([&] { return field.text() != u"?"; })) << row.keys.back();
    EXPECT_EQ(field.text(), row.text) << row.layout << " " << row.keys.back();
    EXPECT_EQ(std::pair(key, presses), std::pair(row.key, before + 1)) << "modifiers alone are no key presses";
  }
  runProgram({"setxkbmap", "us"});
}

// A control lands where its frame says, and a label reaching past the edge
// does not stretch the window. A click, Return even with the focus elsewhere,
// and the close button reach the program, which alone closes the window.
TEST_F(GtkWindows, FramesHoldControlsAnswerAndTheCloseButtonAsks) {
  ASSERT_TRUE(desktop->openWindow(3, {0, 0, 600, 370}, u"Track Details", 0x4C));
  desktop->addControl(3, 1, spec(ControlKind::Button, {250, 40, 100, 22}, "Copy URL"));
  desktop->addControl(3, 2, spec(ControlKind::Button, {480, 324, 100, 25}, "OK", true));
  desktop->addControl(3, 3, spec(ControlKind::Label, {20, 20, 700, 20}, "Name"));
  GtkWindow* details = present("Track Details");
  ASSERT_TRUE(details);
  GtkWidget* content = gtk_bin_get_child(GTK_BIN(details));
  g_autoptr(GList) children = gtk_container_get_children(GTK_CONTAINER(content));
  std::vector<GtkWidget*> widgets{content};
  for (GList* l = children; l; l = l->next) widgets.push_back(GTK_WIDGET(l->data));
  auto frame = [&](int i) {
    GtkAllocation a;
    gtk_widget_get_allocation(widgets[i], &a);
    return std::array{a.x, a.y, a.width, a.height};
  };
  using F = std::array<int, 4>;
  EXPECT_TRUE(iterateUntil([&] { return frame(0) == F{0, 0, 600, 370} && frame(1) == F{250, 40, 100, 22}; }))
      << frame(0)[2] << " " << frame(1)[0] << "," << frame(1)[1];

  int x = 0, y = 0, dx = 0, dy = 0;
  gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(details)), &x, &y);
  gtk_widget_translate_coordinates(widgets[1], GTK_WIDGET(details), 50, 11, &dx, &dy);
  runProgram({"xdotool", "mousemove", std::to_string(x + dx), std::to_string(y + dy), "click", "1"});
  ASSERT_TRUE(waitForEvent(EventControl));
  EXPECT_EQ(queue.currentObject(), 1);
  for (const char* key : {"Return", "KP_Enter"}) {
    runProgram({"xdotool", "key", key});
    ASSERT_TRUE(waitForEvent(EventControl));
    EXPECT_EQ(std::pair(queue.currentObject(), queue.currentWindow()), std::pair(2L, 3L)) << key;
    gtk_widget_grab_focus(widgets[1]);  // as Tab would: the default still wins
  }
  desktop->setControlText(3, 3, u"Song \u00e9");
  EXPECT_EQ(desktop->controlText(3, 3), u"Song \u00e9");
  gtk_window_close(details);
  ASSERT_TRUE(waitForEvent(EventCloseRequest));
  EXPECT_EQ(std::pair(queue.currentObject(), queue.currentWindow()), std::pair(3L, 3L));
  EXPECT_EQ(toplevelTitled("Track Details"), details);

  // An invisible window (the program's timer window) is never shown.
  ASSERT_TRUE(desktop->openWindow(0, {0, 0, 0, 0}, u"timer", 0x01));
  GtkWindow* timer = toplevelTitled("timer");
  EXPECT_TRUE(timer && !gtk_widget_get_visible(GTK_WIDGET(timer)));
  desktop->setClipboardText(u"https://open.spotify.com/track/4uLU6hMCjMI75M1A2tKUQC \u00e9");
  EXPECT_EQ(runProgram({"xclip", "-selection", "clipboard", "-o"}),
            "https://open.spotify.com/track/4uLU6hMCjMI75M1A2tKUQC \xC3\xA9");
}

}  // namespace
}  // namespace larkspur::test
