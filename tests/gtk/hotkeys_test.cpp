// gtest before Xlib: Xlib's macros (None, Bool) break gtest's headers.
#include "support/gtk_fixture.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include "platform/gtk/key_map.h"

namespace larkspur::test {
namespace {

using GtkHotkeys = GtkDesktopTest;

int grabErrors = 0;

// Grabs a combination from a separate X connection, which stands for another
// program; answers whether the X server granted it.
bool grabElsewhere(Display* other, KeySym keysym) {
  grabErrors = 0;
  auto previous = XSetErrorHandler([](Display*, XErrorEvent*) { return ++grabErrors, 0; });
  XGrabKey(other, XKeysymToKeycode(other, keysym), ControlMask | ShiftMask, DefaultRootWindow(other),
           True, GrabModeAsync, GrabModeAsync);
  XSync(other, False);
  XSetErrorHandler(previous);
  return grabErrors == 0;
}

TEST_F(GtkHotkeys, PressedCombinationsCallTheHandlerAndHeldOnesAreRefused) {
  // Every key number a grab can use reads back as itself.
  for (int code = 0; code < 128; ++code)
    EXPECT_EQ(keycodeForVirtualKey(code) ? virtualKeyForKeycode(keycodeForVirtualKey(code)) : code, code) << code;
  std::vector<HotkeyPort::Identity> pressed;
  ASSERT_TRUE(desktop->installHotkeyHandler([&](HotkeyPort::Identity id) { pressed.push_back(id); }));
  ASSERT_TRUE(desktop->registerHotkey(40, 256 + 512, 11));   // ⌘⇧K
  ASSERT_TRUE(desktop->registerHotkey(96, 4096 + 512, 22));  // ⌃⇧F5 (⌃⌥F5 switches terminals)
  ASSERT_TRUE(desktop->registerHotkey(18, 2048 + 256, 33));  // ⌥⌘1
  // With the locks on and the digit row's keys typing symbols, the keys are the same.
  runProgram({"setxkbmap", "fr"});
  for (const char* keys : {"Caps_Lock", "Num_Lock", "super+shift+45", "ctrl+shift+F5", "alt+super+10", "Caps_Lock", "Num_Lock"})
    runProgram({"xdotool", "key", keys});
  runProgram({"setxkbmap", "us"});
  ASSERT_TRUE(iterateUntil([&] { return pressed.size() >= 3; }));
  EXPECT_EQ(pressed, (std::vector<HotkeyPort::Identity>{11, 22, 33}));
  // The same combination twice is refused rather than bound to two records.
  EXPECT_FALSE(desktop->registerHotkey(40, 768, 44));

  Display* other = XOpenDisplay(nullptr);
  ASSERT_TRUE(other);
  ASSERT_TRUE(grabElsewhere(other, XK_j));
  EXPECT_FALSE(desktop->registerHotkey(38, 4096 + 512, 1));  // ⌃⇧J
  auto ours = desktop->registerHotkey(37, 4096 + 512, 2);    // ⌃⇧L
  ASSERT_TRUE(ours);
  EXPECT_FALSE(grabElsewhere(other, XK_l));
  EXPECT_TRUE(desktop->unregisterHotkey(*ours));
  EXPECT_FALSE(desktop->unregisterHotkey(*ours));
  EXPECT_TRUE(grabElsewhere(other, XK_l));
  XCloseDisplay(other);
}

}  // namespace
}  // namespace larkspur::test
